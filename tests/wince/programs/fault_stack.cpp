// Recursion without end, a large frame each time: the stack runs past its 64 KiB reserve.
#include "platform/platform.h"

// Never cleared. The compiler cannot know that, so it keeps the recursion as written.
static volatile int keepGoing = 1;

enum { kFrameBytes = 1024 };

static int Descend(int depth) {
    // Volatile: the frame is really there, and touched at both ends, so that no page is skipped.
    volatile uint8_t frame[kFrameBytes];
    frame[0] = static_cast<uint8_t>(depth);
    frame[kFrameBytes - 1] = static_cast<uint8_t>(depth);
    // Always false, as cppcheck sees, but only because nothing writes the volatile flag.
    // cppcheck-suppress knownConditionTrueFalse
    if (keepGoing == 0) {
        return frame[0];
    }
    // Not a tail call: the frame is used after the call returns.
    return Descend(depth + 1) + frame[kFrameBytes - 1];
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    return Descend(0);
}
