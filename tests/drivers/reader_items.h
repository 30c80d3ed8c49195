// The variables of one input statement under test, read item by item and shown as one line of text.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "textio/list_reader.h"

namespace readertest {

// Item letters: i 32-bit integer, f 32-bit real, d 64-bit real, t text of 60.
// Every variable starts from a value that no input gives, shown as
// "unchanged" while it keeps it.
class StatementItems {
public:
    static constexpr int MAX_ITEMS = 16;
    static constexpr int TEXT_LENGTH = 60;

    explicit StatementItems(std::string letters) : letters_(std::move(letters)) {
        if (letters_.size() > MAX_ITEMS) letters_.resize(MAX_ITEMS);
        for (int i = 0; i < MAX_ITEMS; ++i) {
            integers_[i] = INT_START;
            singles_[i] = static_cast<float>(REAL_START);
            doubles_[i] = REAL_START;
            std::memset(texts_[i], '#', TEXT_LENGTH);
        }
    }

    // Takes the items in order, between the statement's begin and end.
    void read() {
        for (std::size_t i = 0; i < letters_.size(); ++i) {
            switch (letters_[i]) {
                case 'i': textio::ListReader::getInt32(integers_[i]); break;
                case 'f': textio::ListReader::getReal32(singles_[i]); break;
                case 'd': textio::ListReader::getReal64(doubles_[i]); break;
                case 't': textio::ListReader::getText(texts_[i], TEXT_LENGTH); break;
                default: break;
            }
        }
    }

    // "i=1200 d=-2.5 t=[y]+59": reals in their shortest exact form, a text
    // as its content before the trailing blanks and the count of those.
    std::string show() const {
        std::string line;
        for (std::size_t i = 0; i < letters_.size(); ++i) {
            if (i > 0) line += ' ';
            line += letters_[i];
            line += '=';
            switch (letters_[i]) {
                case 'i': line += integers_[i] == INT_START ? "unchanged" : std::to_string(integers_[i]); break;
                case 'f':
                    line += singles_[i] == static_cast<float>(REAL_START) ? "unchanged" : realText(singles_[i]);
                    break;
                case 'd': line += doubles_[i] == REAL_START ? "unchanged" : realText(doubles_[i]); break;
                case 't': line += showText(texts_[i]); break;
                default: line += '?'; break;
            }
        }
        return line;
    }

private:
    static constexpr std::int32_t INT_START = -777777777;
    static constexpr double REAL_START = -0x1.234p-77;

    template <typename Real>
    static std::string realText(Real value) {
        char text[48];
        return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
    }

    static std::string showText(const char* text) {
        bool unchanged = true;
        for (int i = 0; i < TEXT_LENGTH; ++i) unchanged = unchanged && text[i] == '#';
        if (unchanged) return "unchanged";
        int content = TEXT_LENGTH;
        while (content > 0 && text[content - 1] == ' ') --content;
        std::string shown = "[";
        for (int i = 0; i < content; ++i) {
            const unsigned char byte = static_cast<unsigned char>(text[i]);
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

    std::string letters_;
    std::int32_t integers_[MAX_ITEMS];
    float singles_[MAX_ITEMS];
    double doubles_[MAX_ITEMS];
    char texts_[MAX_ITEMS][TEXT_LENGTH];
};

}  // namespace readertest
