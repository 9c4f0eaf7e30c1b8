// Storage that mounts late: whole launcher runs on a device whose folders appear at set device
// times, and kelbrun-sim's report of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/startup.h"
#include "platform/sim/text.h"
#include "tests/sim_test_support.h"
#include "tools/kelbrun-sim/report.h"

namespace {

using testing_support::kPathsKey;
using testing_support::ScratchRoot;

struct MountCase {
    const char* name;
    std::u16string card;  // the SDMMC value
    std::u16string ownPath;
    std::vector<std::pair<std::u16string, uint32_t>> mounts;  // in command-line order
    std::vector<std::string> probes;                          // the trail after the folder lines
    std::string report;
};

void PrintTo(const MountCase& c, std::ostream* os) {
    *os << c.name;
}

class LateMounts : public ::testing::TestWithParam<MountCase> {};

TEST_P(LateMounts, AppearAtTheirTime) {
    const MountCase& c = GetParam();
    ScratchRoot root;
    std::string cardFolder = c.card.empty() ? "SDMMC" : sim::ToUtf8(c.card.substr(1));
    std::replace(cardFolder.begin(), cardFolder.end(), '\\', '/');
    root.AddFile(cardFolder + "/UPDATE/Kelbrun.EXE");
    root.AddFile("ResidentFlash/MNAV/Navigon.exe");
    root.AddFolder("Data");
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    device.files.SetRoot(root.Path());
    device.waitForReal = false;
    device.ownPath = c.ownPath;
    if (!c.card.empty()) {
        device.registry.SetString(kPathsKey, u"SDMMC", c.card);
        device.registry.SetString(kPathsKey, u"DataStorage", u"\\Data");
        device.registry.SetString(kPathsKey, u"User", u"\\ResidentFlash");
    }
    for (const auto& [folder, atMs] : c.mounts) {
        ASSERT_FALSE(device.files.AddMount(folder, atMs).has_value()) << sim::ToUtf8(folder);
    }

    const sim::RunResult run = sim::RunLauncher();

    ASSERT_TRUE(run.exited);
    std::vector<std::string> probes;
    for (size_t i = c.card.empty() ? 9 : 6; i < run.record.trail.size(); ++i) {
        probes.push_back(sim::ToUtf8(run.record.trail[i]));
    }
    EXPECT_EQ(c.probes, probes);
    EXPECT_EQ(c.report, simreport::Describe(run, device.files.Mounts()));
}

const std::u16string kSelf = u"\\Windows\\Kelbrun.EXE";
const std::string kCardFound = "File \\SDMMC\\UPDATE\\Kelbrun.EXE exists\r\n";
const std::string kCardMissing = "File \\SDMMC\\UPDATE\\Kelbrun.EXE not exists\r\n";
const std::string kNavigatorFound = "File \\ResidentFlash\\MNAV\\Navigon.exe exists\r\n";
const std::string kNavigatorMissing = "File \\ResidentFlash\\MNAV\\Navigon.exe not exists\r\n";

INSTANTIATE_TEST_SUITE_P(
    Mounts, LateMounts,
    ::testing::Values(
        MountCase{"DuringThePause",
                  u"\\SDMMC",
                  kSelf,
                  {{u"\\SDMMC", 1200}},
                  {kCardFound},
                  "sim: sleep 2500 ms\nsim: mount \\SDMMC at 1200 ms\n"
                  "sim: open \\SDMMC\\UPDATE\\Kelbrun.EXE\nsim: exit 0\n"},
        MountCase{"AtTheStart",
                  u"\\SDMMC",
                  kSelf,
                  {{u"\\sdmmc", 0}},
                  {kCardFound},
                  "sim: mount \\sdmmc at 0 ms\nsim: sleep 2500 ms\n"
                  "sim: open \\SDMMC\\UPDATE\\Kelbrun.EXE\nsim: exit 0\n"},
        // Mounted at the very time of the probe: there.
        MountCase{"ExactlyAtTheProbe",
                  u"\\SDMMC",
                  kSelf,
                  {{u"\\SDMMC", 2500}},
                  {kCardFound},
                  "sim: sleep 2500 ms\nsim: mount \\SDMMC at 2500 ms\n"
                  "sim: open \\SDMMC\\UPDATE\\Kelbrun.EXE\nsim: exit 0\n"},
        MountCase{"JustAfterTheProbe",
                  u"\\SDMMC",
                  kSelf,
                  {{u"\\SDMMC", 2501}},
                  {kCardMissing, kNavigatorFound},
                  "sim: sleep 2500 ms\nsim: open \\ResidentFlash\\MNAV\\Navigon.exe\n"
                  "sim: \\SDMMC not mounted by 2500 ms (mounts at 2501 ms)\nsim: exit 0\n"},
        MountCase{"FolderAboveTheCardInTime",
                  u"\\Cards\\SD",
                  kSelf,
                  {{u"\\Cards", 2000}},
                  {"File \\Cards\\SD\\UPDATE\\Kelbrun.EXE exists\r\n"},
                  "sim: sleep 2500 ms\nsim: mount \\Cards at 2000 ms\n"
                  "sim: open \\Cards\\SD\\UPDATE\\Kelbrun.EXE\nsim: exit 0\n"},
        MountCase{"FolderAboveTheCardTooLate",
                  u"\\Cards\\SD",
                  kSelf,
                  {{u"\\CARDS", 3000}},
                  {"File \\Cards\\SD\\UPDATE\\Kelbrun.EXE not exists\r\n", kNavigatorFound},
                  "sim: sleep 2500 ms\nsim: open \\ResidentFlash\\MNAV\\Navigon.exe\n"
                  "sim: \\CARDS not mounted by 2500 ms (mounts at 3000 ms)\nsim: exit 0\n"},
        // Given latest first: reported in the order of the device's clock.
        MountCase{"TwoFoldersAtDifferentTimes",
                  u"\\SDMMC",
                  kSelf,
                  {{u"\\ResidentFlash", 3000}, {u"\\SDMMC", 3000}, {u"\\Data", 1000}},
                  {kCardMissing, kNavigatorMissing},
                  "sim: sleep 2500 ms\nsim: mount \\Data at 1000 ms\n"
                  "sim: \\ResidentFlash not mounted by 2500 ms (mounts at 3000 ms)\n"
                  "sim: \\SDMMC not mounted by 2500 ms (mounts at 3000 ms)\nsim: exit 0\n"},
        MountCase{"CardLateFlashEarly",
                  u"\\SDMMC",
                  kSelf,
                  {{u"\\SDMMC", 4000}, {u"\\ResidentFlash", 2499}},
                  {kCardMissing, kNavigatorFound},
                  "sim: sleep 2500 ms\nsim: mount \\ResidentFlash at 2499 ms\n"
                  "sim: open \\ResidentFlash\\MNAV\\Navigon.exe\n"
                  "sim: \\SDMMC not mounted by 2500 ms (mounts at 4000 ms)\nsim: exit 0\n"},
        // Runs that never pause end at 0 ms, before any later mount.
        MountCase{"NothingConfigured",
                  u"",
                  kSelf,
                  {{u"\\ResidentFlash", 1}},
                  {},
                  "sim: \\ResidentFlash not mounted by 0 ms (mounts at 1 ms)\nsim: exit 0\n"},
        MountCase{"CopyInUpdate",
                  u"\\SDMMC",
                  u"\\SDMMC\\UPDATE\\Kelbrun.EXE",
                  {{u"\\SDMMC", 0}, {u"\\ResidentFlash", 1200}},
                  {},
                  "sim: mount \\SDMMC at 0 ms\n"
                  "sim: \\ResidentFlash not mounted by 0 ms (mounts at 1200 ms)\nsim: exit 0\n"}),
    [](const ::testing::TestParamInfo<MountCase>& p) { return p.param.name; });

// Without --mount the report is what it always was.
TEST(Report, WithoutMountsListsTheEventsAndTheEnd) {
    sim::RunResult run;
    run.exited = true;
    run.status = 0;
    sim::Event sleep;
    sleep.milliseconds = 2500;
    sim::Event open;
    open.kind = sim::Event::Kind::kOpen;
    open.deviceMs = 2500;
    open.request.file = u"\\X";
    run.record.events = {sleep, open};
    run.record.endMs = 2500;
    EXPECT_EQ(
        "sim: sleep 2500 ms\nsim: open \\X refused: the shell takes no record of 0 bytes "
        "(error 87)\nsim: exit 0\n",
        simreport::Describe(run, {}));
    run.exited = false;
    run.signal = 11;
    run.record.events.clear();
    EXPECT_EQ("kelbrun-sim: the launcher ended abnormally (signal 11)\n",
              simreport::Describe(run, {}));
}

}  // namespace
