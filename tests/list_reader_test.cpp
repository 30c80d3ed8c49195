// Tests of list-directed input: values, separators and records over files, redirected input and terminals.
#include "textio/list_reader.h"

#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "drivers/reader_items.h"
#include "support/test_support.h"
#include "textio/errors.h"
#include "textio/platform.h"
#include "textio/units.h"

namespace textio {
namespace {

using testsupport::RaisedError;
using testsupport::visible;

// Runs one statement on `unit`; returns what its items hold afterwards,
// followed by " F<number>" when it raised.
std::string runStatement(std::int32_t unit, const std::string& letters) {
    readertest::StatementItems items(letters);
    std::string raised;
    try {
        ListReader::begin(unit);
        items.read();
        ListReader::end();
    } catch (const RaisedError& error) {
        raised = " F" + std::to_string(error.number);
    }
    return items.show() + raised;
}

// Input bytes, the statements run on them in turn, and what each gives.
// A statement that raises ends the case.
struct ReadCase {
    std::string input;
    std::vector<std::string> statements;
    std::vector<std::string> expected;
};

class ListReaderTest : public testsupport::TextIoTest {
protected:
    void SetUp() override {
        TextIoTest::SetUp();
        folder = testsupport::makeTempDir("reader");
    }

    // Connects unit 1 to a file holding `bytes`.
    void connectFile(const std::string& bytes, const std::string& name = "input.dat") {
        path = folder + "/" + name;
        testsupport::writeFile(path, bytes);
        openUnit(1, path.c_str(), static_cast<int>(path.size()));
    }

    void runCases(const std::vector<ReadCase>& cases) {
        for (const ReadCase& c : cases) {
            resetUnitsForTesting();
            connectFile(c.input);
            for (std::size_t s = 0; s < c.statements.size(); ++s) {
                std::string got = runStatement(1, c.statements[s]);
                EXPECT_EQ(got, c.expected[s]) << "input \"" << visible(c.input) << "\", statement " << s + 1
                                              << " (" << c.statements[s] << ")";
                if (got.find(" F") != std::string::npos) break;
            }
            closeUnit(1);
        }
    }

    std::string folder;
    std::string path;
};

TEST_F(ListReaderTest, TextValues) {
    const std::string seventy(70, 'x');
    runCases({
        {"y\r\n", {"t"}, {"t=[y]+59"}},
        {"  y  \r\n", {"t"}, {"t=[y]+59"}},
        {"\ty\t\r\n", {"t"}, {"t=[y]+59"}},
        {"'y'\r\n", {"t"}, {"t=[y]+59"}},
        {"\"y\"\r\n", {"t"}, {"t=[y]+59"}},
        {"Y\r\n", {"t"}, {"t=[Y]+59"}},
        {"yes\r\n", {"t"}, {"t=[yes]+57"}},
        {"y,n\r\n", {"t"}, {"t=[y]+59"}},
        {"y/\r\n", {"t"}, {"t=[y]+59"}},
        {"\r\ny\r\n", {"t"}, {"t=[y]+59"}},
        {"\n  \n\t\ny\n", {"t"}, {"t=[y]+59"}},
        {"''\r\n", {"t"}, {"t=unchanged"}},
        {",\r\n", {"t"}, {"t=unchanged"}},
        {"/\r\n", {"t"}, {"t=unchanged"}},
        {"'it''s'\r\n", {"t"}, {"t=[it's]+56"}},
        {"\"say \"\"hi\"\"\"\r\n", {"t"}, {"t=[say \"hi\"]+52"}},
        {"'it\"s'\r\n", {"t"}, {"t=[it\"s]+56"}},
        {"data file.dat\r\n", {"t"}, {"t=[data]+56"}},
        {"'data file.dat'\r\n", {"t"}, {"t=[data file.dat]+47"}},
        {"'a, b/c*d\t(e)'\r\n", {"t"}, {"t=[a, b/c*d\\x09(e)]+48"}},
        {"my*file\r\n", {"t"}, {"t=unchanged F6101"}},
        {"3*ab\r\n", {"t"}, {"t=[ab]+58"}},
        {"(ab c)\r\n", {"t"}, {"t=[abc]+57"}},
        {"a(b)c\r\n", {"t"}, {"t=[a(b)c]+55"}},
        {"ab'c\"d\r\n", {"t"}, {"t=[ab'c\"d]+54"}},
        {seventy + "\r\n", {"t"}, {"t=[" + std::string(60, 'x') + "]+0"}},
        {"'" + seventy + "'\r\n", {"t"}, {"t=[" + std::string(60, 'x') + "]+0"}},
        // Longer than the working buffer: the first characters are kept.
        {std::string(300, 'z') + "\r\n", {"t"}, {"t=[" + std::string(60, 'z') + "]+0"}},
        {"\xC3\xA9t\xC3\xA9\x1A\r\n", {"t"}, {"t=[\\xC3\\xA9t\\xC3\\xA9\\x1A]+54"}},
        // A delimited value goes on into the next record, with its first byte.
        {"'ab\r\ncd'\r\nnext\r\n", {"t", "t"}, {"t=[abcd]+56", "t=[next]+56"}},
        {"'ab\ncd\n ef'\n", {"t"}, {"t=[abcd ef]+53"}},
        // The byte after the closing delimiter separates.
        {"'ab'x y\r\n", {"tt"}, {"t=[ab]+58 t=[y]+59"}},
        {"'ab',cd\r\n", {"tt"}, {"t=[ab]+58 t=[cd]+58"}},
        {"'ab'/cd\r\n", {"tt"}, {"t=[ab]+58 t=unchanged"}},
        {"'ab'\r\ncd\r\n", {"tt"}, {"t=[ab]+58 t=[cd]+58"}},
        // Repeat counts store the same characters again.
        {"2*ab\r\n", {"tt"}, {"t=[ab]+58 t=[ab]+58"}},
        {"2*'a b'\r\n", {"tt"}, {"t=[a b]+57 t=[a b]+57"}},
        {"3*(x y)\r\n", {"ttt"}, {"t=[xy]+58 t=[xy]+58 t=[xy]+58"}},
        {"2*'' z\r\n", {"ttt"}, {"t=unchanged t=unchanged t=[z]+59"}},
        // A delimited value that never closes meets the end of the input,
        // its characters stored as they came.
        {"'abc", {"t"}, {"t=[abc" + std::string(57, '#') + "]+0 F6501"}},
    });
}

TEST_F(ListReaderTest, IntegerValues) {
    runCases({
        {"1200\r\n", {"i"}, {"i=1200"}},
        {"  +1200  \r\n", {"i"}, {"i=1200"}},
        {"1200 entries follow\r\n", {"i"}, {"i=1200"}},
        {"\r\n\r\n1200\r\n", {"i"}, {"i=1200"}},
        {"", {"i"}, {"i=unchanged F6501"}},
        {"\r\n\r\n", {"i"}, {"i=unchanged F6501"}},
        {"1200.0\r\n", {"i"}, {"i=unchanged F6101"}},
        {"\xEF\xBB\xBF" "1200\r\n", {"i"}, {"i=unchanged F6101"}},
        {"2147483648\r\n", {"i"}, {"i=unchanged F6100"}},
        {"16#4B0 #4b0\r\n", {"ii"}, {"i=1200 i=1200"}},
        {"1#5\r\n", {"i"}, {"i=unchanged F6303"}},
        {"16#4#0\r\n", {"i"}, {"i=unchanged F6302"}},
        {"+\r\n", {"i"}, {"i=0"}},
        {"\x1A\r\n", {"i"}, {"i=0"}},
        {"'12'\r\n", {"i"}, {"i=unchanged F6504"}},
        {"(12)\r\n", {"i"}, {"i=unchanged F6504"}},
        {"''\r\n", {"i"}, {"i=unchanged"}},
        {std::string(300, '0') + "\r\n", {"i"}, {"i=unchanged F6101"}},
        {std::string(259, '0') + "7\r\n", {"i"}, {"i=unchanged F6101"}},
        {std::string(258, '0') + "7\r\n", {"i"}, {"i=7"}},
        {"5 6 7\r\n", {"ii", "i"}, {"i=5 i=6", "i=unchanged F6501"}},
        {"3*9 1\r\n", {"iiii"}, {"i=9 i=9 i=9 i=1"}},
        {"1 2\r\n3\r\n", {"i", "i"}, {"i=1", "i=3"}},
    });
}

TEST_F(ListReaderTest, PairsOfReals) {
    runCases({
        {"10.0 -2.5\r\n", {"dd"}, {"d=10 d=-2.5"}},
        {"10,-2.5\r\n", {"dd"}, {"d=10 d=-2.5"}},
        {"10  ,  -2.5\r\n", {"dd"}, {"d=10 d=-2.5"}},
        {"10\t,\t-2.5\r\n", {"dd"}, {"d=10 d=-2.5"}},
        {"10,,-2.5\r\n", {"dd"}, {"d=10 d=unchanged"}},
        {" ,2.0\r\n", {"dd"}, {"d=unchanged d=2"}},
        {"10.0\r\n3.5 7\r\nlast\r\n", {"dd", "t"}, {"d=10 d=3.5", "t=[last]+56"}},
        {"10.0\r\n,3.5\r\n", {"dd"}, {"d=10 d=3.5"}},
        {"1,5 2,5\r\n", {"dd"}, {"d=1 d=5"}},
        {"2*7.5\r\n", {"dd"}, {"d=7.5 d=7.5"}},
        {"2* 5\r\n", {"dd"}, {"d=unchanged d=unchanged"}},
        // A count of 1 owes no repetition: what follows is the value itself.
        {"1* 5\r\n6\r\n", {"dd"}, {"d=5 d=6"}},
        {"1*\r\n5 6\r\n", {"dd", "d"}, {"d=5 d=6", "d=unchanged F6501"}},
        {"1*3*4 9\r\n", {"dddd"}, {"d=4 d=4 d=4 d=9"}},
        {"2*,5\r\n", {"ddd"}, {"d=unchanged d=unchanged d=5"}},
        {"10.0 /\r\n", {"dd"}, {"d=10 d=unchanged"}},
        {"/ 1 2\r\n3\r\n", {"dd", "d"}, {"d=unchanged d=unchanged", "d=3"}},
        {"2*5/\r\n", {"ddd"}, {"d=5 d=5 d=unchanged"}},
        {"10.0 2.0 3.0\r\n", {"dd"}, {"d=10 d=2"}},
        {"10.0;2.0\r\n", {"dd"}, {"d=unchanged d=unchanged F6103"}},
        {"10.0 '2'\r\n", {"dd"}, {"d=10 d=unchanged F6504"}},
        {"10.0 (2)\r\n", {"dd"}, {"d=10 d=unchanged F6504"}},
        {"0*5\r\n", {"dd"}, {"d=unchanged d=unchanged F6502"}},
        {"*5\r\n", {"dd"}, {"d=unchanged d=unchanged F6502"}},
        {"-2*5\r\n", {"dd"}, {"d=unchanged d=unchanged F6502"}},
        {"2*3*4\r\n", {"dd"}, {"d=unchanged d=unchanged F6503"}},
        {"x*5\r\n", {"dd"}, {"d=unchanged d=unchanged F6101"}},
        {"3 * 5\r\n", {"dd"}, {"d=3 d=unchanged F6502"}},
        {"10.0\r\n", {"dd"}, {"d=10 d=unchanged F6501"}},
        {"1E309 1\r\n", {"dd"}, {"d=unchanged d=unchanged F6102"}},
        {"1E-400 -0\r\n", {"dd"}, {"d=0 d=-0"}},
        {"\x1A\r\n", {"d"}, {"d=unchanged F6103"}},
        {"1" + std::string(299, '0') + "\r\n", {"d"}, {"d=unchanged F6103"}},
        {"1.0+1 2-1\r\n", {"dd"}, {"d=10 d=0.2"}},
        // A repeat count that ends its record takes that record end with it.
        {"2*\r\n5 6\r\n", {"dd", "d"}, {"d=unchanged d=unchanged", "d=5"}},
        // A parenthesised value may go on over a record end.
        {"(ab\r\ncd) x\r\nnext\r\n", {"t", "t"}, {"t=[abcd]+56", "t=[next]+56"}},
    });
}

TEST_F(ListReaderTest, Real32Values) {
    runCases({
        {"500\r\n", {"f"}, {"f=500"}},
        {"0.1\r\n", {"f"}, {"f=0.1"}},
        {"3.402823466E38\r\n", {"f"}, {"f=3.4028235e+38"}},
        {"3.4028235E38\r\n", {"f"}, {"f=unchanged F6104"}},
        {"-1E39\r\n", {"f"}, {"f=unchanged F6104"}},
        {"1E-50\r\n", {"f"}, {"f=0"}},
        {"2*1.5\r\n", {"fd"}, {"f=1.5 d=1.5"}},
        {"2*0.1\r\n", {"fd"}, {"f=0.1 d=0.1"}},
    });
}

// Records against the 1024-byte blocks of a file. Leading blanks, which the
// scan passes over, place the values at the offsets wanted.
TEST_F(ListReaderTest, FileRecordsAndBlocks) {
    auto blanks = [](int count) { return std::string(static_cast<std::size_t>(count), ' '); };
    runCases({
        // A value cut by the block boundary.
        {blanks(1020) + "123456.75 -8\r\nnext\r\n", {"dd", "t"}, {"d=123456.75 d=-8", "t=[next]+56"}},
        // CR the last byte of a block, LF the first of the next.
        {blanks(1020) + "1 2\r\n3 4\r\n", {"dd", "dd"}, {"d=1 d=2", "d=3 d=4"}},
        // LF the last byte of a block.
        {blanks(1019) + "1 2\r\n3\r\n", {"dd", "i", "i"}, {"d=1 d=2", "i=3", "i=unchanged F6501"}},
        // Delimiters at the block boundary: a doubled one split by it, a
        // closing one followed by the line end in the next block.
        {blanks(1020) + "'it''s'\r\n", {"t"}, {"t=[it's]+56"}},
        {blanks(1020) + "'ab'\n7\n", {"t", "i"}, {"t=[ab]+58", "i=7"}},
        // A record left by `end` across several blocks.
        {"1 " + blanks(3000) + "x\r\n2\r\n", {"i", "i"}, {"i=1", "i=2"}},
        // The last line without a line end, of any length.
        {"1\r\n2", {"i", "i", "i"}, {"i=1", "i=2", "i=unchanged F6501"}},
        {"7", {"i", "i"}, {"i=7", "i=unchanged F6501"}},
        {blanks(1500) + "7", {"i", "i"}, {"i=7", "i=unchanged F6501"}},
        // Exactly one or two blocks, with and without a line end at the boundary.
        {blanks(1019) + "5 6\r\n", {"dd", "d"}, {"d=5 d=6", "d=unchanged F6501"}},
        {blanks(1021) + "5 6", {"dd", "d"}, {"d=5 d=6", "d=unchanged F6501"}},
        {blanks(2045) + "5 6", {"dd", "d"}, {"d=5 d=6", "d=unchanged F6501"}},
        {blanks(1021) + "5 6" + blanks(1024), {"dd", "d"}, {"d=5 d=6", "d=unchanged F6501"}},
        {blanks(1023) + "5", {"", "i"}, {"", "i=unchanged F6501"}},
        // Lone carriage returns: the first record is read, the rest skipped.
        {"10.0 -2.5\r20 1\r30 2\r", {"dd", "dd"}, {"d=10 d=-2.5", "d=unchanged d=unchanged F6501"}},
        {"10.0\r20\r", {"dd"}, {"d=10 d=unchanged F6501"}},
        // Lone line feeds end records like CR LF.
        {"1\n2\n", {"i", "i"}, {"i=1", "i=2"}},
        // A statement without items leaves one record.
        {"1\r\n2\r\n", {"", "i"}, {"", "i=2"}},
    });
}

// Every row of a table read back, whatever block boundary each record,
// value or line end straddles.
TEST_F(ListReaderTest, TableRowsAcrossEveryBlockBoundaryPosition) {
    std::string table;
    std::vector<std::pair<double, double>> rows;
    for (int row = 0; row < 400; ++row) {
        double energy = 10.0 + 0.5 * row;
        double fpp = -row * 0.125;
        std::string line(static_cast<std::size_t>(row % 7), ' ');
        line += std::to_string(energy) + std::string(static_cast<std::size_t>(1 + row % 3), ' ') + std::to_string(fpp);
        line += row % 5 == 0 ? "\n" : "\r\n";
        table += line;
        rows.emplace_back(energy, fpp);
    }
    table += "end";
    connectFile(table);
    for (const auto& [energy, fpp] : rows) {
        double a = 0, b = 0;
        ListReader::begin(1);
        ListReader::getReal64(a);
        ListReader::getReal64(b);
        ListReader::end();
        ASSERT_EQ(a, energy);
        ASSERT_EQ(b, fpp);
    }
    EXPECT_EQ(runStatement(1, "t"), "t=[end]+57");
    EXPECT_EQ(runStatement(1, "t"), "t=unchanged F6501");
}

TEST_F(ListReaderTest, EndOfFileMarksTheUnit) {
    connectFile("1\r\n");
    EXPECT_EQ(runStatement(1, "i"), "i=1");
    Connection& connection = findConnection(1, Direction::INPUT);
    EXPECT_FALSE(connection.endOfFile);
    EXPECT_EQ(runStatement(1, "i"), "i=unchanged F6501");
    EXPECT_TRUE(connection.endOfFile);
}

TEST_F(ListReaderTest, FailuresNameTheFileAndTheReadStatement) {
    connectFile("1.0Q5\r\n", "spectrum.dat");
    double value = 3.0;
    ListReader::begin(1);
    RaisedError raised = testsupport::expectRaise([&] { ListReader::getReal64(value); });
    EXPECT_EQ(raised.letter, 'F');
    EXPECT_EQ(raised.number, 6103);
    EXPECT_EQ(raised.kind, StatementKind::READ);
    EXPECT_EQ(raised.name, path);
    EXPECT_EQ(value, 3.0);
}

// The report itself, from a program reading a file: the statement and the
// file's name as it was connected.
TEST(FileReport, FailedConversionIsReportedWithTheFileName) {
    const std::string folder = testsupport::makeTempDir("reader-report");
    testsupport::writeFile(folder + "/spectrum.dat", "2\r\n10.0 1.5\r\n10.0;2.0\r\n");
    testsupport::RunOptions options;
    options.workingDirectory = folder;
    testsupport::RunResult result =
        testsupport::runProgram({testsupport::driverPath("reader_driver"), "spectrum.dat", "i", "dd", "dd"}, options);
    EXPECT_EQ(result.standardOutput, "i=2\nd=10 d=1.5\n");
    EXPECT_EQ(visible(result.standardError),
              visible("\r\nrun-time error F6103: READ(spectrum.dat)\r\n- " +
                      std::string(errorMessage(ErrorNumber::INVALID_REAL)) + "\r\n"));
    EXPECT_EQ(result.exitStatus, 1);
}

TEST_F(ListReaderTest, ReadFailureIsReported) {
    connectFile("1\r\n");
    platform::systemCalls().read = [](int, void*, std::size_t) -> long { return -EIO; };
    EXPECT_EQ(runStatement(1, "i"), "i=unchanged F6500");
}

TEST_F(ListReaderTest, UnitNumberOutOfRange) {
    for (std::int32_t unit : {32768, -32768, 100000}) {
        RaisedError raised = testsupport::expectRaise([&] { ListReader::begin(unit); });
        EXPECT_EQ(raised.number, 6314) << unit;
        EXPECT_EQ(raised.kind, StatementKind::NONE) << unit;
    }
}

// A unit whose last statement wrote has its buffered output written out
// before the read; the read then continues after it.
TEST_F(ListReaderTest, WrittenOutputIsFlushedBeforeARead) {
    path = folder + "/written.dat";
    openUnit(1, path.c_str(), static_cast<int>(path.size()));
    Connection& connection = findConnection(1, Direction::OUTPUT);
    startOutput(connection);
    appendToBuffer(connection, " 42\r\n", 5, StatementKind::WRITE);
    EXPECT_EQ(testsupport::readFile(path), "");
    EXPECT_EQ(runStatement(1, "i"), "i=unchanged F6501");
    EXPECT_EQ(testsupport::readFile(path), " 42\r\n");
    EXPECT_FALSE(connection.writeMode);
}

TEST(TextEquals, ComparesWithBlankExtension) {
    const std::string answer = "y" + std::string(59, ' ');
    struct Case {
        std::string a;
        int lengthA;
        std::string b;
        int lengthB;
        bool equal;
    };
    const Case cases[] = {
        {"y", 1, "y", 1, true},
        {answer, 60, "y", 1, true},
        {"y", 1, answer, 60, true},
        {"Y" + std::string(59, ' '), 60, "y", 1, false},
        {"yes" + std::string(57, ' '), 60, "y", 1, false},
        {"  y", 3, "y", 1, false},
        {"y\t", 2, "y", 1, false},
        {std::string("y\0", 2), 2, "y", 1, false},
        {std::string(60, '\0'), 60, "y", 1, false},
        {"ab", 2, "abc", 3, false},
        {"abc", 3, "abd", 3, false},
        {"", 0, "   ", 3, true},
        {"", 0, "", 0, true},
        {"abc", -1, "  ", 2, true},
        {"   ", 3, "x", -4, true},
        {"y", 1, "yz", -1, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(textEquals(c.a.data(), c.lengthA, c.b.data(), c.lengthB), c.equal)
            << "\"" << visible(c.a) << "\" (" << c.lengthA << ") against \"" << visible(c.b) << "\" ("
            << c.lengthB << ")";
    }
}

// --- The console, through a driver program on redirected input and on a pseudo-terminal ---

std::string report(int number) {
    return "\r\nrun-time error F" + std::to_string(number) + ": READ(CON)\r\n- " +
           std::string(errorMessage(static_cast<ErrorNumber>(number))) + "\r\n";
}

struct ConsoleCase {
    std::string input;
    std::vector<std::string> statements;
    std::string standardOutput;
    int error;  // 0, or the number the run ends with
};

void runConsoleCases(const std::vector<ConsoleCase>& cases, bool inputIsTerminal, bool outputIsTerminal) {
    for (const ConsoleCase& c : cases) {
        std::vector<std::string> argv = {testsupport::driverPath("reader_driver"), "con"};
        argv.insert(argv.end(), c.statements.begin(), c.statements.end());
        testsupport::RunOptions options;
        options.standardInput = c.input;
        options.inputIsTerminal = inputIsTerminal;
        options.outputIsTerminal = outputIsTerminal;
        testsupport::RunResult result = testsupport::runProgram(argv, options);
        const std::string where = "input \"" + visible(c.input) + "\"";
        EXPECT_EQ(visible(result.standardOutput), visible(c.standardOutput)) << where;
        EXPECT_EQ(visible(result.standardError), visible(c.error == 0 ? "" : report(c.error))) << where;
        EXPECT_EQ(result.exitStatus, c.error == 0 ? 0 : 1) << where;
    }
}

TEST(ConsoleRedirected, RecordsFollowOneAnother) {
    runConsoleCases(
        {
            {"1 2\r\n3\r\n", {"i", "i"}, "i=1\ni=3\n", 0},
            {"y extra\r\nsecond", {"t", "t"}, "t=[y]+59\nt=[second]+54\n", 0},
            {"\r\n\r\n1200\r\n", {"i"}, "i=1200\n", 0},
            {"10.0\r\n3.5 7\r\n", {"dd"}, "d=10 d=3.5\n", 0},
            {"2*\r\n5\r\n", {"dd", "d"}, "d=unchanged d=unchanged\nd=5\n", 0},
            {"", {"t"}, "", 6501},
            {"1\r\n", {"i", "i"}, "i=1\n", 6501},
            {"1.0Q5\r\n", {"d"}, "", 6103},
            {"1E309\r\n", {"d"}, "", 6102},
            {"1E39\r\n", {"f"}, "", 6104},
            {"abc\r\n", {"i"}, "", 6101},
            {"2*3*4\r\n", {"dd"}, "", 6503},
            // A block that ends in Ctrl-Z CR LF is the end of the input.
            {"\x1A\r\n", {"t"}, "", 6501},
            {"5\r\n\x1A\r\n", {"i"}, "", 6501},
            // A 131-character line is no failure off a terminal.
            {std::string(131, 'a') + "\r\n", {"t"}, "t=[" + std::string(60, 'a') + "]+0\n", 0},
        },
        false, false);
}

// Standard input is redirected: the prompt's line stays open for the next
// output and is ended by the exit processing.
TEST(ConsoleRedirected, InputLeavesTheOutputLineAlone) {
    runConsoleCases({{"5\r\n", {"pi"}, "prompt>i=5\n\r\n", 0}}, false, false);
}

TEST(ConsoleTerminal, OneTypedLinePerStatement) {
    runConsoleCases(
        {
            {"y extra\nsecond\n", {"t", "t"}, "t=[y]+59\nt=[second]+54\n", 0},
            {"1 2 3\n4\n", {"i", "i"}, "i=1\ni=4\n", 0},
            {"\n5\n6\n", {"i", "i"}, "i=5\ni=6\n", 0},
            {"10\n2.5\nnext\n", {"dd", "t"}, "d=10 d=2.5\nt=[next]+56\n", 0},
            {"'ab\ncd' x\nnext\n", {"t", "t"}, "t=[abcd]+56\nt=[next]+56\n", 0},
            // A repeat count that ends the typed line does not wait for another one.
            {"2*\nnext\n", {"dd", "t"}, "d=unchanged d=unchanged\nt=[next]+56\n", 0},
            // A statement without items still takes one typed line.
            {"skipped\nkept\n", {"", "t"}, "\nt=[kept]+56\n", 0},
            {std::string(130, 'b') + "\nnext\n", {"t", "t"}, "t=[" + std::string(60, 'b') + "]+0\nt=[next]+56\n", 0},
            {std::string(131, 'b') + "\n", {"t"}, "", 6407},
            {std::string(200, 'b') + "\n", {"t"}, "", 6407},
            {"\x1A\n", {"t"}, "", 6501},
            {"abc\x1A\n", {"t"}, "", 6501},
            {"1\n\x1A\n", {"i", "i"}, "i=1\n", 6501},
            {"1.5x\n", {"d"}, "", 6103},
        },
        true, true);
}

// Both streams on the terminal: the prompt's line ends before the answer.
// The line counts as waiting for its end until a record is left, so when
// the input ends instead (Ctrl-D) the exit processing ends it once more.
TEST(ConsoleTerminal, LineEndBeforeTheAnswer) {
    runConsoleCases(
        {
            {"5\n6\n", {"pi", "i"}, "prompt>\r\ni=5\ni=6\n", 0},
            {"5\n\x04", {"pi", "pi"}, "prompt>\r\ni=5\nprompt>\r\n\r\n", 6501},
        },
        true, true);
    // Only standard input a terminal: no line end before the answer.
    runConsoleCases({{"5\n", {"pi"}, "prompt>i=5\n\r\n", 0}}, true, false);
}

}  // namespace
}  // namespace textio
