// The whole program against failing systems and hostile input: exact reports, statuses and no lost rows.
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "textio/errors.h"

namespace {

using testsupport::readFile;
using testsupport::visible;
using testsupport::writeFile;
using textio::ErrorNumber;

const std::string WORKED_SPECTRUM = "5\n5.0 1.0\n12.0 4.0\n20.0 3.0\n26.0 2.5\n31.0 2.5\n";
const std::string WORKED_ROWS =
    "       15.500000000000000       -1.386678572206372        3.562500000000000\r\n"
    "       16.000000000000000       -1.227303805657467        3.500000000000000\r\n"
    "       16.500000000000000       -1.081452285856236        3.437500000000000\r\n";
// One calculation of the worked example into `result`, ending with yes to another one.
std::string workedCalculation(const std::string& result) { return "spectrum.dat\n" + result + "\n6\n7\ny\ny\n"; }

// f'' that overflows the sum at the singular step of the 16.0 eV row, not before.
const std::string STEEP_SPECTRUM = "4\n5.0 1.0\n15.5 1.0\n16.0 1E304\n30.0 1E304\n";

std::string report(const std::string& head, ErrorNumber number) {
    return "\r\nrun-time error " + head + std::string(textio::errorMessage(number)) + "\r\n";
}
const std::string OVERFLOW_REPORT = "\r\nrun-time error M6104: MATH\r\n- floating-point error: overflow\r\n";

// The console lines that are result rows (energy and f', 49 characters).
std::vector<std::string> consoleRows(const std::string& output) {
    std::vector<std::string> rows;
    std::size_t start = 0;
    for (std::size_t stop; (stop = output.find("\r\n", start)) != std::string::npos; start = stop + 2) {
        std::string line = output.substr(start, stop - start);
        if (line.size() == 49 && line[0] == ' ' && line.find_first_not_of(" 0123456789.-+E") == std::string::npos) {
            rows.push_back(line);
        }
    }
    return rows;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool SANITIZED = true;
#else
constexpr bool SANITIZED = false;
#endif

class HardeningTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = testsupport::makeTempDir("hardening");
        writeFile(path("spectrum.dat"), WORKED_SPECTRUM);
    }
    testsupport::RunOptions options(const std::string& input) const {
        testsupport::RunOptions given;
        given.workingDirectory = folder;
        given.standardInput = input;
        return given;
    }
    testsupport::RunResult run(const std::string& input) {
        return testsupport::runProgram({testsupport::programPath()}, options(input));
    }
    // A bash script in the test folder; "$0" is the program, "$1" the fault driver.
    testsupport::RunResult shell(const std::string& script, const std::string& input = "") {
        return testsupport::runProgram(
            {"/bin/bash", "-c", script, testsupport::programPath(), testsupport::driverPath("fault_driver")},
            options(input));
    }
    testsupport::RunResult driver(const std::string& fault, const std::string& argument, const std::string& input) {
        return testsupport::runProgram({testsupport::driverPath("fault_driver"), fault, argument}, options(input));
    }
    std::string path(const std::string& name) const { return folder + "/" + name; }
    std::string file(const std::string& name) const { return readFile(path(name)); }
    std::string folder;
};

// --- Faults of the system ---

TEST_F(HardeningTest, ResultFileOnAFullDevice) {
    struct Case {
        std::string name, range, standardError;
        std::size_t rowsShown;
    };
    // Rows collect in the 1024-byte buffer: three rows leave at the end, 14
    // rows need the buffer written out while the 14th is added.
    const Case cases[] = {
        {"rows written out at the end", "6\n7\n", report("F6422: CLOSE(/dev/full)\r\n- ", ErrorNumber::NO_SPACE_LEFT), 3},
        {"a full buffer during the rows", "6\n20\n", report("F6422: WRITE(/dev/full)\r\n- ", ErrorNumber::NO_SPACE_LEFT),
         14},
    };
    for (const Case& c : cases) {
        auto result = run("n\nspectrum.dat\n'/dev/full'\n" + c.range + "y\nn\n");
        EXPECT_EQ(result.standardError, c.standardError) << c.name << ": " << visible(result.standardError);
        EXPECT_EQ(result.exitStatus, 1) << c.name << ": rows that could not be written are no success";
        EXPECT_EQ(consoleRows(result.standardOutput).size(), c.rowsShown) << c.name;
    }
}

// The first row of the second calculation cannot be written: the earlier
// rows are all in the first result file, and the read-only one is unchanged.
void expectReadOnlyResultFails(const testsupport::RunResult& result, const std::string& first,
                               const std::string& locked, const std::string& how) {
    EXPECT_EQ(result.standardError, report("F6421: WRITE(locked.dat)\r\n- ", ErrorNumber::WRITE_REFUSED))
        << how << ": " << visible(result.standardError);
    EXPECT_EQ(result.exitStatus, 1) << how;
    EXPECT_EQ(consoleRows(result.standardOutput).size(), 4u) << how << ": three rows, then the failing one";
    EXPECT_EQ(first, WORKED_ROWS) << how;
    EXPECT_EQ(locked, "locked contents\r\n") << how;
}

TEST_F(HardeningTest, ReadOnlyResultFileFailsAtItsFirstRowAndLosesNothingBefore) {
    writeFile(path("locked.dat"), "locked contents\r\n");
    const std::string input = "n\n" + workedCalculation("first.dat") + workedCalculation("locked.dat");
    auto result = driver("read-only", "locked.dat", input);
    expectReadOnlyResultFails(result, file("first.dat"), file("locked.dat"), "open refuses write access");
}

TEST_F(HardeningTest, ImmutableResultFileFailsAtItsFirstRowAndLosesNothingBefore) {
    writeFile(path("locked.dat"), "locked contents\r\n");
    const std::string locked = path("locked.dat");
    if (std::system(("chattr +i '" + locked + "' 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "this file system has no immutable attribute";
    }
    struct Unlock {
        std::string name;
        ~Unlock() { (void)std::system(("chattr -i '" + name + "'").c_str()); }
    } unlock{locked};
    auto result = run("n\n" + workedCalculation("first.dat") + workedCalculation("locked.dat"));
    expectReadOnlyResultFails(result, file("first.dat"), file("locked.dat"), "immutable file");
}

TEST_F(HardeningTest, ConsoleThatClosesDuringTheRowsKeepsEveryRowItShowed) {
    const std::string input = "n\nspectrum.dat\nout.dat\n6\n7\ny\nn\n";
    auto full = run(input);
    ASSERT_EQ(full.exitStatus, 0);
    // Standard output takes everything before the second row's line.
    const std::string secondRow = "      16.000000000000000       -1.227303805657467";
    const std::size_t cut = full.standardOutput.find(secondRow);
    ASSERT_NE(cut, std::string::npos);
    auto result = driver("console-closes", std::to_string(cut + 10), input);
    EXPECT_EQ(result.standardOutput, full.standardOutput.substr(0, cut)) << visible(result.standardOutput);
    EXPECT_EQ(result.standardError, report("F6421: WRITE(CON)\r\n- ", ErrorNumber::WRITE_REFUSED));
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(file("out.dat"), WORKED_ROWS.substr(0, 77)) << "the row shown is in the file, the next one is not";
}

TEST_F(HardeningTest, ClosedPipeOnStandardOutputKeepsTheResultFileWhole) {
    // 2001 rows make far more console bytes than the pipe holds once head has gone.
    const std::string input = "n\nspectrum.dat\nout.dat\n6\n1006\ny\nn\n";
    testsupport::RunOptions toNull = options(input);
    toNull.standardOutputPath = "/dev/null";
    auto full = testsupport::runProgram({testsupport::programPath()}, toNull);
    ASSERT_EQ(full.exitStatus, 0);
    const std::string allRows = file("out.dat");
    ASSERT_EQ(allRows.size(), 2001u * 77u);
    std::remove(path("out.dat").c_str());

    auto result = shell("set -o pipefail; \"$0\" | head -c 3000 >/dev/null", input);
    EXPECT_EQ(result.standardError, report("F6421: WRITE(CON)\r\n- ", ErrorNumber::WRITE_REFUSED))
        << visible(result.standardError);
    EXPECT_EQ(result.exitStatus, 1);
    const std::string rows = file("out.dat");
    EXPECT_EQ(rows.size() % 77, 0u) << "whole rows only";
    EXPECT_GT(rows.size(), 0u);
    EXPECT_LT(rows.size(), allRows.size());
    EXPECT_EQ(rows, allRows.substr(0, rows.size())) << "the rows before the failure, in order";
}

TEST_F(HardeningTest, PipeThatDeliversALineInPiecesGivesOneRecord) {
    // The file name arrived in two pieces and was once read as two records.
    auto result = shell("{ printf 'n\\nspectrum.d'; sleep 0.3; printf 'at\\nout.dat\\n6\\n7\\ny\\nn\\n'; } | \"$0\"");
    EXPECT_EQ(result.standardError, "") << visible(result.standardError);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(file("out.dat"), WORKED_ROWS);
    EXPECT_FALSE(testsupport::fileExists(path("spectrum.d")));
}

TEST_F(HardeningTest, ClosedOrFullStandardStreams) {
    struct Case {
        std::string name, redirection, standardError;
    };
    const Case cases[] = {
        {"standard input", "<&-", report("F6500: READ(CON)\r\n- ", ErrorNumber::READ_FAILED)},
        {"standard output", ">&-", report("F6421: WRITE(CON)\r\n- ", ErrorNumber::WRITE_REFUSED)},
        {"standard output on a full device", ">/dev/full", report("F6422: WRITE(CON)\r\n- ", ErrorNumber::NO_SPACE_LEFT)},
    };
    for (const Case& c : cases) {
        auto result = shell("exec \"$0\" " + c.redirection, "n\nspectrum.dat\nout.dat\n6\n7\ny\nn\n");
        EXPECT_EQ(result.standardError, c.standardError) << c.name << ": " << visible(result.standardError);
        EXPECT_EQ(result.exitStatus, 1) << c.name;
        EXPECT_FALSE(testsupport::fileExists(path("out.dat"))) << c.name << ": the dialogue ends at its first line";
    }
}

TEST_F(HardeningTest, ClosedStandardErrorNeverLetsAReportIntoAFile) {
    // The spectrum file once took the number of the closed standard error,
    // and the report of the second calculation went into it.
    writeFile(path("short.dat"), "3\n5.0 1.0\n12.0 4.0\n");
    auto result = shell("exec \"$0\" 2>&-", "n\n" + workedCalculation("out.dat") + "short.dat\n");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(file("spectrum.dat"), WORKED_SPECTRUM);
    EXPECT_EQ(file("short.dat"), "3\n5.0 1.0\n12.0 4.0\n");
    EXPECT_EQ(file("out.dat"), WORKED_ROWS);
}

// Closes every handle above standard error that the test process passed on.
const std::string CLOSE_INHERITED =
    "for handle in $(ls /proc/$$/fd); do [ \"$handle\" -gt 2 ] && eval \"exec $handle>&-\"; done; ";

TEST_F(HardeningTest, ConnectFailures) {
    ASSERT_EQ(::mkdir(path("folder").c_str(), 0777), 0);
    struct Case {
        std::string name, script, input, standardError;
    };
    const Case cases[] = {
        {"result file in a missing directory", "exec \"$0\"", "n\nspectrum.dat\n  'no/such/dir/out.dat'\n",
         report("F6416: OPEN(no/such/dir/out.dat)\r\n- ", ErrorNumber::PATH_NOT_FOUND)},
        {"input name that is a directory", "exec \"$0\"", "n\nfolder\n",
         report("F6414: OPEN(folder)\r\n- ", ErrorNumber::ACCESS_DENIED)},
        // The result file holds the only spare handle in the second calculation.
        {"no handle left in the second calculation", CLOSE_INHERITED + "ulimit -n 4; exec \"$0\"", "n\n" + workedCalculation("out.dat") + "spectrum.dat\n",
         report("F6417: OPEN(spectrum.dat)\r\n- ", ErrorNumber::TOO_MANY_OPEN_FILES)},
    };
    for (const Case& c : cases) {
        // The sanitizers' run-time needs handles of its own.
        if (SANITIZED && c.script.find("ulimit") != std::string::npos) continue;
        auto result = shell(c.script, c.input);
        EXPECT_EQ(result.standardError, c.standardError) << c.name << ": " << visible(result.standardError);
        EXPECT_EQ(result.exitStatus, 1) << c.name;
    }
    if (!SANITIZED) {
        EXPECT_EQ(file("out.dat"), WORKED_ROWS) << "the first calculation's rows stay";
    }
}

TEST_F(HardeningTest, InputFileRemovedOrCutBetweenCalculations) {
    struct Case {
        std::string name, change, spectrumAfter;
    };
    const Case cases[] = {
        {"removed", "rm spectrum.dat", ""},  // connected again: created empty, and it stays
        {"cut short", "printf '5\\n5.0 1.0\\n12.0 4.0\\n' > spectrum.dat", "5\n5.0 1.0\n12.0 4.0\n"},
    };
    for (const Case& c : cases) {
        writeFile(path("spectrum.dat"), WORKED_SPECTRUM);
        std::remove(path("out.dat").c_str());
        // The change is made while the program waits for the answer to
        // "another calculation?", before it is given.
        const std::string script =
            "rm -f console.txt; { printf 'n\\nspectrum.dat\\nout.dat\\n6\\n7\\ny\\n';"
            " for i in $(seq 400); do grep -q 'another calculation' console.txt 2>/dev/null && break; sleep 0.05; done;"
            " " + c.change + "; printf 'y\\nspectrum.dat\\n'; } | \"$0\" > console.txt";
        auto result = shell(script);
        EXPECT_EQ(result.standardError, report("F6501: READ(spectrum.dat)\r\n- ", ErrorNumber::END_OF_FILE))
            << c.name << ": " << visible(result.standardError);
        EXPECT_EQ(result.exitStatus, 1) << c.name;
        EXPECT_EQ(file("out.dat"), WORKED_ROWS) << c.name;
        EXPECT_EQ(file("spectrum.dat"), c.spectrumAfter) << c.name;
    }
}

TEST_F(HardeningTest, ZeroByteInAFileNameFailsTheConnect) {
    struct Case {
        std::string name, input, connectName, notCreated;
    };
    const std::string zeros(60, '\0');
    const Case cases[] = {
        // A null reply leaves the 60 zero bytes the variable starts with.
        {"null reply at the first file-name question", "n\n,\n", zeros, ""},
        {"input name", std::string("n\nnew.dat\0tail\n", 15), std::string("new.dat\0tail", 12), "new.dat"},
        {"result name", std::string("n\nspectrum.dat\nout.dat\0x\n", 25), std::string("out.dat\0x", 9), "out.dat"},
    };
    for (const Case& c : cases) {
        auto result = run(c.input);
        EXPECT_EQ(result.standardError, report("F6412: OPEN(" + c.connectName + ")\r\n- ", ErrorNumber::INVALID_NAME))
            << c.name << ": " << visible(result.standardError);
        EXPECT_EQ(result.exitStatus, 1) << c.name;
        if (!c.notCreated.empty()) {
            EXPECT_FALSE(testsupport::fileExists(path(c.notCreated))) << c.name << ": the name before the zero is never opened";
        }
    }
}

TEST_F(HardeningTest, TwoHugeRangeAnswersInFallingOrderAreRefused) {
    // Both answers lie far above the tables; their row indices, held at the
    // largest integer, once selected one row far outside the tables.
    auto result = run("n\nspectrum.dat\nout.dat\n4.4E35\n1.4E12\ny\n6\n6\ny\nn\n");
    EXPECT_EQ(result.standardError, "") << visible(result.standardError);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_NE(result.standardOutput.find("The energies must lie between 0.5 and 500000 eV; please try again."),
              std::string::npos);
    EXPECT_EQ(file("out.dat"), WORKED_ROWS.substr(0, 77));
}

// --- No lost data: two calculations append to one result file, the third ends in an error ---

TEST_F(HardeningTest, ErrorEndsKeepTheRowsOfEveryEarlierCalculation) {
    writeFile(path("bad.dat"), "2\n5.0 1.0\n12.0 four\n");
    writeFile(path("steep.dat"), STEEP_SPECTRUM);
    // The rows of the steep spectrum before the overflowing one, on their own.
    auto before = run("n\nsteep.dat\nsteep-rows.dat\n6\n6\ny\nn\n");
    ASSERT_EQ(before.exitStatus, 0);
    const std::string steepRows = file("steep-rows.dat");
    ASSERT_EQ(steepRows.size(), 77u);

    struct Case {
        std::string name, third, standardError, thirdRows;
    };
    const Case cases[] = {
        {"read error in the spectrum", "bad.dat\n", report("F6103: READ(bad.dat)\r\n- ", ErrorNumber::INVALID_REAL), ""},
        {"console input ends in the range dialogue", "spectrum.dat\nout.dat\n6\n",
         report("F6501: READ(CON)\r\n- ", ErrorNumber::END_OF_FILE), ""},
        {"overflow in the third calculation's sum", "steep.dat\nout.dat\n6\n7\ny\n", OVERFLOW_REPORT, steepRows},
    };
    for (const Case& c : cases) {
        std::remove(path("out.dat").c_str());
        auto result = run("n\n" + workedCalculation("out.dat") + workedCalculation("out.dat") + c.third);
        EXPECT_EQ(result.standardError, c.standardError) << c.name << ": " << visible(result.standardError);
        EXPECT_EQ(result.exitStatus, 1) << c.name;
        EXPECT_EQ(file("out.dat"), WORKED_ROWS + WORKED_ROWS + c.thirdRows) << c.name;
    }
}

// --- Large and hostile input ---

// Runs and checks that the program took at most `seconds` and stayed within bounded memory.
class BoundedRun {
public:
    explicit BoundedRun(double seconds) : seconds_(seconds), start_(std::chrono::steady_clock::now()) {}
    void check(const std::string& what) const {
        const double taken = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        EXPECT_LT(taken, seconds_) << what << " took " << taken << " s";
        struct rusage usage;
        ::getrusage(RUSAGE_CHILDREN, &usage);
        // The six tables take 48 MB; the sanitizer's shadow memory comes on top.
        const long limitKilobytes = SANITIZED ? 1024L * 1024 : 256L * 1024;
        EXPECT_LT(usage.ru_maxrss, limitKilobytes) << what << ": " << usage.ru_maxrss << " kB";
    }

private:
    double seconds_;
    std::chrono::steady_clock::time_point start_;
};

std::string manyRows(int count, int declared) {
    std::string text = std::to_string(declared) + "\n";
    text.reserve(static_cast<std::size_t>(count) * 24);
    for (int i = 1; i <= count; ++i) {
        // Energies from 10.00002 to 30.0 eV, all with the same f''.
        text += std::to_string(10 + i / 50000) + "." + std::to_string(100000 + (i % 50000) * 2).substr(1) + " 2.5\n";
    }
    return text;
}

TEST_F(HardeningTest, SpectrumOfAMillionRowsIsReadWithinSeconds) {
    writeFile(path("million.dat"), manyRows(1000000, 1000000));
    // The same flat f'' from two rows gives the same grid, hence the same rows.
    writeFile(path("two.dat"), "2\n10.0 2.5\n30.0 2.5\n");
    auto expected = run("n\ntwo.dat\ntwo-rows.dat\n6\n8\ny\nn\n");
    ASSERT_EQ(expected.exitStatus, 0);
    BoundedRun bound(SANITIZED ? 60 : 20);
    auto result = run("n\nmillion.dat\nmillion-rows.dat\n6\n8\ny\nn\n");
    bound.check("a million rows");
    EXPECT_EQ(result.exitStatus, 0) << visible(result.standardError);
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(file("million-rows.dat"), file("two-rows.dat"));
    EXPECT_EQ(file("million-rows.dat").size(), 5u * 77u);
}

TEST_F(HardeningTest, SpectrumOfAMillionAndOneRowsIsRefusedUnread) {
    writeFile(path("too-many.dat"), manyRows(1000001, 1000001));
    BoundedRun bound(10);
    auto result = run("n\ntoo-many.dat\nspectrum.dat\nout.dat\n6\n7\ny\nn\n");
    bound.check("a million and one rows");
    EXPECT_EQ(result.exitStatus, 0) << visible(result.standardError);
    const std::string refusal = "Please tell me the name of your input file:\r\nThe input file holds more than 1000000 entries.\r\n";
    EXPECT_NE(result.standardOutput.find(refusal), std::string::npos);
    EXPECT_EQ(file("out.dat"), WORKED_ROWS) << "the dialogue goes on with the next file";
}

TEST_F(HardeningTest, HostileSpectrumFiles) {
    std::string longLine;
    while (longLine.size() < 10 * 1024 * 1024) longLine += "5.0 1.0 ";
    const std::string digits300 = "1" + std::string(299, '0');
    struct Case {
        std::string name, content, standardError, standardOutputPiece;
    };
    const Case cases[] = {
        {"a 10 MB line without line end", "2\n" + longLine,
         report("F6501: READ(hostile.dat)\r\n- ", ErrorNumber::END_OF_FILE), ""},
        {"4096 zero bytes", std::string(4096, '\0'), report("F6101: READ(hostile.dat)\r\n- ", ErrorNumber::INVALID_INTEGER), ""},
        {"100 zero bytes: a zero byte ends the count, which is 0", std::string(100, '\0') + "\n", "",
         "The input file must hold at least one entry."},
        {"carriage returns only", "5\r5.0 1.0\r12.0 4.0\r20.0 3.0\r26.0 2.5\r31.0 2.5\r",
         report("F6501: READ(hostile.dat)\r\n- ", ErrorNumber::END_OF_FILE), ""},
        {"a count of 300 digits", digits300 + "\n", report("F6101: READ(hostile.dat)\r\n- ", ErrorNumber::INVALID_INTEGER), ""},
        {"an energy of 300 digits", "1\n" + digits300 + " 1.0\n",
         report("F6103: READ(hostile.dat)\r\n- ", ErrorNumber::INVALID_REAL), ""},
    };
    for (const Case& c : cases) {
        writeFile(path("hostile.dat"), c.content);
        BoundedRun bound(SANITIZED ? 30 : 10);
        auto result = run("n\nhostile.dat\n");
        bound.check(c.name);
        EXPECT_EQ(result.standardError, c.standardError.empty()
                                            ? report("F6501: READ(CON)\r\n- ", ErrorNumber::END_OF_FILE)
                                            : c.standardError)
            << c.name << ": " << visible(result.standardError);
        EXPECT_EQ(result.exitStatus, 1) << c.name;
        if (!c.standardOutputPiece.empty()) {
            EXPECT_NE(result.standardOutput.find(c.standardOutputPiece), std::string::npos) << c.name;
        }
    }
}

TEST_F(HardeningTest, HostileConsoleAnswers) {
    const std::string normal = "n\nspectrum.dat\nout.dat\n6\n7\ny\nn\n";
    auto expected = run(normal);
    ASSERT_EQ(expected.exitStatus, 0);
    std::string tenMegabytes(10 * 1024 * 1024, 'n');

    struct Case {
        std::string name, input, standardError;
        bool terminal;
    };
    const Case cases[] = {
        // Redirected: the answer keeps its first 60 characters, the rest of the line is passed over.
        {"a 10,000-character answer", std::string(10000, 'n') + "\nspectrum.dat\nout.dat\n6\n7\ny\nn\n", "", false},
        {"a 10 MB answer", tenMegabytes + "\nspectrum.dat\nout.dat\n6\n7\ny\nn\n", "", false},
        {"a 300-digit energy", "n\nspectrum.dat\nout.dat\n1" + std::string(299, '0') + "\n",
         report("F6103: READ(CON)\r\n- ", ErrorNumber::INVALID_REAL), false},
        {"a 10,000-character answer typed on a terminal", std::string(10000, 'n') + "\n",
         report("F6407: READ(CON)\r\n- ", ErrorNumber::CONSOLE_LINE_TOO_LONG), true},
    };
    for (const Case& c : cases) {
        std::remove(path("out.dat").c_str());
        testsupport::RunOptions given = options(c.input);
        given.inputIsTerminal = given.outputIsTerminal = c.terminal;
        BoundedRun bound(SANITIZED ? 30 : 10);
        auto result = testsupport::runProgram({testsupport::programPath()}, given);
        bound.check(c.name);
        EXPECT_EQ(result.standardError, c.standardError) << c.name << ": " << visible(result.standardError);
        if (c.standardError.empty()) {
            EXPECT_EQ(result.exitStatus, 0) << c.name;
            EXPECT_EQ(result.standardOutput, expected.standardOutput) << c.name;
            EXPECT_EQ(file("out.dat"), WORKED_ROWS) << c.name;
        } else {
            EXPECT_EQ(result.exitStatus, 1) << c.name;
        }
    }
}

// --- Memory checking of the worked example session ---

TEST_F(HardeningTest, WorkedExampleIsCleanUnderMemcheck) {
    if (SANITIZED) GTEST_SKIP() << "memcheck cannot run a sanitizer build";
    if (!testsupport::fileExists("/usr/bin/valgrind")) GTEST_SKIP() << "valgrind is not installed";
    const std::string input = "n\nspectrum.dat\nout.dat\n6\n7\ny\nn\n";
    auto plain = run(input);
    std::remove(path("out.dat").c_str());
    testsupport::RunOptions given = options(input);
    given.timeoutSeconds = 300;
    auto result = testsupport::runProgram({"/usr/bin/valgrind", "--tool=memcheck", "--error-exitcode=99",
                                           "--leak-check=full", "--errors-for-leak-kinds=all",
                                           "--log-file=" + path("memcheck.log"), testsupport::programPath()},
                                          given);
    EXPECT_EQ(result.exitStatus, 0) << file("memcheck.log");
    EXPECT_EQ(result.standardOutput, plain.standardOutput);
    EXPECT_EQ(file("out.dat"), WORKED_ROWS);
    EXPECT_NE(file("memcheck.log").find("ERROR SUMMARY: 0 errors"), std::string::npos) << file("memcheck.log");
}

}  // namespace
