// Where Windows CE 5.0's kernel looks for each program the launch loop starts: \Windows, \,
// each folder of SystemPath, with ".exe" and without, up to its limit on a path.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/device.h"
#include "platform/sim/text.h"
#include "tests/check_test_support.h"
#include "tests/init_test_support.h"
#include "tests/sim_test_support.h"
#include "tools/kelbrun-sim/boot_order.h"
#include "tools/kelbrun-sim/program_search.h"
#include "tools/kelbrun-sim/setup_check.h"

namespace {

using namespace testing_support::init;
using setupcheck::Finding;
using testing_support::Count;
using testing_support::kPathsKey;
using testing_support::Listing;
using testing_support::ScratchRoot;

// --- where the kernel looks for each program ----------------------------------------------------

// Launch60's program looked for under a root; entry 70 waits for it, and goes on without it
// when it is not found. A "Windows/" file stands for the image's \Windows, with device.exe and
// gwes.exe in it.
TEST(ProgramSearch, ProgramsAreLookedForWhereTheKernelLooks) {
    const std::u16string name250 = std::u16string(246, u'n') + u".exe";
    const std::string gwes = "Windows/gwes.exe";
    const struct {
        std::u16string program;
        std::vector<std::string> files;
        std::vector<uint8_t> systemPath;  // REG_MULTI_SZ unless systemPathType says otherwise
        size_t errors;
        size_t warnings;
        std::string part;
        uint32_t systemPathType = sim::kRegMultiSz;
    } kCases[] = {
        {u"\\Res\\svc.exe", {"Res/svc.exe"}, {}, 0, 0, ""},
        {u"\\Res\\svc.exe", {}, {}, 1, 1, "(tried \\Res\\svc.exe, \\Res\\svc.exe.exe): the"},
        // Without a \Windows folder the image's files are unknown: nothing to say.
        {u"svc.exe", {}, {}, 0, 0, ""},
        {u"svc.exe", {"Windows/svc.exe"}, {}, 0, 0, ""},
        {u"svc.exe", {gwes}, {}, 1, 1, "\\Windows\\svc.exe, \\svc.exe, \\Windows\\svc.exe.exe"},
        {u"svc", {"Windows/svc.exe"}, {}, 0, 0, ""},
        {u"Apps\\svc.exe", {gwes, "Apps/svc.exe"}, {}, 0, 0, ""},
        {u"nav", {gwes, "B/nav.exe"}, MultiSz({u"\\A\\", u"\\B\\"}), 0, 0, ""},
        // Joined as the kernel joins them: "\B" and "nav.exe" are "\Bnav.exe".
        {u"nav.exe", {gwes, "B/nav.exe"}, MultiSz({u"\\B"}), 1, 2, "\\Bnav.exe"},
        {u"nav.exe", {gwes, "Bnav.exe"}, MultiSz({u"\\B"}), 0, 1, "not end in a backslash"},
        {u"nav.exe", {gwes, "B/nav.exe"}, Chars(u"\\B\\"), 1, 2, "not REG_MULTI_SZ", 1},
        {u"nav.exe",
         {gwes, "B/nav.exe"},
         MultiSz({u"\\A\\", u"", u"\\B\\"}),
         1,
         1,
         "\\A\\nav.exe, \\W"},
        {u"nav.exe", {gwes, "Apps/nav.exe"}, SystemPathOf(518), 0, 0, ""},
        {u"nav.exe", {gwes, "Apps/nav.exe"}, SystemPathOf(520), 1, 2, "520 bytes, not fewer"},
        // \Windows\ and 250 characters are the 259 a path holds; one more is not tried there.
        {name250, {"Windows/" + sim::ToUtf8(name250)}, {}, 0, 0, ""},
        {u"m" + name250, {"Windows/m" + sim::ToUtf8(name250)}, {}, 1, 1, "(tried \\m"},
        // A name of 259 characters is looked for as it stands.
        {u"\\Res\\" + std::u16string(254, u'p'), {"Res/" + std::string(254, 'p')}, {}, 0, 0, ""}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(sim::ToUtf8(c.program) + " " + c.part);
        sim::Device& device = WellSetUpDevice();
        SetInit(device,
                {Launch(60, c.program), Launch(70, u"\\Late\\after.exe"), Depend(70, {60})});
        if (!c.systemPath.empty()) {
            device.registry.SetValue(u"HKEY_LOCAL_MACHINE\\Loader", u"SystemPath",
                                     sim::RegistryValue{c.systemPathType, c.systemPath});
        }
        ScratchRoot root;
        root.AddFile("Late/after.exe");
        root.AddFolder("SDMMC");
        for (const std::string& file : c.files) {
            root.AddFile(file);
            if (file.starts_with("Windows/")) {
                root.AddFile("Windows/device.exe");
                root.AddFile("Windows/gwes.exe");
                root.AddFile("Windows/Kelbrun.EXE");
            }
        }
        device.files.SetRoot(root.Path());
        const setupcheck::Report report = setupcheck::CheckSetup(device, true);
        EXPECT_EQ(c.errors, Count(report.findings, Level::kError)) << Listing(report.findings);
        EXPECT_EQ(c.warnings, Count(report.findings, Level::kWarning)) << Listing(report.findings);
        EXPECT_NE(std::string::npos, Listing(report.findings).find(c.part))
            << Listing(report.findings);
        EXPECT_EQ(Has(report.findings, Level::kError, "Launch60: "),
                  Has(report.findings, Level::kWarning, "70 starts without it"));
        EXPECT_EQ(report.order.entries.size(), report.bootStopsAt);
    }
}

// The kernel looks for a name of up to 259 characters, and with ".exe" when that fits too; a
// longer one it refuses. (The launch loop cuts a longer LaunchNN before the kernel sees it.)
TEST(ProgramSearch, TheKernelLooksForNamesOfUpTo259Characters) {
    const std::u16string abs255 = u"\\" + std::u16string(254, u'p');
    const struct {
        std::u16string program;
        std::vector<std::u16string> tries;
    } kCases[] = {
        {abs255, {abs255, abs255 + u".exe"}},
        {abs255 + u"p", {abs255 + u"p"}},
        {abs255 + u"pppp", {abs255 + u"pppp"}},
        {abs255 + u"ppppp", {}},
        // Relative: \Windows\ and 250 fill the 259; with ".exe" only \ leaves room.
        {std::u16string(250, u'n'),
         {u"\\Windows\\" + std::u16string(250, u'n'), u"\\" + std::u16string(250, u'n'),
          u"\\" + std::u16string(250, u'n') + u".exe"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.program.size());
        EXPECT_EQ(c.tries, programsearch::Candidates(c.program, {}));
    }
}

TEST(ProgramSearch, WithoutARootNoFileIsLookedFor) {
    sim::Device& device = WellSetUpDevice();
    device.registry.SetString(kInit, u"Launch50", u"\\Apps\\Kelbrun.EXE");
    const setupcheck::Report report = setupcheck::CheckSetup(device, false);
    EXPECT_TRUE(report.findings.empty()) << Listing(report.findings);
    EXPECT_FALSE(report.shortcutsLookedAt);
}

}  // namespace
