// An ARMv5 instruction, clz, which an ARMv4T processor (ARM920T units) does not have: there the
// process ends on an undefined instruction. An ARMv5TE processor (ARM926 units) runs it, and the
// exit status is its result.
#include "platform/platform.h"

// clz(0x00100000): 11 leading zeros, the exit status under ARMv5TE.
static const uint32_t kValue = 0x00100000u;

// ARM state in both builds: Thumb-1 has no clz at all. The assembler is told ARMv4T, which
// refuses the mnemonic, so the instruction is given as its encoding: clz r0, r1.
__attribute__((target("arm"), noinline)) static uint32_t LeadingZeros(uint32_t value) {
    register uint32_t operand asm("r1") = value;
    register uint32_t result asm("r0");
    asm volatile(".inst 0xe16f0f11" : "=r"(result) : "r"(operand));
    return result;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    return static_cast<int>(LeadingZeros(kValue));
}
