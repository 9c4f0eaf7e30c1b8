// Measurements on the simulated device for bench/run.
//
//   kelbrun-bench calls DEVICE_DIR...   the platform calls of one run on each device
//   kelbrun-bench timing DEVICE_DIR N   N runs with the real clock: how long the pause lasts
//                                       beyond 2,500 ms, and how soon after it the shell is asked
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/sim/device.h"
#include "platform/sim/startup.h"
#include "tools/kelbrun-sim/reg_file.h"

namespace {

bool SetUp(const std::filesystem::path& deviceDir, bool waitForReal) {
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    if (auto error = regfile::Load(deviceDir / "device.reg", device.registry)) {
        std::fprintf(stderr, "kelbrun-bench: %s/device.reg:%d: %s\n", deviceDir.c_str(),
                     error->line, error->message.c_str());
        return false;
    }
    device.files.SetRoot(deviceDir / "root");
    device.waitForReal = waitForReal;
    return true;
}

int Calls(int argc, char** argv) {
    std::printf("%-22s %6s %5s %7s %6s %8s %13s %5s %6s\n", "device", "module", "opens", "queries",
                "closes", "searches", "search-closes", "shell", "pauses");
    for (int i = 2; i < argc; ++i) {
        const std::filesystem::path dir = argv[i];
        if (!SetUp(dir, false)) {
            return 2;
        }
        const sim::RunResult run = sim::RunLauncher();
        const sim::CallCounts& c = run.record.calls;
        std::printf("%-22s %6u %5u %7u %6u %8u %13u %5u %6u\n", dir.filename().c_str(),
                    c.moduleQueries, c.keyOpens, c.valueQueries, c.keyCloses, c.searches,
                    c.searchCloses, c.shellRequests, c.sleeps);
    }
    return 0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int Timing(const std::filesystem::path& dir, int runs) {
    std::vector<double> overshootMs;
    std::vector<double> shellDelayUs;
    for (int i = 0; i < runs; ++i) {
        if (!SetUp(dir, true)) {
            return 2;
        }
        const sim::RunResult run = sim::RunLauncher();
        const sim::Event* pause = nullptr;
        for (const sim::Event& event : run.record.events) {
            if (event.kind == sim::Event::Kind::kSleep) {
                pause = &event;
                overshootMs.push_back(static_cast<double>(event.endedNs - event.beganNs) / 1e6 -
                                      event.milliseconds);
            } else if (pause != nullptr) {
                shellDelayUs.push_back(static_cast<double>(event.beganNs - pause->endedNs) / 1e3);
            }
        }
    }
    if (overshootMs.empty() || shellDelayUs.empty()) {
        std::fprintf(stderr, "kelbrun-bench: %s neither pauses nor starts a program\n",
                     dir.c_str());
        return 2;
    }
    std::printf("pause beyond 2500 ms: median %.3f ms, worst %.3f ms (%zu runs)\n",
                Median(overshootMs), *std::max_element(overshootMs.begin(), overshootMs.end()),
                overshootMs.size());
    std::printf("shell request after the pause: median %.1f us, worst %.1f us (%zu runs)\n",
                Median(shellDelayUs), *std::max_element(shellDelayUs.begin(), shellDelayUs.end()),
                shellDelayUs.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "calls" && argc > 2) {
        return Calls(argc, argv);
    }
    if (mode == "timing" && argc == 4) {
        return Timing(argv[2], std::atoi(argv[3]));
    }
    std::fprintf(stderr,
                 "usage: kelbrun-bench calls DEVICE_DIR...\n"
                 "       kelbrun-bench timing DEVICE_DIR RUNS\n");
    return 2;
}
