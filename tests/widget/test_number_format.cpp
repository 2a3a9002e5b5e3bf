#include "NumberFormat.h"

#include <gtest/gtest.h>

namespace {

struct PatternCase {
    double value;
    const char *pattern;
    const char *expected;
};

class PatternTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PatternTest, FormatsAsDocumented)
{
    const PatternCase c = GetParam();
    EXPECT_EQ(NumberFormat::Format(c.value, QString::fromLatin1(c.pattern), QLatin1Char(',')).toStdString(), c.expected)
        << c.value << " with " << c.pattern;
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, PatternTest,
    ::testing::Values(
        // Grouping patterns: blanks stay where they stand, even before the first digit.
        PatternCase{12345, "## ##0", "12 345"}, PatternCase{987, "## ##0", " 987"},
        PatternCase{-987, "## ##0", "- 987"}, PatternCase{0, "## ##0", " 0"},
        PatternCase{1234567, "## ##0", "1234 567"}, // the integer part is never cut
        PatternCase{5, "0 000", "0 005"}, PatternCase{4095, "0 000", "4 095"},
        PatternCase{75, "# ### ##0", "  75"}, PatternCase{4800, "# ### ##0", " 4 800"},
        PatternCase{115200, "# ### ##0", " 115 200"}, PatternCase{921600, "# ### ##0", " 921 600"},
        PatternCase{12, "# ### ### ##0", "   12"}, PatternCase{1234567, "# ### ### ##0", " 1 234 567"},
        PatternCase{4294967295.0, "# ### ### ##0", "4 294 967 295"},
        // Decimals with the given separator.
        PatternCase{34.5, "000.0", "034,5"}, PatternCase{-1.234, "0.000", "-1,234"},
        PatternCase{7, "0000", "0007"}, PatternCase{20.0, "#0.000", "20,000"},
        PatternCase{-0.05, "#0.000", "-0,050"}, PatternCase{4.0, "#0.000", "4,000"},
        PatternCase{1.0, "0.0", "1,0"}, PatternCase{999.96, "0.0", "1000,0"},
        PatternCase{1.5, "0.##", "1,5"}, PatternCase{2.0, "0.##", "2"},
        // Fixed digits for dates.
        PatternCase{2016, "0000", "2016"}, PatternCase{5, "00", "05"}, PatternCase{12345, "0000", "12345"},
        // A value that rounds to zero carries no minus sign.
        PatternCase{-0.0001, "0.000", "0,000"}));

struct GeneralCase {
    double value;
    const char *expected;
};

class GeneralTest : public ::testing::TestWithParam<GeneralCase> {};

TEST_P(GeneralTest, FixedWhileItFitsElseMantissaAndExponent)
{
    const GeneralCase c = GetParam();
    EXPECT_EQ(NumberFormat::General(c.value, QLatin1Char(',')).toStdString(), c.expected) << c.value;
}

// Worked by hand: fixed from 0,00001 up to 15 integer digits (after rounding to 15
// significant digits); otherwise mantissa, "E", a sign only when negative, no leading zeros.
INSTANTIATE_TEST_SUITE_P(
    General, GeneralTest,
    ::testing::Values(GeneralCase{0, "0"}, GeneralCase{-0.0, "0"}, GeneralCase{34.5, "34,5"}, GeneralCase{-12, "-12"},
                      GeneralCase{0.00001, "0,00001"}, GeneralCase{0.00001234, "0,00001234"},
                      GeneralCase{-0.00001234, "-0,00001234"}, GeneralCase{0.0000099, "9,9E-6"},
                      GeneralCase{1.5e-6, "1,5E-6"}, GeneralCase{-1.5e-7, "-1,5E-7"}, GeneralCase{1e-100, "1E-100"},
                      GeneralCase{3.2767e-251, "3,2767E-251"}, GeneralCase{0.1234, "0,1234"},
                      GeneralCase{123456789012345, "123456789012345"},
                      GeneralCase{-123456789012345, "-123456789012345"},
                      GeneralCase{1234567890123456, "1,23456789012346E15"},
                      GeneralCase{123456789012345678901.0, "1,23456789012346E20"}, GeneralCase{1e15, "1E15"},
                      GeneralCase{100000000000000, "100000000000000"},
                      GeneralCase{999999999999999.9, "1E15"}, // rounds up to 16 integer digits
                      GeneralCase{0.0000099999999999999999, "0,00001"}, GeneralCase{1.25e300, "1,25E300"},
                      GeneralCase{0.1 + 0.2, "0,3"}, GeneralCase{2.0 / 3.0, "0,666666666666667"}));

TEST(GeneralFormat, UsesTheSeparatorGiven)
{
    EXPECT_EQ(NumberFormat::General(-12.5, QLatin1Char('.')), QStringLiteral("-12.5"));
    EXPECT_EQ(NumberFormat::General(1.5e-6, QLatin1Char('.')), QStringLiteral("1.5E-6"));
    // single precision through the general format keeps its binary noise, 15 digits
    EXPECT_EQ(NumberFormat::General(static_cast<double>(345.0f / 10000.0f), QLatin1Char('.')),
              QStringLiteral("0.0344999991357327"));
}

} // namespace
