#include "tools/kelbrun-sim/report.h"

#include <algorithm>

#include "platform/sim/program_start.h"
#include "platform/sim/text.h"

namespace simreport {
namespace {

// Why the start failed: the error the unit's kernel or shell set, and what the loader found.
std::string Failure(const sim::ShellRequest& request) {
    const std::string_view name = sim::ErrorName(request.error);
    return "the start failed with error " + std::to_string(request.error) +
           (name.empty() ? "" : " (" + std::string(name) + ")") + ": " + request.reason;
}

// What a user of the unit sees of a request, after the path it opened.
std::string Outcome(const sim::ShellRequest& request) {
    switch (request.outcome) {
        case sim::ShellOutcome::kStarted:
            return "";
        case sim::ShellOutcome::kExplorer:
            return ": an Explorer window opens on the folder";
        case sim::ShellOutcome::kBox:
            return ": the shell shows \"" + sim::ToUtf8(request.boxText) + "\" (" +
                   sim::ToUtf8(request.boxCaption) +
                   ") and the launcher waits until it is closed\nsim: " + Failure(request);
        case sim::ShellOutcome::kFailedQuietly:
            return ": no box is shown\nsim: " + Failure(request);
        case sim::ShellOutcome::kRecordRefused:
            break;
    }
    return " refused: the shell takes no record of " + std::to_string(request.size) +
           " bytes (error 87)";
}

}  // namespace

std::string Describe(const sim::RunResult& result, const std::vector<sim::Mount>& mounts) {
    std::vector<sim::Mount> byTime = mounts;
    std::stable_sort(byTime.begin(), byTime.end(),
                     [](const sim::Mount& a, const sim::Mount& b) { return a.atMs < b.atMs; });
    const uint32_t endMs = result.record.endMs;

    std::string out;
    auto next = byTime.begin();
    const auto mountsUpTo = [&](uint32_t ms) {
        for (; next != byTime.end() && next->atMs <= ms; ++next) {
            out += "sim: mount " + sim::ToUtf8(next->folder) + " at " + std::to_string(next->atMs) +
                   " ms\n";
        }
    };
    for (const sim::Event& event : result.record.events) {
        mountsUpTo(event.deviceMs);
        if (event.kind == sim::Event::Kind::kSleep) {
            out += "sim: sleep " + std::to_string(event.milliseconds) + " ms\n";
        } else {
            out += "sim: open " + sim::ToUtf8(event.request.file) + Outcome(event.request) + "\n";
        }
    }
    mountsUpTo(endMs);
    for (; next != byTime.end(); ++next) {
        out += "sim: " + sim::ToUtf8(next->folder) + " not mounted by " + std::to_string(endMs) +
               " ms (mounts at " + std::to_string(next->atMs) + " ms)\n";
    }
    // A unit's own COREDLL may write on the debug output itself: its lines, not the launcher's.
    for (const std::u16string& line : result.record.moduleLines) {
        std::string text = sim::ToUtf8(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        out += "sim: coredll.dll says: " + text + "\n";
    }
    if (result.exited && !result.record.fault.empty()) {
        out += "sim: fault: " + result.record.fault + "\n";
    } else if (result.exited) {
        out += "sim: exit " + std::to_string(result.status) + "\n";
    } else {
        out += "kelbrun-sim: the launcher ended abnormally (signal " +
               std::to_string(result.signal) + ")\n";
    }
    return out;
}

}  // namespace simreport
