// List-directed output statements: values laid out in fields on a unit's records.
#pragma once

#include <cstdint>

namespace textio {

inline constexpr int LIST_RECORD_WIDTH = 79;

// What a statement keeps of its items before it places them: when either is
// full, the items gathered so far are laid out at once and the statement
// goes on from there, so the records are the same for any number of items.
// A text longer than the whole store is laid out straight from the caller.
inline constexpr int LIST_ITEM_CAPACITY = 64;
inline constexpr int LIST_TEXT_CAPACITY = 1024;

// One list-directed output statement at a time: begin, the items in order,
// end. Items are captured when added; the records are produced by end.
class ListWriter {
public:
    static void begin(std::int32_t unit);
    static void putInt32(std::int32_t value);
    static void putReal32(float value);
    static void putReal64(double value);
    static void putText(const char* text, int length);
    static int end();
};

}  // namespace textio
