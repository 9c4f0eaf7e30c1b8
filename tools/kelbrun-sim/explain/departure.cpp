// Where a run of a unit's log departs from the dry run of the files given for that unit.
#include "platform/sim/text.h"
#include "tools/kelbrun-sim/explain/explain.h"
#include "tools/kelbrun-sim/finding.h"

namespace simexplain {

namespace {

using explainlog::Ending;
using explainlog::Run;
using explainlog::TrailLine;
using Kind = TrailLine::Kind;
using setupcheck::Quoted;

constexpr const char* kValueNames[] = {"SDMMC", "DataStorage", "User"};

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The value the lookup at the run's line index reads.
const char* ValueAt(const Run& run, size_t index) {
    size_t lookups = 0;
    for (size_t i = 0; i < index && i < run.lines.size(); ++i) {
        const Kind kind = run.lines[i].kind;
        lookups += kind == Kind::kFolder || kind == Kind::kOpenFailed || kind == Kind::kQueryFailed
                       ? 1
                       : 0;
    }
    return lookups < 3 ? kValueNames[lookups] : "a folder";
}

// A probe the unit and the dry run answered differently.
std::string ProbeDeparture(const TrailLine& unit, std::u16string_view dry) {
    const bool card = unit.text.find(u"\\UPDATE\\Kelbrun.EXE") != std::u16string::npos;
    if (unit.kind == Kind::kNotExists && dry == u"File " + unit.text + u" exists") {
        return card ? "the unit found no " + sim::ToUtf8(unit.text) +
                          " 2500 ms after the launcher started, and the files given hold it: "
                          "the card mounted after the pause (docs/boot-timing.md: start the "
                          "launcher later in the boot; --mount FOLDER=MS shows it in a dry run)"
                    : "the unit found no " + sim::ToUtf8(unit.text) +
                          " when it probed, and the files given hold it: its storage was not "
                          "there yet, or the unit's files are not those given";
    }
    if (unit.kind == Kind::kExists && dry == u"File " + unit.text + u" not exists") {
        return "the unit holds " + sim::ToUtf8(unit.text) + ", the files given do not (--root)";
    }
    return "the unit wrote " + Quoted(unit.Message()) + ", the dry run " + Quoted(dry) +
           ": the folders the unit read are not those of the files given";
}

// The first line the unit and the dry run wrote differently.
std::string LineDeparture(const Run& run, size_t index, std::u16string_view dry) {
    const TrailLine& unit = run.lines[index];
    const std::string at = "at log line " + std::to_string(unit.number) + ": ";
    const std::string value = ValueAt(run, index);
    const bool dryRead = StartsWith(dry, u"Folder name is ");
    const bool dryFailed =
        StartsWith(dry, u"RegOpenKeyEx Failed [") || StartsWith(dry, u"RegQueryValueEx Failed [");
    if (unit.kind == Kind::kFolder && dryRead) {
        return at + "the unit read " + value + " as " + Quoted(unit.text) +
               ", the files given hold " + Quoted(dry.substr(15)) +
               ": the registry given is not the unit's";
    }
    if (unit.kind == Kind::kFolder && dryFailed) {
        return at + "the unit read " + value + " as " + Quoted(unit.text) +
               ", the files given lack it (" + sim::ToUtf8(dry) + ")";
    }
    if ((unit.kind == Kind::kOpenFailed || unit.kind == Kind::kQueryFailed) && dryRead) {
        return at + "the unit could not read " + value + " (" + ErrorMeaning(unit.kind, unit.code) +
               "), the files given hold " + Quoted(dry.substr(15)) +
               ": the unit's registry lacks what the files give";
    }
    if (unit.kind == Kind::kExists || unit.kind == Kind::kNotExists) {
        return at + ProbeDeparture(unit, dry);
    }
    return at + "the unit wrote " + Quoted(unit.Message()) + ", the dry run " + Quoted(dry);
}

}  // namespace

std::optional<std::string> Departure(const Run& run, const std::vector<std::u16string>& dryTrail) {
    const size_t common = std::min(run.lines.size(), dryTrail.size());
    for (size_t i = 0; i < common; ++i) {
        if (run.lines[i].Message() != dryTrail[i]) {
            return "departs " + LineDeparture(run, i, dryTrail[i]);
        }
    }
    if (run.lines.size() > dryTrail.size()) {
        const TrailLine& next = run.lines[common];
        return "departs at log line " + std::to_string(next.number) +
               ": the dry run ends before it, the unit wrote " + Quoted(next.Message());
    }
    if (run.lines.size() < dryTrail.size()) {
        const std::string goesOn = "the dry run goes on with " + Quoted(dryTrail[common]);
        if (run.ending == Ending::kCutOff || run.ending == Ending::kLogEnds) {
            return "the same as far as the log goes; " + goesOn;
        }
        return "departs after log line " + std::to_string(run.lines.back().number) + ": " + goesOn +
               ", the unit wrote no more";
    }
    return std::nullopt;
}

}  // namespace simexplain
