// How device paths map onto the host folder that stands for the device's root.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/sim/file_system.h"
#include "tests/sim_test_support.h"

namespace {

struct PathCase {
    const char* name;
    std::u16string devicePath;
    const char* found;  // host path below the root, or nullptr when nothing is found
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << c.name;
}

class DevicePaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(DevicePaths, ResolveInsideTheRootOnly) {
    const PathCase& c = GetParam();
    testing_support::ScratchRoot parent;
    parent.AddFile("root/SDMMC/UPDATE/Kelbrun.EXE");
    parent.AddFile("root/SDMMC/Data/maps.dat");
    parent.AddFolder("root/Folder.EXE");
    parent.AddFile("root/ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    parent.AddFile("secret.txt");
    std::filesystem::create_directory_symlink(parent.Path(), parent.Path() / "root/escape");

    sim::FileSystem files;
    files.SetRoot(parent.Path() / "root");
    const auto entry = files.Find(c.devicePath);
    if (c.found == nullptr) {
        EXPECT_FALSE(entry.has_value()) << entry->hostPath;
    } else {
        ASSERT_TRUE(entry.has_value());
        EXPECT_EQ(parent.Path() / "root" / c.found, entry->hostPath);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DevicePaths,
    ::testing::Values(
        PathCase{"Exact", u"\\SDMMC\\UPDATE\\Kelbrun.EXE", "SDMMC/UPDATE/Kelbrun.EXE"},
        PathCase{"AnyCase", u"\\sdmmc\\update\\KELBRUN.exe", "SDMMC/UPDATE/Kelbrun.EXE"},
        PathCase{"ForwardSlashes", u"/SDMMC/UPDATE/Kelbrun.EXE", "SDMMC/UPDATE/Kelbrun.EXE"},
        PathCase{"WithoutLeadingSeparator", u"SDMMC\\Data\\maps.dat", "SDMMC/Data/maps.dat"},
        PathCase{"DoubledSeparators", u"\\\\SDMMC\\\\Data\\maps.dat", "SDMMC/Data/maps.dat"},
        PathCase{"DotsInside", u"\\SDMMC\\.\\Data\\..\\UPDATE\\Kelbrun.EXE",
                 "SDMMC/UPDATE/Kelbrun.EXE"},
        PathCase{"FolderCounts", u"\\Folder.exe", "Folder.EXE"},
        PathCase{"StarInLast", u"\\SDMMC\\UPDATE\\*.EXE", "SDMMC/UPDATE/Kelbrun.EXE"},
        PathCase{"QuestionInLast", u"\\SDMMC\\Data\\map?.dat", "SDMMC/Data/maps.dat"},
        PathCase{"StarAlone", u"\\SDMMC\\Data\\*", "SDMMC/Data/maps.dat"},
        PathCase{"WildcardNotInLast", u"\\SD*\\Data\\maps.dat", nullptr},
        PathCase{"Missing", u"\\SDMMC\\UPDATE\\Navigon.exe", nullptr},
        PathCase{"FileAsFolder", u"\\SDMMC\\Data\\maps.dat\\x", nullptr},
        PathCase{"TrailingSeparator", u"\\SDMMC\\UPDATE\\", nullptr},
        PathCase{"RootItself", u"\\", nullptr}, PathCase{"Empty", u"", nullptr},
        PathCase{"DotDotStaysAtRoot", u"\\..\\..\\SDMMC\\Data\\maps.dat", "SDMMC/Data/maps.dat"},
        PathCase{"DotDotCannotReachAbove", u"\\..\\secret.txt", nullptr},
        PathCase{"LinksAreNotFollowed", u"\\escape\\secret.txt", nullptr},
        // Spelt in another case, the link is reached by listing the folder: still not followed.
        PathCase{"LinksInAnotherCaseAreNotFollowed", u"\\ESCAPE\\secret.txt", nullptr},
        PathCase{"WholeAlphabetFolds", u"\\abcdefghijklmnopqrstuvwxyz",
                 "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
        PathCase{"WholeAlphabetFoldsBack", u"\\sdmmc\\data\\MAPS.DAT", "SDMMC/Data/maps.dat"}),
    [](const ::testing::TestParamInfo<PathCase>& p) { return p.param.name; });

TEST(FileSystem, WithoutRootNothingExists) {
    sim::FileSystem files;
    EXPECT_FALSE(files.Find(u"\\Windows\\Kelbrun.EXE").has_value());
}

struct MountCase {
    const char* name;
    std::u16string devicePath;
    uint32_t nowMs;
    bool found;
};

void PrintTo(const MountCase& c, std::ostream* os) {
    *os << c.name;
}

class MountedFolders : public ::testing::TestWithParam<MountCase> {};

// \SDMMC mounts at 1000 ms. Every way of naming it, or anything under it, sees the same.
TEST_P(MountedFolders, ExistFromTheirTimeOn) {
    const MountCase& c = GetParam();
    testing_support::ScratchRoot root;
    root.AddFile("SDMMC/UPDATE/Kelbrun.EXE");
    root.AddFile("Flash/Navigon.exe");
    sim::FileSystem files;
    files.SetRoot(root.Path());
    ASSERT_FALSE(files.AddMount(u"\\SDMMC", 1000).has_value());
    EXPECT_EQ(c.found, files.Find(c.devicePath, c.nowMs).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Times, MountedFolders,
    ::testing::Values(
        MountCase{"ExactSpellingBefore", u"\\SDMMC\\UPDATE\\Kelbrun.EXE", 999, false},
        MountCase{"ExactSpellingAt", u"\\SDMMC\\UPDATE\\Kelbrun.EXE", 1000, true},
        MountCase{"OtherCaseBefore", u"\\sdmmc\\update\\kelbrun.exe", 999, false},
        MountCase{"OtherCaseAt", u"\\sdmmc\\update\\kelbrun.exe", 1000, true},
        MountCase{"FolderItselfBefore", u"\\SDMMC", 999, false},
        MountCase{"FolderItselfAt", u"\\sdmmc", 1000, true},
        MountCase{"WildcardBefore", u"\\SD*", 999, false},
        MountCase{"WildcardAt", u"\\SD*", 1000, true},
        MountCase{"ThroughDotDotBefore", u"\\SDMMC\\..\\Flash\\Navigon.exe", 999, false},
        MountCase{"OtherFolderBefore", u"\\Flash\\Navigon.exe", 0, true},
        MountCase{"WithoutTimeEverythingIsMounted", u"\\SDMMC\\UPDATE", UINT32_MAX, true}),
    [](const ::testing::TestParamInfo<MountCase>& p) { return p.param.name; });

TEST(FileSystem, AMountMustBeOneFolderUnderTheRoot) {
    testing_support::ScratchRoot root;
    root.AddFile("SDMMC/file.txt");
    sim::FileSystem files;
    EXPECT_TRUE(files.AddMount(u"\\SDMMC", 1).has_value()) << "no root";
    files.SetRoot(root.Path());
    EXPECT_TRUE(files.AddMount(u"\\", 1).has_value());
    EXPECT_TRUE(files.AddMount(u"\\Missing", 1).has_value());
    EXPECT_TRUE(files.AddMount(u"\\SD*", 1).has_value());
    EXPECT_TRUE(files.AddMount(u"\\SDMMC\\file.txt", 1).has_value());
    EXPECT_FALSE(files.AddMount(u"\\SDMMC", 1).has_value());
    EXPECT_TRUE(files.AddMount(u"\\sdmmc", 2).has_value()) << "the same folder twice";
    ASSERT_EQ(1u, files.Mounts().size());
    EXPECT_EQ(u"\\SDMMC", files.Mounts()[0].folder);
    EXPECT_EQ(1u, files.Mounts()[0].atMs);
}

TEST(FileSystem, NameMatching) {
    struct Case {
        std::u16string pattern, name;
        bool matches;
    };
    const Case cases[] = {
        {u"*", u"", true},
        {u"*.exe", u"KELBRUN.EXE", true},
        {u"?", u"", false},
        {u"a*b*c", u"aXbYc", true},
        {u"a*b*c", u"aXbY", false},
        {u"*a", u"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", false},
        {u"k?lbrun", u"Kelbrun", true},
        {u"kelbrun", u"kelbrun2", false},
        {u"abcdefghijklmnopqrstuvwxyz", u"ABCDEFGHIJKLMNOPQRSTUVWXYZ", true},
        {u"ABCDEFGHIJKLMNOPQRSTUVWXYZ", u"abcdefghijklmnopqrstuvwxyz", true},
        // The neighbours of the letters differ by the same bit, but are not letters.
        {u"@[`{", u"`{@[", false},
        {u"\u00e9", u"\u00c9", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.matches, sim::FileSystem::NameMatches(c.pattern, c.name))
            << std::string(c.pattern.begin(), c.pattern.end());
    }
}

}  // namespace
