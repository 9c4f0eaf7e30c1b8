// Little-endian reads from a file's bytes, or an image's, for the program and DLL loaders: each
// read past the end gives up through the loader's own Refuse, with the words the reader was
// made with.
#ifndef KELBRUN_PLATFORM_SIM_EMULATOR_BYTE_READER_H
#define KELBRUN_PLATFORM_SIM_EMULATOR_BYTE_READER_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

template <void (*Refuse)(std::string)>
class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size, const char* cut)
        : data_(data), size_(size), cut_(cut) {}

    void Need(uint64_t at, uint64_t count) const {
        if (at + count > size_) {
            Refuse(cut_);
        }
    }
    uint8_t U8(uint64_t at) const {
        Need(at, 1);
        return data_[at];
    }
    uint16_t U16(uint64_t at) const {
        Need(at, 2);
        return static_cast<uint16_t>(data_[at] | data_[at + 1] << 8);
    }
    uint32_t U32(uint64_t at) const {
        Need(at, 4);
        return static_cast<uint32_t>(data_[at]) | static_cast<uint32_t>(data_[at + 1]) << 8 |
               static_cast<uint32_t>(data_[at + 2]) << 16 |
               static_cast<uint32_t>(data_[at + 3]) << 24;
    }
    // A NUL-terminated name of at most limit characters; a longer one is refused with tooLong.
    std::string Name(uint64_t at, size_t limit, const std::string& tooLong) const {
        std::string name;
        for (;; ++at) {
            if (U8(at) == 0) {
                return name;
            }
            if (name.size() == limit) {
                Refuse(tooLong);
            }
            name += static_cast<char>(data_[at]);
        }
    }
    const uint8_t* Data() const {
        return data_;
    }
    size_t Size() const {
        return size_;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    const char* cut_;
};

}  // namespace sim

#endif  // KELBRUN_PLATFORM_SIM_EMULATOR_BYTE_READER_H
