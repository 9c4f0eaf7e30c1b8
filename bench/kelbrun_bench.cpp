// Measurements on the simulated device for bench/run.
//
//   kelbrun-bench calls-header            the header of the calls table
//   kelbrun-bench calls NAME OPTIONS...   the platform calls of one run, as a row of that table
//   kelbrun-bench timing N OPTIONS...     N runs with the real clock: how long the pause lasts
//                                         beyond 2,500 ms, and how soon after it the shell is asked
//   kelbrun-bench processor NAME OPTIONS... --exe FILE
//                                         the emulated processor's counts of one run of a device
//                                         executable: instructions and the deepest stack
//   kelbrun-bench coredll NAME OPTIONS... --exe FILE --coredll DLL
//                                         one run on the COREDLL model and one on the DLL, on
//                                         the same device: instructions, kernel calls, time
//
// OPTIONS describe the device as kelbrun-sim's do (--registry, --root, --self, --mount, ...).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/sim/device.h"
#include "platform/sim/startup.h"
#include "tools/kelbrun-sim/device_setup.h"

namespace {

// Sets the current device up once; every run forks from it and leaves it as it was.
bool SetUp(const simoptions::Options& options) {
    sim::ResetDevice();
    if (auto error = simoptions::SetUpDevice(options, sim::CurrentDevice())) {
        std::fprintf(stderr, "kelbrun-bench: %s\n", error->c_str());
        return false;
    }
    return true;
}

int CallsHeader() {
    std::printf("%-26s %6s %5s %7s %6s %8s %13s %5s %6s\n", "device", "module", "opens", "queries",
                "closes", "searches", "search-closes", "shell", "pauses");
    return 0;
}

int Calls(const char* name, const simoptions::Options& options) {
    if (!SetUp(options)) {
        return 2;
    }
    sim::CurrentDevice().waitForReal = false;
    const sim::RunResult run = sim::RunLauncher();
    const sim::CallCounts& c = run.record.calls;
    std::printf("%-26s %6u %5u %7u %6u %8u %13u %5u %6u\n", name, c.moduleQueries, c.keyOpens,
                c.valueQueries, c.keyCloses, c.searches, c.searchCloses, c.shellRequests, c.sleeps);
    return 0;
}

int Processor(const char* name, const simoptions::Options& options) {
    simoptions::Program program;
    if (!SetUp(options)) {
        return 2;
    }
    if (auto error = simoptions::LoadProgram(options, program); error || !program.image) {
        std::fprintf(stderr, "kelbrun-bench: %s\n",
                     error ? error->c_str() : "processor needs --exe");
        return 2;
    }
    sim::CurrentDevice().waitForReal = false;
    const sim::RunResult run = simoptions::RunProgramOnDevice(program);
    if (!run.record.fault.empty()) {
        std::fprintf(stderr, "kelbrun-bench: %s: fault: %s\n", name, run.record.fault.c_str());
        return 1;
    }
    std::printf("%-26s %12llu %13u\n", name,
                static_cast<unsigned long long>(run.record.processor.instructions),
                run.record.processor.deepestStack);
    return 0;
}

// One run of the program, and how long it took on the host, in milliseconds.
sim::RunResult TimedRun(const simoptions::Program& program, double& ms) {
    const auto began = std::chrono::steady_clock::now();
    sim::RunResult run = simoptions::RunProgramOnDevice(program);
    ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
    return run;
}

// The model's run and the unit's DLL's, side by side, with the DLL's cost as a ratio.
int Coredll(const char* name, const simoptions::Options& options) {
    simoptions::Program program;
    if (!SetUp(options)) {
        return 2;
    }
    if (auto error = simoptions::LoadProgram(options, program);
        error || !program.image || !program.coredll) {
        std::fprintf(stderr, "kelbrun-bench: %s\n",
                     error ? error->c_str() : "coredll needs --exe and --coredll");
        return 2;
    }
    sim::CurrentDevice().waitForReal = false;
    double dllMs = 0;
    const sim::RunResult dll = TimedRun(program, dllMs);
    program.coredll.reset();
    double modelMs = 0;
    const sim::RunResult model = TimedRun(program, modelMs);
    if (!dll.record.stopped.empty() || !dll.record.fault.empty() || !model.record.fault.empty()) {
        std::fprintf(stderr, "kelbrun-bench: %s: %s%s%s\n", name, dll.record.stopped.c_str(),
                     dll.record.fault.c_str(), model.record.fault.c_str());
        return 1;
    }
    const auto modelInstructions = static_cast<double>(model.record.processor.instructions);
    const auto dllInstructions = static_cast<double>(dll.record.processor.instructions);
    std::printf("%-26s %12.0f %12.0f %6u %9.1f %9.1f %7.1fx\n", name, modelInstructions,
                dllInstructions, dll.record.processor.kernelCalls, modelMs, dllMs,
                dllInstructions / modelInstructions);
    return 0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Timings {
    std::vector<double> overshootMs;   // how long each pause lasted beyond what was asked
    std::vector<double> shellDelayUs;  // from the end of the pause to the shell request
};

// Runs the launcher on the device already set up, waiting its pause for real or not.
bool Measure(int runs, bool waitForReal, Timings& out) {
    sim::CurrentDevice().waitForReal = waitForReal;
    for (int i = 0; i < runs; ++i) {
        const sim::RunResult run = sim::RunLauncher();
        const sim::Event* pause = nullptr;
        for (const sim::Event& event : run.record.events) {
            if (event.kind == sim::Event::Kind::kSleep) {
                pause = &event;
                out.overshootMs.push_back(static_cast<double>(event.endedNs - event.beganNs) / 1e6 -
                                          event.milliseconds);
            } else if (pause != nullptr) {
                out.shellDelayUs.push_back(static_cast<double>(event.beganNs - pause->endedNs) /
                                           1e3);
            }
        }
    }
    if (out.overshootMs.empty() || out.shellDelayUs.empty()) {
        std::fprintf(stderr, "kelbrun-bench: the device neither pauses nor starts a program\n");
        return false;
    }
    return true;
}

void Print(const char* what, const std::vector<double>& values, const char* unit) {
    std::printf("%s: median %.3f %s, worst %.3f %s (%zu runs)\n", what, Median(values), unit,
                *std::max_element(values.begin(), values.end()), unit, values.size());
}

int Timing(const simoptions::Options& options, int runs) {
    // With the real clock the host wakes from a 2.5 s sleep before the launcher goes on; with
    // the pause only recorded, what remains is the launcher's own work and the simulator's.
    Timings real;
    Timings recorded;
    if (!SetUp(options) || !Measure(runs, true, real) || !Measure(runs, false, recorded)) {
        return 2;
    }
    Print("pause beyond 2500 ms", real.overshootMs, "ms");
    Print("shell request after the pause", real.shellDelayUs, "us");
    Print("shell request after the pause, pause only recorded", recorded.shellDelayUs, "us");
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: kelbrun-bench calls-header\n"
                 "       kelbrun-bench calls NAME [kelbrun-sim options]\n"
                 "       kelbrun-bench timing RUNS [kelbrun-sim options]\n"
                 "       kelbrun-bench processor NAME --exe FILE [kelbrun-sim options]\n"
                 "       kelbrun-bench coredll NAME --exe FILE --coredll DLL [kelbrun-sim "
                 "options]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "calls-header" && argc == 2) {
        return CallsHeader();
    }
    if ((mode != "calls" && mode != "timing" && mode != "processor" && mode != "coredll") ||
        argc < 3) {
        return Usage();
    }
    simoptions::Options options;
    try {
        options = simoptions::ParseOptions(argc, argv, 3);
    } catch (const simoptions::UsageError& error) {
        std::fprintf(stderr, "kelbrun-bench: %s\n", error.message.c_str());
        return 2;
    }
    if (mode == "calls") {
        return Calls(argv[2], options);
    }
    if (mode == "processor") {
        return Processor(argv[2], options);
    }
    if (mode == "coredll") {
        return Coredll(argv[2], options);
    }
    char* end = nullptr;
    const long runs = std::strtol(argv[2], &end, 10);
    if (*end != '\0' || runs <= 0 || runs > 10000) {
        return Usage();
    }
    return Timing(options, static_cast<int>(runs));
}
