// Name preparation, connecting and disconnecting units, and the file-name question.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "textio/units.h"

using namespace textio;
using testsupport::expectRaise;

namespace {

struct NameCase {
    std::string given;
    std::string prepared;
    bool isDevice;
};

TEST(NamePreparation, TrimsAndRecognisesDevices) {
    const NameCase cases[] = {
        {"  data.dat  ", "data.dat", false},
        {"USER", "CON", true},
        {"user", "CON", true},
        {"con", "con", true},
        {"CON.txt", "CON", true},
        {"con.", "con", true},
        {"err", "err", true},
        {"ERR.", "ERR", true},
        {"err.txt", "err.txt", false},
        {"line.dat", "line.dat", false},
        {"user.x", "user.x", false},
        {"LINE", "LINE", true},
        {"prn.txt", "prn", true},
        {"nul", "nul", true},
        {"NUL.dat", "NUL", true},
        {"lpt1.out", "lpt1.out", false},
        {"lpt1", "lpt1", true},
        {"com2.out", "com2", true},
        {"com4", "com4", true},
        {"aux.x", "aux", true},
        {"lpt5", "lpt5", false},
        {"conx", "conx", false},
        {"dir/con", "dir/con", false},
        {"nul.d/out", "nul.d/out", false},
        {"con.x/out", "con.x/out", false},
        {"a.b/prn", "a.b/prn", false},
        {"x.y/aux", "x.y/aux", false},
        {"./nul", "./nul", false},
        {"a.b.con", "a.b.con", false},
        {"\tcon", "\tcon", false},
        {" \tname\t ", "\tname\t", false},
        {"      ", "", false},
        {"", "", false},
    };
    for (const NameCase& c : cases) {
        PreparedName prepared;
        trimName(c.given.data(), static_cast<int>(c.given.size()), prepared);
        classifyDeviceName(prepared);
        EXPECT_EQ(std::string(prepared.view()), c.prepared) << "name [" << c.given << "]";
        EXPECT_EQ(prepared.isDevice, c.isDevice) << "name [" << c.given << "]";
    }
}

TEST(NamePreparation, KeepsAtMost259Characters) {
    std::string longName(300, 'a');
    PreparedName prepared;
    trimName(longName.data(), static_cast<int>(longName.size()), prepared);
    EXPECT_EQ(prepared.length, MAX_NAME_LENGTH);
    // Blanks beyond the 259th character do not count.
    std::string padded = std::string(259, 'b') + "   c";
    trimName(padded.data(), static_cast<int>(padded.size()), prepared);
    EXPECT_EQ(prepared.length, 259);
    trimName("abc", -5, prepared);
    EXPECT_EQ(prepared.length, 0);
}

class UnitsTest : public testsupport::TextIoTest {
protected:
    void SetUp() override {
        TextIoTest::SetUp();
        folder = testsupport::makeTempDir("units");
    }
    void connect(std::int32_t unit, const std::string& name) {
        openUnit(unit, name.data(), static_cast<int>(name.size()));
    }
    void bufferBytes(std::int32_t unit, const std::string& bytes) {
        Connection& connection = findConnection(unit, Direction::OUTPUT);
        startOutput(connection);
        appendToBuffer(connection, bytes.data(), static_cast<int>(bytes.size()), StatementKind::WRITE);
    }
    std::string path(const std::string& name) const { return folder + "/" + name; }
    std::string folder;
};

TEST_F(UnitsTest, MissingFileIsCreatedEmptyAndStartsInWriteMode) {
    connect(1, "  " + path("new.dat") + "  ");
    ASSERT_TRUE(testsupport::fileExists(path("new.dat")));
    EXPECT_EQ(testsupport::readFile(path("new.dat")), "");
    Connection& connection = findConnection(1, Direction::INPUT);
    EXPECT_TRUE(connection.writeMode);
    EXPECT_EQ(connection.kind, ConnectionKind::SEQUENTIAL_FILE);
    EXPECT_EQ(connection.bufferSize, FILE_BUFFER_SIZE);
    EXPECT_EQ(connection.name(), path("new.dat"));
    EXPECT_EQ(connection.access, platform::Access::READWRITE);
}

TEST_F(UnitsTest, ExistingFileIsOpenedUnchangedUntilTheFirstOutput) {
    testsupport::writeFile(path("old.dat"), "old contents\r\n");
    connect(2, path("old.dat"));
    EXPECT_FALSE(findConnection(2, Direction::OUTPUT).writeMode);
    closeUnit(2);
    EXPECT_EQ(testsupport::readFile(path("old.dat")), "old contents\r\n");

    connect(2, path("old.dat"));
    bufferBytes(2, " new\r\n");
    closeUnit(2);
    EXPECT_EQ(testsupport::readFile(path("old.dat")), " new\r\n");
}

TEST_F(UnitsTest, FirstOutputCutsAtTheReadPosition) {
    testsupport::writeFile(path("mixed.dat"), "line one\nline two\n");
    connect(1, path("mixed.dat"));
    Connection& connection = findConnection(1, Direction::INPUT);
    startInput(connection);
    long n = readBlock(connection);
    ASSERT_EQ(n, 18);
    connection.position = 9;  // the first record has been taken
    connection.end = static_cast<int>(n) - 1;
    bufferBytes(1, "new\n");
    closeUnit(1);
    EXPECT_EQ(testsupport::readFile(path("mixed.dat")), "line one\nnew\n");
}

TEST_F(UnitsTest, ReadOnlyFileFallsBackToReadAccess) {
    testsupport::writeFile(path("locked.dat"), "5\n");
    // The system refuses every open that asks for write access.
    platform::systemCalls().open = [](const char* name, int flags, unsigned mode) -> int {
        if ((flags & O_ACCMODE) != O_RDONLY) return -EACCES;
        int handle = ::open(name, flags, mode);
        return handle >= 0 ? handle : -errno;
    };
    connect(1, path("locked.dat"));
    Connection& connection = findConnection(1, Direction::INPUT);
    EXPECT_EQ(connection.access, platform::Access::READ);
    EXPECT_EQ(readBlock(connection), 2);
    EXPECT_EQ(std::string(connection.buffer, 2), "5\n");
}

TEST_F(UnitsTest, OpenFailuresCarryTheirNumbers) {
    testsupport::writeFile(path("plain.dat"), "");
    platform::systemCalls().open = [](const char*, int, unsigned) -> int { return -EMFILE; };
    auto tooMany = expectRaise([&] { connect(1, path("elsewhere.dat")); });
    EXPECT_EQ(tooMany.number, 6417);
    platform::restoreSystemCalls();

    struct FailureCase {
        std::string name;
        int number;
    };
    const FailureCase cases[] = {
        {path("missing/dir/spectrum.dat"), 6416},
        {path("plain.dat") + "/below", 6416},  // a file used as a directory
        {folder, 6414},                        // a directory holds no records
        {std::string(258, 'n'), 6412},         // a name longer than the system allows
    };
    for (const FailureCase& c : cases) {
        auto raised = expectRaise([&] { connect(1, c.name); });
        EXPECT_EQ(raised.number, c.number) << c.name;
        EXPECT_EQ(raised.kind, StatementKind::OPEN) << c.name;
        EXPECT_EQ(raised.name, c.name) << c.name;
        EXPECT_EQ(unitTable().unit[0], FREE_UNIT) << "a failed connect makes no connection";
    }
}

TEST_F(UnitsTest, ZeroByteInNameFailsWithoutOpeningThePrefix) {
    std::string name = path("prefix") + std::string(1, '\0') + "rest";
    auto raised = expectRaise([&] { connect(1, name); });
    EXPECT_EQ(raised.number, 6412);
    EXPECT_FALSE(testsupport::fileExists(path("prefix")));
    // The variable of zero bytes that a null reply leaves behind.
    auto zeros = expectRaise([&] { connect(1, std::string(60, '\0')); });
    EXPECT_EQ(zeros.number, 6412);
}

TEST_F(UnitsTest, ZeroByteNameIsRefusedEvenWhenTheBytesBeforeItNameAConnectedFile) {
    connect(2, path("rows.dat"));
    bufferBytes(2, " row\r\n");
    const std::string withZero = path("rows.dat") + std::string(1, '\0') + "x";
    // Unit 2 again: not taken for the connected file, which stays connected.
    auto again = expectRaise([&] { connect(2, withZero); });
    EXPECT_EQ(again.number, 6412);
    EXPECT_EQ(again.name, withZero);
    // Another unit: not a conflict with unit 2, an invalid name.
    auto other = expectRaise([&] { connect(1, withZero); });
    EXPECT_EQ(other.number, 6412);
    EXPECT_EQ(findConnection(2, Direction::OUTPUT).position, 6);
    closeUnit(2);
    EXPECT_EQ(testsupport::readFile(path("rows.dat")), " row\r\n");
}

TEST_F(UnitsTest, SameFileAgainKeepsConnectionAndPosition) {
    ASSERT_EQ(::chdir(folder.c_str()), 0);
    connect(2, "rows.dat");
    bufferBytes(2, " first\r\n");
    Connection* before = &findConnection(2, Direction::OUTPUT);
    connect(2, path("rows.dat"));  // the same file by its absolute name
    connect(2, "./rows.dat");
    EXPECT_EQ(&findConnection(2, Direction::OUTPUT), before);
    EXPECT_EQ(before->position, 8);
    bufferBytes(2, " second\r\n");
    closeUnit(2);
    EXPECT_EQ(testsupport::readFile(path("rows.dat")), " first\r\n second\r\n");
    ASSERT_EQ(::chdir(KKF_BINARY_DIR), 0);
}

TEST_F(UnitsTest, AnotherNameDisconnectsAndKeepsTheOldFile) {
    connect(2, path("a.dat"));
    bufferBytes(2, " a rows\r\n");
    connect(2, path("b.dat"));
    EXPECT_EQ(testsupport::readFile(path("a.dat")), " a rows\r\n");
    EXPECT_EQ(findConnection(2, Direction::OUTPUT).name(), path("b.dat"));
    EXPECT_TRUE(testsupport::fileExists(path("b.dat")));
}

TEST_F(UnitsTest, NameConnectedToAnotherUnitIsRefusedExceptNul) {
    connect(2, path("shared.dat"));
    auto raised = expectRaise([&] { connect(1, path("shared.dat")); });
    EXPECT_EQ(raised.number, 6413);
    EXPECT_EQ(raised.kind, StatementKind::OPEN);
    EXPECT_EQ(raised.name, path("shared.dat"));

    connect(3, "nul");
    connect(4, "NUL");
    EXPECT_EQ(findConnection(4, Direction::OUTPUT).kind, ConnectionKind::DEVICE);
    connect(5, "err");
    auto device = expectRaise([&] { connect(6, "ERR"); });
    EXPECT_EQ(device.number, 6413);
}

TEST_F(UnitsTest, SixtySecondConnectionIsRefusedAndCreatesNothing) {
    for (int unit = 1; unit <= MAX_CONNECTED_UNITS; ++unit) connect(unit, "NUL");
    auto raised = expectRaise([&] { connect(100, path("one-too-many.dat")); });
    EXPECT_EQ(raised.number, 6418);
    EXPECT_FALSE(testsupport::fileExists(path("one-too-many.dat")));
    closeUnit(7);
    connect(100, path("one-too-many.dat"));
    EXPECT_EQ(unitTable().unit[6], 100) << "a new connection takes the first free entry";
}

TEST_F(UnitsTest, CloseOfUnconnectedUnitDoesNothing) {
    connect(2, path("kept.dat"));
    closeUnit(1);
    closeUnit(-7);
    EXPECT_EQ(unitTable().unit[0], 2);
    closeUnit(2);
    closeUnit(2);
    EXPECT_EQ(unitTable().unit[0], FREE_UNIT);
}

TEST_F(UnitsTest, CloseWithDeleteRemovesTheFile) {
    connect(2, path("scratch.dat"));
    bufferBytes(2, " unwritten\r\n");
    closeUnit(2, Disposition::DELETE);
    EXPECT_FALSE(testsupport::fileExists(path("scratch.dat")));
}

TEST_F(UnitsTest, DeviceNamesConnectToDevices) {
    ASSERT_EQ(::chdir(folder.c_str()), 0);
    connect(1, "con.txt");
    connect(2, "err.txt");
    connect(3, "NUL");
    EXPECT_EQ(&findConnection(1, Direction::OUTPUT), &consoleConnection(Direction::OUTPUT));
    EXPECT_EQ(&findConnection(1, Direction::INPUT), &consoleConnection(Direction::INPUT));
    EXPECT_TRUE(testsupport::fileExists(path("err.txt")));
    EXPECT_EQ(findConnection(2, Direction::OUTPUT).kind, ConnectionKind::SEQUENTIAL_FILE);
    EXPECT_EQ(findConnection(3, Direction::OUTPUT).bufferSize, DEVICE_BUFFER_SIZE);
    EXPECT_FALSE(testsupport::fileExists(path("NUL")));
    ASSERT_EQ(::chdir(KKF_BINARY_DIR), 0);
}

TEST_F(UnitsTest, ConsoleUnitsNeedNoConnect) {
    EXPECT_EQ(&findConnection(CONSOLE_UNIT, Direction::INPUT), &consoleConnection(Direction::INPUT));
    EXPECT_EQ(&findConnection(5, Direction::INPUT), &consoleConnection(Direction::INPUT));
    EXPECT_EQ(&findConnection(6, Direction::OUTPUT), &consoleConnection(Direction::OUTPUT));
    EXPECT_EQ(consoleConnection(Direction::OUTPUT).name(), "CON");
    EXPECT_EQ(unitTable().unit[0], FREE_UNIT);
}

TEST_F(UnitsTest, BlankNamesTakeTheCommandLineArgumentsInTurn) {
    std::string first = path("first.dat"), second = "  " + path("second.dat") + " ";
    char* arguments[] = {const_cast<char*>("kkfprime"), first.data(), second.data()};
    resetUnitsForTesting(3, arguments);
    connect(1, "   ");
    connect(2, "");
    EXPECT_EQ(findConnection(1, Direction::INPUT).name(), path("first.dat"));
    EXPECT_EQ(findConnection(2, Direction::INPUT).name(), path("second.dat"));
}

TEST(ConsoleConnections, SharedOnlyWhenBothStreamsAreTerminals) {
    struct Case {
        bool inputTerminal, outputTerminal;
        std::string expected;
    };
    const Case cases[] = {{true, true, "shared"}, {true, false, "separate"}, {false, true, "separate"},
                          {false, false, "separate"}};
    for (const Case& c : cases) {
        testsupport::RunOptions options;
        options.inputIsTerminal = c.inputTerminal;
        options.outputIsTerminal = c.outputTerminal;
        auto result = testsupport::runProgram({testsupport::driverPath("textio_driver"), "console"}, options);
        EXPECT_EQ(result.standardOutput, c.expected) << c.inputTerminal << c.outputTerminal;
        EXPECT_EQ(result.exitStatus, 0);
    }
}

TEST(AskFileName, ArgumentsFirstThenThePromptUntilANonBlankLine) {
    const std::string prompt = "File name missing or blank - please enter file name\r\nUNIT 1? ";
    struct Case {
        std::string label;
        std::vector<std::string> arguments;
        std::string input, output, created;
    };
    const Case cases[] = {
        {"prompt again on blank lines", {}, "\n   \r\n  answer.dat  \nnot read\n", prompt + prompt + prompt + "[answer.dat]",
         "answer.dat"},
        {"an argument before the prompt", {"given.dat"}, "typed.dat\n", "[given.dat]", "given.dat"},
        {"a blank argument, then the prompt", {"  "}, "typed.dat\n", prompt + "[typed.dat]", "typed.dat"},
        {"a last line without line end", {}, "  \nlast.dat", prompt + prompt + "[last.dat]", "last.dat"},
    };
    for (const Case& c : cases) {
        std::string folder = testsupport::makeTempDir("ask");
        testsupport::RunOptions options;
        options.workingDirectory = folder;
        options.standardInput = c.input;
        std::vector<std::string> argv{testsupport::driverPath("textio_driver"), "ask"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        auto result = testsupport::runProgram(argv, options);
        EXPECT_EQ(result.standardOutput, c.output) << c.label << ": " << testsupport::visible(result.standardOutput);
        EXPECT_EQ(result.standardError, "") << c.label;
        EXPECT_EQ(result.exitStatus, 0) << c.label;
        EXPECT_TRUE(testsupport::fileExists(folder + "/" + c.created)) << c.label;
    }
}

TEST(AskFileName, EndOfInputIsAnEndOfFileReport) {
    testsupport::RunOptions options;
    options.standardInput = "  \n";
    auto result = testsupport::runProgram({testsupport::driverPath("textio_driver"), "ask"}, options);
    EXPECT_EQ(result.standardError,
              "\r\nrun-time error F6501: OPEN()\r\n- " + std::string(errorMessage(ErrorNumber::END_OF_FILE)) + "\r\n");
    EXPECT_EQ(result.exitStatus, 1);
}

}  // namespace
