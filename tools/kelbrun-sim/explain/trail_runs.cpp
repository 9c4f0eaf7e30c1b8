#include "tools/kelbrun-sim/explain/trail_runs.h"

#include <algorithm>

namespace explainlog {

namespace {

using Kind = TrailLine::Kind;

constexpr size_t kLookups = 3;  // SDMMC, DataStorage, User
constexpr uint64_t kPauseMs = 2500;

bool StartsRun(Kind kind) {
    return kind == Kind::kOwnPathFailed || kind == Kind::kFolder || kind == Kind::kOpenFailed ||
           kind == Kind::kQueryFailed;
}

bool EndsWith(std::u16string_view text, std::u16string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Builds one run from the lines it takes, in the launcher's order.
class RunBuilder {
  public:
    // Whether the line goes on this run.
    bool Take(const TrailLine& line) {
        if (!Fits(line)) {
            return false;
        }
        run_.lines.push_back(line);
        return true;
    }

    bool Empty() const {
        return run_.lines.empty();
    }
    int FolderLines() const {
        return run_.folderLines;
    }

    // Once the folder lines begin, or the run ends, the lookups before the last three: runs of
    // their own, three lookups each, that stopped while they read their folders.
    std::vector<Run> SplitOffEarlier() {
        std::vector<Run> earlier;
        if (run_.folderLines > 1 || run_.lookups.size() <= kLookups) {
            return earlier;
        }
        const size_t keep = run_.lookups.size() - kLookups;
        for (size_t first = 0; first < keep; first += kLookups) {
            const size_t last = std::min(first + kLookups, keep);
            const auto from =
                run_.lines.begin() + static_cast<long>(first == 0 ? 0 : lookupStarts_[first]);
            const auto to = run_.lines.begin() + static_cast<long>(lookupStarts_[last]);
            Run part;
            part.lines.assign(from, to);
            part.lookups.assign(run_.lookups.begin() + static_cast<long>(first),
                                run_.lookups.begin() + static_cast<long>(last));
            part.ownPathFailure = first == 0 ? run_.ownPathFailure : std::nullopt;
            part.ending = Ending::kCutOff;
            part.cut = "stops after line " + std::to_string(part.lines.back().number) +
                       ", while it read its folders";
            earlier.push_back(std::move(part));
        }
        const size_t cut = lookupStarts_[keep];
        run_.lines.erase(run_.lines.begin(), run_.lines.begin() + static_cast<long>(cut));
        run_.lookups.erase(run_.lookups.begin(), run_.lookups.begin() + static_cast<long>(keep));
        run_.ownPathFailure.reset();
        lookupStarts_.clear();
        return earlier;
    }

    // The run, after the run before it when its lookups began again.
    std::vector<Run> Finish(const LogLines& log) {
        std::vector<Run> runs = SplitOffEarlier();
        run_.ending = Conclude(log);
        runs.push_back(std::move(run_));
        return runs;
    }

  private:
    bool FitsLookup(const TrailLine& line) {
        if (awaitingNoFolder_) {
            awaitingNoFolder_ = line.kind != Kind::kNoFolder;
            return !awaitingNoFolder_;
        }
        lookupStarts_.push_back(run_.lines.size());
        if (line.kind == Kind::kFolder) {
            run_.lookups.push_back(Lookup{true, line.text, std::nullopt});
            return true;
        }
        if (line.kind == Kind::kOpenFailed || line.kind == Kind::kQueryFailed) {
            run_.lookups.push_back(Lookup{false, {}, line});
            awaitingNoFolder_ = true;
            return true;
        }
        lookupStarts_.pop_back();
        return false;
    }

    bool FitsProbe(const TrailLine& line) {
        const size_t index = run_.probes.size();
        const bool probe = line.kind == Kind::kExists || line.kind == Kind::kNotExists ||
                           line.kind == Kind::kTooLong;
        if (!probe || index == 2 || (index == 1 && run_.probes[0].kind == Kind::kExists)) {
            return false;
        }
        if (line.kind != Kind::kTooLong &&
            !EndsWith(line.text, index == 0 ? u"\\UPDATE\\Kelbrun.EXE" : u"\\MNAV\\Navigon.exe")) {
            return false;
        }
        if (index == 0 && line.timeMs && folderTimeMs_ && *line.timeMs >= *folderTimeMs_) {
            run_.waitedMs = *line.timeMs - *folderTimeMs_;
        }
        run_.probes.push_back(line);
        return true;
    }

    bool Fits(const TrailLine& line) {
        const std::u16string& process = run_.lines.empty() ? line.process : run_.lines[0].process;
        if (line.process != process) {
            return false;  // a stamped log names each run's process
        }
        if (run_.lines.empty() && line.kind == Kind::kOwnPathFailed) {
            run_.ownPathFailure = line;
            return true;
        }
        // Lookups beyond three before the folder lines: a run that started again; the last
        // three are the run's whose folder lines follow.
        if (awaitingNoFolder_ || (run_.folderLines == 0 && StartsRun(line.kind))) {
            return FitsLookup(line);
        }
        if (run_.lookups.size() < kLookups) {
            return false;
        }
        if (run_.folderLines < 3) {
            static constexpr Kind kOrder[] = {Kind::kCardPath, Kind::kDataPath, Kind::kFlashPath};
            if (line.kind != kOrder[run_.folderLines]) {
                return false;
            }
            ++run_.folderLines;
            folderTimeMs_ = line.timeMs;
            return true;
        }
        return FitsProbe(line);
    }

    // What a run with folder lines and no probe did: nothing, or ran as the card's copy.
    Ending Stopped(const LogLines& log) const {
        if (run_.ownPathFailure) {
            return Ending::kOwnPathUnknown;
        }
        if (!run_.Configured()) {
            return Ending::kNotConfigured;
        }
        const int last = run_.lines.back().number;
        if (log.lastTextLine <= last) {
            return Ending::kLogEnds;
        }
        // A stamped log shows whether the log went on for the whole pause.
        const auto lastMs = run_.lines.back().timeMs;
        if (lastMs && log.lastTimeMs && *log.lastTimeMs >= *lastMs &&
            *log.lastTimeMs - *lastMs < kPauseMs) {
            return Ending::kLogEnds;
        }
        return Ending::kCardCopy;
    }

    Ending Conclude(const LogLines& log) {
        if (run_.lookups.size() < kLookups || awaitingNoFolder_ || run_.folderLines < 3) {
            run_.cut = "stops after line " + std::to_string(run_.lines.back().number) +
                       (run_.folderLines > 0 ? ", within its three folder lines"
                                             : ", while it read its folders");
            return Ending::kCutOff;
        }
        if (run_.probes.empty()) {
            return Stopped(log);
        }
        const TrailLine& last = run_.probes.back();
        if (last.kind == Kind::kExists) {
            return run_.probes.size() == 1 ? Ending::kStartedCardCopy : Ending::kStartedNavigator;
        }
        if (run_.probes.size() == 1) {
            run_.cut = "stops after line " + std::to_string(last.number) +
                       ", between its probe of the card's copy and that of the navigation "
                       "application";
            return Ending::kCutOff;
        }
        return Ending::kFoundNothing;
    }

    Run run_;
    std::vector<size_t> lookupStarts_;  // where each lookup's lines begin in run_.lines
    bool awaitingNoFolder_ = false;
    std::optional<uint64_t> folderTimeMs_;
};

}  // namespace

bool Run::Configured() const {
    auto configured = [&](size_t i) {
        return i < lookups.size() && lookups[i].read && !lookups[i].folder.empty();
    };
    return configured(0) && configured(1);
}

std::vector<Run> SplitRuns(const LogLines& log) {
    std::vector<Run> runs;
    RunBuilder builder;
    // Lines that begin no run and fit none: a trail whose start the log lacks.
    Run fragment;
    auto finish = [&] {
        for (Run& run : builder.Finish(log)) {
            runs.push_back(std::move(run));
        }
    };
    auto flushFragment = [&] {
        if (!fragment.lines.empty()) {
            fragment.ending = Ending::kCutOff;
            fragment.cut = "starts at line " + std::to_string(fragment.lines.front().number) +
                           " without the lines before it";
            runs.push_back(std::move(fragment));
            fragment = Run();
        }
    };
    for (const TrailLine& line : log.trail) {
        if (!builder.Empty() && builder.Take(line)) {
            if (builder.FolderLines() == 1) {
                for (Run& earlier : builder.SplitOffEarlier()) {
                    runs.push_back(std::move(earlier));
                }
            }
            continue;
        }
        if (!StartsRun(line.kind)) {
            if (!builder.Empty()) {
                finish();
                builder = RunBuilder();
            }
            fragment.lines.push_back(line);
            continue;
        }
        flushFragment();
        if (!builder.Empty()) {
            finish();
        }
        builder = RunBuilder();
        builder.Take(line);
    }
    flushFragment();
    if (!builder.Empty()) {
        finish();
    }
    return runs;
}

}  // namespace explainlog
