// List-directed output statements: items captured in order, laid out in fields and records on a unit.
#include "textio/list_writer.h"

#include <bit>
#include <cstring>

#include "textio/errors.h"
#include "textio/number_text.h"
#include "textio/platform.h"
#include "textio/units.h"

namespace textio {

namespace {

enum class ItemKind : std::uint8_t { INT32, REAL32, REAL64, TEXT };

struct Item {
    ItemKind kind;
    int length;           // text: its character count
    std::uint64_t value;  // integer, the bits of the (widened) real, or the text's offset in the store
};

constexpr char BLANKS[32] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                             ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};

// The one statement in progress: its items until they are placed, and while
// they are placed the record under construction.
struct WriterState {
    std::int32_t unit = CONSOLE_UNIT;
    int itemCount = 0;
    int textUsed = 0;
    Item items[LIST_ITEM_CAPACITY];
    char text[LIST_TEXT_CAPACITY];

    Connection* connection = nullptr;  // set when placing starts
    int owedBlanks = 0;
    int recordRoom = 0;
    bool separatorDue = false;
    int recordLength = 0;        // characters written to the current record
    bool devicePiecePassed = false;  // part of a long device record has gone out
};

WriterState state;

// A device record's characters collected so far go to the handle. The first
// piece of a record comes after the line end still owed to the previous one,
// and without the leading character, which only controls the line advance.
void passOnDevicePiece(Connection& connection) {
    int from = 0;
    if (!state.devicePiecePassed) {
        if (connection.lineEndPending) {
            platform::writeAll(connection.handle, "\r\n", 2);  // the lone line end goes unreported
            connection.lineEndPending = false;
        }
        if (connection.firstCharacterControl) from = 1;
        state.devicePiecePassed = true;
    }
    if (connection.position > from) {
        writeBytes(connection, connection.buffer + from, connection.position - from, StatementKind::WRITE);
    }
    connection.position = 0;
}

void writeCharacters(const char* bytes, int count) {
    Connection& connection = *state.connection;
    state.recordLength += count;
    if (connection.position + count <= connection.bufferSize) {
        std::memcpy(connection.buffer + connection.position, bytes, static_cast<std::size_t>(count));
        connection.position += count;
        return;
    }
    if (connection.kind != ConnectionKind::DEVICE) {
        appendToBuffer(connection, bytes, count, StatementKind::WRITE);
        return;
    }
    while (count > 0) {
        if (connection.position == connection.bufferSize) passOnDevicePiece(connection);
        const int room = connection.bufferSize - connection.position;
        const int piece = count < room ? count : room;
        std::memcpy(connection.buffer + connection.position, bytes, static_cast<std::size_t>(piece));
        connection.position += piece;
        bytes += piece;
        count -= piece;
    }
}

void writeOwedBlanks() {
    while (state.owedBlanks > 0) {
        const int piece = state.owedBlanks < static_cast<int>(sizeof BLANKS) ? state.owedBlanks
                                                                             : static_cast<int>(sizeof BLANKS);
        writeCharacters(BLANKS, piece);
        state.owedBlanks -= piece;
    }
    state.owedBlanks = 0;
}

void startRecord() {
    state.owedBlanks = 1;
    state.recordRoom = LIST_RECORD_WIDTH;
    state.recordLength = 0;
}

void endRecord() {
    Connection& connection = *state.connection;
    if (state.recordLength == 0) writeCharacters(BLANKS, 1);
    if (connection.kind == ConnectionKind::DEVICE) {
        passOnDevicePiece(connection);
        state.devicePiecePassed = false;
        connection.lineEndPending = true;
    } else {
        writeCharacters("\r\n", 2);
    }
}

void placeText(const char* text, int length) {
    if (state.owedBlanks != 1) state.owedBlanks = 0;
    while (length > 0) {
        if (state.recordRoom > length) {
            writeOwedBlanks();
            writeCharacters(text, length);
            state.recordRoom -= length;
            break;
        }
        // The text fills the record: the rest goes on the next one, behind
        // its leading blank; with nothing left, that record stays open empty.
        const int piece = state.recordRoom;
        writeOwedBlanks();
        writeCharacters(text, piece);
        endRecord();
        startRecord();
        text += piece;
        length -= piece;
    }
    state.separatorDue = false;
}

void placeValue(const char* text, int length, int width) {
    int field = width;
    if (state.separatorDue) {
        ++field;
    } else {
        state.separatorDue = true;
    }
    state.owedBlanks += field - length;
    if (state.recordRoom <= field) {
        // On the next record, with the blanks this value is owed.
        endRecord();
        state.recordRoom = LIST_RECORD_WIDTH;
        state.recordLength = 0;
    }
    writeOwedBlanks();
    writeCharacters(text, length);
    state.recordRoom -= field;
}

// The statement's start: the unit's connection, the cut of a file that was
// not being written, and the first record.
void startPlacing() {
    Connection& connection = findConnection(state.unit, Direction::OUTPUT);
    startOutput(connection);
    state.connection = &connection;
    state.separatorDue = false;
    state.devicePiecePassed = false;
    startRecord();
}

void placeItem(const Item& item) {
    char text[MAX_NUMBER_TEXT];
    switch (item.kind) {
        case ItemKind::INT32:
            placeValue(text, integerText(static_cast<std::int32_t>(item.value), text), INTEGER_FIELD_WIDTH);
            break;
        case ItemKind::REAL32:
            placeValue(text, realText(std::bit_cast<double>(item.value), RealKind::REAL32, text),
                       REAL32_FIELD_WIDTH);
            break;
        case ItemKind::REAL64:
            placeValue(text, realText(std::bit_cast<double>(item.value), RealKind::REAL64, text),
                       REAL64_FIELD_WIDTH);
            break;
        case ItemKind::TEXT:
            placeText(state.text + item.value, item.length);
            break;
    }
}

// Lays out the items gathered so far and empties the store.
void placeGathered() {
    if (state.connection == nullptr) startPlacing();
    for (int i = 0; i < state.itemCount; ++i) placeItem(state.items[i]);
    state.itemCount = 0;
    state.textUsed = 0;
}

void addItem(ItemKind kind, std::uint64_t value, int length) {
    if (state.itemCount == LIST_ITEM_CAPACITY) placeGathered();
    state.items[state.itemCount++] = Item{kind, length, value};
}

}  // namespace

void ListWriter::begin(std::int32_t unit) {
    if (unit != CONSOLE_UNIT && (unit < -32767 || unit > 32767)) {
        raiseError(ErrorNumber::UNIT_NUMBER_OUT_OF_RANGE, StatementKind::NONE, {});
    }
    state.unit = unit;
    state.itemCount = 0;
    state.textUsed = 0;
    state.connection = nullptr;
}

void ListWriter::putInt32(std::int32_t value) {
    addItem(ItemKind::INT32, static_cast<std::uint32_t>(value), 0);
}

void ListWriter::putReal32(float value) {
    addItem(ItemKind::REAL32, std::bit_cast<std::uint64_t>(widenExactly(value)), 0);
}

void ListWriter::putReal64(double value) {
    addItem(ItemKind::REAL64, std::bit_cast<std::uint64_t>(value), 0);
}

void ListWriter::putText(const char* text, int length) {
    if (length < 0) length = 0;
    if (state.itemCount == LIST_ITEM_CAPACITY || length > LIST_TEXT_CAPACITY - state.textUsed) placeGathered();
    if (length > LIST_TEXT_CAPACITY) {
        placeText(text, length);
        return;
    }
    std::memcpy(state.text + state.textUsed, text, static_cast<std::size_t>(length));
    addItem(ItemKind::TEXT, static_cast<std::uint64_t>(state.textUsed), length);
    state.textUsed += length;
}

int ListWriter::end() {
    placeGathered();
    endRecord();
    state.connection = nullptr;
    return 0;
}

}  // namespace textio
