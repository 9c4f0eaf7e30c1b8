#include "tools/kelbrun-sim/explain/explain.h"

#include <iterator>

#include "platform/sim/emulator/coredll_exports.h"
#include "platform/sim/host_file.h"
#include "platform/sim/startup.h"
#include "platform/sim/text.h"
#include "tools/kelbrun-sim/image_files/source_text.h"
#include "tools/kelbrun-sim/launcher_imports.h"

namespace simexplain {

namespace {

using explainlog::Ending;
using explainlog::Run;
using explainlog::TrailLine;
using Kind = TrailLine::Kind;

constexpr const char* kValueNames[] = {"SDMMC", "DataStorage", "User"};

std::string Utf8(std::u16string_view text) {
    return sim::ToUtf8(text);
}

std::string Lines(int first, int last) {
    return first == last ? "line " + std::to_string(first)
                         : "lines " + std::to_string(first) + " to " + std::to_string(last);
}

std::string DescribeLookups(const Run& run) {
    std::string out;
    // A run holds three lookups at most: SplitRuns gives those beyond to runs of their own.
    for (size_t i = 0; i < run.lookups.size() && i < std::size(kValueNames); ++i) {
        const explainlog::Lookup& lookup = run.lookups[i];
        out += std::string("  ") + kValueNames[i] + ": ";
        if (lookup.read && lookup.folder.empty()) {
            out +=
                "read, empty: not configured (a value with no bytes at all would count as "
                "configured, as the root folder)\n";
        } else if (lookup.read) {
            out += Utf8(lookup.folder) + "\n";
        } else {
            out += "not read (" + Utf8(lookup.failure->Message()) +
                   "): " + ErrorMeaning(lookup.failure->kind, lookup.failure->code) +
                   "; not configured\n";
        }
    }
    return out;
}

std::string NotConfigured(const Run& run) {
    std::string which;
    for (size_t i = 0; i < 2; ++i) {
        const bool configured = run.lookups[i].read && !run.lookups[i].folder.empty();
        if (!configured) {
            which += std::string(which.empty() ? "" : " and ") +
                     (i == 0 ? "the card folder (SDMMC)" : "the data-storage folder (DataStorage)");
        }
    }
    return "  " + which + " not configured: no sleep, nothing started; exit 0\n";
}

std::string DescribeProbes(const Run& run) {
    std::string out = "  not the card's copy, both folders configured: sleep 2500 ms";
    if (run.waitedMs) {
        out += " (" + std::to_string(*run.waitedMs) +
               " ms from its folder lines to its first probe, by the log's timestamps)";
    }
    out += "\n";
    for (size_t i = 0; i < run.probes.size(); ++i) {
        const TrailLine& probe = run.probes[i];
        const std::string what = i == 0 ? "card's copy" : "navigation application";
        if (probe.kind == Kind::kTooLong) {
            out += "  " + what + ": its folder " + Utf8(probe.text) +
                   " is too long for the path to fit in 255 characters: counted as absent\n";
        } else {
            out += "  " + what + " " + Utf8(probe.text) +
                   (probe.kind == Kind::kExists ? ": exists\n" : ": not exists\n");
        }
    }
    return out;
}

std::string DescribeEnding(const Run& run, const Run* previous) {
    switch (run.ending) {
        case Ending::kStartedCardCopy:
        case Ending::kStartedNavigator:
            return "  open " + Utf8(run.probes.back().text) +
                   ": handed to the shell (whether the shell started it, the trail does not "
                   "say); exit 0\n";
        case Ending::kFoundNothing:
            return "  neither is there: nothing started; exit 0\n";
        case Ending::kNotConfigured:
            return NotConfigured(run);
        case Ending::kOwnPathUnknown:
            return "  its own path unknown (" + Utf8(run.ownPathFailure->Message()) +
                   "): " + ErrorMeaning(Kind::kOwnPathFailed, run.ownPathFailure->code) +
                   ": it cannot tell whether it is the card's copy, so no sleep, nothing "
                   "started; exit 0\n";
        case Ending::kCardCopy: {
            std::string out =
                "  its folder lines and nothing after: it ran as the card's copy (its path "
                "holds UPDATE), which reads its folders and neither sleeps nor starts "
                "anything, by design; exit 0";
            if (previous && previous->ending == Ending::kStartedCardCopy) {
                out += " (the copy the run before handed to the shell)";
            }
            return out + "\n";
        }
        case Ending::kLogEnds:
            return "  its folder lines are its last in the log: it ran as the card's copy, or "
                   "the log ends within its 2500 ms sleep\n";
        case Ending::kCutOff:
            break;
    }
    return "  cut off: the trail " + run.cut + "\n";
}

}  // namespace

std::string ErrorMeaning(Kind kind, int code) {
    std::string meaning;
    switch (code) {
        case 0:
            meaning = kind == Kind::kOwnPathFailed
                          ? "no error: its path filled all 127 characters and may be cut"
                          : "no error";
            break;
        case 2:
            meaning = kind == Kind::kOpenFailed ? "the key SOFTWARE\\Tavrin\\Paths does not exist"
                                                : "the value does not exist";
            meaning += " (error 2, file not found)";
            break;
        case 3:
            meaning = "path not found";
            break;
        case 5:
            meaning = "access denied";
            break;
        case 6:
            meaning = "invalid handle";
            break;
        case 8:
        case 14:
            meaning = "not enough memory";
            break;
        case 87:
            meaning = "invalid parameter";
            break;
        case 122:
            meaning = "its own path is longer than 126 characters (error 122, insufficient buffer)";
            break;
        case 234:
            meaning = "the value is longer than 510 bytes (error 234, more data)";
            break;
        case 1009:
        case 1015:
            meaning = "the registry is corrupt";
            break;
        case 1010:
        case 1011:
        case 1012:
            meaning = "the key cannot be opened or read";
            break;
        default:
            return "Windows error " + std::to_string(code);
    }
    if (meaning.find("(error") == std::string::npos) {
        meaning += " (error " + std::to_string(code) + ")";
    }
    return meaning;
}

std::string DescribeRun(const Run& run, size_t number, const Run* previous) {
    std::string out = "run " + std::to_string(number) + ", log " +
                      Lines(run.lines.front().number, run.lines.back().number);
    if (!run.lines.front().process.empty()) {
        out += ", " + Utf8(run.lines.front().process);
    }
    out += ":\n";
    if (run.ending == Ending::kCutOff && run.lookups.empty() && !run.ownPathFailure) {
        return out + "  cut off: the trail " + run.cut + "\n";
    }
    out += DescribeLookups(run);
    if (run.ending == Ending::kCutOff && run.probes.empty()) {
        return out + DescribeEnding(run, previous);
    }
    if (!run.probes.empty()) {
        out += DescribeProbes(run);
    }
    return out + DescribeEnding(run, previous);
}

namespace {

// What a unit's loader refusing a program says: which function the image lacks and what it
// needs, and whether the launcher is the program that could not start.
std::string LoaderRefusalWords(const explainlog::LoaderRefusal& refusal) {
    std::string out = "line " + std::to_string(refusal.number) +
                      ": the unit's loader refused to start a program, as COREDLL has no "
                      "function of ordinal " +
                      std::to_string(refusal.ordinal);
    const sim::CoredllExport* known = sim::FindCoredllExport(refusal.ordinal);
    if (known == nullptr) {
        return out;
    }
    out += std::string(" (") + known->name + ", in an image only with " + known->component + ")";
    for (size_t i = 0; i < imagecheck::kLauncherImportCount; ++i) {
        if (std::string_view(imagecheck::kLauncherImports[i]) == known->name) {
            return out +
                   ", which the launcher imports: the launcher did not start at all "
                   "(docs/installing.md, the unit's imports list)";
        }
    }
    return out;
}

bool DescribesDevice(const simoptions::Options& options) {
    return !options.registries.empty() || options.root || !options.bibs.empty() ||
           !options.dats.empty();
}

// The dry run's trail for a run of the log: as the card's copy when the log's run was one.
std::vector<std::u16string> DryTrail(const Run& run, sim::Device& device) {
    const std::u16string ownPath = device.ownPath;
    if (run.ending == Ending::kCardCopy && !run.lookups.empty() && run.lookups[0].read) {
        device.ownPath = run.lookups[0].folder + u"\\UPDATE\\Kelbrun.EXE";
    }
    const sim::RunResult result = sim::RunLauncher();
    device.ownPath = ownPath;
    std::vector<std::u16string> trail;
    for (std::u16string line : result.record.trail) {
        while (!line.empty() && (line.back() == u'\n' || line.back() == u'\r')) {
            line.pop_back();
        }
        trail.push_back(std::move(line));
    }
    return trail;
}

}  // namespace

int ExplainLog(const simoptions::Options& options, std::ostream& out, std::ostream& err) {
    const std::string& file = *options.explain;
    const auto bytes = sim::ReadHostFile(file);
    if (!bytes) {
        err << "kelbrun-sim: " << file << ": cannot be read\n";
        return 2;
    }
    sim::Device& device = sim::CurrentDevice();
    if (DescribesDevice(options)) {
        simoptions::Setup setup;
        if (auto error = simoptions::SetUpDevice(options, device, setup)) {
            err << "kelbrun-sim: " << *error << "\n";
            return 2;
        }
        for (const imagefiles::Error& warning : setup.warnings) {
            err << "kelbrun-sim: warning: " << warning.Describe() << "\n";
        }
        device.waitForReal = false;  // the dry run's clock moves on all the same
    }
    const explainlog::LogLines log = explainlog::ReadLog(
        std::string_view(*bytes), options.codepage.value_or(imagefiles::kDefaultCodepage));
    if (!log.notText.empty()) {
        out << file << ": not a text log (" << log.notText << "): no trail to explain\n";
        return 1;
    }
    const std::vector<Run> runs = explainlog::SplitRuns(log);
    if (runs.empty()) {
        out << file << ": no trail of the launcher in its " << log.lineCount << " lines";
        if (!log.loaderRefusals.empty()) {
            out << "; " << LoaderRefusalWords(log.loaderRefusals.front()) << "\n";
            return 1;
        }
        out << " (none reads \"Folder name is\", \"SDMMCPath:\" or another of its lines): it "
               "did not run while the log was captured, or wrote elsewhere\n";
        return 1;
    }
    out << file << " (" << log.encoding << ", " << log.lineCount << " lines): " << runs.size()
        << (runs.size() == 1 ? " run of the launcher\n"
                             : " runs of the launcher, each new one where it reads its folders "
                               "again\n");
    for (size_t i = 0; i < runs.size(); ++i) {
        out << DescribeRun(runs[i], i + 1, i > 0 ? &runs[i - 1] : nullptr);
        if (DescribesDevice(options)) {
            const auto departure = Departure(runs[i], DryTrail(runs[i], device));
            out << "  the dry run: " << departure.value_or("the same trail") << "\n";
        }
    }
    for (const explainlog::LoaderRefusal& refusal : log.loaderRefusals) {
        out << LoaderRefusalWords(refusal) << "\n";
    }
    return 0;
}

}  // namespace simexplain
