// List-directed output statements: values laid out in fields on a unit's records.
#pragma once

#include <cstdint>

namespace textio {

inline constexpr int LIST_RECORD_WIDTH = 79;

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
