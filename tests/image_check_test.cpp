// kelbrun-sim --check with an OS image: its files, folders and copies applied to the simulated
// device, the boot's programs and the launcher looked for among them, and the COREDLL
// components the launcher's imports need, judged on the image build's variables.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/sim/device.h"
#include "platform/sim/text.h"
#include "tests/check_test_support.h"
#include "tests/sim_test_support.h"
#include "tools/kelbrun-sim/image_check.h"
#include "tools/kelbrun-sim/image_files/device_image.h"
#include "tools/kelbrun-sim/setup_check.h"

namespace {

using imagefiles::ImageContents;
using setupcheck::Finding;
using Level = setupcheck::Finding::Level;
using testing_support::kPathsKey;
using testing_support::ScratchRoot;

constexpr char16_t kInit[] = u"HKEY_LOCAL_MACHINE\\init";

imagefiles::ImageFile RomFile(std::u16string name, int line,
                              std::optional<std::filesystem::path> content = std::nullopt) {
    return {std::move(name), std::move(content), true, {"platform.bib", line, {}}};
}

imagefiles::StoreCopy Copy(std::u16string path, std::u16string source, int line) {
    return {std::move(path), std::move(source), {"project.dat", line, {}}};
}

// The kernel's own programs and the launcher, in the image.
ImageContents SmallImage() {
    ImageContents image;
    image.files = {RomFile(u"device.exe", 10), RomFile(u"gwes.exe", 11),
                   RomFile(u"Kelbrun.EXE", 12)};
    return image;
}

sim::Device& SetUpDevice(const std::vector<std::u16string>& programs) {
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    int number = 20;
    for (const std::u16string& program : programs) {
        device.registry.SetString(kInit, u"Launch" + sim::FromUtf8(std::to_string(number)).value(),
                                  program);
        number += 10;
    }
    device.registry.SetString(kPathsKey, u"SDMMC", u"\\SDMMC");
    device.registry.SetString(kPathsKey, u"DataStorage", u"\\SDMMC\\Data");
    device.registry.SetString(kPathsKey, u"User", u"\\ResidentFlash");
    return device;
}

using testing_support::Count;
using testing_support::Listing;

// --- the image on the device ------------------------------------------------------------------

TEST(ApplyImage, PutsFilesFoldersAndCopiesOnTheDevice) {
    ScratchRoot host;
    host.AddFile("release/nav.exe");
    ImageContents image = SmallImage();
    image.files.push_back(RomFile(u"nav.exe", 13, host.Path() / "release/nav.exe"));
    image.folders = {{u"\\Program Files\\Navigator", {"project.dat", 3, {}}},
                     {u"\\Empty", {"p.dat", 1, {}}}};
    image.copies = {Copy(u"\\Program Files\\Navigator\\nav.exe", u"\\Windows\\NAV.EXE", 4),
                    Copy(u"\\Program Files\\gwes.exe", u"\\windows\\gwes.exe", 5),
                    Copy(u"\\Program Files\\maps.exe", u"\\Windows\\maps.exe", 6),
                    Copy(u"\\Program Files\\again.exe", u"\\Program Files\\gwes.exe", 7)};
    sim::FileSystem files;
    ASSERT_EQ(std::nullopt, imagefiles::ApplyImage(image, files));

    struct Expect {
        std::u16string path;
        bool found;
        bool isFolder;
        std::filesystem::path content;
    };
    const Expect expected[] = {
        {u"\\Windows\\Kelbrun.EXE", true, false, {}},
        {u"\\Windows\\nav.exe", true, false, host.Path() / "release/nav.exe"},
        {u"\\Program Files\\Navigator", true, true, {}},
        {u"\\Empty", true, true, {}},
        {u"\\Program Files\\Navigator\\nav.exe", true, false, host.Path() / "release/nav.exe"},
        {u"\\Program Files\\gwes.exe", true, false, {}},
        // The image has no maps.exe, and a copy's source is a file of \Windows.
        {u"\\Program Files\\maps.exe", false, false, {}},
        {u"\\Program Files\\again.exe", false, false, {}},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(std::string(e.path.begin(), e.path.end()));
        const auto found = files.Find(e.path);
        ASSERT_EQ(e.found, found.has_value());
        if (found) {
            EXPECT_TRUE(found->fromImage);
            EXPECT_EQ(e.isFolder, found->isFolder);
            EXPECT_EQ(e.content, found->hostPath);
        }
    }
}

TEST(ApplyImage, ARefusedPathNamesItsLineAndChangesNothing) {
    sim::FileSystem files;
    ASSERT_EQ(std::nullopt, imagefiles::ApplyImage(SmallImage(), files));
    ImageContents second;
    second.files = {RomFile(u"nav.exe", 20)};
    second.folders = {{u"\\Windows\\gwes.exe", {"project.dat", 9, {}}}};
    EXPECT_EQ(
        "project.dat:9: \\Windows\\gwes.exe: \\Windows\\gwes.exe is already a file of the "
        "image",
        imagefiles::ApplyImage(second, files).value_or(""));
    EXPECT_FALSE(files.Find(u"\\Windows\\nav.exe").has_value());
    EXPECT_TRUE(files.Find(u"\\Windows\\gwes.exe").has_value());
    second.files = {RomFile(u"sub\\nav.exe", 21)};
    second.folders.clear();
    EXPECT_NE(std::nullopt, imagefiles::ApplyImage(second, files));
    // An image that lists nothing still has its \Windows.
    sim::FileSystem empty;
    ASSERT_EQ(std::nullopt, imagefiles::ApplyImage(ImageContents(), empty));
    EXPECT_TRUE(empty.Find(u"\\Windows")->isFolder);
}

// --- the boot's programs and the launcher among the image's files ----------------------------

struct BootCase {
    const char* name;
    std::vector<std::u16string> programs;  // Launch20, Launch30, ...
    bool withImage;
    std::vector<std::string> rootFiles;
    std::vector<uint32_t> notInImage;
    std::vector<std::string> findings;  // the report's lines, "error: ..." or "warning: ..."
};

void PrintTo(const BootCase& c, std::ostream* os) {
    *os << c.name;
}

class BootPrograms : public ::testing::TestWithParam<BootCase> {};

TEST_P(BootPrograms, AreLookedForWhereTheKernelLooks) {
    const BootCase& c = GetParam();
    sim::Device& device = SetUpDevice(c.programs);
    ScratchRoot root;
    root.AddFolder("SDMMC");
    for (const std::string& file : c.rootFiles) {
        root.AddFile(file);
    }
    device.files.SetRoot(root.Path());
    ImageContents image = SmallImage();
    image.copies = {Copy(u"\\Apps\\Kelbrun.EXE", u"\\Windows\\Kelbrun.EXE", 2),
                    Copy(u"\\Apps\\Gone.exe", u"\\Windows\\Gone.exe", 3)};
    imagecheck::CheckContext context;
    if (c.withImage) {
        ASSERT_EQ(std::nullopt, imagefiles::ApplyImage(image, device.files));
        context.image = &image;
    }
    const setupcheck::Report report = setupcheck::CheckSetup(device, true, context);
    EXPECT_EQ(std::set<uint32_t>(c.notInImage.begin(), c.notInImage.end()), report.notInImage);
    // The copy of a file the image lacks is a warning whenever the image is given.
    EXPECT_EQ(c.withImage ? 1u : 0u, Count(report.findings, Level::kWarning))
        << Listing(report.findings);
    EXPECT_EQ(c.findings, testing_support::ListingLines(report.findings));
}

INSTANTIATE_TEST_SUITE_P(
    Table, BootPrograms,
    ::testing::Values(
        BootCase{"AllInTheImage",
                 {u"device.exe", u"gwes", u"Kelbrun.EXE"},
                 true,
                 {},
                 {},
                 {"warning: project.dat:3: the copy \\Apps\\Gone.exe of \\Windows\\Gone.exe: no "
                  ".bib file puts that file in the image's \\Windows, so the object store has "
                  "nothing to copy and makes no file there"}},
        BootCase{"ProgramsTheImageLacks",
                 {u"device.exe", u"shell.exe", u"\\Windows\\explorer.exe", u"Kelbrun.EXE"},
                 true,
                 {},
                 {30, 40},
                 {"error: HKEY_LOCAL_MACHINE\\init, Launch30: \"shell.exe\" is not in the image "
                  "and no file under --root (tried \\Windows\\shell.exe, \\shell.exe, "
                  "\\Windows\\shell.exe.exe, \\shell.exe.exe): the kernel cannot start it, and the "
                  "launch loop counts entry 30 as done without it (CE 5.0's launch loop)",
                  "error: HKEY_LOCAL_MACHINE\\init, Launch40: \"\\Windows\\explorer.exe\" is not "
                  "in the image and no file under --root (tried \\Windows\\explorer.exe, "
                  "\\Windows\\explorer.exe.exe): the kernel cannot start it, and the launch loop "
                  "counts entry 40 as done without it (CE 5.0's launch loop)",
                  "warning: project.dat:3: the copy \\Apps\\Gone.exe of \\Windows\\Gone.exe: no "
                  ".bib file puts that file in the image's \\Windows, so the object store has "
                  "nothing to copy and makes no file there"}},
        BootCase{"ARootFileCounts",
                 {u"shell.exe", u"Kelbrun.EXE"},
                 true,
                 {"shell.exe"},
                 {},
                 {"warning: project.dat:3: the copy \\Apps\\Gone.exe of \\Windows\\Gone.exe: no "
                  ".bib file puts that file in the image's \\Windows, so the object store has "
                  "nothing to copy and makes no file there"}},
        BootCase{"TheLauncherTheImageLacks",
                 {u"device.exe", u"\\SDMMC\\Kelbrun.EXE"},
                 true,
                 {},
                 {30},
                 {"error: HKEY_LOCAL_MACHINE\\init, Launch30: \"\\SDMMC\\Kelbrun.EXE\" is not in "
                  "the image and no file under --root (tried \\SDMMC\\Kelbrun.EXE, "
                  "\\SDMMC\\Kelbrun.EXE.exe): the kernel cannot start the launcher (CE 5.0's "
                  "launch loop)",
                  "warning: project.dat:3: the copy \\Apps\\Gone.exe of \\Windows\\Gone.exe: no "
                  ".bib file puts that file in the image's \\Windows, so the object store has "
                  "nothing to copy and makes no file there"}},
        BootCase{"TheLauncherAsACopy",
                 {u"\\apps\\kelbrun"},
                 true,
                 {},
                 {},
                 {"warning: project.dat:3: the copy \\Apps\\Gone.exe of \\Windows\\Gone.exe: no "
                  ".bib file puts that file in the image's \\Windows, so the object store has "
                  "nothing to copy and makes no file there"}},
        BootCase{"ACopyOfNothing",
                 {u"\\Apps\\Gone.exe", u"Kelbrun.EXE"},
                 true,
                 {},
                 {20},
                 {"error: HKEY_LOCAL_MACHINE\\init, Launch20: \"\\Apps\\Gone.exe\" is not in the "
                  "image and no file under --root (tried \\Apps\\Gone.exe, \\Apps\\Gone.exe.exe): "
                  "the kernel cannot start it, and the launch loop counts entry 20 as done without "
                  "it (CE 5.0's launch loop)",
                  "warning: project.dat:3: the copy \\Apps\\Gone.exe of \\Windows\\Gone.exe: no "
                  ".bib file puts that file in the image's \\Windows, so the object store has "
                  "nothing to copy and makes no file there"}},
        // No image: a root with a Windows folder stands for the image's \Windows.
        BootCase{
            "ARootWindowsFolderWithoutTheLauncher",
            {u"Kelbrun.EXE"},
            false,
            {"Windows/gwes.exe"},
            {},
            {"error: HKEY_LOCAL_MACHINE\\init, Launch20: \"Kelbrun.EXE\" is no file under --root "
             "(tried \\Windows\\Kelbrun.EXE, \\Kelbrun.EXE, \\Windows\\Kelbrun.EXE.exe, "
             "\\Kelbrun.EXE.exe): the kernel cannot start the launcher (CE 5.0's launch loop)"}},
        BootCase{"ARootWindowsFolderWithTheLauncher",
                 {u"Kelbrun.EXE"},
                 false,
                 {"Windows/Kelbrun.EXE"},
                 {},
                 {}},
        // Neither: the launcher's own path is taken as present, as the root leaves \Windows out.
        BootCase{"NoWindowsAtAll", {u"Kelbrun.EXE", u"shell.exe"}, false, {}, {}, {}}),
    [](const ::testing::TestParamInfo<BootCase>& p) { return p.param.name; });

TEST(BootPrograms, TheBootOrderMarksThemAndTheImageAloneIsEnough) {
    sim::Device& device = SetUpDevice({u"device.exe", u"shell.exe", u"Kelbrun.EXE"});
    const ImageContents image = SmallImage();
    ASSERT_EQ(std::nullopt, imagefiles::ApplyImage(image, device.files));
    imagecheck::CheckContext context;
    context.image = &image;
    const setupcheck::Report report = setupcheck::CheckSetup(device, false, context);
    // shell.exe's entry is an error of its own, the one error.
    EXPECT_EQ(1u, setupcheck::CountErrors(report.findings)) << Listing(report.findings);
    const std::string text = setupcheck::FormatReport(report);
    EXPECT_NE(std::string::npos, text.find("  20  device.exe\n")) << text;
    EXPECT_NE(std::string::npos, text.find("  30  shell.exe    (not in the image)\n")) << text;
    EXPECT_NE(std::string::npos, text.find("  40  Kelbrun.EXE  <- the launcher\n")) << text;
}

// A start-up shortcut the image's .dat copies into \Windows\StartUp starts the launcher; one
// whose content is not known does not count.
TEST(BootPrograms, ShortcutsFromTheImage) {
    ScratchRoot host;
    std::ofstream(host.Path() / "Kelbrun.lnk") << "23#\\Windows\\Kelbrun.EXE\r\n";
    for (const bool known : {true, false}) {
        SCOPED_TRACE(known ? "content known" : "content not known");
        sim::Device& device = SetUpDevice({u"device.exe"});
        ImageContents image = SmallImage();
        image.files.push_back(
            RomFile(u"Kelbrun.lnk", 14,
                    known ? std::optional<std::filesystem::path>(host.Path() / "Kelbrun.lnk")
                          : std::nullopt));
        image.folders = {{u"\\Windows\\StartUp", {"project.dat", 1, {}}}};
        image.copies = {Copy(u"\\Windows\\StartUp\\Kelbrun.lnk", u"\\Windows\\Kelbrun.lnk", 2)};
        ASSERT_EQ(std::nullopt, imagefiles::ApplyImage(image, device.files));
        imagecheck::CheckContext context;
        context.image = &image;
        const setupcheck::Report report = setupcheck::CheckSetup(device, false, context);
        ASSERT_TRUE(report.shortcutsLookedAt);
        ASSERT_EQ(1u, report.shortcuts.size());
        EXPECT_EQ(known, report.shortcuts[0].launcher);
        EXPECT_EQ(known ? 0u : 1u, setupcheck::CountErrors(report.findings))
            << Listing(report.findings);
        const std::string text = setupcheck::FormatReport(report);
        EXPECT_NE(std::string::npos,
                  text.find(known ? "  Kelbrun.lnk -> \\Windows\\Kelbrun.EXE  <- the launcher\n"
                                  : "  Kelbrun.lnk -> (its content is not known)\n"))
            << text;
    }
}

// --- the components of the launcher's imports ------------------------------------------------

struct ComponentCase {
    const char* name;
    std::vector<std::pair<std::u16string, std::u16string>> variables;
    std::vector<uint32_t> missing;  // the ordinals reported, in the launcher's import order
    std::vector<std::string> unjudged;
};

void PrintTo(const ComponentCase& c, std::ostream* os) {
    *os << c.name;
}

class Components : public ::testing::TestWithParam<ComponentCase> {};

TEST_P(Components, OfEachImportAreJudgedOnTheBuildsVariables) {
    const ComponentCase& c = GetParam();
    sim::Device& device = SetUpDevice({u"Kelbrun.EXE"});
    imagefiles::Variables variables;
    for (const auto& [name, value] : c.variables) {
        variables.Set(name, value);
    }
    imagecheck::CheckContext context;
    context.variables = &variables;
    const setupcheck::Report report = setupcheck::CheckSetup(device, false, context);
    std::vector<uint32_t> missing;
    std::vector<std::string> unjudged;
    for (const Finding& f : report.findings) {
        const size_t at = f.Text().find("\"ERROR: function @ Ordinal ");
        if (f.level == Level::kError && at != std::string::npos) {
            missing.push_back(static_cast<uint32_t>(std::stoul(f.Text().substr(at + 27))));
            EXPECT_TRUE(f.Text().ends_with(" missing in Module 'coredll.dll'\"")) << f.Text();
        } else if (f.level == Level::kWarning) {
            unjudged.push_back(f.Text());
        }
    }
    EXPECT_EQ(c.missing, missing) << Listing(report.findings);
    ASSERT_EQ(c.unjudged.size(), unjudged.size()) << Listing(report.findings);
    for (size_t i = 0; i < unjudged.size(); ++i) {
        EXPECT_NE(std::string::npos, unjudged[i].find(c.unjudged[i])) << unjudged[i];
    }
}

constexpr char16_t kAllComponents[] = u"coremain lmem shexec corecrt";
constexpr char16_t kAllModules[] = u"coredll filesys nk device";

INSTANTIATE_TEST_SUITE_P(
    Table, Components,
    ::testing::Values(
        // Said once, and why; with no variable and no image nothing is said of an OS design.
        ComponentCase{"NeitherKnown",
                      {{u"COREDLL_SHEXEC", u"1"}},
                      {},
                      {"COREDLL: neither COREDLL_COMPONENTS nor CE_MODULES is known "
                       "(--environment, --define): whether the image's COREDLL has the functions "
                       "the launcher imports could not be judged"}},
        ComponentCase{"NoVariableAtAll", {}, {}, {}},
        ComponentCase{"Everything",
                      {{u"COREDLL_COMPONENTS", kAllComponents}, {u"CE_MODULES", kAllModules}},
                      {},
                      {}},
        ComponentCase{"WithoutShexec",
                      {{u"COREDLL_COMPONENTS", u"coremain corecrt"}, {u"CE_MODULES", kAllModules}},
                      {480},
                      {}},
        ComponentCase{"WordsInAnyCaseAndTabs",
                      {{u"coredll_components", u"CoreCrt\tSHEXEC"}, {u"CE_MODULES", u"\tFILESYS "}},
                      {},
                      {}},
        ComponentCase{"OnlyWholeWords",
                      {{u"COREDLL_COMPONENTS", u"shexecx corecrt2"}, {u"CE_MODULES", u"filesys"}},
                      {480, 1044, 1047},
                      {}},
        ComponentCase{"WithoutFilesys",
                      {{u"COREDLL_COMPONENTS", kAllComponents}, {u"CE_MODULES", u"coredll nk"}},
                      {180, 167, 455, 461, 463},
                      {}},
        ComponentCase{"OnlyComponentsKnown",
                      {{u"COREDLL_COMPONENTS", u"corecrt"}},
                      {480},
                      {"COREDLL: CE_MODULES is not known (--environment, --define): whether the "
                       "image's COREDLL has the launcher's FindClose, FindFirstFileW, RegCloseKey, "
                       "RegOpenKeyExW, RegQueryValueExW could not be judged"}},
        ComponentCase{"OnlyModulesKnown",
                      {{u"CE_MODULES", kAllModules}},
                      {},
                      {"COREDLL_COMPONENTS is not known (--environment, --define): whether the "
                       "image's COREDLL has the launcher's ShellExecuteEx, memcpy, memset could "
                       "not be judged"}}),
    [](const ::testing::TestParamInfo<ComponentCase>& p) { return p.param.name; });

TEST(Components, TheFindingSaysWhatTheUnitPrints) {
    sim::Device& device = SetUpDevice({u"Kelbrun.EXE"});
    imagefiles::Variables variables;
    variables.Set(u"COREDLL_COMPONENTS", u"corecrt");
    variables.Set(u"CE_MODULES", kAllModules);
    imagecheck::CheckContext context;
    context.variables = &variables;
    const setupcheck::Report report = setupcheck::CheckSetup(device, false, context);
    ASSERT_EQ(1u, report.findings.size()) << Listing(report.findings);
    EXPECT_EQ(
        "COREDLL: the launcher imports ShellExecuteEx (ordinal 480), which COREDLL exports "
        "only with COREDLL_SHEXEC, and COREDLL_COMPONENTS has no \"shexec\": the unit's "
        "loader refuses the launcher and prints \"ERROR: function @ Ordinal 480 missing in "
        "Module 'coredll.dll'\"",
        report.findings[0].Text());
}

struct GateCase {
    std::u16string gate;
    std::optional<bool> holds;
};

TEST(Components, GatesByCefiltersRule) {
    imagefiles::Variables variables;
    variables.Set(u"CE_MODULES", u"coredll filesys");
    variables.Set(u"COREDLL_COMPONENTS", u"shexec");
    variables.Set(u"SHELL_MODULES", u"");
    // A module whose name holds an underscore.
    variables.Set(u"MY_MOD_COMPONENTS", u"part");
    const GateCase cases[] = {
        {u"always", true},
        {u"ALWAYS", true},
        {u"CE_MODULES_FILESYS", true},
        {u"ce_modules_filesys", true},
        {u"CE_MODULES_NK", false},
        {u"COREDLL_SHEXEC", true},
        {u"COREDLL_CORECRT", false},
        {u"SHELL_MODULES_X", false},
        {u"GWES_MODULES_WMBASE", {}},
        {u"AYGSHELL_X", {}},
        {u"NOUNDERSCORE", {}},
        {u"_SHEXEC", {}},
        {u"COREDLL_", {}},
        {u"CE_MODULES_", {}},
        {u"MY_MOD_PART", true},
        {u"my_mod_part", true},
        {u"MY_MOD_OTHER", false},
    };
    for (const GateCase& c : cases) {
        SCOPED_TRACE(std::string(c.gate.begin(), c.gate.end()));
        EXPECT_EQ(c.holds, imagecheck::GateHolds(c.gate, variables));
    }
    // "always" holds with no variable known at all.
    EXPECT_EQ(std::optional<bool>(true), imagecheck::GateHolds(u"always", imagefiles::Variables()));
}

// A gate is read once, in every way Cefilter's rule allows; the reading that decided is the one
// a finding names.
TEST(Components, AGateIsReadOnceAndNamesTheVariableThatDecided) {
    using imagefiles::GateReading;
    EXPECT_EQ((std::vector<GateReading>{{u"CE_MODULES", u"FILESYS"},
                                        {u"CE_COMPONENTS", u"MODULES_FILESYS"},
                                        {u"CE_MODULES_COMPONENTS", u"FILESYS"}}),
              imagefiles::GateReadings(u"ce_modules_filesys"));
    EXPECT_EQ((std::vector<GateReading>{{u"MY_COMPONENTS", u"MOD_PART"},
                                        {u"MY_MOD_COMPONENTS", u"PART"}}),
              imagefiles::GateReadings(u"MY_MOD_PART"));
    EXPECT_TRUE(imagefiles::GateReadings(u"NOUNDERSCORE").empty());
    EXPECT_TRUE(imagefiles::GateReadings(u"_X").empty());
    EXPECT_TRUE(imagefiles::GateReadings(u"X_").empty());

    imagefiles::Variables variables;
    variables.Set(u"MY_MOD_COMPONENTS", u"other");
    auto decision = imagecheck::DecideGate(u"MY_MOD_PART", variables);
    ASSERT_TRUE(decision.has_value());
    EXPECT_FALSE(decision->holds);
    EXPECT_EQ((GateReading{u"MY_MOD_COMPONENTS", u"PART"}), decision->by);
    // Of two variables set, the one that holds the word decides.
    variables.Set(u"MY_COMPONENTS", u"nothing");
    variables.Set(u"MY_MOD_COMPONENTS", u"part");
    decision = imagecheck::DecideGate(u"MY_MOD_PART", variables);
    ASSERT_TRUE(decision.has_value());
    EXPECT_TRUE(decision->holds);
    EXPECT_EQ((GateReading{u"MY_MOD_COMPONENTS", u"PART"}), decision->by);
    EXPECT_FALSE(imagecheck::DecideGate(u"OTHER_PART", variables).has_value());
}

}  // namespace
