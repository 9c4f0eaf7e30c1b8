// The init key and the unit the --check tests build on the simulated device: values of the
// launch loop's forms, a unit set up well, and what its findings say.
#ifndef KELBRUN_TESTS_INIT_TEST_SUPPORT_H
#define KELBRUN_TESTS_INIT_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sim/device.h"
#include "platform/sim/registry.h"
#include "platform/sim/startup.h"
#include "platform/sim/text.h"
#include "tests/sim_test_support.h"
#include "tools/kelbrun-sim/finding.h"

namespace testing_support::init {

using Level = setupcheck::Finding::Level;

inline constexpr char16_t kInit[] = u"HKEY_LOCAL_MACHINE\\init";

// One value of the init key; numbers become the REG_BINARY of 16-bit launch numbers.
struct InitValue {
    std::u16string name;
    std::u16string text;            // a REG_SZ, when bytes is empty and numbers is empty
    std::vector<uint32_t> numbers;  // a DependNN's launch numbers
    std::vector<uint8_t> bytes;     // raw bytes, with type
    uint32_t type = sim::kRegSz;
};

inline InitValue Launch(int number, std::u16string program) {
    return {u"Launch" + sim::FromUtf8(std::to_string(number)).value(),
            std::move(program),
            {},
            {},
            sim::kRegSz};
}

inline InitValue Depend(int number, std::vector<uint32_t> numbers) {
    return {u"Depend" + sim::FromUtf8(std::to_string(number)).value(),
            {},
            std::move(numbers),
            {},
            sim::kRegBinary};
}

inline InitValue Raw(std::u16string name, std::vector<uint8_t> bytes, uint32_t type) {
    return {std::move(name), {}, {}, std::move(bytes), type};
}

inline void SetInit(sim::Device& device, const std::vector<InitValue>& values) {
    for (const InitValue& v : values) {
        sim::RegistryValue value;
        value.type = v.type;
        if (!v.numbers.empty()) {
            for (uint32_t n : v.numbers) {
                value.bytes.push_back(static_cast<uint8_t>(n & 0xFF));
                value.bytes.push_back(static_cast<uint8_t>(n >> 8));
            }
        } else if (!v.bytes.empty() || v.type != sim::kRegSz) {
            value.bytes = v.bytes;
        } else {
            value = sim::Registry::StringValue(v.text);
        }
        device.registry.SetValue(kInit, v.name, value);
    }
}

// A unit set up well: the launcher last in the boot, its three folders set.
inline sim::Device& WellSetUpDevice() {
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    device.waitForReal = false;
    SetInit(device, {Launch(20, u"device.exe"), Launch(30, u"gwes.exe"), Depend(30, {20}),
                     Launch(50, u"Kelbrun.EXE"), Depend(50, {20, 30})});
    device.registry.SetString(kPathsKey, u"SDMMC", u"\\SDMMC");
    device.registry.SetString(kPathsKey, u"DataStorage", u"\\SDMMC\\Data");
    device.registry.SetString(kPathsKey, u"User", u"\\ResidentFlash");
    return device;
}

inline bool Has(const setupcheck::Findings& findings, Level level, const std::string& part) {
    for (const setupcheck::Finding& f : findings) {
        if (f.level == level && f.Text().find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// A DependNN's bytes: each 16-bit number 20 (device.exe, which starts first), no zero.
inline std::vector<uint8_t> Bytes(size_t count) {
    std::vector<uint8_t> bytes(count, 0);
    for (size_t i = 0; i < count; i += 2) {
        bytes[i] = 20;
    }
    return bytes;
}

inline std::vector<uint8_t> Chars(std::u16string_view text, bool terminated = true) {
    std::vector<uint8_t> bytes = sim::Utf16LeBytes(text);
    if (terminated) {
        bytes.insert(bytes.end(), {0, 0});
    }
    return bytes;
}

inline std::vector<uint8_t> MultiSz(const std::vector<std::u16string>& strings) {
    std::vector<uint8_t> bytes;
    for (const std::u16string& s : strings) {
        const std::vector<uint8_t> one = Chars(s);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

// "\Apps\" after a filler folder, in a SystemPath of the given size.
inline std::vector<uint8_t> SystemPathOf(size_t bytes) {
    return MultiSz({u"\\" + std::u16string(bytes / 2 - 11, u'f') + u"\\", u"\\Apps\\"});
}

}  // namespace testing_support::init

#endif  // KELBRUN_TESTS_INIT_TEST_SUPPORT_H
