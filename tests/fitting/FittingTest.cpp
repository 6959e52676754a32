// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "fitting/GridSearch.h"
#include "fitting/ObservedCurve.h"
#include "fitting/RelativeError.h"
#include "fitting/StarParameters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace corvane::fitting {
namespace {

using ::testing::HasSubstr;

TEST(ObservedFile, ReadsWellFormedRecords) {
    const ObservedFile f = parseObservedText("0.1,12.5\n0.2, 12.7\r\n\n0.3 ,12.9,extra\n");
    ASSERT_TRUE(f.ok());
    EXPECT_EQ(f.phases, (std::vector<double>{0.1, 0.2, 0.3}));
    EXPECT_EQ(f.values, (std::vector<double>{12.5, 12.7, 12.9}));
    EXPECT_EQ(f.skippedLines, 0);
    EXPECT_EQ(f.problems(), "");
}

TEST(ObservedFile, SkipsAHeaderAndSaysSo) {
    const ObservedFile f = parseObservedText("Phase, Magnitude\n0.1,12.5\n0.2,12.7\n");
    ASSERT_TRUE(f.ok());
    EXPECT_EQ(f.phases.size(), 2u);
    EXPECT_EQ(f.skippedLines, 1);
    EXPECT_EQ(f.firstSkippedLine, 1);
    EXPECT_THAT(f.problems(), HasSubstr("1 line was skipped"));
}

TEST(ObservedFile, GarbageIsRefusedWhole) {
    EXPECT_FALSE(parseObservedText("hello\nworld\n").ok());
    EXPECT_FALSE(parseObservedText("").ok());
    EXPECT_FALSE(parseObservedText(std::string("0.1,12\n\0\x01\x02", 10)).ok()) << "binary";
    EXPECT_FALSE(parseObservedText("0.1;12.5\n").ok()) << "semicolons are not commas";
    const ObservedFile mixed = parseObservedText("0.1,12.5\nnan,3\n0.2,inf\n1e999,2\n0.3,\n,4\n0.4,12\n");
    EXPECT_EQ(mixed.phases.size(), 2u);
    EXPECT_EQ(mixed.skippedLines, 5);
}

TEST(ObservedFile, StopsAtFiveThousandRecords) {
    std::string text;
    for (int k = 0; k < 5001; ++k) {
        text += std::to_string(k / 5001.0) + "," + std::to_string(10 + k % 7) + "\n";
    }
    const ObservedFile f = parseObservedText(text);
    ASSERT_TRUE(f.ok());
    EXPECT_EQ(f.phases.size(), 5000u);
    EXPECT_TRUE(f.truncated);
    EXPECT_THAT(f.problems(), HasSubstr("only the first 5000"));
}

TEST(ObservedFile, MissingFilesAndFoldersAreReported) {
    EXPECT_THAT(readObservedFile("/nonexistent/corvane/curve.csv").error, HasSubstr("does not exist"));
    EXPECT_THAT(readObservedFile(std::filesystem::temp_directory_path()).error, HasSubstr("folder"));
}

TEST(RelativeError, AScaledAndShiftedCopyScoresZero) {
    const std::vector<double> phases{0.0, 0.25, 0.5, 0.75};
    const std::vector<double> obs{1, 3, 2, 5};
    std::vector<double> model;
    for (double v : obs) {
        model.push_back(7.5 * v + 100);
    }
    const RelativeErrorResult r = computeRelativeError(phases, obs, model);
    ASSERT_TRUE(r.value.has_value());
    EXPECT_NEAR(*r.value, 0.0, 1e-15);
    EXPECT_EQ(r.listing, "1,0,1,1\r\n2,0.25,0.5,0.5\r\n3,0.5,0.75,0.75\r\n4,0.75,0,0\r\n");
    EXPECT_EQ(relativeErrorCaption(r), "Relative Error: 0.");
}

TEST(RelativeError, HandComputedValueAndListing) {
    // obs normalised (inverted): 1, 0.5, 0; model normalised (inverted): 1, 0.75, 0.
    const std::vector<double> phases{0.125, 0.5, 0.875};
    const std::vector<double> obs{0, 1, 2};
    const std::vector<double> model{10, 11, 14};
    const RelativeErrorResult r = computeRelativeError(phases, obs, model);
    ASSERT_TRUE(r.value.has_value());
    EXPECT_NEAR(*r.value, std::sqrt(0.25 * 0.25 / 3), 1e-15);
    EXPECT_EQ(r.listing, "1,0.125,1,1\r\n2,0.5,0.5,0.75\r\n3,0.875,0,0\r\n");
    EXPECT_EQ(relativeErrorCaption(r), "Relative Error: 0.144338");
}

TEST(RelativeError, AMirrorImageScoresBadly) {
    const std::vector<double> phases{0, 0.5, 1};
    const std::vector<double> obs{0, 1, 2};
    const std::vector<double> model{2, 1, 0};
    EXPECT_NEAR(*computeRelativeError(phases, obs, model).value, std::sqrt(2.0 / 3), 1e-15);
}

TEST(RelativeError, FlatSeriesGiveAReasonInsteadOfAValue) {
    const std::vector<double> p{0, 0.5};
    const RelativeErrorResult flatObs = computeRelativeError(p, std::vector<double>{3, 3}, std::vector<double>{1, 2});
    EXPECT_FALSE(flatObs.value.has_value());
    EXPECT_THAT(relativeErrorCaption(flatObs), HasSubstr("Relative Error: "));
    EXPECT_THAT(flatObs.reason, HasSubstr("flat"));
    const RelativeErrorResult flatModel = computeRelativeError(p, std::vector<double>{1, 2}, std::vector<double>{5, 5});
    EXPECT_FALSE(flatModel.value.has_value());
    const RelativeErrorResult single =
        computeRelativeError(std::vector<double>{0.1}, std::vector<double>{1}, std::vector<double>{2});
    EXPECT_THAT(single.reason, HasSubstr("single"));
    EXPECT_FALSE(computeRelativeError({}, {}, {}).value.has_value());
}

TEST(StarParameters, RoundTripKeepsEveryTextExactly) {
    const StarParameters texts{"0.79152", "67.085", "0.3855", "0.347", "6108", "6055", "0.5", "0.45"};
    const std::string file = formatStarParameters(texts);
    EXPECT_EQ(file, "q, i, r1, r2, T1, T2, w1, w2\n0.79152,67.085,0.3855,0.347,6108,6055,0.5,0.45\n");
    std::string why;
    const auto back = parseStarParameters(file, why);
    ASSERT_TRUE(back.has_value()) << why;
    EXPECT_EQ(*back, texts);
}

TEST(StarParameters, ShortOrNonNumericFilesAreRefused) {
    std::string why;
    EXPECT_FALSE(parseStarParameters("q, i, r1, r2, T1, T2, w1, w2\n1,2,3\n", why));
    EXPECT_THAT(why, HasSubstr("eight values"));
    EXPECT_FALSE(parseStarParameters("q, i, r1, r2, T1, T2, w1, w2\n1,2,3,4,5,six,7,8\n", why));
    EXPECT_THAT(why, HasSubstr("T2"));
    EXPECT_FALSE(parseStarParameters("", why));
    EXPECT_FALSE(parseStarParameters("1,2,3,4,5,6,7,8\n", why)) << "no header: the values are taken as the header";
}

TEST(GridAxis, SpansFromFirstToLastInclusive) {
    const GridAxis a{"Inclination", 80, 85, 6};
    EXPECT_EQ(a.value(0), 80);
    EXPECT_EQ(a.value(5), 85);
    EXPECT_EQ(a.value(2), 82);
    EXPECT_EQ((GridAxis{"x", 3, 9, 1}.value(0)), 3);
}

std::vector<GridRow> runPlain(int threads) {
    const GridAxis a{"a", 0, 2, 3};
    const GridAxis b{"b", 10, 40, 4};
    std::atomic<bool> cancel{false};
    int calls = 0;
    std::mutex m;
    auto rows = runGrid(
        a, b, threads,
        [] {
            return [](double p1, double p2) {
                GridRow r;
                r.p1 = p1;
                r.p2 = p2;
                r.N = 10;
                r.parameters = {"q", "i", "r1", "r2", "T1", "T2", "w1", "w2"};
                r.error = std::hypot(p1 - 1, (p2 - 20) / 10);
                return r;
            };
        },
        [&](const GridProgress& p) {
            std::lock_guard lock(m);
            ++calls;
            EXPECT_LE(p.done, p.total);
            EXPECT_EQ(p.total, 12);
        },
        cancel);
    EXPECT_EQ(calls, 12);
    return rows;
}

TEST(GridSearch, RowsComeInGridOrderWhateverTheThreads) {
    const auto one = runPlain(1);
    const auto three = runPlain(3);
    ASSERT_EQ(one.size(), 12u);
    EXPECT_EQ(formatGridFile(one), formatGridFile(three));
    EXPECT_EQ(one[0].p1, 0);
    EXPECT_EQ(one[0].p2, 10);
    EXPECT_EQ(one[5].p1, 1);
    EXPECT_EQ(one[5].p2, 20);
    EXPECT_EQ(*one[5].error, 0.0);
    const std::string text = formatGridFile(one);
    EXPECT_EQ(text.substr(0, text.find('\n')), "q,i,r1,r2,T1,T2,w1,w2,N,Parameter #1 (y),Parameter #2 (x),Relative Error");
    EXPECT_THAT(text, HasSubstr("\nq,i,r1,r2,T1,T2,w1,w2,10,1,20,0\n"));
}

TEST(GridSearch, CancellingStopsEarly) {
    std::atomic<bool> cancel{false};
    int evaluated = 0;
    const auto rows = runGrid(
        GridAxis{"a", 0, 1, 10}, GridAxis{"b", 0, 1, 10}, 1,
        [&] {
            return [&](double p1, double p2) {
                if (++evaluated == 5) {
                    cancel = true;
                }
                GridRow r;
                r.p1 = p1;
                r.p2 = p2;
                r.error = 1;
                return r;
            };
        },
        {}, cancel);
    EXPECT_EQ(evaluated, 5);
    EXPECT_EQ(rows.size(), 100u);
    EXPECT_FALSE(rows[50].error.has_value());
    EXPECT_EQ(rows[50].reason, "cancelled");
}

TEST(GridSearch, ProgressTextUsesTheDescribedWords) {
    GridProgress p;
    p.done = 7;
    p.total = 25;
    p.rows = 1;
    p.cols = 2;
    p.rowCount = 5;
    p.colCount = 5;
    p.elapsedMinutes = 0.5;
    p.remainingHours = 0.0214;
    EXPECT_EQ(progressText(p), "1 rows of 5, 2 cols of 5, 28 percent completed. 0.5 minutes elapsed. 0.021 hours "
                               "remaining (estimated).");
}

} // namespace
} // namespace corvane::fitting
