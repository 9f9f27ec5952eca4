#include <cstdint>
#include <numeric>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "frames/CommVar.h"

namespace {

// Obviously right: the value in 64 bits, refused when it cannot be a signed 32-bit number.
int32_t ReferenceParse(const std::string& text)
{
    if (text.empty() || text.size() > 255)
        return -1;
    int64_t value = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9')
            return -1;
        value = value * 10 + (ch - '0');
        if (value > 10'000'000'000LL)
            value = 10'000'000'000LL; // saturates well above the limit
    }
    return value > INT32_MAX ? -1 : static_cast<int32_t>(value);
}

} // namespace

TEST(ParseDecimal, RefusesAnythingButPlainDigits)
{
    EXPECT_EQ(ParseDecimal(""), -1);
    EXPECT_EQ(ParseDecimal("12a"), -1);
    EXPECT_EQ(ParseDecimal("-3"), -1);
    EXPECT_EQ(ParseDecimal("+3"), -1);
    EXPECT_EQ(ParseDecimal(" 3"), -1);
    EXPECT_EQ(ParseDecimal("3 "), -1);
    EXPECT_EQ(ParseDecimal(std::string("1\0"
                                       "2",
                  3)),
        -1);
}

TEST(ParseDecimal, ReadsDigitsLeftToRight)
{
    EXPECT_EQ(ParseDecimal("007"), 7);
    EXPECT_EQ(ParseDecimal("0"), 0);
    EXPECT_EQ(ParseDecimal("640"), 640);
    EXPECT_EQ(ParseDecimal("2147483647"), INT32_MAX);
}

TEST(ParseDecimal, RefusesValuesBeyondSigned32Bits)
{
    EXPECT_EQ(ParseDecimal("2147483648"), -1);
    EXPECT_EQ(ParseDecimal("4294967296"), -1); // would wrap to 0 in 32-bit arithmetic
    EXPECT_EQ(ParseDecimal("4294967297"), -1); // would wrap to 1
    EXPECT_EQ(ParseDecimal("99999999999999999999"), -1);
}

TEST(ParseDecimal, LengthLimitIs255Characters)
{
    EXPECT_EQ(ParseDecimal(std::string(254, '0') + "7"), 7);
    EXPECT_EQ(ParseDecimal(std::string(255, '0') + "7"), -1);
}

TEST(ParseDecimal, AgreesWithReferenceOnRandomTexts)
{
    std::mt19937 random(1234);
    const std::string alphabet = "0123456789012345678901234567890123456789 -+a";
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 14);
        for (int i = 0; i < length; ++i)
            text += alphabet[random() % alphabet.size()];
        ASSERT_EQ(ParseDecimal(text), ReferenceParse(text)) << '"' << text << '"';
    }
}

TEST(AbsoluteValue, CoversTheWholeRange)
{
    EXPECT_EQ(AbsoluteValue(0), 0u);
    EXPECT_EQ(AbsoluteValue(5), 5u);
    EXPECT_EQ(AbsoluteValue(-5), 5u);
    EXPECT_EQ(AbsoluteValue(INT32_MAX), 2147483647u);
    EXPECT_EQ(AbsoluteValue(INT32_MIN), 2147483648u);
}

TEST(GCD, FollowsEuclid)
{
    EXPECT_EQ(GCD(0, 12), 12u);
    EXPECT_EQ(GCD(12, 0), 12u);
    EXPECT_EQ(GCD(12, 18), 6u);
    EXPECT_EQ(GCD(18, 12), 6u);
    EXPECT_EQ(GCD(0, 0), 0u);
    EXPECT_EQ(GCD(UINT32_MAX, UINT32_MAX - 1), 1u);
    std::mt19937 random(99);
    for (int round = 0; round < 10000; ++round) {
        const uint32_t factor = random() % 1000 + 1;
        const uint32_t a = (random() % 100000) * factor;
        const uint32_t b = (random() % 100000) * factor;
        ASSERT_EQ(GCD(a, b), std::gcd(a, b)) << a << ' ' << b;
    }
}
