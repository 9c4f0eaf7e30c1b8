// The simulated device's CreateProcessW: a program file of the device's, loaded by the rules of
// Windows CE 5.0's loader (the same reading --exe and --load-only use), and the error the unit's
// kernel sets when it cannot start it. The program itself does not run.
#ifndef KELBRUN_PLATFORM_SIM_PROGRAM_START_H
#define KELBRUN_PLATFORM_SIM_PROGRAM_START_H

#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

struct Device;

// Windows error codes a start on the unit can end with.
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorNotSupported = 50;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorBadExeFormat = 193;

struct ProgramStart {
    uint32_t error = 0;      // what CreateProcessW leaves as the last error; 0 when it started
    std::string reason;      // what the loader found, in a line
    bool fileFound = false;  // the kernel found a file to load
};

// CreateProcessW(path, parameters, NULL, NULL, FALSE, 0, NULL, NULL, NULL, &pi) on the device at
// its current time: the file is found among the device's files (with ".exe" added when the name
// as given is not there, as the unit's kernel tries), read by the unit's loader rules against
// the COREDLL export table and the DLLs the device holds. What the loader prints on the debug
// output before it gives up goes to the device's trail. The handles a start gives are closed
// again at once; nothing runs.
ProgramStart StartProgram(Device& device, std::u16string_view path, std::u16string_view parameters);

// Whether the unit's COREDLL exports a function of that name: its export table, whatever the
// simulated device can bind.
bool UnitCoredllExports(std::string_view name);

// The symbolic name of a Windows error code the shell and the loader give ("ERROR_BAD_EXE_FORMAT"),
// or nothing for another.
std::string_view ErrorName(uint32_t error);

}  // namespace sim

#endif  // KELBRUN_PLATFORM_SIM_PROGRAM_START_H
