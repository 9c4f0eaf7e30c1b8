// The simulated Windows CE kernel under a unit's own COREDLL: what a call into the kernel looks
// like from user mode (a branch into the trap area, taken by the kernel as a prefetch abort),
// the user kernel data page COREDLL reads, and the calls the simulated device serves. Each
// served call acts on the same sim::Device as the COREDLL model (coredll.cpp), mostly through the
// model's own bindings, since COREDLL passes the kernel the caller's arguments unchanged.
#ifndef KELBRUN_PLATFORM_SIM_EMULATOR_KERNEL_KERNEL_H
#define KELBRUN_PLATFORM_SIM_EMULATOR_KERNEL_KERNEL_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/emulator/arm_machine.h"

namespace sim::kernel {

// A call of method m in API set s branches to kFirstMethod - ((s << 8) | m) * 4; from
// kFirstMethod up, method m of the API set of the handle in r0.
inline constexpr uint32_t kFirstMethod = 0xF0010000;
inline constexpr uint32_t kTrapBegin = 0xF0000000;
inline constexpr uint32_t kTrapEnd = 0xF0010400;
inline constexpr uint32_t kTrapPage = 0x20000;  // mapped from kTrapBegin, whole pages
// The page the user kernel data lies in (it starts 0x800 into it), and where in it.
inline constexpr uint32_t kKernelPage = 0xFFFFC000;
inline constexpr uint32_t kUserKernelData = 0xFFFFC800;
// The thread's local storage and what the kernel keeps just below it (its negative slots).
inline constexpr uint32_t kThreadPage = 0x01000000;
inline constexpr uint32_t kThreadLocalStorage = kThreadPage + 0x100;
// Where the simulated kernel hands out memory (VirtualAlloc, file mappings).
inline constexpr uint32_t kAllocationBegin = 0x01100000;
inline constexpr uint32_t kAllocationEnd = 0x01E00000;
inline constexpr uint32_t kThreadHandle = 0x0C3E6002;
inline constexpr uint32_t kMappingSet = 14;

constexpr uint32_t TrapAddress(uint32_t set, uint32_t method) {
    return kFirstMethod - ((set << 8) | method) * 4;
}

struct Trap {
    uint32_t set = 0;
    uint32_t method = 0;
    bool onHandle = false;  // method of the handle in r0; set is then the handle's API set
};

// The call a branch to the address makes, or nothing when it is no call into the kernel.
std::optional<Trap> DecodeTrap(uint32_t address);

// What the kernel needs of the processor beyond a call's arguments.
class KernelCall : public ArmCall {
  public:
    // Makes [begin, begin + size) readable and writable for the process.
    virtual void MapMemory(uint32_t begin, uint32_t size, const std::string& name) = 0;
    // The stretch of the address space the address lies in: mapped memory of one kind, or the
    // unmapped gap between two, [begin, end).
    struct Stretch {
        uint32_t begin;
        uint32_t end;
        bool mapped;
        bool writable;
    };
    virtual Stretch StretchAt(uint32_t address) = 0;
    // Whether the outermost call into COREDLL now running is the program's call of its
    // NKDbgPrintfW: what is printed then is the program's, anything else COREDLL's own.
    virtual bool ProgramIsPrinting() = 0;

  protected:
    ~KernelCall() = default;
};

// What the simulated kernel keeps between calls in one run.
struct KernelState {
    std::map<uint32_t, uint32_t> handleSets;    // a handle it gave out -> its API set
    std::map<uint32_t, uint32_t> mappingSizes;  // a file mapping's handle -> its size
    uint32_t nextHandle = 0x0D000002;
    uint32_t nextAllocation = kAllocationBegin;
    uint32_t calls = 0;
    uint32_t answers = 0;  // COREDLL exports answered in its place
    // The image's wince.nls, or nothing for the kernel's own locale view (locale.cpp).
    const std::vector<uint8_t>* localeData = nullptr;
};

// One served call: method of the set, and how it is served (by the COREDLL model's binding of
// that name when serve is null).
struct ServedCall {
    uint32_t set;
    uint32_t method;
    const char* name;
    void (*serve)(KernelCall& call, KernelState& state);
};

// The calls each part of the kernel serves; each table ends with a null name.
extern const ServedCall kProcessCalls[];     // the kernel's own: set 0, the process and thread
extern const ServedCall kFileSystemCalls[];  // the file system's: registry, files, find handles
extern const ServedCall kWindowingCalls[];   // GWES and the shell: cursor, boxes, windows
extern const ServedCall kResourceCalls[];    // a module's resources

// Serves the call; the call's name when served, nothing when the simulated kernel does not
// serve it.
std::optional<std::string> ServeTrap(KernelCall& call, KernelState& state, const Trap& trap);

// The kernel data page (kKernelPage, one page) as a process sees it: the TLS pointer, the
// current thread and process, the kernel's information array and the interlocked helpers.
std::vector<uint8_t> KernelDataPage();

// A handle of the set, new.
uint32_t NewHandle(KernelState& state, uint32_t set);

// Memory for the process, whole pages from the kernel's area; 0 when there is no more.
uint32_t Allocate(KernelCall& call, KernelState& state, uint32_t size, const std::string& name);

// A COREDLL export the simulated kernel answers itself, at the export's entry, because the
// data COREDLL would work it out from is not there (locale_answers.cpp); the table ends with a
// null name.
struct AnsweredExport {
    const char* name;
    void (*answer)(KernelCall& call, KernelState& state);
};
extern const AnsweredExport kLocaleAnswers[];

// The locale data COREDLL reads (locale.cpp): the address of a view of it, the image's
// wince.nls when the state has it.
uint32_t LocaleView(KernelCall& call, KernelState& state);

}  // namespace sim::kernel

#endif  // KELBRUN_PLATFORM_SIM_EMULATOR_KERNEL_KERNEL_H
