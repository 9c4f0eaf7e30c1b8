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

// --- the OS image's files behind the root folder's --------------------------------------------

enum class From { kNothing, kRoot, kImage };

struct ImagePathCase {
    const char* name;
    std::u16string devicePath;
    bool withRoot;
    From from;
    bool isFolder;
    const char* content;  // the host file below the scratch folder, "" for none
};

void PrintTo(const ImagePathCase& c, std::ostream* os) {
    *os << c.name;
}

class ImagePaths : public ::testing::TestWithParam<ImagePathCase> {};

// The image: gwes.exe of unknown content and nav.exe of known content in \Windows, a folder and
// a copy of nav.exe in \Program Files\Navigator, and \Data with a file. The root: its own
// nav.exe and Kelbrun.EXE in \Windows, a shortcut in \Windows\StartUp, and a file named Data.
TEST_P(ImagePaths, RootFilesShadowTheImagesOnes) {
    const ImagePathCase& c = GetParam();
    testing_support::ScratchRoot scratch;
    scratch.AddFile("host/nav.exe");
    scratch.AddFile("root/Windows/nav.exe");
    scratch.AddFile("root/Windows/Kelbrun.EXE");
    scratch.AddFile("root/Windows/StartUp/nav.lnk");
    scratch.AddFile("root/Data");
    sim::FileSystem files;
    if (c.withRoot) {
        files.SetRoot(scratch.Path() / "root");
    }
    ASSERT_FALSE(files.AddImageFile(u"\\Windows\\gwes.exe", std::nullopt));
    ASSERT_FALSE(files.AddImageFile(u"\\Windows\\nav.exe", scratch.Path() / "host/nav.exe"));
    ASSERT_FALSE(files.AddImageFolder(u"\\Program Files\\Navigator"));
    ASSERT_FALSE(files.AddImageFile(u"\\Program Files\\Navigator\\nav.exe",
                                    scratch.Path() / "host/nav.exe"));
    ASSERT_FALSE(files.AddImageFile(u"\\Data\\maps.dat", std::nullopt));
    const auto entry = files.Find(c.devicePath);
    if (c.from == From::kNothing) {
        EXPECT_FALSE(entry.has_value()) << entry->hostPath;
        return;
    }
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(c.from == From::kImage, entry->fromImage);
    EXPECT_EQ(c.isFolder, entry->isFolder);
    if (c.from == From::kImage) {
        EXPECT_EQ(*c.content == '\0' ? std::filesystem::path() : scratch.Path() / c.content,
                  entry->hostPath);
    } else {
        EXPECT_EQ(scratch.Path() / c.content, entry->hostPath);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ImagePaths,
    ::testing::Values(
        ImagePathCase{"ContentUnknown", u"\\Windows\\gwes.exe", true, From::kImage, false, ""},
        ImagePathCase{"AnyCase", u"\\WINDOWS\\GWES.EXE", true, From::kImage, false, ""},
        ImagePathCase{"WildcardReachesTheImage", u"\\Windows\\g*.exe", true, From::kImage, false,
                      ""},
        ImagePathCase{"RootWinsOverTheImage", u"\\Windows\\nav.exe", true, From::kRoot, false,
                      "root/Windows/nav.exe"},
        ImagePathCase{"TheImagesWithoutRoot", u"\\Windows\\nav.exe", false, From::kImage, false,
                      "host/nav.exe"},
        ImagePathCase{"RootOnlyInAMergedFolder", u"\\Windows\\StartUp\\nav.lnk", true, From::kRoot,
                      false, "root/Windows/StartUp/nav.lnk"},
        ImagePathCase{"RootOnlyWithoutRoot", u"\\Windows\\Kelbrun.EXE", false, From::kNothing,
                      false, ""},
        ImagePathCase{"MergedFolderIsTheRoots", u"\\Windows", true, From::kRoot, true,
                      "root/Windows"},
        ImagePathCase{"WindowsWithoutRoot", u"\\Windows", false, From::kImage, true, ""},
        ImagePathCase{"StoreFolder", u"\\program files\\navigator", true, From::kImage, true, ""},
        ImagePathCase{"ParentOfAStoreFolder", u"\\Program Files", false, From::kImage, true, ""},
        ImagePathCase{"CopyWithItsSourcesContent", u"\\Program Files\\Navigator\\nav.exe", true,
                      From::kImage, false, "host/nav.exe"},
        ImagePathCase{"DotDotInTheImage",
                      u"\\Windows\\..\\..\\Program Files\\.\\Navigator\\nav.exe", false,
                      From::kImage, false, "host/nav.exe"},
        ImagePathCase{"ARootFileShadowsAnImageFolder", u"\\Data\\maps.dat", true, From::kNothing,
                      false, ""},
        ImagePathCase{"TheImageFolderWithoutRoot", u"\\Data\\maps.dat", false, From::kImage, false,
                      ""},
        ImagePathCase{"FileAsFolder", u"\\Windows\\gwes.exe\\x", true, From::kNothing, false, ""},
        ImagePathCase{"Missing", u"\\Windows\\device.exe", true, From::kNothing, false, ""},
        ImagePathCase{"RootItself", u"\\", false, From::kNothing, false, ""}),
    [](const ::testing::TestParamInfo<ImagePathCase>& p) { return p.param.name; });

TEST(FileSystem, TheImageRefusesPathsItCannotHold) {
    sim::FileSystem files;
    EXPECT_FALSE(files.HasImage());
    EXPECT_FALSE(files.Find(u"\\Windows").has_value()) << "no image, no root: nothing";
    ASSERT_FALSE(files.AddImageFile(u"\\Windows\\gwes.exe", std::nullopt));
    EXPECT_TRUE(files.HasImage());
    const std::pair<std::u16string, bool> refused[] = {
        {u"\\Windows\\*.exe", false},
        {u"\\Windows\\..\\x", true},
        {u"\\Windows\\.", true},
        {u"\\", true},
        {u"", false},
        {u"\\Windows\\gwes.exe\\x", false},  // a file where a folder is needed
        {u"\\WINDOWS\\GWES.EXE", true},      // a folder where a file is
        {u"\\windows", false},               // a file where a folder is
    };
    for (const auto& [path, folder] : refused) {
        SCOPED_TRACE(std::string(path.begin(), path.end()));
        EXPECT_TRUE(folder ? files.AddImageFolder(path) : files.AddImageFile(path, std::nullopt));
    }
    EXPECT_EQ("\\Windows\\gwes.exe is already a file of the image",
              files.AddImageFolder(u"\\Windows\\gwes.exe").value_or(""));
    // Nothing refused was added, and the folder given twice is one.
    EXPECT_FALSE(files.Find(u"\\Windows\\x").has_value());
    EXPECT_FALSE(files.AddImageFolder(u"\\Apps"));
    EXPECT_FALSE(files.AddImageFolder(u"\\APPS\\"));
    EXPECT_TRUE(files.Find(u"\\Apps")->isFolder);
    // A later file of the same path replaces the earlier one, in its spelling.
    ASSERT_FALSE(files.AddImageFile(u"\\windows\\GWES.exe", "/srv/gwes.exe"));
    const auto gwes = files.Find(u"\\Windows\\gwes.exe");
    ASSERT_TRUE(gwes.has_value());
    EXPECT_EQ(u"GWES.exe", gwes->name);
    EXPECT_EQ(std::filesystem::path("/srv/gwes.exe"), gwes->hostPath);
}

TEST(FileSystem, AListingHoldsTheRootsEntriesAndTheImagesOthers) {
    testing_support::ScratchRoot root;
    root.AddFile("Windows/nav.exe");
    root.AddFile("Windows/StartUp/a.lnk");
    root.AddFile("SDMMC/x.txt");
    sim::FileSystem files;
    files.SetRoot(root.Path());
    ASSERT_FALSE(files.AddMount(u"\\SDMMC", 1000));
    ASSERT_FALSE(files.AddImageFile(u"\\Windows\\gwes.exe", std::nullopt));
    ASSERT_FALSE(files.AddImageFile(u"\\Windows\\NAV.EXE", "/srv/nav.exe"));
    ASSERT_FALSE(files.AddImageFile(u"\\Windows\\StartUp\\b.lnk", std::nullopt));
    ASSERT_FALSE(files.AddImageFolder(u"\\Apps"));
    struct ListCase {
        std::u16string folder;
        uint32_t nowMs;
        std::vector<std::pair<std::u16string, bool>> entries;  // name, from the image
    };
    const ListCase cases[] = {
        {u"\\Windows", 0, {{u"StartUp", false}, {u"gwes.exe", true}, {u"nav.exe", false}}},
        {u"\\windows\\startup\\", 0, {{u"a.lnk", false}, {u"b.lnk", true}}},
        {u"\\", 999, {{u"Apps", true}, {u"Windows", false}}},
        {u"", 1000, {{u"Apps", true}, {u"SDMMC", false}, {u"Windows", false}}},
        {u"\\SDMMC", 999, {}},
        {u"\\SDMMC", 1000, {{u"x.txt", false}}},
        {u"\\Windows\\gwes.exe", 0, {}},
        {u"\\Apps", 0, {}},
        {u"\\Missing", 0, {}},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << std::string(c.folder.begin(), c.folder.end()) << " at " << c.nowMs);
        std::vector<std::pair<std::u16string, bool>> listed;
        for (const sim::FoundEntry& entry : files.List(c.folder, c.nowMs)) {
            listed.emplace_back(entry.name, entry.fromImage);
        }
        EXPECT_EQ(c.entries, listed);
    }
    // Without the root, the image's alone; without either, nothing.
    files.SetRoot(std::nullopt);
    EXPECT_EQ(1u, files.List(u"\\Windows\\StartUp").size());
    EXPECT_TRUE(sim::FileSystem().List(u"\\").empty());
}
