// Units and their connections: the unit table, the console, connecting and disconnecting files.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

#include "textio/errors.h"
#include "textio/platform.h"

namespace textio {

// The console (standard input and output) as a unit; a reserved number that
// no statement can name otherwise.
inline constexpr std::int32_t CONSOLE_UNIT = std::numeric_limits<std::int32_t>::max();
inline constexpr std::int32_t FREE_UNIT = std::numeric_limits<std::int32_t>::min();

inline constexpr int MAX_CONNECTED_UNITS = 61;
inline constexpr int DEVICE_BUFFER_SIZE = 132;
inline constexpr int FILE_BUFFER_SIZE = 1024;
inline constexpr int MAX_NAME_LENGTH = 259;

enum class ConnectionKind { DEVICE, SEQUENTIAL_FILE };
enum class Disposition { DEFAULT, KEEP, DELETE };
enum class Direction { INPUT, OUTPUT };

// The connection properties that a connect leaves at their defaults; kept
// with the connection, read by nothing in this program.
struct ConnectionAttributes {
    std::string_view blank = "NULL";
    std::string_view delim = "NONE";
    std::string_view pad = "YES";
    std::string_view position = "ASIS";
    std::string_view share = "DENYNONE";
};

struct Connection {
    char fileName[MAX_NAME_LENGTH + 1] = {};
    int fileNameLength = 0;
    int handle = -1;
    ConnectionKind kind = ConnectionKind::SEQUENTIAL_FILE;

    // Record buffer. On input `position` is the next byte to take and `end`
    // the last valid one (-1 when empty); on output `position` counts the
    // characters collected and `end` stays -1.
    char buffer[FILE_BUFFER_SIZE] = {};
    int bufferSize = FILE_BUFFER_SIZE;
    int position = 0;
    int end = -1;
    // The last block read was full and did not end in a line feed: an empty
    // read that follows supplies one line feed before it counts as the end.
    bool lastBlockFullWithoutLineEnd = false;
    int blockFileBytes = 0;  // bytes of the current block that came from the file

    std::int64_t filePosition = 0;  // system file position after the buffer's bytes
    bool writeMode = false;
    bool lineEndPending = false;
    bool endOfFile = false;
    bool deleteOnClose = false;
    bool consoleAlias = false;
    bool firstCharacterControl = false;
    Disposition closeDisposition = Disposition::KEEP;
    platform::Access access = platform::Access::READWRITE;
    ConnectionAttributes attributes;

    std::string_view name() const { return {fileName, static_cast<std::size_t>(fileNameLength)}; }
};

struct UnitTable {
    std::int32_t unit[MAX_CONNECTED_UNITS];
    Connection connection[MAX_CONNECTED_UNITS];
    // One connection serves both directions when standard input and standard
    // output are both terminals; then consoleOutput is unused.
    Connection consoleInput;
    Connection consoleOutput;
    bool consoleShared = false;
};
UnitTable& unitTable();

// Start-up: console connections, a free unit table, the command-line
// arguments that blank names take in turn.
void startUnits(int argumentCount, char** arguments);

// Connects `unit` to the named file or device with every other property at
// its default. The name is trimmed of blanks; a blank name is asked for.
void openUnit(std::int32_t unit, const char* name, int length);

// Disconnects `unit`, writing its pending output; a unit that is not
// connected is left alone.
void closeUnit(std::int32_t unit, Disposition disposition = Disposition::DEFAULT);

// The connection a statement of `direction` on `unit` uses.
Connection& findConnection(std::int32_t unit, Direction direction);

// The console connection of a direction (the same one for both when shared).
Connection& consoleConnection(Direction direction);

// Returns a non-blank file name for `unit`: the next command-line argument,
// or else a line typed after the prompt. Writes at most MAX_NAME_LENGTH
// characters to `name` and returns their count.
int askFileName(std::int32_t unit, char* name);

// The name as the connect uses it: at most 259 characters, blanks trimmed,
// "USER" as "CON", a device name shortened to its base. `isDevice` tells
// whether the name denotes a device. Returns the prepared length (0: blank).
struct PreparedName {
    char text[MAX_NAME_LENGTH + 1];
    int length;
    bool isDevice;
    std::string_view view() const { return {text, static_cast<std::size_t>(length)}; }
};
void trimName(const char* name, int length, PreparedName& prepared);
void classifyDeviceName(PreparedName& prepared);

// --- Record buffer primitives for the statements ---

// Output statement start: cuts an existing file at the current position on
// the first output after a connect or a read, and takes the shared console
// for output.
void startOutput(Connection& connection);

// Input statement start: writes out what a file in writeMode still holds and
// clears writeMode; takes the shared console for input.
void startInput(Connection& connection);

// Writes bytes straight to the connection's handle; a failure raises 6421
// or 6422 with the statement kind given.
void writeBytes(Connection& connection, const char* bytes, int count, StatementKind kind);

// Appends bytes to a file connection's record buffer, writing the buffer out
// whenever it is full.
void appendToBuffer(Connection& connection, const char* bytes, int count, StatementKind kind);

// Writes out the buffered output of a file connection.
void flushBuffer(Connection& connection, StatementKind kind);

// Reads the next block into the buffer; returns the byte count (0 at the
// end) or -errno. Position and end are left to the caller. Short of a
// terminal, a block ends only with a line end, when full, or at the end of
// the input: a line that a pipe hands over in pieces stays one line.
long readBlock(Connection& connection);

// Sets the end of the file at the current position (file position less the
// bytes still unread) and places the file position there; raises on failure.
void cutAtCurrentPosition(Connection& connection, StatementKind kind);

// Tests start from a fresh table and console connections.
void resetUnitsForTesting(int argumentCount = 0, char** arguments = nullptr);

}  // namespace textio
