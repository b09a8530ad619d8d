#include "Numbers.h"

#include <gtest/gtest.h>
#include <optional>

namespace {

std::optional<qint32> toInt(const char *text)
{
    qint32 value = 0;
    if (!TryStrToInt32(text, value))
        return std::nullopt;
    return value;
}

std::optional<double> toDouble(const char *text)
{
    double value = 0;
    if (!TryStrToDouble(text, value))
        return std::nullopt;
    return value;
}

TEST(TryStrToInt32, DecimalAndHexadecimalWithinTheSignedRange)
{
    EXPECT_EQ(toInt("640"), 640);
    EXPECT_EQ(toInt("   -12"), -12);
    EXPECT_EQ(toInt("+7"), 7);
    EXPECT_EQ(toInt("$ff"), 255);
    EXPECT_EQ(toInt("x1F"), 31);
    EXPECT_EQ(toInt("0X10"), 16);
    EXPECT_EQ(toInt("-$10"), -16);
    EXPECT_EQ(toInt("2147483647"), 2147483647);
    EXPECT_EQ(toInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(toInt("$7FFFFFFF"), 2147483647);
    EXPECT_EQ(toInt("0"), 0);
    EXPECT_EQ(toInt("0x"), std::nullopt);
    for (const char *bad : { "", " ", "+", "-", "$", "12 ", "1 2", "12a", "2147483648",
             "-2147483649", "$80000000", "99999999999999999999", "1.0", "\t5", "ff" }) {
        EXPECT_EQ(toInt(bad), std::nullopt) << bad;
    }
}

TEST(TryStrToDouble, StrictDecimalNumbers)
{
    EXPECT_EQ(toDouble("1.00"), 1.0);
    EXPECT_EQ(toDouble("+1e0"), 1.0);
    EXPECT_EQ(toDouble("1."), 1.0);
    EXPECT_EQ(toDouble(".5"), 0.5);
    EXPECT_EQ(toDouble("-2.5E+1"), -25.0);
    EXPECT_EQ(toDouble("."), 0.0);
    EXPECT_EQ(toDouble("1e-400"), 0.0);
    for (const char *bad : { "", "+", "e1", "1e", "1e+", "1,00", " 1", "1 ", "1.0.0", "0x1", "inf",
             "nan", "1e400", "..", "1.e" }) {
        EXPECT_EQ(toDouble(bad), std::nullopt) << bad;
    }
}

TEST(FormatShortest, AtMostFifteenSignificantDigits)
{
    EXPECT_EQ(FormatShortest(2.5), u"2.5");
    EXPECT_EQ(FormatShortest(2.0), u"2");
    EXPECT_EQ(FormatShortest(0.1), u"0.1");
    EXPECT_EQ(FormatShortest(100.0), u"100");
    EXPECT_EQ(FormatShortest(1.0 / 3.0), u"0.333333333333333");
    EXPECT_EQ(FormatShortest(123456789012345.0), u"123456789012345");
    EXPECT_EQ(FormatShortest(1e15), u"1E15");
    EXPECT_EQ(FormatShortest(0.0001), u"0.0001");
    EXPECT_EQ(FormatShortest(-1.5e-7), u"-1.5E-7");
    EXPECT_EQ(FormatShortest(-0.0), u"0");
}

} // namespace
