// divide_wide gives what the machine's own 64-bit division gives: at the
// ends of the range, at powers of two and just beside them, and for the
// mixer's 32.32 positions and steps.
#include <gtest/gtest.h>

#include <random>

#include "music/wide_division.h"

TEST(WideDivision, QuotientAndRemainderAreTheMachinesOwn) {
    std::vector<uint64_t> values = {1, 2, 3, 7, 10, 444, 44400, 0xFFFFFFFFull, 0x100000000ull, ~0ull, ~0ull - 1};
    for (int bit = 1; bit < 64; bit += 7)
        for (uint64_t near : {(1ull << bit) - 1, 1ull << bit, (1ull << bit) + 1}) values.push_back(near);
    std::mt19937_64 random(64);
    for (int i = 0; i < 200; i++) values.push_back(random() >> (random() % 64));  // every magnitude
    for (uint64_t divisor : values) {
        if (divisor == 0) continue;
        for (uint64_t dividend : values) {
            uint64_t remainder = 1234;
            ASSERT_EQ(divide_wide(dividend, divisor, &remainder), dividend / divisor) << dividend << " " << divisor;
            ASSERT_EQ(remainder, dividend % divisor) << dividend << " " << divisor;
        }
        uint64_t remainder;
        EXPECT_EQ(divide_wide(0, divisor, &remainder), 0u);
        EXPECT_EQ(remainder, 0u);
        EXPECT_EQ(remainder_wide(~0ull, divisor), ~0ull % divisor);
    }
}
