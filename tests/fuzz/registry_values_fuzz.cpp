// Fuzzes the launcher's whole run with arbitrary registry values: any bytes, byte counts and
// types for "SDMMC", "DataStorage" and "User", any own path, on a device whose card and flash
// hold both programs. The run is the real one, in this process; the C run-time's exit routine
// is wrapped at link time (-Wl,--wrap=exit) so that the launcher's exit returns here.
#include <setjmp.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/path_buffer.h"
#include "launcher/startup_sequence.h"
#include "platform/sim/device.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/sim_test_support.h"

// The linker's names for the C run-time's exit and its wrapper.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" [[noreturn]] void __real_exit(int status);

namespace {

jmp_buf runEnded;
bool running = false;

const char16_t kKey[] = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths";

// The device's files, removed again when the fuzzer ends.
const testing_support::ScratchRoot& Device() {
    static const testing_support::ScratchRoot root;
    static const bool laidOut = [] {
        for (const char* file :
             {"SDMMC/UPDATE/Kelbrun.EXE", "ResidentFlash/MNAV/Navigon.exe", "UPDATE/Kelbrun.EXE",
              "MNAV/Navigon.exe", "A/UPDATE/Kelbrun.EXE"}) {
            root.AddFile(file);
        }
        return true;
    }();
    (void)laidOut;
    return root;
}

// The input, read front to back; past its end everything reads as zero.
//   byte 0:        bit 0: the shell refuses; bit 1: an own path follows
//   own path:      a length byte, then that many UTF-16LE characters
//   3 values:      a form byte (low 2 bits: 0 absent, 1 REG_SZ, 2 REG_BINARY, 3 a type given
//                  by the next 4 bytes), a 16-bit little-endian byte count, then the bytes
class Input {
  public:
    Input(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
    uint8_t Byte() {
        return at_ < size_ ? bytes_[at_++] : 0;
    }
    uint32_t Number(int byteCount) {
        uint32_t value = 0;
        for (int i = 0; i < byteCount; ++i) {
            value |= static_cast<uint32_t>(Byte()) << (8 * i);
        }
        return value;
    }
    std::vector<uint8_t> Bytes(size_t count) {
        count = std::min(count, size_ - at_);
        std::vector<uint8_t> out(bytes_ + at_, bytes_ + at_ + count);
        at_ += count;
        return out;
    }

  private:
    const uint8_t* bytes_;
    size_t size_;
    size_t at_ = 0;
};

bool Terminated(const WCHAR* text, size_t capacity) {
    for (size_t i = 0; i < capacity; ++i) {
        if (text[i] == 0) {
            return true;
        }
    }
    return false;
}

void CheckTarget(const PathBuffer target, const FolderSetting& folder, std::u16string_view suffix) {
    FUZZ_CHECK(Terminated(target, kPathBufferChars));
    if (target[0] == 0) {
        return;  // never composed
    }
    // Composed means composed whole: the folder and the whole suffix, never a cut path.
    FUZZ_CHECK(std::u16string(target) == std::u16string(folder.path) + std::u16string(suffix));
}

}  // namespace

// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" [[noreturn]] void __wrap_exit(int status) {
    if (running) {
        running = false;
        // The device code between here and setjmp holds nothing that needs unwinding.
        longjmp(runEnded, status + 1);  // NOLINT(cert-err52-cpp)
    }
    __real_exit(status);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    Input input(bytes, size);

    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    device.files.SetRoot(Device().Path());
    device.waitForReal = false;
    const uint8_t flags = input.Byte();
    device.shellRefuses = (flags & 1) != 0;
    if ((flags & 2) != 0) {
        std::u16string self(input.Byte(), u'\0');
        for (char16_t& c : self) {
            c = static_cast<char16_t>(input.Number(2));
        }
        device.ownPath = self;
    }
    for (const char16_t* name : {u"SDMMC", u"DataStorage", u"User"}) {
        const uint8_t form = input.Byte() & 3;
        if (form == 0) {
            continue;
        }
        sim::RegistryValue value;
        value.type = form == 1 ? sim::kRegSz : form == 2 ? sim::kRegBinary : input.Number(4);
        value.bytes = input.Bytes(input.Number(2));
        device.registry.SetValue(kKey, name, std::move(value));
    }

    // A new process starts with its static records empty.
    memset(&SDMMCPath, 0, sizeof(SDMMCPath));
    memset(&DataStorageDestPath, 0, sizeof(DataStorageDestPath));
    memset(&ResidentFlashDestPath, 0, sizeof(ResidentFlashDestPath));
    memset(UpdateLauncherPath, 0, sizeof(UpdateLauncherPath));
    memset(NavigatorPath, 0, sizeof(NavigatorPath));

    int status = 0;
    const int jumped = setjmp(runEnded);  // NOLINT(cert-err52-cpp): see __wrap_exit
    if (jumped == 0) {
        static WCHAR commandLine[] = u"";
        running = true;
        status = StartupSequence(nullptr, nullptr, commandLine, SW_SHOW);
        running = false;
    } else {
        status = jumped - 1;
    }
    FUZZ_CHECK(status == 0);

    for (const FolderSetting* setting :
         {&SDMMCPath, &DataStorageDestPath, &ResidentFlashDestPath}) {
        FUZZ_CHECK(Terminated(setting->path, kPathBufferChars));
        FUZZ_CHECK(setting->length == static_cast<LONG>(PathLength(setting->path)));
    }
    CheckTarget(UpdateLauncherPath, SDMMCPath, u"\\UPDATE\\Kelbrun.EXE");
    CheckTarget(NavigatorPath, ResidentFlashDestPath, u"\\MNAV\\Navigon.exe");

    const sim::CallCounts& calls = device.record.calls;
    if (SDMMCPath.length == 0 || DataStorageDestPath.length == 0) {
        FUZZ_CHECK(calls.shellRequests == 0 && calls.sleeps == 0 && calls.searches == 0);
    }
    FUZZ_CHECK(calls.shellRequests <= 1 && calls.sleeps <= 1 && calls.searches <= 2);
    for (const sim::Event& event : device.record.events) {
        if (event.kind == sim::Event::Kind::kOpen) {
            FUZZ_CHECK(event.request.file == std::u16string(UpdateLauncherPath) ||
                       event.request.file == std::u16string(NavigatorPath));
            FUZZ_CHECK(event.request.file.size() <= kPathBufferChars - 1);
        }
    }
    FUZZ_CHECK(device.openKeys.empty());
    FUZZ_CHECK(device.openSearches.empty());
    return 0;
}
