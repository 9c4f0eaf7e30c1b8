#include "tools/kelbrun-sim/program_start_check.h"

#include <string>

#include "platform/sim/program_start.h"
#include "platform/sim/shell.h"
#include "platform/sim/text.h"

namespace programstartcheck {
namespace {

using setupcheck::Finding;

// The device as it is once every card has mounted, on which a start leaves no trace behind.
sim::Device Settled(const sim::Device& device) {
    sim::Device copy = device;
    copy.clockMs = sim::FileSystem::kEverythingMounted;
    copy.record = sim::Record();
    return copy;
}

std::string Cause(const sim::ProgramStart& start) {
    const std::string_view name = sim::ErrorName(start.error);
    return "error " + std::to_string(start.error) +
           (name.empty() ? "" : " (" + std::string(name) + ")") + ": " + start.reason;
}

void CheckOne(sim::Device& device, std::u16string_view path, const char* what,
              Finding::Level folderLevel, Finding::Level failureLevel,
              setupcheck::Findings& findings) {
    const auto found = device.files.Find(path, device.clockMs);
    if (!found) {
        return;  // what the launcher does without it is the other findings' business
    }
    const std::string subject = sim::ToUtf8(path) + ", " + what;
    if (found->isFolder) {
        findings.push_back(setupcheck::AboutProgram(
            folderLevel, subject,
            "is a folder, not a program: the shell opens an Explorer window on it and the "
            "launcher starts nothing else"));
        return;
    }
    const sim::ProgramStart start = sim::StartProgram(device, path, u"");
    if (start.error == 0) {
        return;
    }
    const sim::ShellBox box = sim::ShellErrorBox(path, start.error);
    findings.push_back(setupcheck::AboutProgram(failureLevel, subject,
                                                "the unit cannot start it, " + Cause(start) +
                                                    "; the shell shows \"" + sim::ToUtf8(box.text) +
                                                    "\" (" + sim::ToUtf8(box.caption) +
                                                    ") and the launcher waits until it is closed"));
}

}  // namespace

void CheckLauncherPrograms(const sim::Device& device, std::u16string_view cardCopy,
                           std::u16string_view navigator, setupcheck::Findings& findings) {
    sim::Device settled = Settled(device);
    CheckOne(settled, cardCopy, "the card's copy of the launcher", Finding::Level::kWarning,
             Finding::Level::kError, findings);
    CheckOne(settled, navigator, "the navigation application", Finding::Level::kError,
             Finding::Level::kError, findings);
}

void CheckInitPrograms(const sim::Device& device, bootorder::BootOrder& order,
                       setupcheck::Findings& findings) {
    sim::Device settled = Settled(device);
    for (bootorder::Entry& entry : order.entries) {
        if (entry.launchName.empty() || entry.startFails || entry.startedEarly) {
            continue;
        }
        const sim::ProgramStart start = sim::StartProgram(settled, entry.program, u"");
        if (start.error == 0 || !start.fileFound) {
            continue;  // started, or not there: the kernel's search is the other check's
        }
        entry.startFails = true;
        findings.push_back(setupcheck::AboutValue(
            Finding::Level::kError, bootorder::kInitKey, entry.launchName,
            "\"" + sim::ToUtf8(entry.program) + "\": the kernel cannot start it, " + Cause(start) +
                "; the launch loop shows no box and counts entry " + std::to_string(entry.number) +
                " as done without it" + bootorder::kOnCe5));
    }
}

}  // namespace programstartcheck
