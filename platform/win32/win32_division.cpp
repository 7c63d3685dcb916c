// The 64-bit unsigned division of the 32-bit release. The x86 divides at
// most 64 bits by 32 in one instruction, so GCC turns the mixer's
// divisions of 32.32 positions and steps (and the device's frame count
// modulo the ring) into calls of __udivdi3, __umoddi3 and __udivmoddi4,
// which libgcc would supply at some 1.1 KiB. These are ours, and smaller: a binary long
// division with one step per bit of the quotient, whose quotients here
// are short (the frames until a sample's end within a block, the loops a
// voice overshot, the block in the ring), so they also take few steps.
// The file needs nothing of Windows, so the unit tests build it too.
//
// It is compiled without link-time optimisation (CMakeLists.txt): GCC
// emits these calls only when it generates the code, after the optimiser
// has dropped whatever nothing called, and would leave libgcc's to the
// linker.
#include <cstdint>

// The quotient, rounded down, and the remainder in *remainder unless it
// is null: GCC calls this one where it wants both. A divisor of 0, which
// the intro never uses, gives 0 and the whole dividend.
extern "C" uint64_t __udivmoddi4(uint64_t dividend, uint64_t divisor, uint64_t* remainder)
{
    uint64_t quotient = 0;
    if (divisor != 0 && dividend >= divisor) {
        // The divisor's highest bit under the dividend's, then back down
        // one bit at a time, subtracting wherever it fits.
        int shift = __builtin_clzll(divisor) - __builtin_clzll(dividend);
        for (divisor <<= shift; shift >= 0; shift--, divisor >>= 1) {
            quotient <<= 1;
            if (dividend >= divisor) {
                dividend -= divisor;
                quotient |= 1;
            }
        }
    }
    if (remainder) *remainder = dividend;
    return quotient;
}

extern "C" uint64_t __udivdi3(uint64_t dividend, uint64_t divisor)
{
    return __udivmoddi4(dividend, divisor, nullptr);
}

extern "C" uint64_t __umoddi3(uint64_t dividend, uint64_t divisor)
{
    uint64_t remainder;
    __udivmoddi4(dividend, divisor, &remainder);
    return remainder;
}
