// List-directed input statements: the scan of free-form values from a unit's records.
#include "textio/list_reader.h"

#include <array>
#include <cstring>

#include "textio/errors.h"
#include "textio/number_input.h"
#include "textio/platform.h"
#include "textio/units.h"

namespace textio {

namespace {

constexpr unsigned char CR = '\r';
constexpr unsigned char LF = '\n';
constexpr unsigned char BLANK = ' ';
constexpr unsigned char TAB = '\t';
constexpr unsigned char COMMA = ',';
constexpr unsigned char SLASH = '/';
constexpr unsigned char CTRL_Z = 26;

// Characters an undelimited value keeps: the working buffer less the place
// of a terminator. A longer value is cut short (a number item refuses it).
constexpr int WORK_CAPACITY = WORK_BUFFER_SIZE - 1;

enum class ValueMode { PLAIN, PARENTHESISED, DELIMITED };
enum class ItemKind { INT32, REAL32, REAL64, TEXT };

struct Item {
    ItemKind kind;
    void* address;
    int length;  // text only
};

// The one statement in progress, and the value read last. The working
// buffer keeps that value's characters so that a repeat count can store it
// again into the following items.
struct ReaderState {
    Connection* connection = nullptr;
    bool console = false;
    bool terminal = false;  // the console, with standard input an interactive terminal

    std::uint32_t pendingRepeat = 0;
    unsigned char lastSeparator = COMMA;
    bool recordEndTaken = false;

    ValueMode mode = ValueMode::PLAIN;
    int length = 0;
    bool cutShort = false;  // an undelimited value longer than the working buffer
    unsigned char delimiter = 0;
    char work[WORK_BUFFER_SIZE] = {};
};

ReaderState state;

[[noreturn]] void fail(ErrorNumber number) {
    raiseError(number, StatementKind::READ, state.connection->name());
}

[[noreturn]] void failAtEnd(Connection& connection) {
    connection.endOfFile = true;
    fail(ErrorNumber::END_OF_FILE);
}

// Reads the next block into an exhausted buffer, with the rules that turn
// the bytes read into records.
[[gnu::noinline]] void readNextBlock(Connection& connection) {
    long n = readBlock(connection);
    connection.position = 0;
    connection.end = -1;
    if (n < 0) fail(ErrorNumber::READ_FAILED);
    char* bytes = connection.buffer;
    if (n == 0) {
        // Input that stops exactly at a block boundary without a line end
        // still gets its last record: one line feed before the real end.
        if (!connection.lastBlockFullWithoutLineEnd) failAtEnd(connection);
        connection.lastBlockFullWithoutLineEnd = false;
        bytes[0] = static_cast<char>(LF);
        connection.end = 0;
        return;
    }
    const int count = static_cast<int>(n);
    const bool endsWithLineFeed = bytes[count - 1] == static_cast<char>(LF);
    connection.end = count - 1;
    connection.lastBlockFullWithoutLineEnd = count == connection.bufferSize && !endsWithLineFeed;
    if (count < connection.bufferSize && !endsWithLineFeed) {
        // The last line of the input is a record even without its line end.
        bytes[count] = static_cast<char>(LF);
        connection.end = count;
    }
    if (!state.console) return;
    if (state.terminal && count == connection.bufferSize &&
        !(bytes[count - 2] == static_cast<char>(CR) && bytes[count - 1] == static_cast<char>(LF))) {
        // A typed line whose content does not fit the console block.
        fail(ErrorNumber::CONSOLE_LINE_TOO_LONG);
    }
    // A line ending in Ctrl-Z is the console's end of input: Ctrl-Z CR LF,
    // or on a terminal Ctrl-Z LF as the line arrives here.
    if (count >= 3 && bytes[count - 3] == static_cast<char>(CTRL_Z)) failAtEnd(connection);
    if (state.terminal && count >= 2 && endsWithLineFeed && bytes[count - 2] == static_cast<char>(CTRL_Z)) {
        failAtEnd(connection);
    }
}

inline unsigned char fetchByte() {
    Connection& connection = *state.connection;
    if (connection.position > connection.end) readNextBlock(connection);
    return static_cast<unsigned char>(connection.buffer[connection.position++]);
}

// Leaves the current record. A file or redirected input is read up to and
// including the next line feed; a terminal's typed line is dropped whole, so
// the next byte comes from a new line.
void nextRecord() {
    Connection& connection = *state.connection;
    if (state.terminal) {
        if (connection.position == 0) fetchByte();
        connection.position = 0;
        connection.end = -1;
    } else {
        for (;;) {
            if (connection.position > connection.end) readNextBlock(connection);
            const char* from = connection.buffer + connection.position;
            const void* lineFeed =
                std::memchr(from, LF, static_cast<std::size_t>(connection.end - connection.position + 1));
            if (lineFeed != nullptr) {
                connection.position += static_cast<int>(static_cast<const char*>(lineFeed) - from) + 1;
                break;
            }
            connection.position = connection.end + 1;
        }
    }
    if (state.console) connection.lineEndPending = false;
}

void collect(unsigned char byte) {
    if (state.length < WORK_CAPACITY) {
        state.work[state.length++] = static_cast<char>(byte);
    } else {
        state.cutShort = true;
    }
}

// Bytes that the scan of an undelimited value looks at; every other byte is
// collected as it stands.
constexpr std::array<bool, 256> SEPARATING_BYTES = [] {
    std::array<bool, 256> table{};
    for (unsigned char byte : {CR, LF, BLANK, TAB, COMMA, SLASH}) table[byte] = true;
    for (char byte : {'(', ')', '\'', '"', '*'}) table[static_cast<unsigned char>(byte)] = true;
    return table;
}();

// Collects the ordinary bytes that follow in the current block in one go,
// the same as taking them one by one.
void collectRun() {
    Connection& connection = *state.connection;
    const char* bytes = connection.buffer;
    const int last = connection.end;
    int position = connection.position;
    int length = state.length;
    while (position <= last && !SEPARATING_BYTES[static_cast<unsigned char>(bytes[position])]) {
        if (length < WORK_CAPACITY) {
            state.work[length++] = bytes[position];
        } else {
            state.cutShort = true;
        }
        ++position;
    }
    connection.position = position;
    state.length = length;
}

// Passes over the blanks and tabs that follow in the current block.
void skipBlankRun() {
    Connection& connection = *state.connection;
    const char* bytes = connection.buffer;
    int position = connection.position;
    while (position <= connection.end && (bytes[position] == ' ' || bytes[position] == '\t')) ++position;
    connection.position = position;
}

// A delimited value goes straight into a text variable (up to its length);
// the working buffer keeps a copy for a repeat count.
void storeDelimited(unsigned char byte, const Item& item) {
    const bool text = item.kind == ItemKind::TEXT;
    const int capacity = text ? item.length : WORK_CAPACITY;
    if (state.length >= capacity) return;
    if (text) static_cast<char*>(item.address)[state.length] = static_cast<char>(byte);
    if (state.length < WORK_CAPACITY) state.work[state.length] = static_cast<char>(byte);
    ++state.length;
}

// The byte after a closing delimiter separates the value from the next one.
void closeDelimited(unsigned char next) {
    if (next == CR || next == LF) {
        --state.connection->position;  // the record end is left by nextRecord
        state.lastSeparator = BLANK;
    } else if (next == TAB) {
        state.lastSeparator = BLANK;
    } else {
        state.lastSeparator = next;
    }
}

// The characters collected so far are a repeat count.
void takeRepeatCount() {
    if (state.length == 0) fail(ErrorNumber::ZERO_REPEAT_COUNT);
    if (state.cutShort) fail(ErrorNumber::INVALID_INTEGER);
    std::int32_t count = 0;
    ConversionResult result = convertInteger(state.work, state.length, count);
    if (!result.ok) fail(result.error);
    if (count <= 0) fail(ErrorNumber::ZERO_REPEAT_COUNT);
    state.pendingRepeat = static_cast<std::uint32_t>(count) - 1;
    state.length = 0;
}

// Scans one value into the value state (and, delimited, into a text item).
void scanValue(const Item& item) {
    state.recordEndTaken = false;
    state.length = 0;
    state.mode = ValueMode::PLAIN;
    state.cutShort = false;
    for (;;) {
        const unsigned char byte = fetchByte();
        if (byte == CR || byte == LF) {
            --state.connection->position;
            nextRecord();
            if (state.mode == ValueMode::DELIMITED) continue;
            // From here the record end counts as a blank. When it ends the
            // value (r* included), the record has been left already.
            if ((state.length == 0 && state.pendingRepeat == 0) || state.mode == ValueMode::PARENTHESISED) continue;
            state.recordEndTaken = true;
            state.lastSeparator = BLANK;
            return;
        }
        if (state.mode == ValueMode::DELIMITED) {
            if (byte == state.delimiter) {
                const unsigned char next = fetchByte();
                if (next != state.delimiter) {
                    closeDelimited(next);
                    return;
                }
            }
            storeDelimited(byte, item);
            continue;
        }
        switch (byte) {
            case BLANK:
            case TAB:
                // Leading blanks are passed over; after a count that still owes
                // repetitions a blank ends the value (r* is r null values).
                if ((state.length == 0 && state.pendingRepeat == 0) || state.mode == ValueMode::PARENTHESISED) {
                    skipBlankRun();
                    continue;
                }
                state.lastSeparator = BLANK;
                return;
            case '(':
                if (state.length == 0) {
                    state.mode = ValueMode::PARENTHESISED;
                    continue;
                }
                break;
            case ')':
                if (state.mode == ValueMode::PARENTHESISED) {
                    state.lastSeparator = BLANK;
                    return;
                }
                break;
            case '\'':
            case '"':
                if (state.length == 0) {
                    state.mode = ValueMode::DELIMITED;
                    state.delimiter = byte;
                    state.lastSeparator = byte;
                    continue;
                }
                break;
            case '*':
                if (state.pendingRepeat != 0) fail(ErrorNumber::SECOND_REPEAT_COUNT);
                takeRepeatCount();
                continue;
            case COMMA:
                // A comma after blanks belongs to the separator they began.
                if (state.length == 0 && state.lastSeparator == BLANK && state.pendingRepeat == 0) {
                    state.lastSeparator = COMMA;
                    continue;
                }
                if (state.mode == ValueMode::PARENTHESISED) break;
                state.lastSeparator = COMMA;
                return;
            case SLASH:
                state.lastSeparator = SLASH;
                return;
            default:
                collect(byte);
                collectRun();
                continue;
        }
        collect(byte);
    }
}

void checkNumberValue(ErrorNumber invalid) {
    if (state.mode != ValueMode::PLAIN) fail(ErrorNumber::QUOTED_NUMBER);
    if (state.cutShort) fail(invalid);
}

// Stores the value state into an item; `fresh` when the value was just
// scanned, false when a repeat count stores it again.
void store(const Item& item, bool fresh) {
    if (state.length == 0) return;  // a null value leaves the variable as it was
    switch (item.kind) {
        case ItemKind::INT32: {
            checkNumberValue(ErrorNumber::INVALID_INTEGER);
            std::int32_t value;
            ConversionResult result = convertInteger(state.work, state.length, value);
            if (!result.ok) fail(result.error);
            *static_cast<std::int32_t*>(item.address) = value;
            return;
        }
        case ItemKind::REAL64: {
            checkNumberValue(ErrorNumber::INVALID_REAL);
            double value;
            ConversionResult result = convertReal(state.work, state.length, value);
            if (!result.ok) fail(result.error);
            *static_cast<double*>(item.address) = value;
            return;
        }
        case ItemKind::REAL32: {
            checkNumberValue(ErrorNumber::INVALID_REAL);
            double wide;
            ConversionResult result = convertReal(state.work, state.length, wide);
            if (!result.ok) fail(result.error);
            float value;
            result = narrowToReal32(wide, value);
            if (!result.ok) fail(result.error);
            *static_cast<float*>(item.address) = value;
            return;
        }
        case ItemKind::TEXT: {
            char* text = static_cast<char*>(item.address);
            const int length = item.length < 0 ? 0 : item.length;
            int filled;
            if (state.mode == ValueMode::DELIMITED && fresh) {
                filled = state.length < length ? state.length : length;  // already in place
            } else {
                const int kept = state.length < WORK_CAPACITY ? state.length : WORK_CAPACITY;
                filled = kept < length ? kept : length;
                std::memcpy(text, state.work, static_cast<std::size_t>(filled));
            }
            std::memset(text + filled, BLANK, static_cast<std::size_t>(length - filled));
            return;
        }
    }
}

void takeItem(const Item& item) {
    if (state.pendingRepeat > 0) {
        --state.pendingRepeat;
        store(item, false);
        return;
    }
    if (state.lastSeparator == SLASH) return;  // after a slash the items keep their values
    scanValue(item);
    store(item, true);
}

}  // namespace

void ListReader::begin(std::int32_t unit) {
    if (unit != CONSOLE_UNIT && (unit < -32767 || unit > 32767)) {
        raiseError(ErrorNumber::UNIT_NUMBER_OUT_OF_RANGE, StatementKind::NONE, {});
    }
    Connection& connection = findConnection(unit, Direction::INPUT);
    state.connection = &connection;
    state.console = &connection == &consoleConnection(Direction::INPUT);
    // With one connection for both directions the answer goes on the line
    // after the prompt.
    if (state.console && unitTable().consoleShared && connection.lineEndPending) {
        platform::writeAll(1, "\r\n", 2);
    }
    startInput(connection);
    state.terminal = state.console && platform::isTerminal(connection.handle);
    state.pendingRepeat = 0;
    state.lastSeparator = COMMA;
    state.recordEndTaken = false;
}

void ListReader::getInt32(std::int32_t& value) { takeItem({ItemKind::INT32, &value, 0}); }

void ListReader::getReal32(float& value) { takeItem({ItemKind::REAL32, &value, 0}); }

void ListReader::getReal64(double& value) { takeItem({ItemKind::REAL64, &value, 0}); }

void ListReader::getText(char* text, int length) { takeItem({ItemKind::TEXT, text, length}); }

void ListReader::end() {
    if (!state.recordEndTaken) nextRecord();
    state.pendingRepeat = 0;
}

bool textEquals(const char* a, int lengthA, const char* b, int lengthB) {
    if (lengthA < 0) lengthA = 0;
    if (lengthB < 0) lengthB = 0;
    const int common = lengthA < lengthB ? lengthA : lengthB;
    if (common > 0 && std::memcmp(a, b, static_cast<std::size_t>(common)) != 0) return false;
    const char* rest = lengthA > lengthB ? a : b;
    const int restLength = lengthA > lengthB ? lengthA : lengthB;
    for (int i = common; i < restLength; ++i) {
        if (rest[i] != ' ') return false;
    }
    return true;
}

}  // namespace textio
