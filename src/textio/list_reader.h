// List-directed input statements: free-form values taken from a unit's records.
#pragma once

#include <cstdint>

namespace textio {

inline constexpr int WORK_BUFFER_SIZE = 260;

// One list-directed input statement at a time: begin, the items in order, end.
// Every failure is raised (it ends the program); nothing is returned.
class ListReader {
public:
    static void begin(std::int32_t unit);
    static void getInt32(std::int32_t& value);
    static void getReal32(float& value);
    static void getReal64(double& value);
    static void getText(char* text, int length);
    static void end();
};

// Compares two texts, the shorter one counting as extended with blanks.
// A negative length counts as 0.
bool textEquals(const char* a, int lengthA, const char* b, int lengthB);

}  // namespace textio
