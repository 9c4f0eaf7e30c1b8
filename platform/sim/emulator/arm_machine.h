// The simulated device's ARM processor: runs a loaded Windows CE executable instruction by
// instruction (Unicorn), in a process slot laid out as the device lays it out, and ends it as
// the device would on a fault. Calls into COREDLL leave the processor for the bindings in
// coredll.cpp, which act on the same simulated device as the linked-in launcher.
#ifndef KELBRUN_PLATFORM_SIM_EMULATOR_ARM_MACHINE_H
#define KELBRUN_PLATFORM_SIM_EMULATOR_ARM_MACHINE_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/emulator/pe_image.h"
#include "platform/sim/startup.h"

namespace sim {

enum class Processor {
    kArmv4t,   // ARM920T-class units: ARMv4T, no ARMv5 instructions
    kArmv5te,  // ARM926-class units
};

// Where the simulated COREDLL's functions are: each bound import is one 4-byte slot here.
inline constexpr uint32_t kCoredllBase = 0x00F00000;
inline constexpr uint32_t kCoredllSize = 0x10000;
// The top of the stack; the stack reserve lies below it (less the last 8 KiB, which the unit keeps
// for exception handling), and an unmapped guard below that.
inline constexpr uint32_t kStackTop = 0x02000000;
// What the entry gets as its hInstance: the process's handle, as the kernel gives it out, and
// not the image's base, which comes on the stack.
inline constexpr uint32_t kProcessHandle = 0x0C3E5002;
// A run that takes more instructions than this is a runaway: the launcher needs a few
// thousand.
inline constexpr uint64_t kInstructionBudget = 20000000;
// The longest text a binding reads from the program's memory.
inline constexpr uint32_t kLongestText = 32768;

// What a binding sees of the call: the arguments as the Windows CE ARM calling convention passes
// them, and the program's memory as the program may use it.
class ArmCall {
  public:
    // The index-th 32-bit argument: r0 to r3, then the caller's stack.
    virtual uint32_t Arg(int index) = 0;
    virtual void Return(uint32_t value) = 0;
    // Reads and writes of the program's memory on its behalf. An address the program could not
    // read (or write) itself ends the run with a fault naming what was passed to which function.
    virtual std::vector<uint8_t> Read(uint32_t address, uint64_t size) = 0;
    virtual void Write(uint32_t address, const void* bytes, uint32_t size) = 0;
    // A NUL-terminated UTF-16 text.
    virtual std::u16string ReadText(uint32_t address) = 0;
    // A NUL-terminated 8-bit text.
    std::string ReadNarrowText(uint32_t address);
    // Ends the process with the status, as TerminateProcess of the current process does.
    virtual void EndProcess(int status) = 0;

    uint32_t ReadU32(uint32_t address);
    void WriteU32(uint32_t address, uint32_t value);

  protected:
    ~ArmCall() = default;
};

struct DllImage;

// Runs the image as a new process on the current device, as RunProgram runs the linked-in
// launcher: in a process of its own, with the same record and report. With a unit's own
// COREDLL, the process starts in its MainThreadBaseFunc, the program's imports are bound to its
// exports (which the caller has checked), and only its calls into the kernel are simulated.
RunResult RunExecutable(const PeImage& image, Processor processor,
                        const DllImage* coredll = nullptr);

// Whether this build has the ARM processor; without it RunExecutable cannot be used.
bool HasArmProcessor();

}  // namespace sim

#endif  // KELBRUN_PLATFORM_SIM_EMULATOR_ARM_MACHINE_H
