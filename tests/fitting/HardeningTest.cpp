// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// Faults found by fuzzing and fault injection in the file readers and the error, one test each.
#include "fitting/ObservedCurve.h"
#include "fitting/RelativeError.h"
#include "fitting/StarParameters.h"
#include "support/CommaLocale.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace corvane::fitting {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Regression: a UTF-8 byte-order mark dropped the first point.
TEST(ObservedReader, AByteOrderMarkIsNotPartOfTheFirstRecord) {
    const ObservedFile f = parseObservedText("\xEF\xBB\xBF" "0.1,12\n0.2,13\n");
    EXPECT_THAT(f.phases, ElementsAre(0.1, 0.2));
    EXPECT_EQ(f.skippedLines, 0);
}

// Regression: CR-only line ends rejected the whole file.
TEST(ObservedReader, EveryLineEndConventionIsRead) {
    for (const char* text : {"0.1,12\n0.2,13\n0.3,14", "0.1,12\r\n0.2,13\r\n0.3,14\r\n", "0.1,12\r0.2,13\r0.3,14\r",
                             "0.1,12\r\n0.2,13\r0.3,14\n"}) {
        const ObservedFile f = parseObservedText(text);
        EXPECT_THAT(f.phases, ElementsAre(0.1, 0.2, 0.3)) << ::testing::PrintToString(std::string(text));
        EXPECT_EQ(f.lastLine, 3);
    }
    const ObservedFile gaps = parseObservedText("0.1,12\r\rx\r0.3,14\r");
    EXPECT_EQ(gaps.skippedLines, 1);
    EXPECT_EQ(gaps.firstSkippedLine, 3) << "a blank line between two CRs still counts as a line";
}

struct ReaderFiles : ::testing::Test {
    ReaderFiles() { fs::create_directories(dir); }
    ~ReaderFiles() override { fs::remove_all(dir); }
    fs::path dir = fs::temp_directory_path() / ("corvane-read-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

// Regression: data past 16 MB was dropped without a word.
TEST_F(ReaderFiles, AFileCutAtTheSizeLimitSaysWhere) {
    {
        std::ofstream out(dir / "big.csv");
        const std::string filler(100, '#');
        out << "0.5,10\n";
        while (out.tellp() < (17 << 20)) {
            out << filler << "\n";
        }
        out << "0.6,11\n";
    }
    const ObservedFile f = readObservedFile(dir / "big.csv");
    ASSERT_TRUE(f.ok()) << f.error;
    EXPECT_THAT(f.phases, ElementsAre(0.5));
    EXPECT_THAT(f.problems(), HasSubstr("larger than 16 MB"));
    EXPECT_THAT(f.problems(), HasSubstr("up to line " + std::to_string(f.cutAtLine)));
    EXPECT_GT(f.cutAtLine, 100000);
}

TEST_F(ReaderFiles, PipesAndDevicesAreRefusedByName) {
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(readObservedFile(dir / "pipe").error, "it is a pipe, not a file") << "and it returns at once";
    EXPECT_EQ(readObservedFile("/dev/zero").error, "it is a device, not a file");
}

// Regression: values spanning more than the largest double normalised to 0 everywhere and showed
// as a perfect fit, "Relative Error: 0.".
TEST(RelativeErrorEdges, ASpanBeyondTheLargestNumberHasNoError) {
    const std::vector<double> phases{0.1, 0.2, 0.3};
    const std::vector<double> huge{-DBL_MAX, 0, DBL_MAX};
    const std::vector<double> model{1, 2, 3};
    const RelativeErrorResult r = computeRelativeError(phases, huge, model);
    EXPECT_FALSE(r.value.has_value());
    EXPECT_THAT(relativeErrorCaption(r), HasSubstr("span more than a number can hold"));
    EXPECT_FALSE(computeRelativeError(phases, model, huge).value.has_value());
}

TEST(StarParameterReader, LineEndsAndAByteOrderMark) {
    std::string why;
    for (const char* text : {"q, i, r1, r2, T1, T2, w1, w2\r0.3,80,0.3,0.3,5000,5000,0.5,0.5\r",
                             "\xEF\xBB\xBFq, i, r1, r2, T1, T2, w1, w2\r\n0.3,80,0.3,0.3,5000,5000,0.5,0.5\r\n"}) {
        const auto values = parseStarParameters(text, why);
        ASSERT_TRUE(values.has_value()) << why;
        EXPECT_EQ((*values)[0], "0.3");
        EXPECT_EQ((*values)[7], "0.5");
    }
}

// Regression: under a decimal-comma locale no observed curve loaded and star files were refused.
TEST(DecimalCommaLocale, FilesLoadAndRoundTrip) {
    const testing::CommaLocale comma;
    if (!comma.ok()) {
        GTEST_SKIP() << "no decimal-comma locale could be made here (localedef)";
    }
    const ObservedFile f = parseObservedText("0.125,12.5\n0.25,12.75\n");
    EXPECT_THAT(f.phases, ElementsAre(0.125, 0.25));
    EXPECT_THAT(f.values, ElementsAre(12.5, 12.75));
    std::string why;
    const StarParameters texts{"0.305", "82.5", "0.3", "0.45", "8200", "6100.5", "0.5", "0.25"};
    const auto back = parseStarParameters(formatStarParameters(texts), why);
    ASSERT_TRUE(back.has_value()) << why;
    EXPECT_EQ(*back, texts);
    const std::vector<double> phases{0.1, 0.2, 0.3};
    const std::vector<double> obs{1.5, 2.5, 3.5};
    const RelativeErrorResult r = computeRelativeError(phases, obs, obs);
    EXPECT_THAT(r.listing, HasSubstr("2,0.2,0.5,0.5")) << "the listing is written with points";
}

} // namespace
} // namespace corvane::fitting
