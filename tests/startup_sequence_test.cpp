// Whole runs of the launcher on the simulated device, each in a fresh process: the trail byte
// for byte, the pause, what was probed and opened, the exit status and the handles.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/startup.h"
#include "platform/sim/text.h"
#include "tests/sim_test_support.h"

namespace {

using testing_support::ScratchRoot;
using testing_support::SetRawValue;
using Lines = std::vector<std::u16string>;

const std::u16string kCard = u"\\SDMMC";
const std::u16string kData = u"\\SDMMC\\Data";
const std::u16string kFlash = u"\\ResidentFlash";
const std::u16string kUpdateCopy = u"\\SDMMC\\UPDATE\\Kelbrun.EXE";
const std::u16string kNavigator = u"\\ResidentFlash\\MNAV\\Navigon.exe";

Lines Found(const std::u16string& text) {
    return {u"Folder name is " + text + u"\r\n"};
}

Lines Missing(int code = 2) {
    const std::u16string number = code == 2 ? u"2" : u"234";
    return {u"RegQueryValueEx Failed [" + number + u"].\r\n", u"Cannot find folder name!!!!\r\n"};
}

Lines Folders(const std::u16string& card, const std::u16string& data, const std::u16string& flash) {
    return {u"SDMMCPath: " + card + u"\r\n", u"DataStorageDestPath: " + data + u"\r\n",
            u"ResidentFlashDestPath: " + flash + u"\r\n"};
}

Lines Exists(const std::u16string& path) {
    return {u"File " + path + u" exists\r\n"};
}

Lines NotExists(const std::u16string& path) {
    return {u"File " + path + u" not exists\r\n"};
}

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// The three lookups and the folder lines of a device with all three folders configured.
Lines ConfiguredStart() {
    return Join({Found(kCard), Found(kData), Found(kFlash), Folders(kCard, kData, kFlash)});
}

void ConfigureAll(sim::Device& device) {
    device.registry.SetString(testing_support::kPathsKey, u"SDMMC", kCard);
    device.registry.SetString(testing_support::kPathsKey, u"DataStorage", kData);
    device.registry.SetString(testing_support::kPathsKey, u"User", kFlash);
}

struct Scenario {
    const char* name;
    std::function<void(sim::Device&, const ScratchRoot&)> setUp;
    Lines trail;
    std::vector<std::string> events;  // "sleep 2500", "open PATH", "open PATH refused"
};

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

std::vector<std::string> Describe(const std::vector<sim::Event>& events) {
    std::vector<std::string> out;
    for (const sim::Event& e : events) {
        if (e.kind == sim::Event::Kind::kSleep) {
            out.push_back("sleep " + std::to_string(e.milliseconds));
        } else {
            out.push_back("open " + sim::ToUtf8(e.request.file) +
                          (e.request.accepted ? "" : " refused"));
        }
    }
    return out;
}

class StartupScenarios : public ::testing::TestWithParam<Scenario> {};

TEST_P(StartupScenarios, RunsAsTheDeviceWould) {
    const Scenario& s = GetParam();
    ScratchRoot root;
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    device.files.SetRoot(root.Path());
    device.waitForReal = false;
    s.setUp(device, root);

    const sim::RunResult run = sim::RunLauncher();

    ASSERT_TRUE(run.exited) << "signal " << run.signal;
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(s.trail, run.record.trail);
    EXPECT_EQ(s.events, Describe(run.record.events));

    const sim::CallCounts& calls = run.record.calls;
    EXPECT_EQ(0u, run.record.keysLeftOpen);
    EXPECT_EQ(0u, run.record.searchesLeftOpen);
    EXPECT_EQ(1u, calls.moduleQueries);
    EXPECT_EQ(3u, calls.keyOpens);
    // Every key opened and every search that found something is closed, once.
    const auto linesWhere = [&](auto matches) {
        return static_cast<uint32_t>(std::count_if(s.trail.begin(), s.trail.end(), matches));
    };
    const uint32_t failedOpens = linesWhere(
        [](const std::u16string& line) { return line.rfind(u"RegOpenKeyEx Failed", 0) == 0; });
    const uint32_t probes =
        linesWhere([](const std::u16string& line) { return line.rfind(u"File ", 0) == 0; });
    const uint32_t misses = linesWhere([](const std::u16string& line) {
        return line.find(u" not exists\r\n") != std::u16string::npos;
    });
    EXPECT_EQ(3u - failedOpens, calls.keyCloses);
    EXPECT_EQ(3u - failedOpens, calls.valueQueries);
    EXPECT_EQ(probes, calls.searches);
    EXPECT_EQ(probes - misses, calls.searchCloses);
    EXPECT_LE(calls.searches, 2u);
    EXPECT_LE(calls.shellRequests, 1u);
    EXPECT_LE(calls.sleeps, 1u);
    for (const sim::Event& e : run.record.events) {
        if (e.kind == sim::Event::Kind::kOpen) {
            EXPECT_EQ(sizeof(SHELLEXECUTEINFO), e.request.size);
            EXPECT_EQ(0u, e.request.mask);
            EXPECT_EQ(u"Open", e.request.verb);
            EXPECT_EQ(SW_SHOW, e.request.show);
            EXPECT_FALSE(e.request.hasParameters);
            EXPECT_FALSE(e.request.hasDirectory);
        }
    }
    // The device left behind is untouched by the run, which had a process of its own.
    EXPECT_TRUE(device.record.trail.empty());
}

void Nothing(sim::Device&, const ScratchRoot&) {}

const std::u16string kLongCard = u"\\" + std::u16string(236, u'c');     // 237 characters
const std::u16string kLongestCard = u"\\" + std::u16string(235, u'c');  // 236: just fits
const std::u16string kLongFlash = u"\\" + std::u16string(238, u'f');    // 239 characters

INSTANTIATE_TEST_SUITE_P(Runs, StartupScenarios,
                         ::testing::
                             Values(Scenario{"CardCopyWins",
                                             [](sim::Device& d, const ScratchRoot& r) {
                                                 ConfigureAll(d);
                                                 r.AddFile("SDMMC/UPDATE/Kelbrun.EXE");
                                                 r.AddFile("ResidentFlash/MNAV/Navigon.exe");
                                             },
                                             Join({ConfiguredStart(), Exists(kUpdateCopy)}),
                                             {"sleep 2500", "open \\SDMMC\\UPDATE\\Kelbrun.EXE"}},
                                    Scenario{
                                        "NavigatorWhenNoCardCopy",
                                        [](sim::Device& d, const ScratchRoot& r) {
                                            ConfigureAll(d);
                                            r.AddFile("ResidentFlash/MNAV/Navigon.exe");
                                        },
                                        Join({ConfiguredStart(), NotExists(kUpdateCopy),
                                              Exists(kNavigator)}),
                                        {"sleep 2500", "open \\ResidentFlash\\MNAV\\Navigon.exe"}},
                                    Scenario{
                                        "NeitherPresent",
                                        [](sim::Device& d, const ScratchRoot&) { ConfigureAll(d); },
                                        Join({ConfiguredStart(), NotExists(kUpdateCopy),
                                              NotExists(kNavigator)}),
                                        {"sleep 2500"}},
                                    Scenario{"FoldersMatchWithoutRegardToCase",
                                             [](sim::Device& d, const ScratchRoot& r) {
                                                 ConfigureAll(d);
                                                 r.AddFile("sdmmc/Update/KELBRUN.exe");
                                             },
                                             Join({ConfiguredStart(), Exists(kUpdateCopy)}),
                                             {"sleep 2500", "open \\SDMMC\\UPDATE\\Kelbrun.EXE"}},
                                    Scenario{"RunningFromUpdateFolder",
                                             [](sim::Device& d, const ScratchRoot& r) {
                                                 ConfigureAll(d);
                                                 d.ownPath = kUpdateCopy;
                                                 r.AddFile("SDMMC/UPDATE/Kelbrun.EXE");
                                             },
                                             ConfiguredStart(),
                                             {}},
                                    Scenario{"UpdateInsideLongerName",
                                             [](sim::Device& d, const ScratchRoot& r) {
                                                 ConfigureAll(d);
                                                 d.ownPath = u"\\PREUPDATES\\Kelbrun.EXE";
                                                 r.AddFile("ResidentFlash/MNAV/Navigon.exe");
                                             },
                                             ConfiguredStart(),
                                             {}},
                                    Scenario{
                                        "LowerCaseUpdateDoesNotCount",
                                        [](sim::Device& d, const ScratchRoot& r) {
                                            ConfigureAll(d);
                                            d.ownPath = u"\\SDMMC\\update\\Kelbrun.EXE";
                                            r.AddFile("ResidentFlash/MNAV/Navigon.exe");
                                        },
                                        Join({ConfiguredStart(), NotExists(kUpdateCopy),
                                              Exists(kNavigator)}),
                                        {"sleep 2500", "open \\ResidentFlash\\MNAV\\Navigon.exe"}},
                                    Scenario{"KeyMissing",
                                             Nothing,
                                             Join({{u"RegOpenKeyEx Failed [2].\r\n",
                                                    u"Cannot find folder name!!!!\r\n"},
                                                   {u"RegOpenKeyEx Failed [2].\r\n",
                                                    u"Cannot find folder name!!!!\r\n"},
                                                   {u"RegOpenKeyEx Failed [2].\r\n",
                                                    u"Cannot find folder name!!!!\r\n"},
                                                   Folders(u"", u"", u"")}),
                                             {}},
                                    Scenario{"CardFolderMissing",
                                             [](sim::Device& d, const ScratchRoot& r) {
                                                 ConfigureAll(d);
                                                 d.registry.DeleteValue(testing_support::kPathsKey,
                                                                        u"SDMMC");
                                                 r.AddFile("ResidentFlash/MNAV/Navigon.exe");
                                             },
                                             Join({Missing(), Found(kData), Found(kFlash),
                                                   Folders(u"", kData, kFlash)}),
                                             {}},
                                    Scenario{"DataStorageMissing",
                                             [](sim::Device& d, const ScratchRoot& r) {
                                                 ConfigureAll(d);
                                                 d.registry.DeleteValue(testing_support::kPathsKey,
                                                                        u"DataStorage");
                                                 r.AddFile("SDMMC/UPDATE/Kelbrun.EXE");
                                             },
                                             Join({Found(kCard), Missing(),
                                                   Found(kFlash), Folders(kCard, u"", kFlash)}),
                                             {}},
                                    // No data at all used to count as a folder of length -1, and
                                    // the root's \UPDATE\Kelbrun.EXE was started. It is not
                                    // configured.
                                    Scenario{"CardValueWithoutData",
                                             [](sim::Device& d, const ScratchRoot& r) {
                                                 ConfigureAll(d);
                                                 SetRawValue(d, u"SDMMC", {});
                                                 r.AddFile("UPDATE/Kelbrun.EXE");
                                             },
                                             Join({Found(u""), Found(kData), Found(kFlash),
                                                   Folders(u"", kData, kFlash)}),
                                             {}},
                                    Scenario{"CardValueOnlyTerminator",
                                             [](sim::Device& d, const ScratchRoot& r) {
                                                 ConfigureAll(d);
                                                 SetRawValue(d, u"SDMMC", {0, 0});
                                                 r.AddFile("UPDATE/Kelbrun.EXE");
                                             },
                                             Join({Found(u""), Found(kData), Found(kFlash),
                                                   Folders(u"", kData, kFlash)}),
                                             {}},
                                    // A one-character folder stored without its terminator is
                                    // configured.
                                    Scenario{"OneCharacterCardFolderWithoutTerminator",
                                             [](sim::Device& d, const ScratchRoot& r) {
                                                 ConfigureAll(d);
                                                 SetRawValue(d, u"SDMMC", {'X', 0});
                                                 r.AddFile("X/UPDATE/Kelbrun.EXE");
                                             },
                                             Join({Found(u"X"), Found(kData), Found(kFlash),
                                                   Folders(u"X", kData, kFlash),
                                                   Exists(u"X\\UPDATE\\Kelbrun.EXE")}),
                                             {"sleep 2500", "open X\\UPDATE\\Kelbrun.EXE"}},
                                    Scenario{
                                        "UserMissingProbesFromRoot",
                                        [](sim::Device& d, const ScratchRoot& r) {
                                            ConfigureAll(d);
                                            d.registry.DeleteValue(testing_support::kPathsKey,
                                                                   u"User");
                                            r.AddFile("MNAV/Navigon.exe");
                                        },
                                        Join({Found(kCard), Found(kData), Missing(),
                                              Folders(kCard, kData, u""), NotExists(kUpdateCopy),
                                              Exists(u"\\MNAV\\Navigon.exe")}),
                                        {"sleep 2500", "open \\MNAV\\Navigon.exe"}},
                                    Scenario{"RefusedLaunchEndsTheRun",
                                             [](sim::Device& d, const ScratchRoot& r) {
                                                 ConfigureAll(d);
                                                 d.shellRefuses = true;
                                                 r.AddFile("SDMMC/UPDATE/Kelbrun.EXE");
                                                 r.AddFile("ResidentFlash/MNAV/Navigon.exe");
                                             },
                                             Join({ConfiguredStart(), Exists(kUpdateCopy)}),
                                             {"sleep 2500",
                                              "open \\SDMMC\\UPDATE\\Kelbrun.EXE refused"}},
                                    Scenario{"FolderNamedLikeTheCardCopy",
                                             [](sim::Device& d, const ScratchRoot& r) {
                                                 ConfigureAll(d);
                                                 r.AddFolder("SDMMC/UPDATE/Kelbrun.EXE");
                                             },
                                             Join({ConfiguredStart(), Exists(kUpdateCopy)}),
                                             {"sleep 2500", "open \\SDMMC\\UPDATE\\Kelbrun.EXE"}},
                                    Scenario{
                                        "CardFolderTooLong",
                                        [](sim::Device& d, const ScratchRoot& r) {
                                            ConfigureAll(d);
                                            d.registry.SetString(testing_support::kPathsKey,
                                                                 u"SDMMC", kLongCard);
                                            r.AddFile("ResidentFlash/MNAV/Navigon.exe");
                                        },
                                        Join({Found(kLongCard),
                                              Found(kData),
                                              Found(kFlash),
                                              Folders(kLongCard, kData, kFlash),
                                              {u"Path too long: " + kLongCard + u"\r\n"},
                                              Exists(kNavigator)}),
                                        {"sleep 2500", "open \\ResidentFlash\\MNAV\\Navigon.exe"}},
                                    Scenario{
                                        "LongestCardFolderThatFits",
                                        [](sim::Device& d, const ScratchRoot&) {
                                            ConfigureAll(d);
                                            d.registry.SetString(testing_support::kPathsKey,
                                                                 u"SDMMC", kLongestCard);
                                        },
                                        Join({Found(kLongestCard), Found(kData), Found(kFlash),
                                              Folders(kLongestCard, kData, kFlash),
                                              NotExists(kLongestCard + u"\\UPDATE\\Kelbrun.EXE"),
                                              NotExists(kNavigator)}),
                                        {"sleep 2500"}},
                                    Scenario{"FlashFolderTooLong",
                                             [](sim::Device& d, const ScratchRoot&) {
                                                 ConfigureAll(d);
                                                 d.registry.SetString(testing_support::kPathsKey,
                                                                      u"User", kLongFlash);
                                             },
                                             Join({Found(kCard),
                                                   Found(kData),
                                                   Found(kLongFlash),
                                                   Folders(kCard, kData, kLongFlash),
                                                   NotExists(kUpdateCopy),
                                                   {u"Path too long: " + kLongFlash + u"\r\n"}}),
                                             {"sleep 2500"}},
                                    Scenario{"CardValueTooLongForTheRegistryBuffer",
                                             [](sim::Device& d, const ScratchRoot& r) {
                                                 ConfigureAll(d);
                                                 d.registry.SetString(testing_support::kPathsKey,
                                                                      u"SDMMC",
                                                                      std::u16string(255, u'c'));
                                                 r.AddFile("ResidentFlash/MNAV/Navigon.exe");
                                             },
                                             Join({Missing(234), Found(kData), Found(kFlash),
                                                   Folders(u"", kData, kFlash)}),
                                             {}},
                                    // A copy that cannot tell where it runs from must not risk
                                    // starting itself again.
                                    Scenario{"OwnPathQueryFails",
                                             [](sim::Device& d, const ScratchRoot& r) {
                                                 ConfigureAll(d);
                                                 d.moduleQueryError = 5;
                                                 r.AddFile("SDMMC/UPDATE/Kelbrun.EXE");
                                             },
                                             Join({{u"GetModuleFileName Failed [5].\r\n"},
                                                   ConfiguredStart()}),
                                             {}},
                                    Scenario{"OwnPathCut",
                                             [](sim::Device& d, const ScratchRoot& r) {
                                                 ConfigureAll(d);
                                                 d.ownPath = u"\\" + std::u16string(126, u'p') +
                                                             u"\\UPDATE\\Kelbrun.EXE";
                                                 r.AddFile("SDMMC/UPDATE/Kelbrun.EXE");
                                             },
                                             Join({{u"GetModuleFileName Failed [122].\r\n"},
                                                   ConfiguredStart()}),
                                             {}},
                                    // The query fills its whole limit: the path may have
                                    // been cut, so nothing is started.
                                    Scenario{"OwnPathOfExactly127Characters",
                                             [](sim::Device& d, const ScratchRoot& r) {
                                                 ConfigureAll(d);
                                                 d.ownPath = u"\\" + std::u16string(126, u'p');
                                                 r.AddFile("SDMMC/UPDATE/Kelbrun.EXE");
                                             },
                                             Join({{u"GetModuleFileName Failed [122].\r\n"},
                                                   ConfiguredStart()}),
                                             {}},
                                    // Each read starts from a clear value buffer.
                                    Scenario{
                                        "ShorterUnterminatedValueAfterALongerOne",
                                        [](sim::Device& d, const ScratchRoot& r) {
                                            ConfigureAll(d);
                                            d.registry.SetString(testing_support::kPathsKey,
                                                                 u"SDMMC", u"\\SDMMC\\Card");
                                            SetRawValue(d, u"DataStorage", {'\\', 0, 'D', 0});
                                            SetRawValue(d, u"User", {'\\', 0});
                                            r.AddFile("MNAV/Navigon.exe");
                                        },
                                        Join({Found(u"\\SDMMC\\Card"), Found(u"\\D"), Found(u"\\"),
                                              Folders(u"\\SDMMC\\Card", u"\\D", u"\\"),
                                              NotExists(u"\\SDMMC\\Card\\UPDATE\\Kelbrun.EXE"),
                                              Exists(u"\\\\MNAV\\Navigon.exe")}),
                                        {"sleep 2500", "open \\\\MNAV\\Navigon.exe"}},
                                    Scenario{"LongestOwnPathThatFits",
                                             [](sim::Device& d, const ScratchRoot& r) {
                                                 ConfigureAll(d);
                                                 d.ownPath =
                                                     u"\\" +
                                                     std::u16string(125, u'p');  // 126 characters
                                                 r.AddFile("SDMMC/UPDATE/Kelbrun.EXE");
                                             },
                                             Join({ConfiguredStart(), Exists(kUpdateCopy)}),
                                             {"sleep 2500", "open \\SDMMC\\UPDATE\\Kelbrun.EXE"}}),
                         [](const ::testing::TestParamInfo<Scenario>& p) { return p.param.name; });

TEST(StartupSequence, EachRunStartsFromTheInitialState) {
    ScratchRoot root;
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    device.files.SetRoot(root.Path());
    device.waitForReal = false;
    ConfigureAll(device);
    root.AddFile("SDMMC/UPDATE/Kelbrun.EXE");
    ASSERT_EQ(2u, sim::RunLauncher().record.events.size());

    // Settings read by an earlier run must not linger: with nothing configured, nothing starts.
    device.registry = sim::Registry();
    const sim::RunResult second = sim::RunLauncher();
    EXPECT_EQ(Folders(u"", u"", u""),
              Lines(second.record.trail.end() - 3, second.record.trail.end()));
    EXPECT_TRUE(second.record.events.empty());
}

}  // namespace
