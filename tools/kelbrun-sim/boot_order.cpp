#include "tools/kelbrun-sim/boot_order.h"

#include <algorithm>

#include "platform/sim/text.h"

namespace bootorder {
namespace {

using setupcheck::Finding;
using setupcheck::Findings;

// Where the finding's fact comes from: the kernel's launch loop of CE 3.0 is the one whose
// source is public; its CE 5.0 successor is not.
constexpr char kOnCe3[] = " (rests on CE 3.0's launch loop)";

constexpr std::u16string_view kLaunch = u"Launch";
constexpr std::u16string_view kDepend = u"Depend";

std::string Where(std::u16string_view valueName) {
    return "HKEY_LOCAL_MACHINE\\init, " + sim::ToUtf8(valueName) + ": ";
}

void Add(Findings& findings, Finding::Level level, std::string text) {
    findings.push_back(Finding{level, std::move(text)});
}

std::u16string TextUpToNul(const std::vector<uint8_t>& bytes) {
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0) {
            break;
        }
        text += unit;
    }
    return text;
}

// Decimal digits only; nine at most, so that every number fits.
bool ParseNumber(std::u16string_view digits, uint32_t& number) {
    if (digits.empty() || digits.size() > 9) {
        return false;
    }
    number = 0;
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9') {
            return false;
        }
        number = number * 10 + static_cast<uint32_t>(c - u'0');
    }
    return true;
}

std::u16string FileNameWithExe(std::u16string_view path) {
    const size_t slash = path.find_last_of(u"\\/");
    std::u16string name =
        sim::FoldCase(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
    if (!name.ends_with(u".EXE")) {
        name += u".EXE";
    }
    return name;
}

std::string TypeName(uint32_t type) {
    static const char* const kNames[] = {"REG_NONE",   "REG_SZ",      "REG_EXPAND_SZ",
                                         "REG_BINARY", "REG_DWORD",   "REG_DWORD_BIG_ENDIAN",
                                         "REG_LINK",   "REG_MULTI_SZ"};
    return type < std::size(kNames) ? kNames[type] : "of type " + std::to_string(type);
}

const Entry* FindEntry(const BootOrder& order, uint32_t number) {
    for (const Entry& entry : order.entries) {
        if (entry.number == number) {
            return &entry;
        }
    }
    return nullptr;
}

// The launch number in a LaunchNN's or DependNN's name, after its prefix; when the name holds
// none, a finding that says what that leads to.
bool ReadLaunchNumber(const sim::NamedValue& value, std::u16string_view prefix,
                      const char* consequence, uint32_t& number, Findings& findings) {
    const std::u16string_view digits = std::u16string_view(value.name).substr(prefix.size());
    if (ParseNumber(digits, number)) {
        return true;
    }
    Add(findings, Finding::Level::kError,
        Where(value.name) + "\"" + sim::ToUtf8(digits) + "\" after \"" + sim::ToUtf8(prefix) +
            "\" is no launch number (decimal digits): " + consequence + kOnCe3);
    return false;
}

void ReadLaunch(const sim::NamedValue& value, BootOrder& order, Findings& findings) {
    const std::u16string digits = value.name.substr(kLaunch.size());
    const std::string where = Where(value.name);
    uint32_t number = 0;
    if (!ReadLaunchNumber(value, kLaunch,
                          "no DependNN can name it, and whether the kernel starts it at all is "
                          "undefined",
                          number, findings)) {
        return;
    }
    // The launch loop does not look at the type: whatever the bytes are, they are the name.
    if (value.value.type != sim::kRegSz) {
        Add(findings, Finding::Level::kWarning,
            where + "is " + TypeName(value.value.type) +
                ", not REG_SZ: the kernel takes its bytes as the program's name all the same, "
                "which starts entry " +
                std::to_string(number) + " only if they spell one" + kOnCe3);
    }
    Entry entry;
    entry.number = number;
    entry.digits = digits;
    entry.program = TextUpToNul(value.value.bytes);
    if (entry.program.empty()) {
        Add(findings, Finding::Level::kError,
            where + "names no program: entry " + std::to_string(number) + " starts nothing");
        return;
    }
    if (const Entry* same = FindEntry(order, number)) {
        Add(findings, Finding::Level::kError,
            where + "has launch number " + std::to_string(number) + ", as Launch" +
                sim::ToUtf8(same->digits) +
                " has: the kernel keeps one entry for each number, and which of the two "
                "starts is undefined" +
                kOnCe3);
    }
    if (number > 0xFFFF) {
        Add(findings, Finding::Level::kWarning,
            where + "launch number " + std::to_string(number) +
                " does not fit the 16 bits of a DependNN: nothing can wait for it" + kOnCe3);
    }
    order.entries.push_back(std::move(entry));
}

void ReadDepend(const sim::NamedValue& value, BootOrder& order, Findings& findings) {
    const std::u16string digits = value.name.substr(kDepend.size());
    const std::string where = Where(value.name);
    uint32_t number = 0;
    if (!ReadLaunchNumber(value, kDepend, "which entry it holds back is undefined", number,
                          findings)) {
        return;
    }
    const std::vector<uint8_t>& bytes = value.value.bytes;
    std::string wrong;
    if (bytes.size() > kMostDependBytes) {
        wrong = "holds " + std::to_string(bytes.size()) + " bytes, more than the " +
                std::to_string(kMostDependBytes) + " (32 launch numbers) the kernel reads";
    } else if (bytes.size() % 2 != 0) {
        wrong = "holds an odd number of bytes (" + std::to_string(bytes.size()) +
                "), not whole 16-bit launch numbers";
    }
    if (!wrong.empty()) {
        Add(findings, Finding::Level::kError,
            where + wrong + ": the kernel skips it, and entry " + std::to_string(number) +
                " starts without waiting for anything" + kOnCe3);
        return;
    }
    if (value.value.type != sim::kRegBinary) {
        Add(findings, Finding::Level::kWarning,
            where + "is " + TypeName(value.value.type) +
                ", not REG_BINARY: the kernel reads its bytes as the launch numbers all the same" +
                kOnCe3);
    }
    // Paired by number, as the kernel reads both names' digits: Depend050 is Launch50's.
    auto entry = std::find_if(order.entries.begin(), order.entries.end(),
                              [&](const Entry& e) { return e.number == number; });
    if (entry == order.entries.end()) {
        // The launch loop makes an entry of a DependNN alone too: at its place in the order it
        // waits for what it lists, and then its start, of no program, fails, which counts as
        // started.
        Add(findings, Finding::Level::kWarning,
            where + "there is no Launch" + sim::ToUtf8(digits) + " beside it: entry " +
                std::to_string(number) +
                " starts no program, but the boot still waits there for what it lists" + kOnCe3);
        Entry alone;
        alone.number = number;
        alone.digits = digits;
        order.entries.push_back(std::move(alone));
        entry = order.entries.end() - 1;
    }
    // A zero ends the list, as it does where the list is shorter than 32 numbers.
    entry->waitsFor.clear();
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto waited = static_cast<uint32_t>(bytes[i] | (bytes[i + 1] << 8));
        if (waited == 0) {
            break;
        }
        entry->waitsFor.push_back(waited);
    }
}

}  // namespace

std::u16string ShownProgram(const Entry& entry) {
    return entry.program.empty() ? u"(no program)" : entry.program;
}

bool NamesLauncher(std::u16string_view program, std::u16string_view ownPath) {
    const std::u16string name = FileNameWithExe(program);
    return name == u"KELBRUN.EXE" || (!ownPath.empty() && name == FileNameWithExe(ownPath));
}

std::string Describe(const Entry& entry) {
    return "entry " + std::to_string(entry.number) + " (" + sim::ToUtf8(ShownProgram(entry)) + ")";
}

BootOrder ReadBootOrder(const sim::Registry& registry, std::u16string_view ownPath,
                        Findings& findings) {
    BootOrder order;
    order.hasKey = registry.HasKey(kInitKey);
    if (!order.hasKey) {
        return order;
    }
    const std::u16string initId = sim::FoldCase(sim::Registry::Join(kInitKey, u""));
    std::vector<sim::NamedValue> values;
    for (const sim::RegistryKey& key : registry.Keys()) {
        if (sim::FoldCase(key.path) == initId) {
            values = key.values;
        }
    }
    // Every LaunchNN first, so that each DependNN finds its entry whatever the names' order.
    for (const sim::NamedValue& value : values) {
        if (value.name.starts_with(kLaunch)) {
            ReadLaunch(value, order, findings);
        } else if (!value.name.starts_with(kDepend)) {
            const std::u16string folded = sim::FoldCase(value.name);
            if (folded.starts_with(u"LAUNCH") || folded.starts_with(u"DEPEND")) {
                Add(findings, Finding::Level::kWarning,
                    Where(value.name) +
                        "is not read: the kernel matches the names \"Launch\" and \"Depend\" "
                        "in that case" +
                        kOnCe3);
            }
        }
    }
    for (const sim::NamedValue& value : values) {
        if (value.name.starts_with(kDepend)) {
            ReadDepend(value, order, findings);
        }
    }
    std::stable_sort(order.entries.begin(), order.entries.end(),
                     [](const Entry& a, const Entry& b) { return a.number < b.number; });
    for (Entry& entry : order.entries) {
        entry.launcher = NamesLauncher(entry.program, ownPath);
    }
    if (order.entries.size() > kMostEntries) {
        std::string beyond;
        for (size_t i = kMostEntries; i < order.entries.size(); ++i) {
            beyond += (i == kMostEntries ? "" : ", ") + std::to_string(order.entries[i].number);
        }
        Add(findings, Finding::Level::kError,
            "HKEY_LOCAL_MACHINE\\init: " + std::to_string(order.entries.size()) +
                " entries, more than the " + std::to_string(kMostEntries) +
                " the kernel keeps: some are never started, likely the last ones (" + beyond + ")" +
                kOnCe3);
    }
    return order;
}

size_t CheckWaits(const BootOrder& order, Findings& findings) {
    size_t firstStuck = order.entries.size();
    size_t firstStuckFinding = 0;
    for (size_t i = 0; i < order.entries.size(); ++i) {
        const Entry& entry = order.entries[i];
        const std::string where = Where(u"Depend" + entry.digits) + Describe(entry) + " ";
        constexpr char never[] = ": it never starts";
        for (uint32_t number : entry.waitsFor) {
            const Entry* other = FindEntry(order, number);
            std::string stuck;
            if (number == entry.number) {
                stuck = where + "waits for itself" + never;
            } else if (other == nullptr) {
                Add(findings, Finding::Level::kWarning,
                    where + "waits for " + std::to_string(number) +
                        ", which has no entry: that counts as met, and it starts without it" +
                        kOnCe3);
            } else if (other->launcher) {
                stuck = where + "waits for " + Describe(*other) +
                        ", the launcher's own entry; the launcher never calls SignalStarted" +
                        never;
            } else if (other->number > entry.number) {
                stuck = where + "waits for " + Describe(*other) + ", which starts only after it" +
                        never;
            }
            if (stuck.empty()) {
                continue;
            }
            if (firstStuck == order.entries.size()) {
                firstStuck = i;
                firstStuckFinding = findings.size();
            }
            Add(findings, Finding::Level::kError, stuck);
        }
    }
    if (firstStuck == order.entries.size()) {
        return firstStuck;
    }
    // The loop waits for each entry's dependencies before it goes on to the next entry, and
    // the wait has no time-out: the boot stops at the first entry that waits in vain.
    std::string later;
    bool launcherLater = false;
    for (size_t i = firstStuck + 1; i < order.entries.size(); ++i) {
        later += (later.empty() ? "" : ", ") + std::to_string(order.entries[i].number);
        launcherLater = launcherLater || order.entries[i].launcher;
    }
    std::string& text = findings[firstStuckFinding].text;
    text += "; the launch loop waits there for ever";
    if (order.entries[firstStuck].launcher) {
        text += ", and the launcher is never started";
    }
    if (!later.empty()) {
        text += ", so no later entry starts either (" + later + ")";
        if (launcherLater) {
            text += ", the launcher among them";
        }
    }
    // Those that wait for it through their own DependNN, directly or through another that
    // does, wait for ever even on a loop that went on past it.
    std::vector<uint32_t> waiting{order.entries[firstStuck].number};
    for (bool grew = true; grew;) {
        grew = false;
        for (const Entry& entry : order.entries) {
            const bool known =
                std::find(waiting.begin(), waiting.end(), entry.number) != waiting.end();
            const bool waits =
                std::any_of(entry.waitsFor.begin(), entry.waitsFor.end(), [&](uint32_t number) {
                    return std::find(waiting.begin(), waiting.end(), number) != waiting.end();
                });
            if (!known && waits) {
                waiting.push_back(entry.number);
                grew = true;
            }
        }
    }
    if (waiting.size() > 1) {
        std::sort(waiting.begin() + 1, waiting.end());
        std::string through;
        for (size_t i = 1; i < waiting.size(); ++i) {
            through += (i == 1 ? "" : ", ") + std::to_string(waiting[i]);
        }
        text += "; " + through + (waiting.size() == 2 ? " waits" : " wait") +
                " for it through DependNN as well";
    }
    text += kOnCe3;
    for (size_t i = firstStuckFinding + 1; i < findings.size(); ++i) {
        if (findings[i].level == Finding::Level::kError) {
            findings[i].text += kOnCe3;
        }
    }
    return firstStuck;
}

}  // namespace bootorder
