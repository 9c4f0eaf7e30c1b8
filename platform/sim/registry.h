// The simulated device's registry: keys by path, each holding typed values of raw bytes.
#ifndef KELBRUN_PLATFORM_SIM_REGISTRY_H
#define KELBRUN_PLATFORM_SIM_REGISTRY_H

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct RegistryValue {
    uint32_t type = 0;
    std::vector<uint8_t> bytes;

    friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

// A value with its name as first written.
struct NamedValue {
    std::u16string name;
    RegistryValue value;

    friend bool operator==(const NamedValue&, const NamedValue&) = default;
};

// A key with its path as first written, and its values; what Registry::Keys lists.
struct RegistryKey {
    std::u16string path;
    std::vector<NamedValue> values;

    friend bool operator==(const RegistryKey&, const RegistryKey&) = default;
};

// Registry value types, as the .reg format and RegQueryValueEx number them; REG_MUI_SZ is
// Windows CE's type for a string that names a resource of a module.
enum : uint32_t {
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegMultiSz = 7,
    kRegMuiSz = 21
};

// "REG_SZ" and the other names of types 0 to 7; "of type N" for another.
std::string RegistryTypeName(uint32_t type);

// Key paths start with their root, as in "HKEY_LOCAL_MACHINE\SOFTWARE\Tavrin\Paths"; names of
// keys and values compare without regard to case, as on the device, and keep the spelling they
// were first given, so that the registry can be written out again as it was read.
class Registry {
  public:
    // Creates the key and every key above it.
    void CreateKey(std::u16string_view path);
    // Removes the key with everything below it; a missing key is no error.
    void DeleteKey(std::u16string_view path);
    bool HasKey(std::u16string_view path) const;

    // Creates the key when needed. An empty name is the key's default value.
    void SetValue(std::u16string_view keyPath, std::u16string_view name, RegistryValue value);
    // A string value: text as UTF-16LE with its terminator, as the registry editor stores it.
    static RegistryValue StringValue(std::u16string_view text);
    void SetString(std::u16string_view keyPath, std::u16string_view name, std::u16string_view text);
    void DeleteValue(std::u16string_view keyPath, std::u16string_view name);
    const RegistryValue* FindValue(std::u16string_view keyPath, std::u16string_view name) const;

    // Where a value was set, such as "platform.reg:123" or "inc.reg:4 (included from
    // platform.reg:12)", for the findings that name it. Setting a value again forgets where it
    // came from until it is told again; deleting it forgets it. Equality does not look at it.
    void SetOrigin(std::u16string_view keyPath, std::u16string_view name, std::string origin);
    const std::string* OriginOf(std::u16string_view keyPath, std::u16string_view name) const;

    // Every key, a key before those below it, each with its values; keys and values in the
    // order of their names without regard to case.
    std::vector<RegistryKey> Keys() const;

    // One key's values in the order each was first set, as the files that describe a hive set
    // them (a value set again keeps its place; one deleted and set again goes last). Empty for
    // a missing key.
    std::vector<NamedValue> ValuesInOrderSet(std::u16string_view keyPath) const;

    // Joins a key path and a subkey path, dropping empty components.
    static std::u16string Join(std::u16string_view keyPath, std::u16string_view subKey);

    // The same keys and values, spelt the same.
    friend bool operator==(const Registry& a, const Registry& b) {
        return a.Keys() == b.Keys();
    }

  private:
    struct Key {
        std::u16string path;
        std::map<std::u16string, NamedValue> values;  // by folded name
        std::vector<std::u16string> setOrder;         // folded names, first set first
    };
    static std::u16string KeyId(std::u16string_view path);
    static std::u16string ValueId(std::u16string_view keyPath, std::u16string_view name);
    // By folded path.
    std::map<std::u16string, Key> keys_;
    // By folded path, a NUL, and the folded value name.
    std::map<std::u16string, std::string> origins_;
};

}  // namespace sim

#endif  // KELBRUN_PLATFORM_SIM_REGISTRY_H
