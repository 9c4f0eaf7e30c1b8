#include "tools/kelbrun-sim/boot_order.h"

#include <algorithm>
#include <map>

#include "platform/sim/text.h"

namespace bootorder {
namespace {

using setupcheck::Finding;
using setupcheck::Findings;
using setupcheck::ListOf;
using setupcheck::Quoted;

constexpr std::u16string_view kLaunch = u"Launch";
constexpr std::u16string_view kDepend = u"Depend";
constexpr char16_t kBootVarsKey[] = u"HKEY_LOCAL_MACHINE\\init\\BootVars";
constexpr char16_t kDeviceManager[] = u"DEVICE.EXE";

// A finding about one of the init key's values.
void Add(Findings& findings, Finding::Level level, std::u16string_view valueName,
         std::string words) {
    findings.push_back(setupcheck::AboutValue(level, kInitKey, valueName, std::move(words)));
}

bool IsSpace(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Decimal digits only, whose value fits 32 bits: the names that read as they look.
bool IsPlainNumber(std::u16string_view text) {
    if (text.empty() || !std::all_of(text.begin(), text.end(), IsDigit)) {
        return false;
    }
    uint64_t value = 0;
    for (char16_t c : text) {
        value = value * 10 + static_cast<uint64_t>(c - u'0');
        if (value > UINT32_MAX) {
            return false;
        }
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

const Entry* FindEntry(const BootOrder& order, uint32_t number) {
    for (const Entry& entry : order.entries) {
        if (entry.number == number) {
            return &entry;
        }
    }
    return nullptr;
}

// One value of the init key as the loop enumerates it: its name and data cut to its buffers.
struct Enumerated {
    std::u16string name;
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
    size_t storedBytes = 0;  // before the cut
};

class Reader {
  public:
    Reader(BootOrder& order, Findings& findings) : order_(order), findings_(findings) {}

    void Read(const Enumerated& value) {
        if (value.name.starts_with(kLaunch)) {
            ReadLaunch(value);
        } else if (value.name.starts_with(kDepend)) {
            ReadDepend(value);
        } else {
            const std::u16string folded = sim::FoldCase(value.name);
            if (folded.starts_with(u"LAUNCH") || folded.starts_with(u"DEPEND")) {
                Add(findings_, Finding::Level::kWarning, value.name,
                    std::string("is not read: the launch loop matches the names \"Launch\" and "
                                "\"Depend\" in that case") +
                        kOnCe5);
            }
        }
    }

    // What can be told only once every value is read: a full DependNN reads on into the
    // program name, whichever of the two was enumerated first, and a DependNN alone.
    void Finish() {
        for (Entry& entry : order_.entries) {
            if (entry.launchName.empty()) {
                Add(findings_, Finding::Level::kWarning, entry.dependName,
                    "no LaunchNN has number " + std::to_string(entry.number) + ": entry " +
                        std::to_string(entry.number) +
                        " starts no program, but the boot still waits there for what it lists, "
                        "and then counts it as started" +
                        kOnCe5);
                continue;
            }
            if (!runsOn_[entry.number] || entry.program.empty()) {
                continue;
            }
            std::vector<uint32_t> added;
            for (char16_t c : entry.program) {
                added.push_back(c);
            }
            entry.waitsFor.insert(entry.waitsFor.end(), added.begin(), added.end());
            entry.fromProgramName = added.size();
            Add(findings_, Finding::Level::kError, entry.dependName,
                std::to_string(kMostDependBytes) +
                    " bytes, 32 launch numbers with no 0 among them to end the list: the "
                    "launch loop reads on into entry " +
                    std::to_string(entry.number) + "'s program name " + Quoted(entry.program) +
                    " and waits for its characters as numbers too (" + ListOf(added) + ")" +
                    kOnCe5);
        }
        if (!order_.dropped.empty()) {
            std::vector<std::string> names;
            for (const std::u16string& name : order_.dropped) {
                names.push_back(sim::ToUtf8(name));
            }
            findings_.push_back(setupcheck::AboutKey(
                Finding::Level::kError, kInitKey,
                "more than " + std::to_string(kMostEntries) +
                    " launch numbers: the launch loop keeps the first " +
                    std::to_string(kMostEntries) +
                    " in the order it enumerates the values (the order they were set in) and "
                    "skips every value of a further number, so " +
                    ListOf(names) + (order_.dropped.size() == 1 ? " is" : " are") + " never read" +
                    kOnCe5));
        }
    }

  private:
    // The entry of the value's number, made when the number is new; none when it is new and
    // the loop already keeps as many as it can.
    Entry* EntryFor(const Enumerated& value, uint32_t number) {
        for (Entry& entry : order_.entries) {
            if (entry.number == number) {
                return &entry;
            }
        }
        if (order_.entries.size() == kMostEntries) {
            order_.dropped.push_back(value.name);
            return nullptr;
        }
        Entry& entry = order_.entries.emplace_back();
        entry.number = number;
        return &entry;
    }

    uint32_t Number(const Enumerated& value, std::u16string_view prefix) {
        const std::u16string_view rest = std::u16string_view(value.name).substr(prefix.size());
        const uint32_t number = ReadNumber(rest);
        if (!IsPlainNumber(rest)) {
            Add(findings_, Finding::Level::kWarning, value.name,
                "the launch loop reads " + Quoted(rest) + " after " + Quoted(prefix) + " as " +
                    std::to_string(number) + " (COREDLL's _wtol): this value is entry " +
                    std::to_string(number) + "'s" + kOnCe5);
        }
        return number;
    }

    void ReadLaunch(const Enumerated& value) {
        const uint32_t number = Number(value, kLaunch);
        Entry* entry = EntryFor(value, number);
        if (entry == nullptr) {
            return;
        }
        bool terminated = false;
        const std::u16string program = sim::TextUpToNul(value.bytes, &terminated);
        if (!entry->launchName.empty()) {
            Add(findings_, Finding::Level::kError, value.name,
                "entry " + std::to_string(number) + ", as " + sim::ToUtf8(entry->launchName) +
                    " is: the launch loop keeps one program for each number, that of the value "
                    "it enumerates last, so " +
                    Quoted(program) + " of " + sim::ToUtf8(value.name) + " starts and " +
                    Quoted(entry->program) + " of " + sim::ToUtf8(entry->launchName) + " does not" +
                    kOnCe5);
        }
        entry->launchName = value.name;
        entry->program = program;
        entry->startFails = false;
        if (!terminated && value.storedBytes >= kDataBufferBytes) {
            entry->startFails = true;
            Add(findings_, Finding::Level::kError, value.name,
                std::to_string(value.storedBytes) + " bytes, and the launch loop reads " +
                    std::to_string(kDataBufferBytes) + ": the name is cut to " +
                    std::to_string(program.size()) + " characters with no terminator, and entry " +
                    std::to_string(number) + "'s program fails to start" + kOnCe5);
            return;
        }
        if (program.empty()) {
            entry->startFails = true;
            Add(findings_, Finding::Level::kError, value.name,
                "names no program: entry " + std::to_string(number) +
                    " starts nothing, and counts as started" + kOnCe5);
            return;
        }
        // The loop does not look at the type: whatever the bytes are, they are the name.
        if (value.type == sim::kRegExpandSz && program.find(u'%') != std::u16string::npos) {
            entry->startFails = true;
            Add(findings_, Finding::Level::kError, value.name,
                "is REG_EXPAND_SZ: the launch loop does not expand it, and starts " +
                    Quoted(program) + " as it stands, which names no program" + kOnCe5);
        } else if (value.type == sim::kRegMultiSz) {
            Add(findings_, Finding::Level::kWarning, value.name,
                "is REG_MULTI_SZ: the launch loop takes its first string, " + Quoted(program) +
                    ", as the program, and starts nothing else of it" + kOnCe5);
        } else if (value.type != sim::kRegSz && value.type != sim::kRegExpandSz) {
            Add(findings_, Finding::Level::kWarning, value.name,
                "is " + sim::RegistryTypeName(value.type) +
                    ", not REG_SZ: the launch loop takes its bytes as the program's name all "
                    "the same, which starts entry " +
                    std::to_string(number) + " only if they spell one" + kOnCe5);
        }
        if (number > 0xFFFF) {
            Add(findings_, Finding::Level::kWarning, value.name,
                "launch number " + std::to_string(number) +
                    " does not fit the 16 bits of a DependNN: nothing can wait for it" + kOnCe5);
        }
    }

    void ReadDepend(const Enumerated& value) {
        const uint32_t number = Number(value, kDepend);
        const size_t size = value.storedBytes;
        std::string wrong;
        if (size > kMostDependBytes) {
            wrong = "holds " + std::to_string(size) + " bytes, more than the " +
                    std::to_string(kMostDependBytes) + " (32 launch numbers) the loop reads";
        } else if (size % 2 != 0) {
            wrong = "holds an odd number of bytes (" + std::to_string(size) +
                    "), not whole 16-bit launch numbers";
        }
        if (!wrong.empty()) {
            Add(findings_, Finding::Level::kError, value.name,
                wrong + ": the launch loop skips it whole, and entry " + std::to_string(number) +
                    " waits for nothing it lists" + kOnCe5);
            return;
        }
        Entry* entry = EntryFor(value, number);
        if (entry == nullptr) {
            return;
        }
        // A zero ends the list; a list of all 32 numbers has none, and reads on.
        std::vector<uint32_t> waits;
        bool ended = false;
        for (size_t i = 0; i + 1 < value.bytes.size(); i += 2) {
            const auto waited = static_cast<uint32_t>(value.bytes[i] | (value.bytes[i + 1] << 8));
            if (waited == 0) {
                ended = true;
                break;
            }
            waits.push_back(waited);
        }
        if (!entry->dependName.empty()) {
            Add(findings_, Finding::Level::kError, value.name,
                "entry " + std::to_string(number) + "'s list, as " +
                    sim::ToUtf8(entry->dependName) +
                    " is: the launch loop waits for the list of the value it enumerates last, " +
                    sim::ToUtf8(value.name) + " (" + (waits.empty() ? "nothing" : ListOf(waits)) +
                    "), not " + sim::ToUtf8(entry->dependName) + "'s" + kOnCe5);
        }
        if (value.type != sim::kRegBinary) {
            Add(findings_, Finding::Level::kWarning, value.name,
                "is " + sim::RegistryTypeName(value.type) +
                    ", not REG_BINARY: the launch loop reads its bytes as launch numbers all "
                    "the same (" +
                    (waits.empty() ? "none" : ListOf(waits)) + ")" + kOnCe5);
        }
        entry->dependName = value.name;
        entry->waitsFor = std::move(waits);
        runsOn_[number] = !ended && size == kMostDependBytes;
    }

    BootOrder& order_;
    Findings& findings_;
    std::map<uint32_t, bool> runsOn_;
};

}  // namespace

uint32_t ReadNumber(std::u16string_view text) {
    size_t at = 0;
    while (at < text.size() && IsSpace(text[at])) {
        ++at;
    }
    if (at < text.size() && text[at] == u'0') {
        ++at;
    }
    uint32_t total = 0;
    if (at < text.size() && (text[at] == u'x' || text[at] == u'X')) {
        for (++at; at < text.size(); ++at) {
            const char16_t c = text[at];
            uint32_t digit = 0;
            if (IsDigit(c)) {
                digit = c - u'0';
            } else if (c >= u'a' && c <= u'f') {
                digit = c - u'a' + 10;
            } else if (c >= u'A' && c <= u'F') {
                digit = c - u'A' + 10;
            } else {
                break;
            }
            total = total * 16 + digit;
        }
        return total;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == u'-' || text[at] == u'+')) {
        negative = text[at] == u'-';
        ++at;
    }
    for (; at < text.size() && IsDigit(text[at]); ++at) {
        total = total * 10 + static_cast<uint32_t>(text[at] - u'0');
    }
    return negative ? 0u - total : total;
}

std::u16string ShownProgram(const Entry& entry) {
    return entry.launchName.empty() ? u"(no program)" : entry.program;
}

bool NamesLauncher(std::u16string_view program, std::u16string_view ownPath) {
    if (program.empty()) {
        return false;
    }
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
    const sim::RegistryValue* early = registry.FindValue(kBootVarsKey, u"Start DevMgr");
    order.deviceManagerEarly =
        early != nullptr && early->type == sim::kRegDword && early->bytes.size() == 4 &&
        std::any_of(early->bytes.begin(), early->bytes.end(), [](uint8_t b) { return b != 0; });
    // Only the key's own values, as RegEnumValue gives them: the order they were set in,
    // each name and data cut to the loop's buffers (a name keeps room for its terminator).
    Reader reader(order, findings);
    for (const sim::NamedValue& value : registry.ValuesInOrderSet(kInitKey)) {
        Enumerated enumerated;
        enumerated.name = value.name.substr(0, kNameBufferChars - 1);
        enumerated.type = value.value.type;
        enumerated.storedBytes = value.value.bytes.size();
        enumerated.bytes.assign(
            value.value.bytes.begin(),
            value.value.bytes.begin() +
                static_cast<std::ptrdiff_t>(std::min(value.value.bytes.size(), kDataBufferBytes)));
        reader.Read(enumerated);
    }
    reader.Finish();
    std::stable_sort(order.entries.begin(), order.entries.end(),
                     [](const Entry& a, const Entry& b) { return a.number < b.number; });
    for (Entry& entry : order.entries) {
        entry.launcher = NamesLauncher(entry.program, ownPath);
        entry.startedEarly = order.deviceManagerEarly && !entry.launchName.empty() &&
                             sim::FoldCase(entry.program) == kDeviceManager;
    }
    return order;
}

namespace {

// A finding about one of an entry's waits, and whether the wait never ends.
struct Wait {
    Finding finding;
    bool stuck = false;
};

// What each of the entry's waits comes to: one that never ends, or one that is met without a
// signal; none for a wait that ends as meant.
std::vector<Wait> WaitsOf(const BootOrder& order, const Entry& entry) {
    std::vector<Wait> waits;
    const std::string waiter = Describe(entry) + " ";
    const auto add = [&](bool stuck, const std::string& words) {
        waits.push_back(
            {setupcheck::AboutValue(stuck ? Finding::Level::kError : Finding::Level::kWarning,
                                    kInitKey, entry.dependName, waiter + words),
             stuck});
    };
    constexpr char never[] = ": it never starts";
    const size_t fromList = entry.waitsFor.size() - entry.fromProgramName;
    for (size_t w = 0; w < entry.waitsFor.size(); ++w) {
        const uint32_t number = entry.waitsFor[w];
        const Entry* other = FindEntry(order, number);
        if (number == entry.number) {
            add(true, std::string("waits for itself") + never);
        } else if (other == nullptr) {
            if (w < fromList) {
                add(false, "waits for " + std::to_string(number) +
                               ", which has no entry: that counts as met, and it starts without "
                               "it" +
                               kOnCe5);
            }
        } else if (other->number > entry.number) {
            add(true, "waits for " + Describe(*other) + ", which starts only after it" + never);
        } else if (other->startFails) {
            add(false, "waits for " + Describe(*other) +
                           ", whose start fails: the loop counts it as done without a signal, "
                           "and " +
                           std::to_string(entry.number) + " starts without it" + kOnCe5);
        } else if (other->launcher && !other->startedEarly) {
            add(true, "waits for " + Describe(*other) +
                          ", the launcher's own entry; the launcher never calls SignalStarted" +
                          never);
        }
    }
    return waits;
}

// The numbers of the entries that wait for the entry through their own DependNN, directly or
// through another that does, ascending.
std::vector<uint32_t> WaitingFor(const BootOrder& order, uint32_t number) {
    std::vector<uint32_t> waiting{number};
    for (bool grew = true; grew;) {
        grew = false;
        for (const Entry& entry : order.entries) {
            const bool known =
                std::find(waiting.begin(), waiting.end(), entry.number) != waiting.end();
            const bool waits =
                std::any_of(entry.waitsFor.begin(), entry.waitsFor.end(), [&](uint32_t each) {
                    return std::find(waiting.begin(), waiting.end(), each) != waiting.end();
                });
            if (!known && waits) {
                waiting.push_back(entry.number);
                grew = true;
            }
        }
    }
    std::vector<uint32_t> through(waiting.begin() + 1, waiting.end());
    std::sort(through.begin(), through.end());
    return through;
}

// What follows when the boot stops at the entry: the loop waits for each entry's dependencies
// before it goes on to the next, with no time-out.
std::string BootStopsAt(const BootOrder& order, size_t stuck) {
    std::vector<uint32_t> later;
    bool launcherLater = false;
    for (size_t i = stuck + 1; i < order.entries.size(); ++i) {
        later.push_back(order.entries[i].number);
        launcherLater = launcherLater || order.entries[i].launcher;
    }
    std::string text = "; the launch loop waits there for ever";
    if (order.entries[stuck].launcher) {
        text += ", and the launcher is never started";
    }
    if (!later.empty()) {
        text += ", so no later entry starts either (" + ListOf(later) + ")";
        if (launcherLater) {
            text += ", the launcher among them";
        }
    }
    // Those that wait for it wait for ever even on a loop that went on past it.
    const std::vector<uint32_t> through = WaitingFor(order, order.entries[stuck].number);
    if (!through.empty()) {
        text += "; " + ListOf(through) + (through.size() == 1 ? " waits" : " wait") +
                " for it through DependNN as well";
    }
    return text;
}

}  // namespace

size_t CheckWaits(const BootOrder& order, Findings& findings) {
    size_t firstStuck = order.entries.size();
    for (size_t i = 0; i < order.entries.size(); ++i) {
        for (Wait& wait : WaitsOf(order, order.entries[i])) {
            if (wait.stuck && firstStuck == order.entries.size()) {
                firstStuck = i;
                wait.finding.words += BootStopsAt(order, i);
            }
            if (wait.stuck) {
                wait.finding.words += kOnCe5;
            }
            findings.push_back(std::move(wait.finding));
        }
    }
    return firstStuck;
}

}  // namespace bootorder
