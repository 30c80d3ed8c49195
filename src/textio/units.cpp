// The unit table, the console connections, and connecting and disconnecting named files.
#include "textio/units.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "textio/number_text.h"

namespace textio {

namespace {

UnitTable table;
int argumentCount = 0;
char** argumentValues = nullptr;
int nextArgument = 1;

// Characters of a typed file-name line that are kept before trimming.
constexpr int NAME_LINE_CAPACITY = 260;

struct DeviceName {
    std::string_view name;
    const char* path;  // what the device opens; null for the console and standard error
};

// Names that connect to a device instead of a file, matched without regard to case.
constexpr DeviceName DEVICE_NAMES[] = {
    {"CON", nullptr},          {"USER", nullptr},         {"ERR", nullptr},
    {"NUL", "/dev/null"},      {"PRN", "/dev/lp0"},       {"LPT1", "/dev/lp0"},
    {"LPT2", "/dev/lp1"},      {"LPT3", "/dev/lp2"},      {"LPT4", "/dev/lp3"},
    {"COM1", "/dev/ttyS0"},    {"COM2", "/dev/ttyS1"},    {"COM3", "/dev/ttyS2"},
    {"COM4", "/dev/ttyS3"},    {"AUX", "/dev/ttyS0"},     {"LINE", "/dev/ttyS0"},
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

const DeviceName* findDevice(std::string_view base) {
    for (const DeviceName& device : DEVICE_NAMES) {
        if (equalsIgnoringCase(base, device.name)) return &device;
    }
    return nullptr;
}

void setName(Connection& connection, std::string_view name) {
    std::size_t count = name.size() < MAX_NAME_LENGTH ? name.size() : MAX_NAME_LENGTH;
    std::memcpy(connection.fileName, name.data(), count);
    connection.fileName[count] = '\0';
    connection.fileNameLength = static_cast<int>(count);
}

void makeConsole(Connection& connection, int handle) {
    connection = Connection{};
    setName(connection, "CON");
    connection.handle = handle;
    connection.kind = ConnectionKind::DEVICE;
    connection.bufferSize = DEVICE_BUFFER_SIZE;
    connection.firstCharacterControl = true;
}

int findEntry(std::int32_t unit) {
    for (int entry = 0; entry < MAX_CONNECTED_UNITS; ++entry) {
        if (table.unit[entry] == unit) return entry;
    }
    return -1;
}

ErrorNumber openFailure(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return ErrorNumber::PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR: return ErrorNumber::ACCESS_DENIED;
        case EEXIST: return ErrorNumber::FILE_EXISTS;
        case EMFILE:
        case ENFILE: return ErrorNumber::TOO_MANY_OPEN_FILES;
        default: return ErrorNumber::INVALID_NAME;
    }
}

ErrorNumber writeFailure(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return ErrorNumber::NO_SPACE_LEFT;
        default: return ErrorNumber::WRITE_REFUSED;
    }
}

// The file behind `name` is the one this connection has open.
bool denotesSameFile(const PreparedName& prepared, const Connection& connection) {
    if (prepared.isDevice) return equalsIgnoringCase(prepared.view(), connection.name());
    return connection.kind == ConnectionKind::SEQUENTIAL_FILE &&
           platform::sameFile(prepared.text, connection.handle);
}

// Another unit already has this file or device connected.
bool connectedElsewhere(std::int32_t unit, const PreparedName& prepared) {
    for (int entry = 0; entry < MAX_CONNECTED_UNITS; ++entry) {
        if (table.unit[entry] == FREE_UNIT || table.unit[entry] == unit) continue;
        const Connection& other = table.connection[entry];
        bool same = prepared.isDevice
                        ? equalsIgnoringCase(prepared.view(), other.name())
                        : other.handle > 2 && platform::sameFile(prepared.text, other.handle);
        if (same) return true;
    }
    return false;
}

// Opens the system object for a new connection: read-write first, then read,
// then write. Returns the handle or raises by the reason of the last failure.
int openForConnection(const PreparedName& prepared, const char* systemName, bool isDevice,
                      Connection& connection, bool& created) {
    created = !isDevice && !platform::exists(systemName);
    int result = 0;
    for (platform::Access access :
         {platform::Access::READWRITE, platform::Access::READ, platform::Access::WRITE}) {
        result = platform::openFile(systemName, access, created);
        if (result >= 0) {
            connection.access = access;
            return result;
        }
    }
    raiseError(openFailure(-result), StatementKind::OPEN, prepared.view());
}

// Reads one line from standard input through the console's block, the line
// end removed; at most `capacity` characters are kept. False at the end of input.
bool readConsoleLine(char* line, int capacity, int& length) {
    Connection& console = consoleConnection(Direction::INPUT);
    startInput(console);
    length = 0;
    bool taken = false;  // a byte of this line has been read
    for (;;) {
        if (console.position > console.end) {
            long n = readBlock(console);
            if (n < 0) return false;
            if (n == 0) {
                // Input that ends without a line end still ends its last line.
                if (!taken) return false;
                console.position = 0;
                console.end = -1;
                break;
            }
            console.position = 0;
            console.end = static_cast<int>(n) - 1;
        }
        char byte = console.buffer[console.position++];
        taken = true;
        if (byte == '\n') break;
        if (length < capacity) line[length++] = byte;
    }
    if (length > 0 && length <= capacity && line[length - 1] == '\r') --length;
    if (platform::isTerminal(console.handle)) {
        console.position = 0;
        console.end = -1;
    }
    return true;
}

}  // namespace

UnitTable& unitTable() { return table; }

void resetUnitsForTesting(int count, char** arguments) {
    for (int entry = 0; entry < MAX_CONNECTED_UNITS; ++entry) {
        if (table.unit[entry] != FREE_UNIT && table.connection[entry].handle > 2) {
            platform::closeHandle(table.connection[entry].handle);
        }
        table.unit[entry] = FREE_UNIT;
        table.connection[entry] = Connection{};
    }
    table.consoleShared = platform::isTerminal(0) && platform::isTerminal(1);
    makeConsole(table.consoleInput, 0);
    makeConsole(table.consoleOutput, 1);
    argumentCount = count;
    argumentValues = arguments;
    nextArgument = 1;
}

void startUnits(int count, char** arguments) {
    // A standard stream that was closed keeps its number, so that no file
    // connected later takes it and receives the console's bytes or a report.
    platform::reserveClosedStandardHandles();
    for (int entry = 0; entry < MAX_CONNECTED_UNITS; ++entry) table.unit[entry] = FREE_UNIT;
    resetUnitsForTesting(count, arguments);
    // A closed pipe on standard output is a failed write like any other.
    std::signal(SIGPIPE, SIG_IGN);
    static bool registered = false;
    if (!registered) {
        registered = true;
        std::atexit(closeAllUnits);
    }
}

Connection& consoleConnection(Direction direction) {
    if (table.consoleShared || direction == Direction::INPUT) return table.consoleInput;
    return table.consoleOutput;
}

Connection& findConnection(std::int32_t unit, Direction direction) {
    if (unit == CONSOLE_UNIT) return consoleConnection(direction);
    int entry = findEntry(unit);
    if (entry < 0) {
        if (unit == 0 || unit == 5 || unit == 6) return consoleConnection(direction);
        openUnit(unit, "", 0);
        entry = findEntry(unit);
    }
    Connection& connection = table.connection[entry];
    return connection.consoleAlias ? consoleConnection(direction) : connection;
}

void trimName(const char* name, int length, PreparedName& prepared) {
    int count = length < 0 ? 0 : (length > MAX_NAME_LENGTH ? MAX_NAME_LENGTH : length);
    int first = 0;
    while (first < count && name[first] == ' ') ++first;
    while (count > first && name[count - 1] == ' ') --count;
    prepared.length = count - first;
    std::memcpy(prepared.text, name + first, static_cast<std::size_t>(prepared.length));
    prepared.text[prepared.length] = '\0';
    prepared.isDevice = false;
}

void classifyDeviceName(PreparedName& prepared) {
    std::string_view name = prepared.view();
    if (equalsIgnoringCase(name, "USER")) {
        std::memcpy(prepared.text, "CON", 4);
        prepared.length = 3;
        name = prepared.view();
    }
    // A name with a folder in it is a file, even when a folder's name looks
    // like a device with an extension (nul.d/out).
    if (name.find('/') != std::string_view::npos) return;
    std::size_t dot = name.rfind('.');
    std::string_view base = dot == std::string_view::npos ? name : name.substr(0, dot);
    if ((base.size() != 3 && base.size() != 4) || findDevice(base) == nullptr) return;
    bool extensionFollows = dot != std::string_view::npos && dot + 1 < name.size();
    char first = name[0];
    if (extensionFollows && (first == 'E' || first == 'e' || first == 'L' || first == 'l' ||
                             first == 'U' || first == 'u')) {
        return;  // err.txt, line.dat and user.x are ordinary files
    }
    prepared.length = static_cast<int>(base.size());
    prepared.text[prepared.length] = '\0';
    prepared.isDevice = true;
}

int askFileName(std::int32_t unit, char* name) {
    PreparedName prepared;
    prepared.length = 0;
    if (nextArgument < argumentCount) {
        const char* argument = argumentValues[nextArgument++];
        std::size_t length = std::strlen(argument);
        trimName(argument, static_cast<int>(length), prepared);
    }
    if (prepared.length == 0) {
        Connection& console = consoleConnection(Direction::OUTPUT);
        if (console.lineEndPending) platform::writeAll(1, "\r\n", 2);
    }
    while (prepared.length == 0) {
        char prompt[96] = "File name missing or blank - please enter file name\r\nUNIT ";
        int length = static_cast<int>(std::strlen(prompt));
        length += integerText(unit, prompt + length);
        prompt[length++] = '?';
        prompt[length++] = ' ';
        platform::writeAll(1, prompt, length);

        char line[NAME_LINE_CAPACITY];
        int lineLength = 0;
        if (!readConsoleLine(line, NAME_LINE_CAPACITY, lineLength)) {
            raiseError(ErrorNumber::END_OF_FILE, StatementKind::OPEN, {});
        }
        trimName(line, lineLength, prepared);
    }
    std::memcpy(name, prepared.text, static_cast<std::size_t>(prepared.length));
    return prepared.length;
}

void openUnit(std::int32_t unit, const char* name, int length) {
    PreparedName prepared;
    trimName(name, length, prepared);
    if (prepared.length == 0) {
        prepared.length = askFileName(unit, prepared.text);
        prepared.text[prepared.length] = '\0';
    }
    classifyDeviceName(prepared);
    const DeviceName* device = prepared.isDevice ? findDevice(prepared.view()) : nullptr;
    if (std::memchr(prepared.text, '\0', static_cast<std::size_t>(prepared.length)) != nullptr) {
        // The system would see only the bytes before the zero, another file:
        // refused before any test of the name against connected files.
        raiseError(ErrorNumber::INVALID_NAME, StatementKind::OPEN, prepared.view());
    }

    if (connectedElsewhere(unit, prepared) && !(device != nullptr && device->name == "NUL")) {
        raiseError(ErrorNumber::NAME_CONNECTED_ELSEWHERE, StatementKind::OPEN, prepared.view());
    }
    int entry = findEntry(unit);
    if (entry >= 0) {
        if (denotesSameFile(prepared, table.connection[entry])) return;  // position and buffer stay
        closeUnit(unit, Disposition::KEEP);
    }
    // The table is checked before anything is opened, so that a refused
    // connect leaves no file behind.
    entry = findEntry(FREE_UNIT);
    if (entry < 0) raiseError(ErrorNumber::UNIT_TABLE_FULL, StatementKind::OPEN, prepared.view());

    Connection& connection = table.connection[entry];
    connection = Connection{};
    setName(connection, prepared.view());
    connection.closeDisposition = Disposition::KEEP;
    if (prepared.isDevice) {
        connection.kind = ConnectionKind::DEVICE;
        connection.bufferSize = DEVICE_BUFFER_SIZE;
        connection.firstCharacterControl = true;
    }
    bool console = device != nullptr && (device->name == "CON" || device->name == "USER");
    if (console) {
        connection.handle = 1;
        connection.consoleAlias = true;
    } else if (device != nullptr && device->name == "ERR") {
        connection.handle = 2;
    } else {
        bool created = false;
        const char* systemName = device != nullptr ? device->path : prepared.text;
        connection.handle = openForConnection(prepared, systemName, device != nullptr, connection, created);
        connection.writeMode = created;
    }
    table.unit[entry] = unit;
}

void closeUnit(std::int32_t unit, Disposition disposition) {
    int entry = findEntry(unit);
    if (entry < 0) return;
    Connection& own = table.connection[entry];
    if (disposition == Disposition::DEFAULT) disposition = own.closeDisposition;
    Connection& target = own.consoleAlias ? consoleConnection(Direction::OUTPUT) : own;

    if (target.kind == ConnectionKind::SEQUENTIAL_FILE) {
        if (target.writeMode && disposition != Disposition::DELETE) {
            flushBuffer(target, StatementKind::CLOSE);
        }
    } else if (target.lineEndPending) {
        platform::writeAll(target.handle, "\r\n", 2);  // the lone line end goes unreported
        target.lineEndPending = false;
    }
    target.writeMode = false;

    if (!own.consoleAlias && own.handle > 2) platform::closeHandle(own.handle);
    if (disposition == Disposition::KEEP && own.deleteOnClose) {
        raiseError(ErrorNumber::KEEP_FOR_SCRATCH, StatementKind::CLOSE, own.name());
    }
    if (disposition == Disposition::DELETE && own.kind == ConnectionKind::SEQUENTIAL_FILE) {
        int result = platform::removeFile(own.fileName);
        if (result == -EACCES || result == -EPERM) {
            raiseError(ErrorNumber::REMOVE_REFUSED, StatementKind::CLOSE, own.name());
        }
    }
    table.unit[entry] = FREE_UNIT;
    own = Connection{};
}

void startOutput(Connection& connection) {
    if (table.consoleShared && &connection == &table.consoleInput) {
        connection.handle = 1;
        connection.position = 0;
        connection.end = -1;
    }
    if (connection.kind == ConnectionKind::SEQUENTIAL_FILE && !connection.writeMode) {
        cutAtCurrentPosition(connection, StatementKind::WRITE);
    }
    connection.writeMode = true;
}

void startInput(Connection& connection) {
    if (table.consoleShared && &connection == &table.consoleInput && connection.handle != 0) {
        connection.handle = 0;
        connection.position = 0;
        connection.end = -1;
    }
    if (connection.kind == ConnectionKind::SEQUENTIAL_FILE && connection.writeMode) {
        flushBuffer(connection, StatementKind::READ);
        connection.writeMode = false;
        connection.position = 0;
        connection.end = -1;
        connection.blockFileBytes = 0;
    }
}

void writeBytes(Connection& connection, const char* bytes, int count, StatementKind kind) {
    int result = platform::writeAll(connection.handle, bytes, count);
    if (result < 0) raiseError(writeFailure(-result), kind, connection.name());
    connection.filePosition += count;
}

void appendToBuffer(Connection& connection, const char* bytes, int count, StatementKind kind) {
    while (count > 0) {
        if (connection.position == connection.bufferSize) flushBuffer(connection, kind);
        int room = connection.bufferSize - connection.position;
        int piece = count < room ? count : room;
        std::memcpy(connection.buffer + connection.position, bytes, static_cast<std::size_t>(piece));
        connection.position += piece;
        bytes += piece;
        count -= piece;
    }
}

void flushBuffer(Connection& connection, StatementKind kind) {
    if (connection.position <= 0) return;
    int count = connection.position;
    connection.position = 0;  // a failed write is reported once, not again at the exit
    writeBytes(connection, connection.buffer, count, kind);
}

long readBlock(Connection& connection) {
    long n = platform::readBytes(connection.handle, connection.buffer, connection.bufferSize);
    // A pipe may hand over part of a line and the rest later. A block that
    // came back short without a line end would count as the input's last
    // line, so the rest is waited for, up to a line end, a full block or the
    // real end. A terminal hands over one typed line per read, as it stands.
    if (n > 0 && n < connection.bufferSize && connection.buffer[n - 1] != '\n' &&
        !platform::isTerminal(connection.handle)) {
        while (n < connection.bufferSize && connection.buffer[n - 1] != '\n') {
            long more = platform::readBytes(connection.handle, connection.buffer + n,
                                            static_cast<int>(connection.bufferSize - n));
            if (more < 0) return more;
            if (more == 0) break;  // the real end: the block is the last line
            n += more;
        }
    }
    connection.blockFileBytes = n > 0 ? static_cast<int>(n) : 0;
    if (n > 0) connection.filePosition += n;
    return n;
}

void cutAtCurrentPosition(Connection& connection, StatementKind kind) {
    int unread = connection.blockFileBytes - connection.position;
    if (connection.end < connection.position || unread < 0) unread = 0;
    std::int64_t position = connection.filePosition - unread;
    int result = platform::truncateAt(connection.handle, position);
    if (result < 0) raiseError(writeFailure(-result), kind, connection.name());
    connection.filePosition = position;
    connection.position = 0;
    connection.end = -1;
    connection.blockFileBytes = 0;
    connection.writeMode = true;
}

}  // namespace textio
