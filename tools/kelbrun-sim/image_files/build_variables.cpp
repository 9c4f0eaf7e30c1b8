#include "tools/kelbrun-sim/image_files/build_variables.h"

#include "platform/sim/text.h"

namespace imagefiles {

void Variables::Set(std::u16string_view name, std::u16string_view value) {
    values_[sim::FoldCase(name)] = std::u16string(value);
}

const std::u16string* Variables::Find(std::u16string_view name) const {
    const auto found = values_.find(sim::FoldCase(name));
    return found == values_.end() ? nullptr : &found->second;
}

bool Variables::HasGateVariable() const {
    const std::u16string modules = sim::FoldCase(u"_MODULES");
    const std::u16string components = sim::FoldCase(u"_COMPONENTS");
    for (const auto& [name, value] : values_) {
        if ((name.ends_with(modules) && name.size() > modules.size()) ||
            (name.ends_with(components) && name.size() > components.size())) {
            return true;
        }
    }
    return false;
}

namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

bool HasWord(std::u16string_view list, std::u16string_view folded) {
    size_t at = 0;
    while (at < list.size()) {
        while (at < list.size() && IsBlank(list[at])) {
            ++at;
        }
        size_t end = at;
        while (end < list.size() && !IsBlank(list[end])) {
            ++end;
        }
        if (end > at && sim::FoldCase(list.substr(at, end - at)) == folded) {
            return true;
        }
        at = end;
    }
    return false;
}

}  // namespace

std::vector<GateReading> GateReadings(std::u16string_view gate) {
    const std::u16string folded = sim::FoldCase(gate);
    std::vector<GateReading> readings;
    constexpr std::u16string_view kModules = u"_MODULES_";
    const size_t modules = folded.find(kModules);
    if (modules != std::u16string::npos && modules > 0 &&
        modules + kModules.size() < folded.size()) {
        readings.push_back(
            {folded.substr(0, modules) + u"_MODULES", folded.substr(modules + kModules.size())});
    }
    for (size_t at = folded.find(u'_'); at != std::u16string::npos && at > 0;
         at = folded.find(u'_', at + 1)) {
        if (at + 1 < folded.size()) {
            readings.push_back({folded.substr(0, at) + u"_COMPONENTS", folded.substr(at + 1)});
        }
    }
    return readings;
}

std::optional<GateDecision> DecideGate(std::u16string_view gate, const VariableLookup& find) {
    std::optional<GateDecision> decision;
    for (const GateReading& reading : GateReadings(gate)) {
        const std::u16string* list = find(reading.variable);
        if (list == nullptr) {
            continue;
        }
        if (HasWord(*list, reading.word)) {
            return GateDecision{true, reading};
        }
        if (!decision) {
            decision = GateDecision{false, reading};
        }
    }
    return decision;
}

std::optional<bool> GateHolds(std::u16string_view gate, const VariableLookup& find) {
    const auto decision = DecideGate(gate, find);
    return decision ? std::optional<bool>(decision->holds) : std::nullopt;
}

}  // namespace imagefiles
