// Fuzzes list-directed input statements on a file and on redirected console input.
//
// The input is a script and a stream of bytes: a header byte (console or file,
// which system read fails, and for a file how many bytes one read returns at
// most, as a pipe may), an item count, one byte per item (its kind,
// a text length, whether the statement ends after it), then the bytes the unit
// reads. The same statements run through ListReader and through a plain
// byte-by-byte model of the record and value rules written here; every
// variable must end up with the same bytes and the same condition must be
// raised at the same item.
#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "reference.h"
#include "textio/errors.h"
#include "textio/list_reader.h"
#include "textio/platform.h"
#include "textio/units.h"

using textio::ErrorNumber;

namespace {

enum class Kind { INT32, REAL32, REAL64, TEXT };

struct ItemSpec {
    Kind kind;
    int length;  // text only; may be 0 or negative
    bool endsStatement;
};

struct Raised {
    int number;
};

[[noreturn]] void throwRaise(char, int number, textio::StatementKind, std::string_view) { throw Raised{number}; }

// --- The bytes the unit reads, served from memory by the system read ---

const std::uint8_t* streamBytes = nullptr;
std::size_t streamSize = 0, streamOffset = 0;
int streamHandle = -1;
int failingRead = -1, readsDone = 0;
std::size_t readPiece = 0;  // 0: a read returns all it is asked for

long servedRead(int handle, void* bytes, std::size_t count) {
    if (handle != streamHandle) return -EBADF;
    if (readsDone++ == failingRead) return -EIO;
    std::size_t n = std::min(count, streamSize - streamOffset);
    if (readPiece != 0) n = std::min(n, readPiece);
    std::memcpy(bytes, streamBytes + streamOffset, n);
    streamOffset += n;
    return static_cast<long>(n);
}

// --- The model: the record and value rules taken one byte at a time ---

constexpr int WORK_CAPACITY = 259;

struct Variable {
    Kind kind;
    std::vector<char> bytes;  // the variable's storage, compared byte for byte
};

class Model {
public:
    Model(const std::uint8_t* bytes, std::size_t size, bool console, int failing)
        : input_(bytes), size_(size), console_(console), failingRead_(failing),
          blockSize_(console ? textio::DEVICE_BUFFER_SIZE : textio::FILE_BUFFER_SIZE) {}

    void begin() {
        pendingRepeat_ = 0;
        lastSeparator_ = ',';
        recordEndTaken_ = false;
    }

    void item(Variable& variable, int length) {
        if (pendingRepeat_ > 0) {
            --pendingRepeat_;
            store(variable, length, false);
            return;
        }
        if (lastSeparator_ == '/') return;
        scan(variable, length);
        store(variable, length, true);
    }

    void end() {
        if (!recordEndTaken_) nextRecord();
        pendingRepeat_ = 0;
    }

private:
    unsigned char fetch() {
        if (position_ > end_) readBlock();
        return block_[position_++];
    }

    void readBlock() {
        position_ = 0;
        end_ = -1;
        if (reads_++ == failingRead_) throw Raised{6500};
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(blockSize_), size_ - offset_);
        std::memcpy(block_, input_ + offset_, n);
        offset_ += n;
        // A short block without a line end is the end of the input only when
        // one more read finds nothing: the program asks once more.
        if (n > 0 && n < static_cast<std::size_t>(blockSize_) && block_[n - 1] != '\n' &&
            reads_++ == failingRead_) {
            throw Raised{6500};
        }
        const int count = static_cast<int>(n);
        if (count == 0) {
            if (!fullWithoutLineEnd_) throw Raised{6501};
            fullWithoutLineEnd_ = false;
            block_[0] = '\n';
            end_ = 0;
            return;
        }
        end_ = count - 1;
        fullWithoutLineEnd_ = count == blockSize_ && block_[count - 1] != '\n';
        if (count < blockSize_ && block_[count - 1] != '\n') block_[++end_] = '\n';
        if (console_ && count >= 3 && block_[count - 3] == 26) throw Raised{6501};
    }

    void nextRecord() {
        while (fetch() != '\n') {
        }
    }

    void collect(unsigned char byte) {
        if (length_ < WORK_CAPACITY) {
            work_[length_++] = static_cast<char>(byte);
        } else {
            cutShort_ = true;
        }
    }

    void scan(Variable& variable, int textLength) {
        recordEndTaken_ = false;
        length_ = 0;
        cutShort_ = false;
        mode_ = PLAIN;
        for (;;) {
            unsigned char byte = fetch();
            if (byte == '\r' || byte == '\n') {
                --position_;
                nextRecord();
                if (mode_ == DELIMITED) continue;
                if (mode_ == PARENTHESISED || (length_ == 0 && pendingRepeat_ == 0)) continue;
                recordEndTaken_ = true;
                lastSeparator_ = ' ';
                return;
            }
            if (mode_ == DELIMITED) {
                if (byte == delimiter_) {
                    unsigned char next = fetch();
                    if (next != delimiter_) {
                        // The byte after the closing delimiter separates; a
                        // record end is left for nextRecord, a tab is a blank.
                        if (next == '\r' || next == '\n') {
                            --position_;
                            lastSeparator_ = ' ';
                        } else {
                            lastSeparator_ = next == '\t' ? ' ' : next;
                        }
                        return;
                    }
                }
                const int capacity = variable.kind == Kind::TEXT ? textLength : WORK_CAPACITY;
                if (length_ < capacity) {
                    if (variable.kind == Kind::TEXT) variable.bytes[static_cast<std::size_t>(length_)] = static_cast<char>(byte);
                    if (length_ < WORK_CAPACITY) work_[length_] = static_cast<char>(byte);
                    ++length_;
                }
                continue;
            }
            switch (byte) {
                case ' ':
                case '\t':
                    if (mode_ == PARENTHESISED || (length_ == 0 && pendingRepeat_ == 0)) continue;
                    lastSeparator_ = ' ';
                    return;
                case '(':
                    if (length_ == 0) {
                        mode_ = PARENTHESISED;
                        continue;
                    }
                    break;
                case ')':
                    if (mode_ == PARENTHESISED) {
                        lastSeparator_ = ' ';
                        return;
                    }
                    break;
                case '\'':
                case '"':
                    if (length_ == 0) {
                        mode_ = DELIMITED;
                        delimiter_ = byte;
                        lastSeparator_ = byte;
                        continue;
                    }
                    break;
                case '*': {
                    if (pendingRepeat_ != 0) throw Raised{6503};
                    if (cutShort_) throw Raised{6101};
                    std::int32_t repeat = 0;
                    reference::Outcome outcome = reference::integer(work_, length_, repeat);
                    if (!outcome.ok) throw Raised{static_cast<int>(outcome.error)};
                    if (repeat <= 0) throw Raised{6502};
                    pendingRepeat_ = static_cast<std::uint32_t>(repeat) - 1;
                    length_ = 0;
                    continue;
                }
                case ',':
                    if (length_ == 0 && lastSeparator_ == ' ' && pendingRepeat_ == 0) {
                        lastSeparator_ = ',';
                        continue;
                    }
                    if (mode_ == PARENTHESISED) break;
                    lastSeparator_ = ',';
                    return;
                case '/':
                    lastSeparator_ = '/';
                    return;
                default:
                    break;
            }
            collect(byte);
        }
    }

    void store(Variable& variable, int textLength, bool fresh) {
        if (length_ == 0) return;
        if (variable.kind != Kind::TEXT && mode_ != PLAIN) throw Raised{6504};
        switch (variable.kind) {
            case Kind::INT32: {
                if (cutShort_) throw Raised{6101};
                std::int32_t value;
                reference::Outcome outcome = reference::integer(work_, length_, value);
                if (!outcome.ok) throw Raised{static_cast<int>(outcome.error)};
                std::memcpy(variable.bytes.data(), &value, sizeof value);
                return;
            }
            case Kind::REAL32:
            case Kind::REAL64: {
                if (cutShort_) throw Raised{6103};
                double value;
                reference::Outcome outcome = reference::real(work_, length_, value);
                if (!outcome.ok) throw Raised{static_cast<int>(outcome.error)};
                if (variable.kind == Kind::REAL64) {
                    std::memcpy(variable.bytes.data(), &value, sizeof value);
                    return;
                }
                if (std::fabs(value) > textio::REAL32_LIMIT) throw Raised{6104};
                const float narrow = static_cast<float>(value);
                if (!reference::isNearestFloat(value, narrow)) std::abort();
                std::memcpy(variable.bytes.data(), &narrow, sizeof narrow);
                return;
            }
            case Kind::TEXT: {
                const int length = textLength < 0 ? 0 : textLength;
                int filled;
                if (mode_ == DELIMITED && fresh) {
                    filled = std::min(length_, length);
                } else {
                    filled = std::min(std::min(length_, WORK_CAPACITY), length);
                    std::memcpy(variable.bytes.data(), work_, static_cast<std::size_t>(filled));
                }
                for (int i = filled; i < length; ++i) variable.bytes[static_cast<std::size_t>(i)] = ' ';
                return;
            }
        }
    }

    enum Mode { PLAIN, PARENTHESISED, DELIMITED };

    const std::uint8_t* input_;
    std::size_t size_, offset_ = 0;
    bool console_;
    int failingRead_, reads_ = 0;
    int blockSize_;
    unsigned char block_[textio::FILE_BUFFER_SIZE + 1] = {};
    int position_ = 0, end_ = -1;
    bool fullWithoutLineEnd_ = false;

    std::uint32_t pendingRepeat_ = 0;
    unsigned char lastSeparator_ = ',';
    bool recordEndTaken_ = false;
    Mode mode_ = PLAIN;
    int length_ = 0;
    bool cutShort_ = false;
    unsigned char delimiter_ = 0;
    char work_[WORK_CAPACITY + 1] = {};
};

constexpr int TEXT_LENGTHS[8] = {60, 1, 3, 0, 7, 260, -1, 60};

std::vector<char> freshVariable(Kind kind, int length) {
    std::size_t size = kind == Kind::TEXT ? static_cast<std::size_t>(length > 0 ? length : 1)
                                          : (kind == Kind::REAL64 ? 8u : 4u);
    return std::vector<char>(size, '\x5A');
}

std::string fileName;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The console must read as redirected input, never as a terminal.
    int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, 0);
    ::close(null);
    char pattern[] = "/tmp/kkf-fuzz-reader-XXXXXX";
    int handle = ::mkstemp(pattern);
    ::close(handle);
    fileName = pattern;
    std::atexit([] { ::unlink(fileName.c_str()); });
    textio::setRaiseHandlerForTesting(throwRaise);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const bool console = data[0] & 1;
    const int failing = (data[0] >> 1) & 7;  // 0: every read works; k: read k - 1 fails
    // A file handed over in pieces reads as the same records; the model
    // reads whole blocks. (The console's Ctrl-Z rule looks at block ends, so
    // its reads stay whole.)
    const std::size_t piece = console || failing != 0 ? 0 : static_cast<std::size_t>(data[0] >> 4) * 37;
    std::size_t itemCount = static_cast<std::size_t>(data[1] % 24) + 1;
    if (size < 2 + itemCount) return 0;
    std::vector<ItemSpec> items;
    for (std::size_t i = 0; i < itemCount; ++i) {
        const std::uint8_t d = data[2 + i];
        items.push_back({static_cast<Kind>(d & 3), TEXT_LENGTHS[(d >> 3) & 7], (d & 4) != 0});
    }
    const std::uint8_t* stream = data + 2 + itemCount;
    const std::size_t streamLength = size - 2 - itemCount;

    // The program's reader.
    textio::resetExitStateForTesting();
    textio::resetUnitsForTesting();
    std::int32_t unit = textio::CONSOLE_UNIT;
    if (!console) {
        unit = 1;
        textio::openUnit(1, fileName.data(), static_cast<int>(fileName.size()));
    }
    streamBytes = stream;
    streamSize = streamLength;
    streamOffset = 0;
    streamHandle = textio::findConnection(unit, textio::Direction::INPUT).handle;
    failingRead = failing - 1;
    readsDone = 0;
    readPiece = piece;
    textio::platform::systemCalls().read = servedRead;

    std::vector<Variable> got, want;
    for (const ItemSpec& item : items) {
        got.push_back({item.kind, freshVariable(item.kind, item.length)});
        want.push_back(got.back());
    }

    std::size_t gotAt = items.size(), wantAt = items.size();  // the item at which each raised
    auto runProgram = [&]() -> int {
        try {
            bool open = false;
            for (std::size_t i = 0; i < items.size(); ++i) {
                gotAt = i;
                if (!open) textio::ListReader::begin(unit);
                open = true;
                char* bytes = got[i].bytes.data();
                switch (items[i].kind) {
                    case Kind::INT32: textio::ListReader::getInt32(*reinterpret_cast<std::int32_t*>(bytes)); break;
                    case Kind::REAL32: textio::ListReader::getReal32(*reinterpret_cast<float*>(bytes)); break;
                    case Kind::REAL64: textio::ListReader::getReal64(*reinterpret_cast<double*>(bytes)); break;
                    case Kind::TEXT: textio::ListReader::getText(bytes, items[i].length); break;
                }
                if (items[i].endsStatement || i + 1 == items.size()) {
                    textio::ListReader::end();
                    open = false;
                }
            }
        } catch (const Raised& raised) {
            return raised.number;
        }
        gotAt = items.size();
        return 0;
    };
    auto runModel = [&]() -> int {
        Model model(stream, streamLength, console, failing - 1);
        try {
            bool open = false;
            for (std::size_t i = 0; i < items.size(); ++i) {
                wantAt = i;
                if (!open) model.begin();
                open = true;
                model.item(want[i], items[i].length);
                if (items[i].endsStatement || i + 1 == items.size()) {
                    model.end();
                    open = false;
                }
            }
        } catch (const Raised& raised) {
            return raised.number;
        }
        wantAt = items.size();
        return 0;
    };
    const int gotCondition = runProgram();
    textio::platform::restoreSystemCalls();
    const int wantCondition = runModel();

    bool same = gotCondition == wantCondition && gotAt == wantAt;
    for (std::size_t i = 0; same && i < items.size(); ++i) same = got[i].bytes == want[i].bytes;
    if (!same) {
        std::fprintf(stderr, "reader raised %d at item %zu, model %d at item %zu\n", gotCondition, gotAt,
                     wantCondition, wantAt);
        for (std::size_t i = 0; i < items.size(); ++i) {
            std::fprintf(stderr, "item %zu kind %d length %d: reader [", i, static_cast<int>(items[i].kind), items[i].length);
            for (char c : got[i].bytes) std::fprintf(stderr, "%02X", static_cast<unsigned char>(c));
            std::fprintf(stderr, "] model [");
            for (char c : want[i].bytes) std::fprintf(stderr, "%02X", static_cast<unsigned char>(c));
            std::fprintf(stderr, "]\n");
        }
        std::abort();
    }
    return 0;
}
