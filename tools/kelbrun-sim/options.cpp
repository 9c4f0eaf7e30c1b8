#include "tools/kelbrun-sim/options.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/sim/emulator/coredll.h"
#include "platform/sim/emulator/pe_image.h"
#include "platform/sim/host_file.h"

#include "platform/sim/text.h"
#include "tools/kelbrun-sim/image_files/design_reader.h"
#include "tools/kelbrun-sim/image_files/device_image.h"
#include "tools/kelbrun-sim/release_folder.h"

namespace simoptions {

const char kUsage[] =
    "usage: kelbrun-sim [--registry FILE]... [--define NAME[=VALUE]]... [--root DIR] "
    "[--self PATH]\n"
    "                   [--environment FILE]... [--strings FILE]... [--codepage N]\n"
    "                   [--map 'C:\\WINCE500=DIR']... [--cesysgen] [--bib FILE]... "
    "[--dat FILE]...\n"
    "                   [--no-wait] [--shell-fails] [--mount FOLDER=MS]... "
    "[--export-registry FILE]\n"
    "                   [--exe FILE [--cpu armv4t|armv5te] [--load-only] [--coredll DLL]] "
    "[--release DIR] "
    "[--check]\n"
    "                   [--verbose] [--explain LOG]\n"
    "--coredll runs --exe on a unit's own coredll.dll, with only the kernel's calls simulated\n"
    "--release DIR: an OS design's flat release folder (reginit.ini, ce.bib, initobj.dat, its\n"
    "        files as \\Windows, coredll.dll for --coredll, Kelbrun.EXE for --exe)\n"
    "--check writes the unit's boot order and what in its setup would stop the launcher,\n"
    "        and runs nothing (exit status 1 when it finds an error): the errors first, and\n"
    "        of each kind of warning three and a count; --verbose lists every warning\n"
    "--registry, --bib, --dat: an OS design's .reg, .bib and .dat files, read as the image\n"
    "        builder reads them; --environment: the build window's variables (set > FILE);\n"
    "        --define wins over it; --strings: .str files for LOC_ tokens, --define\n"
    "        LOC_NAME=VALUE one token; --codepage: of files that are not UTF-8 (default\n"
    "        1252); --map: the host folder of a Windows folder named by #include and .bib\n"
    "        paths; --cesysgen: decide @CESYSGEN blocks\n"
    "--explain LOG says what a unit's debug log tells of the launcher's runs; with the\n"
    "        unit's registry and files, where each run departs from the dry run\n";

// An hour of device time: far beyond any boot, and well inside the device clock's range.
constexpr uint32_t kLatestMountMs = 3600000;

namespace {

// "FOLDER=MS": the folder up to the last "=", then a whole number of milliseconds.
MountOption ParseMount(const std::string& value) {
    const size_t equals = value.rfind('=');
    if (equals == std::string::npos || equals == 0) {
        throw UsageError{"--mount needs FOLDER=MS, such as \\SDMMC=1200; not " + value};
    }
    MountOption mount{value.substr(0, equals), 0};
    const std::string ms = value.substr(equals + 1);
    uint32_t atMs = 0;
    bool valid = !ms.empty();
    for (char c : ms) {
        if (c < '0' || c > '9' || atMs > kLatestMountMs) {
            valid = false;
            break;
        }
        atMs = atMs * 10 + static_cast<uint32_t>(c - '0');
    }
    if (!valid || atMs > kLatestMountMs) {
        throw UsageError{"--mount " + value +
                         ": MS must be a whole number of milliseconds from 0 to " +
                         std::to_string(kLatestMountMs)};
    }
    mount.atMs = atMs;
    return mount;
}

// "NAME=VALUE", split at the first "=" (names have none); "NAME" alone sets NAME to 1, as a
// build's "set NAME=1" would.
DefineOption ParseDefine(const std::string& value) {
    const size_t equals = value.find('=');
    DefineOption define{value.substr(0, equals), "1"};
    if (equals != std::string::npos) {
        define.value = value.substr(equals + 1);
    }
    if (define.name.empty() || define.value.empty() ||
        define.name.find_first_of(" \t!") != std::string::npos) {
        throw UsageError{
            "--define needs NAME or NAME=VALUE, a name without blanks or ! and a "
            "value that is not empty; not " +
            value};
    }
    return define;
}

// "PREFIX=FOLDER", split at the first "=" (a Windows path has none).
MapOption ParseMap(const std::string& value) {
    const size_t equals = value.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == value.size()) {
        throw UsageError{
            "--map needs WINDOWS-FOLDER=HOST-FOLDER, such as "
            "'C:\\WINCE500=/srv/wince500'; not " +
            value};
    }
    return MapOption{value.substr(0, equals), value.substr(equals + 1)};
}

int ParseCodepage(const std::string& value) {
    int codepage = 0;
    bool valid = !value.empty() && value.size() <= 5;
    for (char c : value) {
        valid = valid && c >= '0' && c <= '9';
        codepage = valid ? codepage * 10 + (c - '0') : 0;
    }
    if (!valid || !imagefiles::IsKnownCodepage(codepage)) {
        throw UsageError{
            "--codepage takes a Windows code page this host's converter knows, such "
            "as 1252 or 936; not " +
            value};
    }
    return codepage;
}

sim::Processor ParseCpu(const std::string& cpu) {
    if (cpu == "armv4t") {
        return sim::Processor::kArmv4t;
    }
    if (cpu == "armv5te") {
        return sim::Processor::kArmv5te;
    }
    throw UsageError{"--cpu takes armv4t or armv5te, not " + cpu};
}

// Options that each make sense only with another, or never together.
void RefuseContradictions(const Options& options) {
    if (options.loadOnly && !options.exe) {
        throw UsageError{"--load-only describes the loading of --exe, and there is no --exe"};
    }
    // A release folder may give the --exe that --coredll runs on; --check judges the launcher's
    // imports by it.
    if (options.coredll &&
        ((!options.exe && !options.release && !options.check) || options.loadOnly)) {
        throw UsageError{"--coredll runs --exe on the unit's library, and there is no --exe run"};
    }
    if (options.cpu && !options.exe) {
        throw UsageError{"--cpu chooses the processor for --exe, and there is no --exe"};
    }
    if (options.explain && (options.check || options.exe || options.exportRegistry)) {
        throw UsageError{"--explain reads a log beside a dry run of its own; it takes no " +
                         std::string(options.check ? "--check"
                                     : options.exe ? "--exe"
                                                   : "--export-registry")};
    }
    if (options.check && (options.exe || options.exportRegistry)) {
        throw UsageError{std::string("--check runs nothing and writes no registry; it takes no ") +
                         (options.exe ? "--exe" : "--export-registry")};
    }
}

// The options that take no value, one value given once, or a value each time they are given.
template <typename Field>
struct Named {
    const char* name;
    Field Options::*field;
};
constexpr Named<bool> kSwitches[] = {
    {"--cesysgen", &Options::cesysgen},
    {"--no-wait", &Options::noWait},
    {"--load-only", &Options::loadOnly},
    {"--shell-fails", &Options::shellFails},
    {"--check", &Options::check},
    {"--verbose", &Options::verbose},
    {"-h", &Options::help},
    {"--help", &Options::help},
};
constexpr Named<std::optional<std::string>> kOnce[] = {
    {"--export-registry", &Options::exportRegistry},
    {"--root", &Options::root},
    {"--self", &Options::self},
    {"--exe", &Options::exe},
    {"--coredll", &Options::coredll},
    {"--release", &Options::release},
    {"--explain", &Options::explain},
};
constexpr Named<std::vector<std::string>> kRepeated[] = {
    {"--registry", &Options::registries},
    {"--environment", &Options::environments},
    {"--strings", &Options::strings},
    {"--bib", &Options::bibs},
    {"--dat", &Options::dats},
};

// The command line's words, read one at a time.
struct Words {
    int count;
    char** words;
    int at;

    std::string Value(const std::string& option) {
        if (at + 1 >= count) {
            throw UsageError{option + " needs a value"};
        }
        return words[++at];
    }
};

template <typename Value>
void SetOnce(std::optional<Value>& slot, const std::string& option, Value value) {
    if (slot) {
        throw UsageError{option + " is given twice"};
    }
    slot = std::move(value);
}

// The options whose value is read into something else than its text.
bool ParseReadValue(const std::string& arg, Words& words, Options& options) {
    if (arg == "--define") {
        options.defines.push_back(ParseDefine(words.Value(arg)));
    } else if (arg == "--codepage") {
        SetOnce(options.codepage, arg, ParseCodepage(words.Value(arg)));
    } else if (arg == "--map") {
        options.maps.push_back(ParseMap(words.Value(arg)));
    } else if (arg == "--mount") {
        options.mounts.push_back(ParseMount(words.Value(arg)));
    } else if (arg == "--cpu") {
        SetOnce(options.cpu, arg, ParseCpu(words.Value(arg)));
    } else {
        return false;
    }
    return true;
}

void ParseOne(const std::string& arg, Words& words, Options& options) {
    for (const auto& option : kSwitches) {
        if (arg == option.name) {
            options.*option.field = true;
            return;
        }
    }
    for (const auto& option : kOnce) {
        if (arg == option.name) {
            SetOnce(options.*option.field, arg, words.Value(arg));
            return;
        }
    }
    for (const auto& option : kRepeated) {
        if (arg == option.name) {
            (options.*option.field).push_back(words.Value(arg));
            return;
        }
    }
    if (!ParseReadValue(arg, words, options)) {
        throw UsageError{"unknown argument: " + arg};
    }
}

}  // namespace

Options ParseOptions(int argc, char** argv, int first) {
    Options options;
    for (Words words{argc, argv, first}; words.at < argc; ++words.at) {
        ParseOne(words.words[words.at], words, options);
    }
    RefuseContradictions(options);
    if (auto error = ReadReleaseFolder(options)) {
        throw UsageError{*error};
    }
    return options;
}

}  // namespace simoptions
