// Division of unsigned 64-bit values (the mixer's 32.32 positions, the
// device's frame count) without the compiler's library routines for it,
// which a 32-bit build would otherwise carry: some 1.4 KiB of the
// Windows release. Every target computes the same values.
#ifndef BRINDLEC_WIDE_DIVISION_H
#define BRINDLEC_WIDE_DIVISION_H

#include <cstdint>

// The quotient of dividend by divisor, rounded down, with the remainder in
// *remainder. Callers never divide by 0 (the remainder would be the
// dividend, and the quotient meaningless).
uint64_t divide_wide(uint64_t dividend, uint64_t divisor, uint64_t* remainder);

// dividend modulo divisor.
inline uint64_t remainder_wide(uint64_t dividend, uint64_t divisor)
{
    uint64_t remainder;
    divide_wide(dividend, divisor, &remainder);
    return remainder;
}

#endif
