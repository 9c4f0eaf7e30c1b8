// The simulated device: what it holds (registry, files, the launcher's own path, how its shell
// and clock behave) and what happened on it during a run (the trail, the events, the calls).
#ifndef KELBRUN_PLATFORM_SIM_DEVICE_H
#define KELBRUN_PLATFORM_SIM_DEVICE_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/file_system.h"
#include "platform/sim/registry.h"

struct DebugArgs;

namespace sim {

// What the shell did with a request, as a user of the unit sees it.
enum class ShellOutcome : uint32_t {
    kStarted,        // the program started
    kExplorer,       // the path is a folder: an Explorer window opened on it
    kBox,            // the start failed: the shell showed its error box and waited for it
    kFailedQuietly,  // the start failed, and the caller asked for no box
    kRecordRefused,  // the record is not the device's: nothing happened
};

struct ShellRequest {
    uint32_t size = 0;         // cbSize as passed
    bool devicesSize = false;  // cbSize is the size of the device's record (60 bytes)
    uint32_t mask = 0;
    std::u16string verb;
    std::u16string file;
    std::u16string parameters;
    bool hasParameters = false;
    bool hasDirectory = false;
    int show = 0;
    // What the shell did, filled in by it.
    bool accepted = false;  // ShellExecuteEx returned TRUE
    ShellOutcome outcome = ShellOutcome::kRecordRefused;
    uint32_t error = 0;      // the last error it left; 0 when accepted
    uint32_t instApp = 0;    // hInstApp as it set it
    uint32_t process = 0;    // hProcess as it set it
    std::string reason;      // the loader's reason, when the start failed
    std::u16string boxText;  // kBox: the box's text, caption and MessageBox flags
    std::u16string boxCaption;
    uint32_t boxFlags = 0;
};

struct Event {
    enum class Kind : uint32_t { kSleep, kOpen };
    Kind kind = Kind::kSleep;
    uint32_t milliseconds = 0;  // kSleep
    ShellRequest request;       // kOpen
    uint32_t deviceMs = 0;      // the device clock when the call began
    // When the call began and ended, in nanoseconds of the host's steady clock.
    uint64_t beganNs = 0;
    uint64_t endedNs = 0;
};

// How often each platform operation was called.
struct CallCounts {
    uint32_t moduleQueries = 0;
    uint32_t keyOpens = 0;
    uint32_t valueQueries = 0;
    uint32_t keyCloses = 0;
    uint32_t searches = 0;
    uint32_t searchCloses = 0;
    uint32_t shellRequests = 0;
    uint32_t sleeps = 0;

    bool operator==(const CallCounts&) const = default;
};

// What the emulated ARM processor counted while it ran a device executable; all 0 for the
// linked-in launcher.
struct ProcessorCounts {
    uint64_t instructions = 0;
    uint32_t deepestStack = 0;    // bytes below the stack's top at the deepest
    uint32_t callsFromThumb = 0;  // COREDLL calls whose caller was Thumb code
    uint32_t kernelCalls = 0;     // calls into the kernel, under a unit's own COREDLL
};

// What a run left behind.
struct Record {
    std::vector<std::u16string> trail;  // the debug output, one entry per line as written
    std::vector<Event> events;          // pauses and shell requests, in order
    CallCounts calls;
    uint32_t keysLeftOpen = 0;
    uint32_t searchesLeftOpen = 0;
    uint32_t endMs = 0;  // the device clock when the run ended
    // Why the process was ended by a fault, as the device would have ended it; empty when the
    // program ended by itself.
    std::string fault;
    ProcessorCounts processor;
    // What a unit's own COREDLL wrote on the debug output itself, apart from the program's trail.
    std::vector<std::u16string> moduleLines;
    // Why the simulation could not go on (a call the simulated kernel does not serve, a fault
    // in COREDLL's code); empty when it ran to the end.
    std::string stopped;
};

struct Device {
    Registry registry;
    FileSystem files;
    std::u16string ownPath = u"\\Windows\\Kelbrun.EXE";
    uint32_t moduleQueryError = 0;  // when set, the own-path query fails with this error
    // Every start fails as a file the kernel cannot open does (--shell-fails).
    bool shellRefuses = false;
    // The unit's shell (explorer.exe) is running: a folder opens in it.
    bool shellRunning = true;
    bool waitForReal = true;  // Sleep really waits; otherwise it is only recorded
    // Milliseconds since the launcher started, as the device counts them. Only the pause
    // advances it, whether it is waited or only recorded: nothing else on the device takes
    // time that matters to what the launcher finds.
    uint32_t clockMs = 0;

    Record record;
    uint32_t lastError = 0;
    std::map<uintptr_t, std::u16string> openKeys;  // handle -> key path
    std::set<uintptr_t> openSearches;
    uintptr_t nextHandle = 0x1000;
};

// The process's one simulated device, which the platform operations act on.
Device& CurrentDevice();

// Puts a new device, with nothing configured and nothing recorded, in place of the current one.
void ResetDevice();

// The host's steady clock, in nanoseconds: when a call began and ended.
uint64_t HostNowNs();

// Copies the open-handle counts and the clock into the record.
void CloseRecord(Device& device);

// Writes one line to the current device's debug output, formatted as NKDbgPrintfW formats it,
// with its arguments taken from args.
void PrintDebugLine(const char16_t* format, const DebugArgs& args);

}  // namespace sim

#endif  // KELBRUN_PLATFORM_SIM_DEVICE_H
