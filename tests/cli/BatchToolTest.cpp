// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "cli/BatchTool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

namespace corvane::cli {
namespace {

using ::testing::HasSubstr;

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

ToolRun run(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = runBatchTool(args, out, err);
    return {status, out.str(), err.str()};
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

TEST(BatchToolLists, EqualMassesPrintOmegaThreeAndThreeQuarters) {
    const ToolRun r = run({"--set", "Qratio=1", "lists"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto l = lines(r.out);
    ASSERT_GE(l.size(), 4u);
    EXPECT_EQ(l[0], "Roche Lobe");
    EXPECT_EQ(l[1], "r1(pole) = 0.3561");
    EXPECT_EQ(l[2], "r2(pole) = 0.3561");
    EXPECT_EQ(l[3], "Omega = 3.75");
    EXPECT_EQ(l[4], "Current Parameters");
    EXPECT_EQ(l.size(), 4u + 1u + 13u);
}

TEST(BatchToolLists, SettingsApplyInOrder) {
    const ToolRun r = run({"--set", "Qratio=5", "--set", "Qratio=2.4", "lists"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("Omega = 5.809\n"));
    const ToolRun after = run({"lists", "--set", "Qratio=1"});
    ASSERT_EQ(after.status, 0) << after.err;
    EXPECT_THAT(after.out, HasSubstr("Omega = 3.75\n")) << "--set after the command is taken too";
}

TEST(BatchToolLists, SwitchesAndCombosTakeTheirValues) {
    const ToolRun r = run({"--set", "chkAuto=1", "--set", "Qratio=0.3", "--set", "txtRadius1=0.48", "--set",
                       "cmbStarSpot1=2", "--set", "chkGrid=1", "lists"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr(" Recommended\n"));
}

struct BadCase {
    std::vector<std::string> args;
    const char* mentions;
};

void PrintTo(const BadCase& c, std::ostream* os) {
    for (const auto& a : c.args) {
        *os << a << ' ';
    }
}

class BatchToolRefuses : public ::testing::TestWithParam<BadCase> {};

TEST_P(BatchToolRefuses, WithStatusTwoAndTheName) {
    const ToolRun r = run(GetParam().args);
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr(GetParam().mentions));
    EXPECT_TRUE(r.out.empty());
}

INSTANTIATE_TEST_SUITE_P(
    BadSettings, BatchToolRefuses,
    ::testing::Values(BadCase{{"--set", "txtNothing=3", "lists"}, "txtNothing"},
                      BadCase{{"--set", "chkAuto=yes", "lists"}, "chkAuto"},
                      BadCase{{"--set", "chkAuto=2", "lists"}, "chkAuto"},
                      BadCase{{"--set", "chkPaint=0", "lists"}, "chkPaint"},
                      BadCase{{"--set", "cmbStarSpot1=3", "lists"}, "cmbStarSpot1"},
                      BadCase{{"--set", "Qratio", "lists"}, "NAME=VALUE"},
                      BadCase{{"--set", "=4", "lists"}, "NAME=VALUE"}, BadCase{{"lists", "extra"}, "extra"},
                      BadCase{{}, "subcommand"}, BadCase{{"frobnicate"}, "frobnicate"}));

TEST(BatchToolEquator, PrintsTheTable) {
    const ToolRun r = run({"--set", "Qratio=1", "equator"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto l = lines(r.out);
    ASSERT_GE(l.size(), 3u);
    EXPECT_EQ(l[0], "40");
    EXPECT_EQ(l[1], "0.5");
    EXPECT_EQ(l[2], "3.75");
    EXPECT_EQ(l.size(), 3u + 81u);
    EXPECT_EQ(r.out.find('\r'), std::string::npos);
}

TEST(BatchToolHelp, NamesTheCommandsAndControls) {
    const ToolRun r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* word : {"lists", "equator", "--set", "txtIota", "chkAuto", "Examples", "Exit status"}) {
        EXPECT_THAT(r.out, HasSubstr(word));
    }
}

TEST(BatchToolMessages, GoToStandardError) {
    const ToolRun r = run({"--set", "chkAuto=1", "--set", "txtRadius2=0.2", "lists"});
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.err, HasSubstr("Uncheck 'Auto'"));
}

} // namespace
} // namespace corvane::cli
