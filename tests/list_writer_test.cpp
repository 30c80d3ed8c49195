// Tests of list-directed output: fields, records and line ends on files and the console, and their failures.
#include "textio/list_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "textio/errors.h"
#include "textio/list_reader.h"
#include "textio/platform.h"
#include "textio/units.h"

namespace textio {
namespace {

using testsupport::expectRaise;
using testsupport::RaisedError;
using testsupport::visible;

// One item of a statement, as the statement's caller hands it over.
struct Item {
    char kind = 't';  // 'i', 'f', 'd' or 't'
    std::int32_t integer = 0;
    float real32 = 0;
    double real64 = 0;
    std::string text;
    int length = 0;  // the count given with a text
};

Item I(std::int32_t value) {
    Item item;
    item.kind = 'i';
    item.integer = value;
    return item;
}
Item F(float value) {
    Item item;
    item.kind = 'f';
    item.real32 = value;
    return item;
}
Item D(double value) {
    Item item;
    item.kind = 'd';
    item.real64 = value;
    return item;
}
Item T(const std::string& text, int length) {
    Item item;
    item.kind = 't';
    item.text = text;
    item.length = length;
    return item;
}
Item T(const std::string& text) { return T(text, static_cast<int>(text.size())); }

using Statement = std::vector<Item>;

void write(std::int32_t unit, const Statement& items) {
    ListWriter::begin(unit);
    for (const Item& item : items) {
        switch (item.kind) {
            case 'i': ListWriter::putInt32(item.integer); break;
            case 'f': ListWriter::putReal32(item.real32); break;
            case 'd': ListWriter::putReal64(item.real64); break;
            default: ListWriter::putText(item.text.data(), item.length); break;
        }
    }
    EXPECT_EQ(ListWriter::end(), 0);
}

std::string blanks(int count) { return std::string(static_cast<std::size_t>(count), ' '); }

// Characters of a given length that show where a split falls.
std::string numbered(int length) {
    std::string text;
    for (int i = 0; i < length; ++i) text += static_cast<char>('0' + i % 10);
    return text;
}

using Records = std::vector<std::string>;

// A file holds each record with its line end.
std::string fileFormOf(const Records& records) {
    std::string bytes;
    for (const std::string& record : records) bytes += record + "\r\n";
    return bytes;
}

// The console shows each record without its leading blank, the line end of
// one coming before the next, the last one still owed.
std::string consoleFormOf(const Records& records) {
    std::string shown;
    for (std::size_t i = 0; i < records.size(); ++i) shown += (i > 0 ? "\r\n" : "") + records[i].substr(1);
    return shown;
}

// --- Writes on standard output and standard error, caught in the process ---

struct Capture {
    std::string console;  // handle 1
    std::string error;    // handle 2
    int consoleWrites = 0;
    // A write to `failHandle` whose byte count is `failCount` (any count for
    // -1) fails with `failError`; 0 fails nothing.
    int failHandle = -1;
    long failCount = -1;
    int failError = 0;
    int failedWrites = 0;
};
Capture capture;
long (*systemWrite)(int, const void*, std::size_t) = nullptr;

long captureWrite(int handle, const void* bytes, std::size_t count) {
    if (capture.failError != 0 && handle == capture.failHandle &&
        (capture.failCount < 0 || capture.failCount == static_cast<long>(count))) {
        ++capture.failedWrites;
        return -capture.failError;
    }
    if (handle == 1) {
        capture.console.append(static_cast<const char*>(bytes), count);
        ++capture.consoleWrites;
        return static_cast<long>(count);
    }
    if (handle == 2) {
        capture.error.append(static_cast<const char*>(bytes), count);
        return static_cast<long>(count);
    }
    return systemWrite(handle, bytes, count);
}

int truncateError = 0;
int (*systemTruncate)(int, std::int64_t) = nullptr;
int failingTruncate(int handle, std::int64_t length) {
    return truncateError != 0 ? -truncateError : systemTruncate(handle, length);
}

class ListWriterTest : public testsupport::TextIoTest {
protected:
    void SetUp() override {
        TextIoTest::SetUp();
        capture = Capture{};
        systemWrite = platform::systemCalls().write;
        platform::systemCalls().write = captureWrite;
        systemTruncate = platform::systemCalls().truncate;
        truncateError = 0;
        platform::systemCalls().truncate = failingTruncate;
        directory = testsupport::makeTempDir("writer");
    }

    std::string path(const std::string& name) const { return directory + "/" + name; }

    void connect(std::int32_t unit, const std::string& name) {
        const std::string full = path(name);
        openUnit(unit, full.data(), static_cast<int>(full.size()));
    }

    // The file's bytes after the statements on a unit connected to it and its disconnect.
    std::string fileAfter(const std::vector<Statement>& statements) {
        connect(2, "out.dat");
        for (const Statement& statement : statements) write(2, statement);
        closeUnit(2);
        return testsupport::readFile(path("out.dat"));
    }

    std::string directory;
};

// --- Layout of the records ---

struct LayoutCase {
    const char* label;
    Statement items;
    Records records;
};

const Records ROW = {blanks(6) + "100.500000000000000" + blanks(7) + "-2.250000000000000" + blanks(3) +
                     "5.000000000000000E-001"};

std::vector<LayoutCase> layoutCases() {
    const std::string one64 = "1.000000000000000";
    const std::string one32 = "1.000000";
    const std::string sixIntegers = blanks(11) + "1" + blanks(11) + "2" + blanks(11) + "3" + blanks(11) + "4" +
                                    blanks(11) + "5" + blanks(11) + "6";
    const std::string bytes("a\r\nb\x1A\xFF\0c", 8);
    return {
        {"a result row: three 64-bit reals", {D(100.5), D(-2.25), D(0.5)}, ROW},
        {"four 64-bit reals: the fourth on a record of its own",
         {D(1), D(2), D(3), D(4)},
         {blanks(8) + one64 + blanks(8) + "2.000000000000000" + blanks(8) + "3.000000000000000",
          blanks(8) + "4.000000000000000"}},
        {"the integer 1000", {I(1000)}, {blanks(8) + "1000"}},
        {"the 32-bit real 100", {F(100)}, {blanks(6) + "100.000000"}},
        {"a text", {T("in 0.5 eV steps....")}, {" in 0.5 eV steps...."}},
        {"-2147483648 fills its field", {I(std::numeric_limits<std::int32_t>::min())}, {" -2147483648"}},
        {"six integers on a record, the seventh on the next",
         {I(1), I(2), I(3), I(4), I(5), I(6), I(7)},
         {sixIntegers, blanks(11) + "7"}},
        {"four 32-bit reals on a record, the fifth on the next",
         {F(1), F(1), F(1), F(1), F(1)},
         {blanks(8) + one32 + blanks(8) + one32 + blanks(8) + one32 + blanks(8) + one32, blanks(8) + one32}},
        {"mixed kinds", {I(1000), F(100), D(0.5)},
         {blanks(8) + "1000" + blanks(6) + "100.000000" + blanks(3) + "5.000000000000000E-001"}},
        {"a text after a value stands after its last digit", {I(5), T("eV")}, {blanks(11) + "5eV"}},
        {"a value after a text: width less length blanks", {T("E="), D(1)}, {" E=" + blanks(7) + one64}},
        {"no separator for the value after a text", {D(1), T("x"), D(2)},
         {blanks(8) + one64 + "x" + blanks(7) + "2.000000000000000"}},
        {"a text of 78 characters fits", {T(numbered(78))}, {" " + numbered(78)}},
        {"a text of 79 characters leaves an empty record", {T(numbered(79))}, {" " + numbered(79), " "}},
        {"a text of 80 characters is split after the 79th", {T(numbered(80))}, {" " + numbered(79), " 9"}},
        {"a text over three records", {T(numbered(200))},
         {" " + numbered(200).substr(0, 79), " " + numbered(200).substr(79, 79), " " + numbered(200).substr(158)}},
        {"a text that fills the rest of a record after a value", {I(1), T(numbered(68)), T("ab")},
         {blanks(11) + "1" + numbered(68), " ab"}},
        {"a text split at the end of a record after a value", {I(1), T(numbered(67)), T("ab")},
         {blanks(11) + "1" + numbered(67) + "a", " b"}},
        {"a value after a text that filled its record", {T(numbered(79)), D(1)},
         {" " + numbered(79), blanks(8) + one64}},
        {"a text after a text that filled its record", {T(numbered(79)), T("bc")}, {" " + numbered(79), " bc"}},
        // After a text the value's field has no separator, and the record it
        // moves to has its leading blank among the value's owed blanks.
        {"a value too wide for the rest of a record after a text", {T(numbered(70)), D(1)},
         {" " + numbered(70), blanks(7) + one64}},
        {"a value too wide for the rest of a record after values", {I(1), I(2), I(3), I(4), I(5), I(6), D(1)},
         {sixIntegers, blanks(8) + one64}},
        {"no items: the leading blank alone", {}, {" "}},
        {"a text of one blank", {T(" ")}, {"  "}},
        {"a text keeps its trailing blanks", {T("result.dat" + blanks(50))}, {" result.dat" + blanks(50)}},
        {"an empty text", {T("")}, {" "}},
        {"a negative count is an empty text", {T("abc", -5)}, {" "}},
        {"a value after an empty text at the start", {T(""), D(1)}, {blanks(8) + one64}},
        {"an empty text after a value", {D(1), T(""), D(2)},
         {blanks(8) + one64 + blanks(7) + "2.000000000000000"}},
        {"text bytes pass unchanged", {T(bytes)}, {" " + bytes}},
        {"infinity and not-a-number fill the field less two",
         {D(std::numeric_limits<double>::infinity()), F(std::numeric_limits<float>::quiet_NaN())},
         {blanks(3) + "1#INF................." + blanks(3) + "1#QNAN......."}},
    };
}

TEST_F(ListWriterTest, RecordsInAFile) {
    for (const LayoutCase& c : layoutCases()) {
        EXPECT_EQ(visible(fileAfter({c.items})), visible(fileFormOf(c.records))) << c.label;
    }
}

TEST_F(ListWriterTest, RecordsOnTheConsoleLackTheLeadingBlank) {
    for (const LayoutCase& c : layoutCases()) {
        capture.console.clear();
        write(CONSOLE_UNIT, c.items);
        EXPECT_EQ(visible(capture.console), visible(consoleFormOf(c.records))) << c.label;
        EXPECT_TRUE(consoleConnection(Direction::OUTPUT).lineEndPending) << c.label;
        consoleConnection(Direction::OUTPUT).lineEndPending = false;
    }
}

// A record longer than the connection's buffer leaves in pieces; the bytes
// that arrive are the same.
TEST_F(ListWriterTest, RecordsThatOutgrowTheBufferArriveTheSame) {
    for (int size : {1, 2, 7, 40}) {
        for (const LayoutCase& c : layoutCases()) {
            connect(2, "small.dat");
            findConnection(2, Direction::OUTPUT).bufferSize = size;
            write(2, c.items);
            closeUnit(2);
            EXPECT_EQ(visible(testsupport::readFile(path("small.dat"))), visible(fileFormOf(c.records)))
                << c.label << ", buffer of " << size;

            capture.console.clear();
            Connection& console = consoleConnection(Direction::OUTPUT);
            console.bufferSize = size;
            console.lineEndPending = false;
            write(CONSOLE_UNIT, c.items);
            EXPECT_EQ(visible(capture.console), visible(consoleFormOf(c.records))) << c.label << ", buffer of " << size;
        }
    }
}

TEST_F(ListWriterTest, ConsoleExamplesByTheCharacter) {
    write(CONSOLE_UNIT, {D(100.5), D(-2.25)});
    EXPECT_EQ(capture.console, blanks(5) + "100.500000000000000" + blanks(7) + "-2.250000000000000");
    EXPECT_EQ(capture.console.size(), 49u);
    capture.console.clear();
    write(CONSOLE_UNIT, {I(1000)});
    EXPECT_EQ(capture.console, "\r\n" + blanks(7) + "1000");
    capture.console.clear();
    write(CONSOLE_UNIT, {F(100)});
    EXPECT_EQ(capture.console, "\r\n" + blanks(5) + "100.000000");
    capture.console.clear();
    write(CONSOLE_UNIT, {T("in 0.5 eV steps....")});
    EXPECT_EQ(capture.console, "\r\nin 0.5 eV steps....");
}

TEST_F(ListWriterTest, TheResultRowIs77Bytes) {
    EXPECT_EQ(fileAfter({{D(100.5), D(-2.25), D(0.5)}}).size(), 77u);
    // The widest texts of the three fields still make 75 characters.
    const std::string row = fileAfter({{D(-0x1.fffffffffffffp+1023), D(-0x1p-1022), D(-1234567.25)}});
    EXPECT_EQ(visible(row), visible("  -1.797693134862316E+308  -2.225073858507201E-308 -1234567.250000000000000\r\n"));
}

// --- When the console's bytes leave ---

TEST_F(ListWriterTest, ConsoleLineEndComesWithTheNextRecord) {
    write(CONSOLE_UNIT, {T("first")});
    EXPECT_EQ(capture.console, "first");  // out when the statement ends, without its line end
    write(CONSOLE_UNIT, {T("second")});
    EXPECT_EQ(capture.console, "first\r\nsecond");
    closeAllUnits();
    EXPECT_EQ(capture.console, "first\r\nsecond\r\n");
    EXPECT_FALSE(consoleConnection(Direction::OUTPUT).lineEndPending);
}

TEST_F(ListWriterTest, NothingLeavesBeforeTheStatementEnds) {
    ListWriter::begin(CONSOLE_UNIT);
    ListWriter::putText("prompt? ", 8);
    ListWriter::putReal64(1.5);
    EXPECT_EQ(capture.console, "");
    ListWriter::end();
    EXPECT_EQ(capture.console, "prompt? " + blanks(7) + "1.500000000000000");
    EXPECT_EQ(capture.consoleWrites, 1);
}

TEST_F(ListWriterTest, EveryConsoleRecordLeavesWhenItEnds) {
    write(CONSOLE_UNIT, {D(1), D(2), D(3), D(4)});
    // Two records: the first whole, the second after its line end.
    EXPECT_EQ(capture.consoleWrites, 3);
    EXPECT_EQ(capture.console, blanks(7) + "1.000000000000000" + blanks(8) + "2.000000000000000" + blanks(8) +
                                   "3.000000000000000\r\n" + blanks(7) + "4.000000000000000");
}

// An input statement on separate console connections leaves the output
// line alone: its line end comes with the next record, as without the read.
TEST_F(ListWriterTest, ConsoleInputOnItsOwnConnectionLeavesTheLineEndPending) {
    ASSERT_FALSE(unitTable().consoleShared);
    write(CONSOLE_UNIT, {T("Energy? ")});
    int pipeHandles[2];
    ASSERT_EQ(::pipe(pipeHandles), 0);
    ASSERT_EQ(::write(pipeHandles[1], "7\n", 2), 2);
    ::close(pipeHandles[1]);
    consoleConnection(Direction::INPUT).handle = pipeHandles[0];
    std::int32_t value = 0;
    ListReader::begin(CONSOLE_UNIT);
    ListReader::getInt32(value);
    ListReader::end();
    ::close(pipeHandles[0]);
    EXPECT_EQ(value, 7);
    EXPECT_TRUE(consoleConnection(Direction::OUTPUT).lineEndPending);
    write(CONSOLE_UNIT, {I(value)});
    EXPECT_EQ(capture.console, "Energy? \r\n" + blanks(10) + "7");
}

TEST_F(ListWriterTest, ConsoleUnitsAndTheConsoleName) {
    // Units 0, 5 and 6 unconnected, and a unit connected to CON, are the console.
    for (std::int32_t unit : {0, 5, 6}) write(unit, {I(unit)});
    openUnit(9, "con", 3);
    write(9, {T("via con")});
    EXPECT_EQ(capture.console, blanks(10) + "0\r\n" + blanks(10) + "5\r\n" + blanks(10) + "6\r\nvia con");
}

TEST_F(ListWriterTest, OtherDevicesKeepTheirOwnLineEnd) {
    openUnit(3, "ERR", 3);
    write(3, {T("one")});
    write(3, {T("two")});
    EXPECT_EQ(capture.error, "one\r\ntwo");
    EXPECT_EQ(capture.console, "");
    closeUnit(3);
    EXPECT_EQ(capture.error, "one\r\ntwo\r\n");
}

// --- Items beyond what a statement keeps ---

TEST_F(ListWriterTest, ManyItemsGiveTheSameRecords) {
    Statement integers;
    std::string expected;
    for (int i = 0; i < 3 * LIST_ITEM_CAPACITY + 5; ++i) {
        integers.push_back(I(i % 10));
        expected += blanks(11) + std::to_string(i % 10);
        if (i % 6 == 5) expected += "\r\n";
    }
    expected += "\r\n";
    EXPECT_EQ(visible(fileAfter({integers})), visible(expected));
}

// Texts beyond the text store, one long or many short: the same records as
// one text of all their characters.
TEST_F(ListWriterTest, LongTextsGiveTheSameRecords) {
    auto split = [](const std::string& text) {
        std::string records;
        for (std::size_t i = 0; i < text.size(); i += 79) records += " " + text.substr(i, 79) + "\r\n";
        if (text.size() % 79 == 0) records += " \r\n";
        return records;
    };
    const std::string longText = numbered(3 * LIST_TEXT_CAPACITY + 17);
    EXPECT_EQ(fileAfter({{T(longText)}}), split(longText));

    Statement pieces;
    std::string joined;
    for (int i = 0; i < 2 * LIST_TEXT_CAPACITY / 50; ++i) {
        std::string piece(50, static_cast<char>('a' + i % 26));
        pieces.push_back(T(piece));
        joined += piece;
    }
    EXPECT_EQ(fileAfter({pieces}), split(joined));

    Statement mixed = {T(numbered(LIST_TEXT_CAPACITY - 10)), T(numbered(20)), I(5)};
    const std::string all = numbered(LIST_TEXT_CAPACITY - 10) + numbered(20);
    std::string records = split(all);
    records.resize(records.size() - 2);
    EXPECT_EQ(fileAfter({mixed}), records + blanks(10) + "5\r\n");
}

TEST_F(ListWriterTest, TextIsCopiedWhenAdded) {
    char text[] = "before";
    std::string huge = numbered(LIST_TEXT_CAPACITY + 1);
    ListWriter::begin(CONSOLE_UNIT);
    ListWriter::putText(text, 6);
    std::memcpy(text, "after!", 6);
    ListWriter::putText(huge.data(), static_cast<int>(huge.size()));
    huge.assign(huge.size(), '#');
    ListWriter::putText(text, 6);
    std::memcpy(text, "later.", 6);
    ListWriter::end();
    const std::string all = "before" + numbered(LIST_TEXT_CAPACITY + 1) + "after!";
    std::string shown;
    for (std::size_t i = 0; i < all.size(); i += 79) shown += (i ? "\r\n" : "") + all.substr(i, 79);
    EXPECT_EQ(capture.console, shown);
}

// --- Files: the cut, the buffer, the continuation ---

TEST_F(ListWriterTest, FirstOutputCutsAnExistingFile) {
    testsupport::writeFile(path("old.dat"), "old contents\r\nmore old\r\n");
    connect(2, "old.dat");
    EXPECT_EQ(testsupport::readFile(path("old.dat")), "old contents\r\nmore old\r\n");
    write(2, {I(1)});
    write(2, {I(2)});
    closeUnit(2);
    EXPECT_EQ(testsupport::readFile(path("old.dat")), blanks(11) + "1\r\n" + blanks(11) + "2\r\n");
}

TEST_F(ListWriterTest, AConnectionThatWritesNothingKeepsTheFile) {
    testsupport::writeFile(path("old.dat"), "old contents\r\n");
    connect(2, "old.dat");
    closeUnit(2);
    EXPECT_EQ(testsupport::readFile(path("old.dat")), "old contents\r\n");
}

TEST_F(ListWriterTest, AReconnectToTheSameFileContinuesWithoutACut) {
    testsupport::writeFile(path("out.dat"), "old\r\n");
    connect(2, "out.dat");
    write(2, {T("first")});
    connect(2, "out.dat");
    write(2, {T("second")});
    closeUnit(2);
    EXPECT_EQ(testsupport::readFile(path("out.dat")), " first\r\n second\r\n");
}

// Output after a read cuts the file where the next record would be read.
TEST_F(ListWriterTest, OutputAfterAReadCutsAtTheReadPosition) {
    testsupport::writeFile(path("data.dat"), "1\r\n2\r\n3\r\n");
    connect(2, "data.dat");
    std::int32_t value = 0;
    ListReader::begin(2);
    ListReader::getInt32(value);
    ListReader::end();
    EXPECT_EQ(value, 1);
    write(2, {I(9)});
    closeUnit(2);
    EXPECT_EQ(testsupport::readFile(path("data.dat")), "1\r\n" + blanks(11) + "9\r\n");
}

TEST_F(ListWriterTest, RowsAcrossManyBuffers) {
    std::vector<Statement> rows(100, Statement{D(100.5), D(-2.25), D(0.5)});
    std::string expected;
    for (int i = 0; i < 100; ++i) expected += fileFormOf(ROW);
    EXPECT_EQ(fileAfter(rows), expected);
}

// --- Failures ---

TEST_F(ListWriterTest, UnitNumbersOutsideTheRangeAreRefusedAtBegin) {
    for (std::int32_t unit : {32768, -32768, 2147483646, std::numeric_limits<std::int32_t>::min()}) {
        RaisedError raised = expectRaise([unit] { ListWriter::begin(unit); });
        EXPECT_EQ(raised.letter, 'F') << unit;
        EXPECT_EQ(raised.number, 6314) << unit;
        EXPECT_EQ(raised.kind, StatementKind::NONE) << unit;
    }
    connect(32767, "high.dat");
    connect(-32767, "low.dat");
    write(32767, {I(1)});
    write(-32767, {I(-1)});
    closeUnit(32767);
    closeUnit(-32767);
    EXPECT_EQ(testsupport::readFile(path("high.dat")), blanks(11) + "1\r\n");
    EXPECT_EQ(testsupport::readFile(path("low.dat")), blanks(10) + "-1\r\n");
}

struct WriteFailureCase {
    int error;
    int number;
};

const WriteFailureCase WRITE_FAILURES[] = {
    {ENOSPC, 6422}, {EDQUOT, 6422}, {EACCES, 6421}, {EPERM, 6421},
};

TEST_F(ListWriterTest, ConsoleWriteFailures) {
    for (const WriteFailureCase& c : WRITE_FAILURES) {
        capture.failHandle = 1;
        capture.failError = c.error;
        RaisedError raised = expectRaise([] { write(CONSOLE_UNIT, {T("lost")}); });
        EXPECT_EQ(raised.number, c.number) << "errno " << c.error;
        EXPECT_EQ(raised.kind, StatementKind::WRITE);
        EXPECT_EQ(raised.name, "CON");
        capture = Capture{};
        resetUnitsForTesting();
    }
}

TEST_F(ListWriterTest, FileWriteFailuresWhenTheBufferGoesOut) {
    for (const WriteFailureCase& c : WRITE_FAILURES) {
        connect(2, "full.dat");
        const std::string name = path("full.dat");
        capture.failHandle = findConnection(2, Direction::OUTPUT).handle;
        capture.failError = c.error;
        // 14 rows of 77 bytes outgrow the 1024-byte buffer.
        auto rows = [] {
            for (int i = 0; i < 14; ++i) write(2, {D(100.5), D(-2.25), D(0.5)});
        };
        RaisedError raised = expectRaise(rows);
        EXPECT_EQ(raised.number, c.number) << "errno " << c.error;
        EXPECT_EQ(raised.kind, StatementKind::WRITE);
        EXPECT_EQ(raised.name, name);
        EXPECT_EQ(capture.failedWrites, 1);
        capture = Capture{};
        resetUnitsForTesting();
    }
}

TEST_F(ListWriterTest, AFailedCutIsAWriteFailure) {
    testsupport::writeFile(path("old.dat"), "old\r\n");
    connect(2, "old.dat");
    truncateError = ENOSPC;
    RaisedError raised = expectRaise([] { write(2, {I(1)}); });
    EXPECT_EQ(raised.number, 6422);
    EXPECT_EQ(raised.kind, StatementKind::WRITE);
    truncateError = EACCES;
    resetUnitsForTesting();
    connect(2, "old.dat");
    raised = expectRaise([] { write(2, {I(1)}); });
    EXPECT_EQ(raised.number, 6421);
    EXPECT_EQ(raised.name, path("old.dat"));
}

// The line end that goes to the console on its own is not reported; the
// record after it still is.
TEST_F(ListWriterTest, AFailedLoneLineEndGoesUnreported) {
    write(CONSOLE_UNIT, {T("one")});
    capture.failHandle = 1;
    capture.failCount = 2;
    capture.failError = ENOSPC;
    write(CONSOLE_UNIT, {T("two")});
    EXPECT_EQ(capture.failedWrites, 1);
    EXPECT_EQ(capture.console, "onetwo");
    capture.failCount = -1;
    RaisedError raised = expectRaise([] { write(CONSOLE_UNIT, {T("three")}); });
    EXPECT_EQ(raised.number, 6422);
}

// --- The console of a real process: redirected and on a pseudo-terminal ---

struct ConsoleRun {
    const char* label;
    std::vector<std::string> tokens;
    std::string input;
    std::string standardOutput;
    int error;  // 0, or the number the run ends with
};

std::string noStatementReport(int number) {
    return "\r\nrun-time error F" + std::to_string(number) + "\r\n- " +
           std::string(errorMessage(static_cast<ErrorNumber>(number))) + "\r\n";
}

std::vector<ConsoleRun> consoleRuns() {
    return {
        {"the examples",
         {"w", "d100.5", "d-2.25", "w", "i1000", "w", "f100", "w", "tin 0.5 eV steps...."},
         "",
         blanks(5) + "100.500000000000000" + blanks(7) + "-2.250000000000000\r\n" + blanks(7) + "1000\r\n" +
             blanks(5) + "100.000000\r\nin 0.5 eV steps....\r\n",
         0},
        {"a prompt, the answer, a line after it",
         {"w", "tInput file? ", "r", "w", "tgot ", "a"},
         "abc\n",
         "Input file? \r\ngot abc     \r\n",
         0},
        {"the first byte is the first character", {"w", "tX"}, "", "X\r\n", 0},
        {"a text of one blank", {"w", "t "}, "", " \r\n", 0},
        {"a text of 79 characters and its empty line", {"w", "t" + numbered(79)}, "", numbered(79) + "\r\n\r\n", 0},
        {"statements without items", {"w", "w", "w", "tend"}, "", "\r\n\r\nend\r\n", 0},
        // With the traps armed: no value text may raise one.
        {"signalling NaNs of both kinds",
         {"w", "F7FA00000", "D7FF0000000000001", "DFFF8000000000000"},
         "",
         blanks(2) + "1#SNAN......." + blanks(3) + "1#SNAN................" + blanks(3) + "1#IND.................\r\n",
         0},
        {"a unit number out of range", {"b40000", "i1"}, "", "", 6314},
        {"a console line before a failure gets its line end", {"w", "tline", "b-40000"}, "", "line\r\n", 6314},
    };
}

void runConsole(bool inputIsTerminal, bool outputIsTerminal) {
    for (const ConsoleRun& run : consoleRuns()) {
        std::vector<std::string> argv = {testsupport::driverPath("writer_driver")};
        argv.insert(argv.end(), run.tokens.begin(), run.tokens.end());
        testsupport::RunOptions options;
        options.standardInput = run.input;
        options.inputIsTerminal = inputIsTerminal;
        options.outputIsTerminal = outputIsTerminal;
        testsupport::RunResult result = testsupport::runProgram(argv, options);
        EXPECT_EQ(visible(result.standardOutput), visible(run.standardOutput)) << run.label;
        EXPECT_EQ(visible(result.standardError), visible(run.error ? noStatementReport(run.error) : ""))
            << run.label;
        EXPECT_EQ(result.exitStatus, run.error ? 1 : 0) << run.label;
    }
}

// Standard output receives the same bytes however the streams are connected:
// one shared console connection when both are terminals, two otherwise.
TEST(ConsoleOutput, Redirected) { runConsole(false, false); }
TEST(ConsoleOutput, BothStreamsOnATerminal) { runConsole(true, true); }
TEST(ConsoleOutput, OnlyOutputOnATerminal) { runConsole(false, true); }
TEST(ConsoleOutput, OnlyInputOnATerminal) { runConsole(true, false); }

TEST(ConsoleOutput, NoSpaceOnStandardOutput) {
    testsupport::RunOptions options;
    options.standardOutputPath = "/dev/full";
    testsupport::RunResult result =
        testsupport::runProgram({testsupport::driverPath("writer_driver"), "w", "tlost"}, options);
    EXPECT_EQ(visible(result.standardError),
              visible("\r\nrun-time error F6422: WRITE(CON)\r\n- " +
                      std::string(errorMessage(ErrorNumber::NO_SPACE_LEFT)) + "\r\n"));
    EXPECT_EQ(result.exitStatus, 1);
}

}  // namespace
}  // namespace textio
