// The numbers of the PE format that both loaders read: the program's and COREDLL's.
#ifndef KELBRUN_PLATFORM_SIM_EMULATOR_PE_FORMAT_H
#define KELBRUN_PLATFORM_SIM_EMULATOR_PE_FORMAT_H

#include <cstdint>

namespace sim::pe {

inline constexpr uint16_t kMachineArm = 0x01C0;
inline constexpr uint16_t kMachineArmv4i = 0x01C2;  // ARM with Thumb interworking
inline constexpr uint16_t kMagicPe32 = 0x010B;
inline constexpr uint16_t kMagicPe32Plus = 0x020B;
inline constexpr uint16_t kFlagRelocsStripped = 0x0001;
inline constexpr uint16_t kFlagDll = 0x2000;
// The unit's loader reads this much of the optional header, whatever size the file gives it.
inline constexpr uint64_t kOptionalHeaderSize = 224;
// Data directories.
inline constexpr uint64_t kExportDirectory = 0;
inline constexpr uint64_t kImportDirectory = 1;
inline constexpr uint64_t kRelocationDirectory = 5;
inline constexpr uint64_t kComDirectory = 14;
// Section characteristics.
inline constexpr uint32_t kScnDiscardable = 0x02000000;
inline constexpr uint32_t kScnExecute = 0x20000000;
inline constexpr uint32_t kScnRead = 0x40000000;
inline constexpr uint32_t kScnWrite = 0x80000000;

}  // namespace sim::pe

#endif  // KELBRUN_PLATFORM_SIM_EMULATOR_PE_FORMAT_H
