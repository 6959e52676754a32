// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "platform/NumberFormat.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

namespace corvane::platform {
namespace {

struct ValCase {
    const char* text;
    double expected;
};

void PrintTo(const ValCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class ValTable : public ::testing::TestWithParam<ValCase> {};

TEST_P(ValTable, ReadsTheLeadingNumber) {
    const ValCase& c = GetParam();
    EXPECT_DOUBLE_EQ(Val(c.text), c.expected) << "Val(\"" << c.text << "\")";
}

INSTANTIATE_TEST_SUITE_P(Plain, ValTable,
                         ::testing::Values(ValCase{"82", 82}, ValCase{"2.4", 2.4}, ValCase{"0.305", 0.305},
                                           ValCase{".5", 0.5}, ValCase{"5.", 5}, ValCase{"0 ", 0},
                                           ValCase{"45000", 45000}));
INSTANTIATE_TEST_SUITE_P(TrailingText, ValTable,
                         ::testing::Values(ValCase{"82abc", 82}, ValCase{"1.5.3", 1.5}, ValCase{"12 34", 12},
                                           ValCase{"7kelvin", 7}, ValCase{"1e", 1}, ValCase{"1e+", 1},
                                           ValCase{"2E3x", 2000}));
INSTANTIATE_TEST_SUITE_P(NoNumber, ValTable,
                         ::testing::Values(ValCase{"", 0}, ValCase{"abc", 0}, ValCase{"-", 0}, ValCase{".", 0},
                                           ValCase{"+.", 0}, ValCase{"e5", 0}, ValCase{"   ", 0}));
INSTANTIATE_TEST_SUITE_P(BlanksAndSigns, ValTable,
                         ::testing::Values(ValCase{"  12", 12}, ValCase{"\t3", 3}, ValCase{"-1.5", -1.5},
                                           ValCase{"+4", 4}, ValCase{" -1.5e2x", -150}, ValCase{"- 3", 0},
                                           ValCase{"--3", 0}));

TEST(Val, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(Val("1e308"), 1e308);
    EXPECT_EQ(Val("1e999"), DBL_MAX);
    EXPECT_EQ(Val("-1e999"), -DBL_MAX);
    EXPECT_EQ(Val("1e-999"), 0.0);
    EXPECT_TRUE(std::isfinite(Val("9" + std::string(400, '9'))));
}

struct FormatCase {
    double value;
    const char* pattern;
    const char* expected;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.value << " as \"" << c.pattern << '"'; }

class FormatTable : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTable, FollowsThePattern) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(Format(c.value, c.pattern), c.expected) << "Format(" << c.value << ", \"" << c.pattern << "\")";
}

INSTANTIATE_TEST_SUITE_P(ZeroDotHashes, FormatTable,
                         ::testing::Values(FormatCase{1, "0.####", "1."}, FormatCase{0.305, "0.####", "0.305"},
                                           FormatCase{0.28561234, "0.####", "0.2856"},
                                           FormatCase{0.28565, "0.####", "0.2857"},   // half away from zero
                                           FormatCase{-0.28565, "0.####", "-0.2857"},
                                           FormatCase{0.99996, "0.####", "1."}, FormatCase{0, "0.####", "0."},
                                           FormatCase{-0.00001, "0.####", "0."},      // no "-0."
                                           FormatCase{12345.6, "0.####", "12345.6"},
                                           FormatCase{1e20, "0.####", "100000000000000000000."}));
INSTANTIATE_TEST_SUITE_P(HashesOnly, FormatTable,
                         ::testing::Values(FormatCase{0.5, "##.###", ".5"}, FormatCase{3.75, "##.###", "3.75"},
                                           FormatCase{5.80855842, "##.###", "5.809"},
                                           FormatCase{123.4567, "##.###", "123.457"}, FormatCase{0, "##.###", "."},
                                           FormatCase{-2.5, "##.###", "-2.5"}));
INSTANTIATE_TEST_SUITE_P(Angles, FormatTable,
                         ::testing::Values(FormatCase{90, "#0.#", "90."}, FormatCase{-18, "#0.#", "-18."},
                                           FormatCase{0, "#0.#", "0."}, FormatCase{53.99999999, "#0.#", "54."},
                                           FormatCase{-270, "#0.#", "-270."}, FormatCase{12.25, "#0.#", "12.3"}));
INSTANTIATE_TEST_SUITE_P(Others, FormatTable,
                         ::testing::Values(FormatCase{5, "000", "005"}, FormatCase{359, "000", "359"},
                                           FormatCase{1234, "000", "1234"}, FormatCase{2.5, "000", "003"},
                                           FormatCase{0.1234567, "0.######", "0.123457"},
                                           FormatCase{1.5, "0.00", "1.50"}));

TEST(Format, NonFiniteIsZero) {
    EXPECT_EQ(Format(std::numeric_limits<double>::quiet_NaN(), "0.####"), "0.");
    EXPECT_EQ(Format(std::numeric_limits<double>::infinity(), "##.###"), ".");
}

struct GeneralCase {
    double value;
    const char* expected;
};

void PrintTo(const GeneralCase& c, std::ostream* os) { *os << c.value; }

class GeneralTable : public ::testing::TestWithParam<GeneralCase> {};

TEST_P(GeneralTable, IsShortest) {
    const GeneralCase& c = GetParam();
    EXPECT_EQ(GeneralNumber(c.value), c.expected) << "GeneralNumber(" << c.value << ")";
}

INSTANTIATE_TEST_SUITE_P(Values, GeneralTable,
                         ::testing::Values(GeneralCase{0.305, "0.305"}, GeneralCase{2, "2"},
                                           GeneralCase{45000, "45000"}, GeneralCase{0, "0"},
                                           GeneralCase{-0.1, "-0.1"}, GeneralCase{2.4 + 0.1, "2.5"},
                                           GeneralCase{0.1 + 0.2, "0.3"}, GeneralCase{1.0 / 3, "0.333333333333333"},
                                           GeneralCase{0.0001, "0.0001"}, GeneralCase{0.00001, "1E-05"},
                                           GeneralCase{1.5e-7, "1.5E-07"}, GeneralCase{1e15, "1E+15"},
                                           GeneralCase{123456789012345, "123456789012345"},
                                           GeneralCase{1e308, "1E+308"}));

TEST(GeneralNumber, ParsesBackToTheSameFifteenDigits) {
    for (double v : {0.305, 2.4, 3.75, 5.80855842671602, 0.41108125687396, 8200.0, 1e-3, 123.456}) {
        EXPECT_DOUBLE_EQ(Val(GeneralNumber(v)), v) << v;
    }
}

} // namespace
} // namespace corvane::platform
