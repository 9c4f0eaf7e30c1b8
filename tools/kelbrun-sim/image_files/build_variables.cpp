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

}  // namespace imagefiles
