// Runs list-directed input statements given on the command line and prints what each one stored.
//
// reader_driver UNIT STATEMENT...
//   UNIT       "con" for the console, otherwise a file connected to unit 1
//   STATEMENT  item letters: i 32-bit integer, f 32-bit real, d 64-bit real,
//              t text of 60; a leading p first writes "prompt>" on standard
//              output and leaves that console line waiting for its line end.
// After each statement one line on standard output: the items, each as
// letter=value, reals in their shortest exact form, texts as [content]+trailing
// blanks, and "unchanged" for an item that kept its starting value.
#include <bit>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

#include "textio/errors.h"
#include "textio/list_reader.h"
#include "textio/platform.h"
#include "textio/units.h"

using namespace textio;

namespace {

constexpr std::int32_t INT_START = -777777777;
constexpr double REAL_START = -0x1.234p-77;
constexpr int TEXT_LENGTH = 60;

void put(const std::string& text) { platform::writeAll(1, text.data(), static_cast<int>(text.size())); }

// The shortest text that reads back as the same value.
template <typename Real>
std::string realText(Real value) {
    char text[48];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string showText(const char* text) {
    bool unchanged = true;
    for (int i = 0; i < TEXT_LENGTH; ++i) unchanged = unchanged && text[i] == '#';
    if (unchanged) return "unchanged";
    int content = TEXT_LENGTH;
    while (content > 0 && text[content - 1] == ' ') --content;
    std::string shown = "[";
    for (int i = 0; i < content; ++i) {
        unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte >= 32 && byte < 127) {
            shown += static_cast<char>(byte);
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02X", byte);
            shown += code;
        }
    }
    return shown + "]+" + std::to_string(TEXT_LENGTH - content);
}

void runStatement(std::int32_t unit, const char* items) {
    if (*items == 'p') {
        put("prompt>");
        consoleConnection(Direction::OUTPUT).lineEndPending = true;
        ++items;
    }
    const int count = static_cast<int>(std::strlen(items));
    std::int32_t integers[16];
    float singles[16];
    double doubles[16];
    char texts[16][TEXT_LENGTH];
    ListReader::begin(unit);
    for (int i = 0; i < count && i < 16; ++i) {
        integers[i] = INT_START;
        singles[i] = static_cast<float>(REAL_START);
        doubles[i] = REAL_START;
        std::memset(texts[i], '#', TEXT_LENGTH);
        switch (items[i]) {
            case 'i': ListReader::getInt32(integers[i]); break;
            case 'f': ListReader::getReal32(singles[i]); break;
            case 'd': ListReader::getReal64(doubles[i]); break;
            case 't': ListReader::getText(texts[i], TEXT_LENGTH); break;
            default: break;
        }
    }
    ListReader::end();

    std::string line;
    for (int i = 0; i < count && i < 16; ++i) {
        if (i > 0) line += ' ';
        line += items[i];
        line += '=';
        switch (items[i]) {
            case 'i': line += integers[i] == INT_START ? "unchanged" : std::to_string(integers[i]); break;
            case 'f':
                line += std::bit_cast<std::uint32_t>(singles[i]) == std::bit_cast<std::uint32_t>(static_cast<float>(REAL_START))
                            ? "unchanged"
                            : realText(singles[i]);
                break;
            case 'd': line += doubles[i] == REAL_START ? "unchanged" : realText(doubles[i]); break;
            case 't': line += showText(texts[i]); break;
            default: line += '?'; break;
        }
    }
    put(line + "\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    startUnits(1, argv);
    armFloatingPointTraps();
    std::int32_t unit = CONSOLE_UNIT;
    if (std::strcmp(argv[1], "con") != 0) {
        unit = 1;
        openUnit(unit, argv[1], static_cast<int>(std::strlen(argv[1])));
    }
    for (int i = 2; i < argc; ++i) runStatement(unit, argv[i]);
    endProcess(0);
}
