// Fuzzes kelbrun-sim --explain's reading of a unit's debug log: whatever the bytes (any
// encoding, any line ends, prefixes, lines of other programs, trails cut anywhere), reading
// ends without throwing; every launcher line it finds reads back as itself, lies within the
// log and follows the one before; the runs hold each of those lines once, in order; and each
// run's words are whole lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/fuzz/fuzz_check.h"
#include "tools/kelbrun-sim/explain/explain.h"
#include "tools/kelbrun-sim/explain/log_reader.h"
#include "tools/kelbrun-sim/explain/trail_runs.h"

namespace {

using explainlog::Ending;
using explainlog::Run;
using explainlog::TrailLine;

void CheckLines(const explainlog::LogLines& log) {
    int previous = 0;
    for (const TrailLine& line : log.trail) {
        FUZZ_CHECK(line.number > previous);
        FUZZ_CHECK(line.number <= log.lineCount + 1);
        previous = line.number;
        const auto again = explainlog::RecognizeLine(line.Message());
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(again->kind == line.kind);
        FUZZ_CHECK(again->text == line.text);
        FUZZ_CHECK(again->code == line.code);
    }
    // A loader's refusal is a line of its own, never one of the launcher's.
    for (const explainlog::LoaderRefusal& refusal : log.loaderRefusals) {
        FUZZ_CHECK(refusal.number >= 1 && refusal.number <= log.lineCount + 1);
        for (const TrailLine& line : log.trail) {
            FUZZ_CHECK(line.number != refusal.number);
        }
    }
}

void CheckRuns(const explainlog::LogLines& log, const std::vector<Run>& runs) {
    size_t next = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        const Run& run = runs[i];
        FUZZ_CHECK(!run.lines.empty());
        for (const TrailLine& line : run.lines) {
            FUZZ_CHECK(next < log.trail.size());
            FUZZ_CHECK(line.number == log.trail[next].number);
            ++next;
        }
        const bool started =
            run.ending == Ending::kStartedCardCopy || run.ending == Ending::kStartedNavigator;
        FUZZ_CHECK(!started ||
                   (!run.probes.empty() && run.probes.back().kind == TrailLine::Kind::kExists));
        FUZZ_CHECK(run.ending != Ending::kCutOff || !run.cut.empty());
        FUZZ_CHECK(run.lookups.size() >= 3 || run.ending == Ending::kCutOff);
        const std::string said =
            simexplain::DescribeRun(run, i + 1, i > 0 ? &runs[i - 1] : nullptr);
        FUZZ_CHECK(said.rfind("run " + std::to_string(i + 1) + ", log line", 0) == 0);
        FUZZ_CHECK(!said.empty() && said.back() == '\n');
    }
    FUZZ_CHECK(next == log.trail.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte chooses the code page a log that is not UTF-8 is read in.
    const int codepage = data[0] % 2 == 0 ? 1252 : 936;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const explainlog::LogLines log = explainlog::ReadLog(bytes, codepage);
    if (!log.notText.empty()) {
        FUZZ_CHECK(log.trail.empty());
        return 0;
    }
    CheckLines(log);
    CheckRuns(log, explainlog::SplitRuns(log));
    return 0;
}
