// Division of unsigned 64-bit values, one quotient bit at a time.
#include "music/wide_division.h"

uint64_t divide_wide(uint64_t dividend, uint64_t divisor, uint64_t* remainder)
{
    uint64_t quotient = 0;
    uint64_t rest = 0;
    // Bits above the dividend's highest one add nothing: start there.
    int bit = 63;
    while (bit > 0 && !(dividend >> bit)) bit--;
    for (; bit >= 0; bit--) {
        // rest < divisor before the shift, so with a carry out of the top
        // bit the shifted rest is certainly at least the divisor.
        bool carry = rest >> 63;
        rest = rest << 1 | (dividend >> bit & 1);
        quotient <<= 1;
        if (carry || rest >= divisor) {
            rest -= divisor;
            quotient |= 1;
        }
    }
    *remainder = rest;
    return quotient;
}
