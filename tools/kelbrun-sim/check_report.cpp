// --check's report: the boot order, the start-up shortcuts, one line per finding, the counts.
#include <algorithm>
#include <string>

#include "platform/sim/text.h"
#include "tools/kelbrun-sim/setup_check.h"

namespace setupcheck {

using Level = Finding::Level;

std::string FormatReport(const Report& report, bool verbose) {
    std::string out = "boot order, HKEY_LOCAL_MACHINE\\init:";
    if (!report.order.hasKey) {
        out += " no such key\n";
    } else if (report.order.entries.empty()) {
        out += " no entries\n";
    } else {
        out += "\n";
        size_t numberWidth = 1;
        size_t programWidth = 0;
        for (const bootorder::Entry& entry : report.order.entries) {
            numberWidth = std::max(numberWidth, std::to_string(entry.number).size());
            programWidth = std::max(programWidth, bootorder::ShownProgram(entry).size());
        }
        if (report.order.deviceManagerEarly) {
            out += "  " + std::string(numberWidth - 1, ' ') +
                   "-  device.exe, started before the entries (init\\BootVars \"Start "
                   "DevMgr\")\n";
        }
        for (size_t i = 0; i < report.order.entries.size(); ++i) {
            const bootorder::Entry& entry = report.order.entries[i];
            const std::string number = std::to_string(entry.number);
            const std::u16string program = bootorder::ShownProgram(entry);
            std::string line = "  " + std::string(numberWidth - number.size(), ' ') + number +
                               "  " + sim::ToUtf8(program) +
                               std::string(programWidth - program.size(), ' ');
            if (!entry.waitsFor.empty()) {
                line += "  waits for";
                for (size_t w = 0; w < entry.waitsFor.size(); ++w) {
                    line += (w == 0 ? " " : ", ") + std::to_string(entry.waitsFor[w]);
                }
            }
            if (entry.launcher) {
                line += "  <- the launcher";
            }
            // A program the image lacks fails to start: the mark says why.
            const bool notInImage = report.notInImage.count(entry.number) != 0;
            if (notInImage) {
                line += "  (not in the image)";
            }
            if (i >= report.bootStopsAt) {
                line += "  (never starts)";
            } else if (entry.startedEarly) {
                line += "  (already started, not again)";
            } else if (entry.startFails && !entry.launchName.empty() && !notInImage) {
                line += "  (its start fails)";
            }
            line.erase(line.find_last_not_of(' ') + 1);
            out += line + "\n";
        }
    }
    out += "start-up shortcuts, \\Windows\\StartUp:";
    if (!report.shortcutsLookedAt) {
        out += " not looked at (no --root)\n";
    } else if (report.shortcuts.empty()) {
        out += " none\n";
    } else {
        out += "\n";
        for (const Shortcut& shortcut : report.shortcuts) {
            out += "  " + sim::ToUtf8(shortcut.name) + " -> " +
                   (shortcut.known ? sim::ToUtf8(shortcut.target) : "(its content is not known)") +
                   (shortcut.launcher ? "  <- the launcher" : "") + "\n";
        }
    }
    for (const std::string& line : FindingLines(report.findings, verbose)) {
        out += "check: " + line + "\n";
    }
    const size_t errors = CountErrors(report.findings);
    out += "check: " + Plural(errors, "error") + ", " +
           Plural(report.findings.size() - errors, "warning") + "\n";
    return out;
}

}  // namespace setupcheck
