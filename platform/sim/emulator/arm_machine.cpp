#include "platform/sim/emulator/arm_machine.h"

#include <unicorn/unicorn.h>

#include <cstdio>
#include <map>
#include <stdexcept>

#include "platform/sim/device.h"
#include "platform/sim/emulator/coredll.h"
#include "platform/sim/emulator/kernel/coredll_image.h"
#include "platform/sim/emulator/kernel/kernel.h"
#include "platform/sim/text.h"

namespace sim {
namespace {

// What every COREDLL slot holds: `bx lr`, so that a bound call returns to its caller in the
// caller's instruction set once the binding has done its work.
constexpr uint32_t kReturnInstruction = 0xE12FFF1E;
// The slot the program's entry returns to: the process ends with the status in r0.
constexpr uint32_t kProcessEnd = kCoredllBase;
constexpr uint32_t kFirstFunction = kCoredllBase + 4;
// Unmapped, below the stack: a program that runs past its reserve lands here.
constexpr uint32_t kGuardSize = 0x10000;
// The unit raises a stack overflow once a thread has less than this much of its reserve left,
// keeping it for exception handling: the program can use only the rest.
constexpr uint32_t kStackKept = 0x2000;
constexpr uint32_t kNullArea = 0x10000;
constexpr int kShow = 5;  // SW_SHOW
constexpr uint32_t kThumbState = 1u << 5;

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof(text), "0x%08llX", static_cast<unsigned long long>(value));
    return text;
}

struct Region {
    uint32_t begin;
    uint32_t end;
    std::string name;
    bool read;
    bool write;
};

// A binding given memory the program could not use itself.
struct BadPointer {
    std::string what;
};

struct Outcome {
    bool ended = false;
    int status = 0;
    std::string fault;
    std::string stopped;  // the simulation could not go on
    ProcessorCounts counts;
};

// Where a process starting in a unit's own COREDLL returns to: nothing, as on the unit.
constexpr uint32_t kNoReturn = 4;
constexpr uint32_t kPrintOrdinal = 545;  // NKDbgPrintfW
// What a debug build of COREDLL executes when a DEBUGCHK fails.
constexpr uint32_t kDebugCheckInstruction = 0xE6000010;

class Machine final : public kernel::KernelCall {
  public:
    Machine(const PeImage& image, Processor processor, const DllImage* dll)
        : image_(image), processor_(processor), dll_(dll) {
        Check(uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc_));
        Check(uc_ctl_set_cpu_model(
            uc_, processor == Processor::kArmv4t ? UC_CPU_ARM_TI925T : UC_CPU_ARM_926));
        Load();
        uc_hook hook;
        Check(uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(OnInstruction), this, 1,
                          0));
        Check(uc_hook_add(uc_, &hook, UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE,
                          reinterpret_cast<void*>(OnAccess), this, 1, 0));
        Check(uc_hook_add(uc_, &hook, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(OnBadAccess),
                          this, 1, 0));
    }
    ~Machine() {
        uc_close(uc_);
    }
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    Outcome Run() {
        const uc_err error = dll_ != nullptr ? StartInCoredll() : StartAtEntry();
        Finish(error);
        outcome_.counts.deepestStack = initialSp_ - lowestSp_;
        outcome_.counts.kernelCalls = kernel_.calls;
        return outcome_;
    }

    uc_err StartAtEntry() {
        // Windows CE starts a process's primary thread at the entry with WinMain's arguments.
        // COREDLL calls the entry as WinMain with three more arguments on the stack: the image's
        // base and its COM descriptor's address and size (none: such a program never gets here).
        const uint32_t commandLine = kStackTop - 4;  // an empty text at the top of the stack
        initialSp_ = kStackTop - 16;
        lowestSp_ = initialSp_;
        WriteU32(initialSp_, image_.base);
        WriteU32(initialSp_ + 4, 0);
        WriteU32(initialSp_ + 8, 0);
        SetRegister(UC_ARM_REG_R0, kProcessHandle);
        SetRegister(UC_ARM_REG_R1, 0);
        SetRegister(UC_ARM_REG_R2, commandLine);
        SetRegister(UC_ARM_REG_R3, kShow);
        SetRegister(UC_ARM_REG_SP, initialSp_);
        SetRegister(UC_ARM_REG_LR, kProcessEnd);
        return uc_emu_start(uc_, image_.base + image_.entryRva, 0xFFFFFFFF, 0, 0);
    }

    // The kernel starts a process's primary thread in COREDLL's MainThreadBaseFunc(entry,
    // process, module count, command line, COREDLL, COM descriptor's address and size, image
    // base), the last four on the stack, returning nowhere; it calls the entry as WinMain.
    uc_err StartInCoredll() {
        const uint32_t commandLine = kStackTop - 4;
        initialSp_ = kStackTop - 32;
        lowestSp_ = initialSp_;
        const uint32_t stacked[4] = {dll_->base, 0, 0, image_.base};
        Write(initialSp_, stacked, sizeof(stacked));
        SetRegister(UC_ARM_REG_R0, image_.base + image_.entryRva);
        SetRegister(UC_ARM_REG_R1, kProcessHandle);
        // The DLLs the program loaded besides COREDLL, whose DllMain COREDLL calls: none.
        SetRegister(UC_ARM_REG_R2, 0);
        SetRegister(UC_ARM_REG_R3, commandLine);
        SetRegister(UC_ARM_REG_SP, initialSp_);
        SetRegister(UC_ARM_REG_LR, kNoReturn);
        return uc_emu_start(uc_, dll_->ExportAddress(kMainThreadOrdinal), 0xFFFFFFFF, 0, 0);
    }

    void Finish(uc_err error) {
        if (outcome_.fault.empty() && !outcome_.ended) {
            if (error == UC_ERR_INSN_INVALID) {
                Fault(UndefinedInstruction(), lastPc_);
            } else if (error == UC_ERR_EXCEPTION) {
                Fault("processor exception the program does not handle", lastPc_);
            } else if (error != UC_ERR_OK) {
                Fault(std::string("emulator: ") + uc_strerror(error), lastPc_);
            } else {
                Fault("the processor stopped without the process ending", Register(UC_ARM_REG_PC));
            }
        }
        // A fault in COREDLL's own code is not the program's: the simulation of the unit's
        // library cannot go on.
        if (dll_ != nullptr && !outcome_.fault.empty() && InCoredll(lastPc_)) {
            const std::string check = FailedCheck();
            outcome_.stopped =
                !check.empty()
                    ? check
                    : "its code faulted in " + dll_->NearestExport(lastPc_) + ": " + outcome_.fault;
            outcome_.fault.clear();
        }
    }

    // A debug build's failed DEBUGCHK, as its debug output shows it: the line it printed, then
    // the undefined instruction it stops at. Empty for any other fault.
    std::string FailedCheck() {
        uint32_t word = 0;
        if ((Register(UC_ARM_REG_CPSR) & kThumbState) != 0 ||
            uc_mem_read(uc_, lastPc_, &word, 4) != UC_ERR_OK || word != kDebugCheckInstruction) {
            return "";
        }
        const std::vector<std::u16string>& lines = CurrentDevice().record.moduleLines;
        std::string said = lines.empty() ? "" : ToUtf8(lines.back());
        while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) {
            said.pop_back();
        }
        return "a DEBUGCHK failed in " + dll_->NearestExport(lastPc_) +
               (said.empty() ? "" : ": \"" + said + "\"");
    }

    uint32_t Arg(int index) override {
        if (index < 4) {
            return Register(UC_ARM_REG_R0 + index);
        }
        return ReadU32(Register(UC_ARM_REG_SP) + 4 * static_cast<uint32_t>(index - 4));
    }

    void Return(uint32_t value) override {
        SetRegister(UC_ARM_REG_R0, value);
    }

    std::vector<uint8_t> Read(uint32_t address, uint64_t size) override {
        std::vector<uint8_t> bytes;
        if (size == 0) {
            return bytes;
        }
        const Region* region = RegionOf(address, size);
        if (region == nullptr || !region->read) {
            throw BadPointer{"memory it cannot read, " + std::to_string(size) + " bytes at " +
                             Hex(address)};
        }
        // Inside one region, so well within the host's sizes.
        bytes.resize(static_cast<size_t>(size));
        Check(uc_mem_read(uc_, address, bytes.data(), bytes.size()));
        return bytes;
    }

    void Write(uint32_t address, const void* bytes, uint32_t size) override {
        if (size == 0) {
            return;
        }
        const Region* region = RegionOf(address, size);
        if (region == nullptr || !region->write) {
            throw BadPointer{"memory it cannot write, " + std::to_string(size) + " bytes at " +
                             Hex(address)};
        }
        Check(uc_mem_write(uc_, address, bytes, size));
    }

    std::u16string ReadText(uint32_t address) override {
        std::u16string text;
        for (uint32_t at = address;; at += 2) {
            const std::vector<uint8_t> unit = Read(at, 2);
            const auto c = static_cast<char16_t>(unit[0] | unit[1] << 8);
            if (c == 0) {
                return text;
            }
            if (text.size() == kLongestText) {
                throw BadPointer{"a text at " + Hex(address) + " with no end within " +
                                 std::to_string(kLongestText) + " characters"};
            }
            text += c;
        }
    }

    void EndProcess(int status) override {
        outcome_.ended = true;
        outcome_.status = status;
        uc_emu_stop(uc_);
    }

    void MapMemory(uint32_t begin, uint32_t size, const std::string& name) override {
        Map(begin, size, name, UC_PROT_READ | UC_PROT_WRITE, nullptr);
    }

    Stretch StretchAt(uint32_t address) override {
        if (const Region* region = RegionOf(address)) {
            return Stretch{region->begin, region->end, true, region->write};
        }
        uint32_t begin = 0;
        uint32_t end = 0xFFFFFFFF;
        for (const Region& region : regions_) {
            if (region.end <= address && region.end > begin) {
                begin = region.end;
            }
            if (region.begin > address && region.begin < end) {
                end = region.begin;
            }
        }
        return Stretch{begin, end, false, false};
    }

    bool ProgramIsPrinting() override {
        return coredllEntry_ != 0 && coredllEntry_ == printEntry_;
    }

  private:
    static void Check(uc_err error) {
        if (error != UC_ERR_OK) {
            throw std::runtime_error(std::string("the ARM emulator failed: ") + uc_strerror(error));
        }
    }

    uint32_t Register(int id) {
        uint32_t value = 0;
        Check(uc_reg_read(uc_, id, &value));
        return value;
    }

    void SetRegister(int id, uint32_t value) {
        Check(uc_reg_write(uc_, id, &value));
    }

    void Map(uint32_t begin, uint32_t size, const std::string& name, uint32_t protection,
             const void* bytes) {
        Check(uc_mem_map(uc_, begin, size, protection));
        if (bytes != nullptr) {
            Check(uc_mem_write(uc_, begin, bytes, size));
        }
        regions_.push_back(Region{begin, begin + size, name, (protection & UC_PROT_READ) != 0,
                                  (protection & UC_PROT_WRITE) != 0});
    }

    // Lays the process slot out: the image at its base with each section's protection and the
    // import slots bound, the simulated COREDLL, and the stack with nothing mapped below it.
    void Load() {
        if (dll_ != nullptr) {
            LoadWithCoredll();
            return;
        }
        std::vector<uint8_t> memory = image_.memory;
        for (size_t i = 0; i < image_.imports.size(); ++i) {
            const PeImport& import = image_.imports[i];
            const CoredllFunction* function = FindCoredllFunction(import.name);
            if (!import.offered || function == nullptr) {
                continue;  // left as the file has it: a call through it goes astray
            }
            const uint32_t slot = kFirstFunction + 4 * static_cast<uint32_t>(i);
            functions_[slot] = function;
            for (int b = 0; b < 4; ++b) {
                memory[import.slotRva + static_cast<uint32_t>(b)] =
                    static_cast<uint8_t>(slot >> (8 * b));
            }
        }
        MapProgram(memory);
        const std::vector<uint32_t> slots(kCoredllSize / 4, kReturnInstruction);
        Map(kCoredllBase, kCoredllSize, "COREDLL", UC_PROT_READ | UC_PROT_EXEC, slots.data());
        MapStack();
    }

    void MapStack() {
        stackBottom_ = kStackTop - image_.stackReserve + kStackKept;
        Map(stackBottom_, image_.stackReserve - kStackKept, "the stack",
            UC_PROT_READ | UC_PROT_WRITE | UC_PROT_EXEC, nullptr);
    }

    void MapImage(uint32_t base, uint32_t headersSize, const std::vector<PeSection>& sections,
                  const std::vector<uint8_t>& memory, const std::string& owner) {
        // The unit's ARMv4T and ARMv5TE memory management has no execute-never bit, and its
        // loader gives every section at least read access: all of the image can be executed.
        Map(base, headersSize, owner + "the headers", UC_PROT_READ | UC_PROT_EXEC, memory.data());
        for (const PeSection& section : sections) {
            const uint32_t protection =
                UC_PROT_READ | UC_PROT_EXEC | (section.write ? UC_PROT_WRITE : 0);
            Map(base + section.rva, section.size, owner + section.name, protection,
                memory.data() + section.rva);
        }
    }

    void MapProgram(const std::vector<uint8_t>& memory) {
        MapImage(image_.base, image_.headersSize, image_.sections, memory, "");
    }

    // The process as the unit's kernel lays it out: the program with its imports bound to
    // COREDLL's exports, COREDLL, the trap area, the kernel data page and the thread's storage.
    void LoadWithCoredll() {
        std::vector<uint8_t> memory = image_.memory;
        for (const PeImport& import : image_.imports) {
            const uint32_t address = BoundAddress(*dll_, import);
            if (import.ordinal == kPrintOrdinal || import.name == "NKDbgPrintfW") {
                printEntry_ = address & ~1u;
            }
            for (int b = 0; b < 4; ++b) {
                memory[import.slotRva + static_cast<uint32_t>(b)] =
                    static_cast<uint8_t>(address >> (8 * b));
            }
        }
        MapProgram(memory);
        MapImage(dll_->base, dll_->headersSize, dll_->sections, dll_->memory, "COREDLL's ");
        const std::vector<uint32_t> traps(kernel::kTrapPage / 4, kReturnInstruction);
        Map(kernel::kTrapBegin, kernel::kTrapPage, "the kernel's trap area",
            UC_PROT_READ | UC_PROT_EXEC, traps.data());
        const std::vector<uint8_t> data = kernel::KernelDataPage();
        Map(kernel::kKernelPage, kPageSize, "the kernel data page",
            UC_PROT_READ | UC_PROT_WRITE | UC_PROT_EXEC, data.data());
        Map(kernel::kThreadPage, kPageSize, "the thread's local storage",
            UC_PROT_READ | UC_PROT_WRITE, nullptr);
        MapStack();
        kernel_.localeData = &dll_->localeData;
        // With the image's own locale data COREDLL works everything out itself.
        for (const kernel::AnsweredExport* e = kernel::kLocaleAnswers;
             dll_->localeData.empty() && e->name != nullptr; ++e) {
            for (const DllExport& exported : dll_->exports) {
                if (exported.name == e->name) {
                    answers_[(dll_->base + exported.rva) & ~1u] = e;
                }
            }
        }
    }

    // An export the kernel answers: its answer, and back to the caller in the caller's state.
    void Answer(const kernel::AnsweredExport& answer) {
        const uint32_t caller = Register(UC_ARM_REG_LR);
        try {
            ++kernel_.answers;
            answer.answer(*this, kernel_);
        } catch (const BadPointer& bad) {
            outcome_.stopped = std::string("its ") + answer.name + " was given " + bad.what +
                               " (from " + Where(caller & ~1u) + ")";
            uc_emu_stop(uc_);
            return;
        }
        SetRegister(UC_ARM_REG_PC, caller);
    }

    bool InCoredll(uint32_t pc) const {
        return dll_ != nullptr && pc >= dll_->base && pc - dll_->base < dll_->memory.size();
    }

    bool InProgram(uint32_t pc) const {
        return pc >= image_.base && pc - image_.base < image_.memory.size();
    }

    // A call into the kernel: served, or the end of what can be simulated.
    void CallKernel(uint32_t pc) {
        const uint32_t caller = Register(UC_ARM_REG_LR) & ~1u;
        const auto trap = kernel::DecodeTrap(pc);
        if (!trap) {
            Fault("jump into the kernel's trap area at " + Hex(pc) + ", which is no call", caller);
            return;
        }
        try {
            if (!kernel::ServeTrap(*this, kernel_, *trap)) {
                outcome_.stopped =
                    "a call into the kernel that the simulated kernel does not " +
                    std::string("serve: ") +
                    (trap->onHandle ? "method " + std::to_string(trap->method) + " of handle " +
                                          Hex(Register(UC_ARM_REG_R0))
                                    : "API set " + std::to_string(trap->set) + ", method " +
                                          std::to_string(trap->method)) +
                    ", from " + Where(caller);
                uc_emu_stop(uc_);
            }
        } catch (const BadPointer& bad) {
            outcome_.stopped = "it gave the kernel " + bad.what + " (from " + Where(caller) + ")";
            uc_emu_stop(uc_);
        }
    }

    std::string Where(uint32_t address) const {
        return InCoredll(address) ? dll_->NearestExport(address) : Hex(address);
    }

    const Region* RegionOf(uint32_t address, uint64_t size = 1) const {
        for (const Region& region : regions_) {
            if (address >= region.begin && address < region.end && address + size <= region.end) {
                return &region;
            }
        }
        return nullptr;
    }

    void Fault(const std::string& what, uint32_t instruction) {
        if (outcome_.fault.empty() && !outcome_.ended) {
            outcome_.fault = what + " (instruction at " + Hex(instruction) + ")";
        }
        uc_emu_stop(uc_);
    }

    void CallCoredll(uint32_t slot) {
        const uint32_t caller = Register(UC_ARM_REG_LR);
        if (slot == kProcessEnd) {
            EndProcess(static_cast<int>(Register(UC_ARM_REG_R0)));
            return;
        }
        const auto bound = functions_.find(slot);
        if (bound == functions_.end()) {
            Fault("call to " + Hex(slot) + " in COREDLL, where no imported function is bound",
                  lastProgramPc_);
            return;
        }
        if ((Register(UC_ARM_REG_CPSR) & kThumbState) != 0) {
            Fault("COREDLL's " + std::string(bound->second->name) + " entered in Thumb state",
                  lastProgramPc_);
            return;
        }
        if ((caller & 1) != 0) {
            ++outcome_.counts.callsFromThumb;
        }
        try {
            bound->second->call(*this);
        } catch (const BadPointer& bad) {
            outcome_.fault = "COREDLL's " + std::string(bound->second->name) + " was given " +
                             bad.what + " (called from " + Hex(caller & ~1u) + ")";
            uc_emu_stop(uc_);
        }
    }

    static void OnInstruction(uc_engine*, uint64_t address, uint32_t, void* self) {
        auto& machine = *static_cast<Machine*>(self);
        machine.Step(static_cast<uint32_t>(address));
    }

    void Step(uint32_t pc) {
        if (!outcome_.fault.empty() || outcome_.ended) {
            uc_emu_stop(uc_);
            return;
        }
        lastPc_ = pc;
        if (++outcome_.counts.instructions > kInstructionBudget) {
            Fault("runaway: more than " + std::to_string(kInstructionBudget) +
                      " instructions without ending",
                  pc);
            return;
        }
        const uint32_t sp = Register(UC_ARM_REG_SP);
        if (sp < lowestSp_ && sp >= stackBottom_) {
            lowestSp_ = sp;
        }
        if (dll_ != nullptr) {
            StepWithCoredll(pc);
        } else if (pc >= kCoredllBase && pc < kCoredllBase + kCoredllSize) {
            CallCoredll(pc);
        } else {
            lastProgramPc_ = pc;
        }
    }

    void StepWithCoredll(uint32_t pc) {
        if (pc >= kernel::kTrapBegin && pc < kernel::kTrapEnd) {
            CallKernel(pc);
            return;
        }
        const auto answer = answers_.find(pc);
        if (answer != answers_.end()) {
            Answer(*answer->second);
            return;
        }
        if (InProgram(pc)) {
            lastProgramPc_ = pc;
            coredllEntry_ = 0;
        } else if (InCoredll(pc) && coredllEntry_ == 0 && InProgram(lastProgramPc_) &&
                   lastProgramPc_ == previousPc_) {
            coredllEntry_ = pc;  // the program called into COREDLL here
        }
        previousPc_ = pc;
    }

    static void OnAccess(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t,
                         void* self) {
        const auto width = static_cast<uint64_t>(size);
        // Windows CE on ARM raises a misalignment exception for these; so does the device here.
        if ((width == 2 || width == 4 || width == 8) && address % width != 0) {
            auto& machine = *static_cast<Machine*>(self);
            machine.Fault("unaligned " + std::to_string(8 * width) + "-bit " +
                              (type == UC_MEM_WRITE ? "write" : "read") + " at " + Hex(address),
                          machine.lastPc_);
        }
    }

    static bool OnBadAccess(uc_engine*, uc_mem_type type, uint64_t address, int, int64_t,
                            void* self) {
        auto& machine = *static_cast<Machine*>(self);
        machine.BadAccess(type, static_cast<uint32_t>(address));
        return false;
    }

    void BadAccess(uc_mem_type type, uint32_t address) {
        const Region* region = RegionOf(address);
        const std::string where = Hex(address) + (region != nullptr ? " in " + region->name : "");
        const bool write = type == UC_MEM_WRITE_UNMAPPED || type == UC_MEM_WRITE_PROT;
        switch (type) {
            case UC_MEM_READ_UNMAPPED:
            case UC_MEM_WRITE_UNMAPPED:
                if (address < stackBottom_ && address >= stackBottom_ - kGuardSize) {
                    Fault("stack overflow: the stack ran into the last " +
                              std::to_string(kStackKept) + " bytes of its " +
                              std::to_string(image_.stackReserve) + "-byte reserve, at " + where,
                          lastPc_);
                } else if (address < kNullArea) {
                    Fault(std::string(write ? "write" : "read") + " at " + where +
                              ", in the first 64 KiB (a null pointer)",
                          lastPc_);
                } else {
                    Fault(std::string(write ? "write" : "read") + " of unmapped memory at " + where,
                          lastPc_);
                }
                break;
            case UC_MEM_FETCH_UNMAPPED:
                Fault("jump to nowhere: execution at unmapped " + where, lastPc_);
                break;
            case UC_MEM_WRITE_PROT:
                Fault("write to code or constants at " + where, lastPc_);
                break;
            case UC_MEM_FETCH_PROT:
                Fault("execution of memory the program cannot read, at " + where, lastPc_);
                break;
            default:
                Fault("access to protected memory at " + where, lastPc_);
                break;
        }
    }

    // Names the instruction the processor refused, as its encoding in the state it ran in.
    std::string UndefinedInstruction() {
        const bool thumb = (Register(UC_ARM_REG_CPSR) & kThumbState) != 0;
        uint32_t word = 0;
        uc_mem_read(uc_, lastPc_, &word, thumb ? 2 : 4);
        char encoding[16];
        std::snprintf(encoding, sizeof(encoding), thumb ? "0x%04X" : "0x%08X", word);
        return std::string("undefined ") + (thumb ? "Thumb" : "ARM") + " instruction " + encoding +
               " for an " + (processor_ == Processor::kArmv4t ? "ARMv4T" : "ARMv5TE") +
               " processor";
    }

    const PeImage& image_;
    const Processor processor_;
    const DllImage* dll_;
    kernel::KernelState kernel_;
    std::map<uint32_t, const kernel::AnsweredExport*> answers_;  // by export address
    uint32_t printEntry_ = 0;    // where the program's NKDbgPrintfW import leads
    uint32_t coredllEntry_ = 0;  // where the program's call now running entered COREDLL
    uint32_t previousPc_ = 0;
    uc_engine* uc_ = nullptr;
    std::vector<Region> regions_;
    std::map<uint32_t, const CoredllFunction*> functions_;  // by slot address
    uint32_t stackBottom_ = 0;
    uint32_t initialSp_ = 0;
    uint32_t lowestSp_ = 0;
    uint32_t lastPc_ = 0;
    uint32_t lastProgramPc_ = 0;  // the last instruction outside COREDLL
    Outcome outcome_;
};

// The image and processor of the run in progress: the start-up code's entry takes no context.
const PeImage* runningImage = nullptr;
Processor runningProcessor = Processor::kArmv4t;
const DllImage* runningCoredll = nullptr;

// The fault ends the process with status 3, as the kernel ends a process it had to stop.
constexpr int kFaultStatus = 3;

int WINAPI EmulatedWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    Outcome outcome = Machine(*runningImage, runningProcessor, runningCoredll).Run();
    Record& record = CurrentDevice().record;
    record.processor = outcome.counts;
    if (!outcome.stopped.empty()) {
        record.stopped = outcome.stopped;
        return kFaultStatus;
    }
    if (!outcome.fault.empty()) {
        record.fault = outcome.fault;
        return kFaultStatus;
    }
    return outcome.status;
}

}  // namespace

RunResult RunExecutable(const PeImage& image, Processor processor, const DllImage* coredll) {
    runningImage = &image;
    runningProcessor = processor;
    runningCoredll = coredll;
    return RunProgram(EmulatedWinMain);
}

bool HasArmProcessor() {
    return true;
}

}  // namespace sim
