// The console dialogue that runs the calculations.
#pragma once

#include <cstdint>

namespace transform {

// The three text variables of the dialogue, 60 zero bytes at the start.
extern char Answer[60];
extern char InputFileName[60];
extern char ResultFileName[60];

// True when the 60 characters count as the answer "y".
bool isYes(const char* answer);

// Introduction, advice, then calculations until the user declines another; returns 0.
std::int32_t runDialogue();

}  // namespace transform
