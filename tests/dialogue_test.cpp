// The whole program through its console dialogue: lines, answers, result files, reports and status.
#include <string>
#include <vector>

#include "support/test_support.h"
#include "textio/errors.h"

namespace {

using testsupport::readFile;
using testsupport::runProgram;
using testsupport::visible;
using testsupport::writeFile;

const char* const INTRODUCTION[] = {
    "Welcome to the Kramers-Kronig integration routine!",
    "You have to supply an input file containing two columns:",
    "First column: Energy values given in electron volts.",
    "Second column: values for f' in electron units.",
    "The first line of the input file should contain only one number:",
    "The number of energy entries in the file.",
    "To achieve sufficient precision, the energy values should run at least",
    "up to four times the k-edge value of the corresponding element.",
    "You can always try to improve your sensitivity by going further.",
    "Around the concerned absorption edge it is advised to accumulate",
    "data-points in a distance of 0.5 electron volts during the measurement of f``.",
    "Do you need more information about the data-preparation? (y/n)",
};

const char* const ADVICE[] = {
    "A theoretical data-file up to the required energy values can be looked up",
    "in the international tables or on online databases.",
    "Use the Relativistic Hartree-Fock-Slater scattering factors given in",
    "https://physics.nist.gov/PhysRefData/FFast/html/form.html",
    "In the vicinity of the concerned absorption edge, delete the datapoints",
    "and replace them by your own absorption data.",
    "This program will interpolate everything to 0.5 eV steps and write",
    "the result of f` and f`` as a function of energy in a 3 column output file.",
};

const std::string WORKED_SPECTRUM = "5\n5.0 1.0\n12.0 4.0\n20.0 3.0\n26.0 2.5\n31.0 2.5\n";
const std::string WORKED_ROWS =
    "       15.500000000000000       -1.386678572206372        3.562500000000000\r\n"
    "       16.000000000000000       -1.227303805657467        3.500000000000000\r\n"
    "       16.500000000000000       -1.081452285856236        3.437500000000000\r\n";

// Console lines, each followed by CR LF.
struct Console {
    std::string bytes;
    Console& line(const std::string& text) {
        bytes += text + "\r\n";
        return *this;
    }
    template <std::size_t N>
    Console& lines(const char* const (&texts)[N]) {
        for (const char* text : texts) line(text);
        return *this;
    }
    Console& calculationStart(const std::string& top) {
        return line("Please tell me the name of your input file:")
            .line("and tell me the name of file where I shall write the output values:")
            .line("I am interpolating the input file from 0 to")
            .line(std::string(11 - top.size(), ' ') + top)
            .line("in 0.5 eV steps....");
    }
    Console& range(const std::string& low, const std::string& high) {
        return line("Please tell me the lowest output energy you need for your f` values:")
            .line("...and the highest energy up to which I shall integrate:")
            .line("The calculation of f` will follow between")
            .line(std::string(15 - low.size(), ' ') + low)
            .line("and")
            .line(std::string(15 - high.size(), ' ') + high)
            .line("if you are happy with these values type \"y\" ");
    }
    Console& workedRows() {
        return line("      15.500000000000000       -1.386678572206372")
            .line("      16.000000000000000       -1.227303805657467")
            .line("      16.500000000000000       -1.081452285856236");
    }
    Console& closing(const std::string& resultName) {
        return line("all integrated without divergences and written to output file")
            .line(resultName + std::string(60 - resultName.size(), ' '))
            .line(" ")
            .line("Written in December 2026 by the kkfprime developers.")
            .line("have a nice day!!")
            .line("do you need another calculation (y/n)?");
    }
};

std::string report(const std::string& head, textio::ErrorNumber number) {
    return "\r\nrun-time error " + head + std::string(textio::errorMessage(number)) + "\r\n";
}

class DialogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = testsupport::makeTempDir("dialogue");
        writeFile(folder + "/spectrum.dat", WORKED_SPECTRUM);
    }
    testsupport::RunResult run(const std::string& input, bool terminal = false) {
        testsupport::RunOptions options;
        options.workingDirectory = folder;
        options.standardInput = input;
        options.inputIsTerminal = terminal;
        options.outputIsTerminal = terminal;
        return runProgram({testsupport::programPath()}, options);
    }
    std::string file(const std::string& name) { return readFile(folder + "/" + name); }
    std::string folder;
};

TEST_F(DialogueTest, WorkedExampleEndToEnd) {
    auto result = run("n\nspectrum.dat\nout.dat\n6\n7\ny\nn\n");
    Console expected;
    expected.lines(INTRODUCTION).calculationStart("31").range("6.000000", "7.000000").workedRows().closing("out.dat");
    EXPECT_EQ(result.standardOutput, expected.bytes) << visible(result.standardOutput);
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(file("out.dat"), WORKED_ROWS) << visible(file("out.dat"));
}

TEST_F(DialogueTest, WorkedExampleOnATerminalGivesTheSameBytes) {
    auto result = run("n\nspectrum.dat\nout.dat\n6\n7\ny\nn\n", true);
    Console expected;
    expected.lines(INTRODUCTION).calculationStart("31").range("6.000000", "7.000000").workedRows().closing("out.dat");
    EXPECT_EQ(result.standardOutput, expected.bytes) << visible(result.standardOutput);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(file("out.dat"), WORKED_ROWS);
}

TEST_F(DialogueTest, AdviceRangeLoopAndTwoCalculationsOnOneFile) {
    writeFile(folder + "/out.dat", "old contents that the first row replaces\r\n");
    auto result = run("y\nspectrum.dat\nout.dat\n6\n7\nn\n6\n7\ny\ny\nspectrum.dat\nout.dat\n6\n7\ny\nn\n");
    Console expected;
    expected.lines(INTRODUCTION).lines(ADVICE).calculationStart("31");
    expected.range("6.000000", "7.000000").range("6.000000", "7.000000").workedRows().closing("out.dat");
    expected.calculationStart("31").range("6.000000", "7.000000").workedRows().closing("out.dat");
    EXPECT_EQ(result.standardOutput, expected.bytes) << visible(result.standardOutput);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(file("out.dat"), WORKED_ROWS + WORKED_ROWS) << "rows appended, the file not emptied again";
}

TEST_F(DialogueTest, SecondCalculationOnAnotherFileKeepsTheFirst) {
    auto result = run("n\nspectrum.dat\nfirst.dat\n6\n7\ny\ny\nspectrum.dat\nsecond.dat\n6\n6\ny\nn\n");
    EXPECT_EQ(result.exitStatus, 0) << visible(result.standardError);
    EXPECT_EQ(file("first.dat"), WORKED_ROWS);
    EXPECT_EQ(file("second.dat"), WORKED_ROWS.substr(0, 77));
}

TEST_F(DialogueTest, EmptyRangeWritesNoRowAndKeepsAnExistingFile) {
    writeFile(folder + "/out.dat", "kept\r\n");
    auto result = run("n\nspectrum.dat\nout.dat\n7\n6\ny\nn\n");
    Console expected;
    expected.lines(INTRODUCTION).calculationStart("31").range("7.000000", "6.000000").closing("out.dat");
    EXPECT_EQ(result.standardOutput, expected.bytes) << visible(result.standardOutput);
    EXPECT_EQ(file("out.dat"), "kept\r\n");
}

TEST_F(DialogueTest, RefusedSpectraAndRangesAskAgain) {
    writeFile(folder + "/empty-count.dat", "0\n");
    writeFile(folder + "/too-many.dat", "1000001\n1.0 1.0\n");
    writeFile(folder + "/too-high.dat", "2\n1.0 1.0\n500001.0 1.0\n");
    auto result = run("n\nempty-count.dat\ntoo-many.dat\ntoo-high.dat\nspectrum.dat\nout.dat\n0.4\n7\ny\n6\n1E30\ny\n6\n6\ny\nn\n");
    const std::string askInput = "Please tell me the name of your input file:";
    Console expected;
    expected.lines(INTRODUCTION);
    expected.line(askInput).line("The input file must hold at least one entry.");
    expected.line(askInput).line("The input file holds more than 1000000 entries.");
    expected.line(askInput).line("The last energy of the input file must lie below 500001 eV.");
    expected.calculationStart("31");
    const std::string refusal = "The energies must lie between 0.5 and 500000 eV; please try again.";
    expected.range("4.000000E-01", "7.000000").line(refusal);
    expected.range("6.000000", "1.000000E+30").line(refusal);
    expected.range("6.000000", "6.000000");
    expected.line("      15.500000000000000       -1.386678572206372").closing("out.dat");
    EXPECT_EQ(result.standardOutput, expected.bytes) << visible(result.standardOutput);
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.exitStatus, 0);
}

TEST_F(DialogueTest, ErrorEndsCarryTheirReportAndKeepEarlierRows) {
    writeFile(folder + "/short.dat", "3\n5.0 1.0\n12.0 4.0\n");
    writeFile(folder + "/huge.dat", "2\n5.0 1e308\n12.0 -1e308\n");
    struct Case {
        std::string name, input, standardError;
    };
    const std::string first = "n\nspectrum.dat\nout.dat\n6\n7\ny\ny\n";
    const Case cases[] = {
        {"missing directory", first + "'no/such/dir/spectrum.dat'\n",
         report("F6416: OPEN(no/such/dir/spectrum.dat)\r\n- ", textio::ErrorNumber::PATH_NOT_FOUND)},
        {"input ends before its count", first + "short.dat\n",
         report("F6501: READ(short.dat)\r\n- ", textio::ErrorNumber::END_OF_FILE)},
        {"console input ends", first + "spectrum.dat\nout.dat\n6\n",
         report("F6501: READ(CON)\r\n- ", textio::ErrorNumber::END_OF_FILE)},
        {"not a number", first + "spectrum.dat\nout.dat\nsix\n",
         report("F6103: READ(CON)\r\n- ", textio::ErrorNumber::INVALID_REAL)},
        {"overflow", first + "huge.dat\nout.dat\n", "\r\nrun-time error M6104: MATH\r\n- floating-point error: overflow\r\n"},
    };
    for (const Case& c : cases) {
        auto result = run(c.input);
        EXPECT_EQ(result.standardError, c.standardError) << c.name << ": " << visible(result.standardError);
        EXPECT_EQ(result.exitStatus, 1) << c.name;
        EXPECT_EQ(file("out.dat"), WORKED_ROWS) << c.name << ": the first calculation's rows stay";
    }
}

}  // namespace
