#include "platform/sim/registry.h"

#include <iterator>

#include "platform/sim/text.h"

namespace sim {

std::string RegistryTypeName(uint32_t type) {
    static const char* const kNames[] = {"REG_NONE",   "REG_SZ",      "REG_EXPAND_SZ",
                                         "REG_BINARY", "REG_DWORD",   "REG_DWORD_BIG_ENDIAN",
                                         "REG_LINK",   "REG_MULTI_SZ"};
    return type < std::size(kNames) ? kNames[type] : "of type " + std::to_string(type);
}

std::u16string Registry::Join(std::u16string_view keyPath, std::u16string_view subKey) {
    std::u16string joined;
    for (std::u16string_view part : {keyPath, subKey}) {
        size_t start = 0;
        while (start <= part.size()) {
            size_t end = part.find(u'\\', start);
            if (end == std::u16string_view::npos) {
                end = part.size();
            }
            if (end > start) {
                if (!joined.empty()) {
                    joined += u'\\';
                }
                joined += part.substr(start, end - start);
            }
            start = end + 1;
        }
    }
    return joined;
}

std::u16string Registry::KeyId(std::u16string_view path) {
    return FoldCase(Join(path, u""));
}

void Registry::CreateKey(std::u16string_view path) {
    const std::u16string spelt = Join(path, u"");
    const std::u16string id = FoldCase(spelt);
    size_t end = 0;
    while (end != std::u16string::npos) {
        end = id.find(u'\\', end + 1);
        keys_.try_emplace(id.substr(0, end), Key{spelt.substr(0, end), {}, {}});
    }
}

void Registry::DeleteKey(std::u16string_view path) {
    const std::u16string id = KeyId(path);
    const std::u16string below = id + u'\\';
    for (auto it = keys_.begin(); it != keys_.end();) {
        if (it->first == id || it->first.compare(0, below.size(), below) == 0) {
            it = keys_.erase(it);
        } else {
            ++it;
        }
    }
    const std::u16string ownValues = id + u'\0';
    for (auto it = origins_.lower_bound(id); it != origins_.end();) {
        if (it->first.compare(0, ownValues.size(), ownValues) == 0 ||
            it->first.compare(0, below.size(), below) == 0) {
            it = origins_.erase(it);
        } else if (it->first.compare(0, id.size(), id) == 0) {
            ++it;  // a sibling key whose name starts with this one's
        } else {
            break;
        }
    }
}

std::u16string Registry::ValueId(std::u16string_view keyPath, std::u16string_view name) {
    return KeyId(keyPath) + u'\0' + FoldCase(name);
}

void Registry::SetOrigin(std::u16string_view keyPath, std::u16string_view name,
                         std::string origin) {
    if (FindValue(keyPath, name) != nullptr) {
        origins_[ValueId(keyPath, name)] = std::move(origin);
    }
}

const std::string* Registry::OriginOf(std::u16string_view keyPath, std::u16string_view name) const {
    const auto found = origins_.find(ValueId(keyPath, name));
    return found == origins_.end() ? nullptr : &found->second;
}

bool Registry::HasKey(std::u16string_view path) const {
    return keys_.count(KeyId(path)) != 0;
}

void Registry::SetValue(std::u16string_view keyPath, std::u16string_view name,
                        RegistryValue value) {
    CreateKey(keyPath);
    // A value set again keeps the spelling of its name, as the device's registry does.
    Key& key = keys_[KeyId(keyPath)];
    const auto [entry, added] =
        key.values.try_emplace(FoldCase(name), NamedValue{std::u16string(name), {}});
    if (added) {
        key.setOrder.push_back(entry->first);
    }
    entry->second.value = std::move(value);
    origins_.erase(ValueId(keyPath, name));
}

RegistryValue Registry::StringValue(std::u16string_view text) {
    RegistryValue value;
    value.type = kRegSz;
    value.bytes = Utf16LeBytes(text);
    value.bytes.insert(value.bytes.end(), {0, 0});
    return value;
}

void Registry::SetString(std::u16string_view keyPath, std::u16string_view name,
                         std::u16string_view text) {
    SetValue(keyPath, name, StringValue(text));
}

void Registry::DeleteValue(std::u16string_view keyPath, std::u16string_view name) {
    const auto key = keys_.find(KeyId(keyPath));
    if (key != keys_.end() && key->second.values.erase(FoldCase(name)) != 0) {
        std::erase(key->second.setOrder, FoldCase(name));
    }
    origins_.erase(ValueId(keyPath, name));
}

const RegistryValue* Registry::FindValue(std::u16string_view keyPath,
                                         std::u16string_view name) const {
    const auto key = keys_.find(KeyId(keyPath));
    if (key == keys_.end()) {
        return nullptr;
    }
    const auto value = key->second.values.find(FoldCase(name));
    return value == key->second.values.end() ? nullptr : &value->second.value;
}

std::vector<RegistryKey> Registry::Keys() const {
    std::vector<RegistryKey> keys;
    keys.reserve(keys_.size());
    for (const auto& [id, key] : keys_) {
        RegistryKey& listed = keys.emplace_back(RegistryKey{key.path, {}});
        for (const auto& [folded, value] : key.values) {
            listed.values.push_back(value);
        }
    }
    return keys;
}

std::vector<NamedValue> Registry::ValuesInOrderSet(std::u16string_view keyPath) const {
    std::vector<NamedValue> values;
    const auto key = keys_.find(KeyId(keyPath));
    if (key != keys_.end()) {
        for (const std::u16string& folded : key->second.setOrder) {
            values.push_back(key->second.values.at(folded));
        }
    }
    return values;
}

}  // namespace sim
