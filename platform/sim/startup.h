// The simulated device's start-up code: runs the launcher's WinMain as a new process would.
#ifndef KELBRUN_PLATFORM_SIM_STARTUP_H
#define KELBRUN_PLATFORM_SIM_STARTUP_H

#include "platform/platform.h"
#include "platform/sim/device.h"

namespace sim {

struct RunResult {
    Record record;
    bool exited = false;  // ended through the exit routine (false: killed by a signal)
    int status = -1;      // exit status, when exited
    int signal = 0;       // the signal that ended it, when not exited
};

// A program's WinMain, as the start-up code calls it.
typedef int(WINAPI* EntryPoint)(HINSTANCE, HINSTANCE, LPWSTR, int);

// Runs a program once on the current device. The run gets a process of its own, forked from
// this one, so it starts from the program's initial static state and really ends through the
// C run-time's exit routine; what it recorded comes back through a pipe. The current device is
// left as it was.
RunResult RunProgram(EntryPoint entry);

// Runs the launcher, StartupSequence, as above.
RunResult RunLauncher();

}  // namespace sim

#endif  // KELBRUN_PLATFORM_SIM_STARTUP_H
