// The 32-bit release's own 64-bit division (platform/win32/win32_division.cpp),
// built here for the host: every quotient and remainder is what the host's
// own division gives, at the word boundaries and on random operands of
// every length.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

extern "C" uint64_t __udivmoddi4(uint64_t dividend, uint64_t divisor, uint64_t* remainder);
extern "C" uint64_t __udivdi3(uint64_t dividend, uint64_t divisor);
extern "C" uint64_t __umoddi3(uint64_t dividend, uint64_t divisor);

namespace {

TEST(ReleaseDivision, MatchesTheNativeDivision) {
    std::vector<uint64_t> values = {0, 1, 2, 3, 0xFFFFFFFFull, 0x100000000ull, 0x100000001ull, 1ull << 63,
                                    (1ull << 63) + 1, ~0ull - 1, ~0ull};
    // Random operands of every bit length, so quotients run from 0 to 64 bits.
    std::mt19937_64 random(20261208);
    for (int bits = 1; bits <= 64; bits++)
        for (int i = 0; i < 8; i++) values.push_back(random() >> (64 - bits));
    for (uint64_t dividend : values)
        for (uint64_t divisor : values) {
            if (divisor == 0) continue;
            uint64_t remainder = ~dividend;
            const uint64_t quotient = __udivmoddi4(dividend, divisor, &remainder), q = dividend / divisor;
            // Quotient and remainder of each routine, and the quotient without a remainder asked for.
            ASSERT_EQ(std::vector<uint64_t>({quotient, remainder, __udivdi3(dividend, divisor), __umoddi3(dividend, divisor),
                                             __udivmoddi4(dividend, divisor, nullptr)}),
                      std::vector<uint64_t>({q, dividend % divisor, q, dividend % divisor, q}))
                << dividend << " / " << divisor;
        }
    // A divisor of 0 (never asked) gives 0, the dividend left over.
    uint64_t remainder = 0;
    EXPECT_EQ(__udivmoddi4(12345, 0, &remainder), 0u);
    EXPECT_EQ(remainder, 12345u);
}

}  // namespace
