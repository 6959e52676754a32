// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// The batch tool's period search and times of minimum on a two-stretch time series.
#include "cli/BatchTool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <unistd.h>

namespace corvane::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct TimingCommandFixture : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("corvane-cli-timing-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    TimingCommandFixture() { fs::create_directories(dir); }
    ~TimingCommandFixture() override { fs::remove_all(dir); }

    static constexpr double kPeriod = 1.6829753, kEpoch = 2459100.4321;
    // Two 10-day stretches at 10-minute cadence, 300 days apart, 1 mmag of noise: a detached pair with
    // eclipses of 0.4 and 0.15 mag.
    std::string series(const char* name, double start) const {
        std::mt19937 rng(static_cast<unsigned>(start));
        std::normal_distribution<double> noise(0, 0.001);
        std::ofstream out(dir / name);
        out.precision(12);
        out << "# BJD, V, e_V\nBJD,mag,err\n";
        for (double t = start; t < start + 10; t += 10.0 / 1440) {
            double p = (t - kEpoch) / kPeriod;
            p -= std::floor(p);
            const double a = std::min(p, 1 - p), b = std::fabs(p - 0.5);
            out << t << ',' << 11 + 0.4 * std::exp(-a * a / 0.0008) + 0.15 * std::exp(-b * b / 0.0008) + noise(rng)
                << ",0.001\n";
        }
        return (dir / name).string();
    }
    struct Result {
        int status;
        std::string out, err;
    };
    Result tool(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        const int status = runBatchTool(args, out, err);
        return {status, out.str(), err.str()};
    }
    static double after(const std::string& text, const std::string& key) {
        const auto at = text.find(key);
        return at == std::string::npos ? NAN : std::strtod(text.c_str() + at + key.size(), nullptr);
    }
};

TEST_F(TimingCommandFixture, JoinedStretchesGiveThePeriodEpochAndEveryMinimum) {
    const std::string a = series("a.csv", 2459090), b = series("b.csv", 2459390);
    const Result one = tool({"period", "--observed", a, "--max", "4"});
    ASSERT_EQ(one.status, 0) << one.err;
    const double p1 = after(one.out, "Period = ");
    EXPECT_NEAR(p1 / kPeriod, 1, 1e-5) << one.out << one.err;
    const Result both = tool({"period", "--observed", a, "--observed", b, "--max", "4"});
    ASSERT_EQ(both.status, 0) << both.err;
    const double p2 = after(both.out, "Period = ");
    EXPECT_NEAR(p2 / kPeriod, 1, 1e-6) << both.out << both.err;
    const double epoch = after(both.out, "Epoch = ");
    const double cycles = (epoch - kEpoch) / kPeriod;
    EXPECT_NEAR(cycles, std::round(cycles), 2e-4) << "a primary minimum: " << both.out;
    EXPECT_THAT(both.out, HasSubstr("Candidate 1: "));

    const Result minima = tool({"minima", "--observed", a, "--observed", b});
    ASSERT_EQ(minima.status, 0) << minima.err;
    std::istringstream lines(minima.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "time,error,type,cycle,o_c");
    int primaries = 0, secondaries = 0;
    while (std::getline(lines, line) && line.rfind("Ephemeris", 0) != 0) {
        primaries += line.find(",primary,") != std::string::npos;
        secondaries += line.find(",secondary,") != std::string::npos;
    }
    // Each 10-day stretch covers 5 or 6 of each.
    EXPECT_GE(primaries, 10);
    EXPECT_GE(secondaries, 10);
    EXPECT_THAT(line, HasSubstr("Ephemeris: T0 = "));
    EXPECT_NEAR(after(line, "P = ") / kPeriod, 1, 1e-6) << line;
}

TEST_F(TimingCommandFixture, PhasesAndTooLittleDataAreRefused) {
    std::ofstream(dir / "phases.csv") << "0.1,12\n0.2,12.3\n0.3,12\n";
    const Result phases = tool({"period", "--observed", (dir / "phases.csv").string()});
    EXPECT_EQ(phases.status, 1);
    EXPECT_THAT(phases.err, HasSubstr("holds phases, not times"));
    std::ofstream(dir / "few.csv") << "BJD,mag\n2459000.1,12\n2459000.2,12.3\n2459003.3,12\n";
    const Result few = tool({"period", "--observed", (dir / "few.csv").string()});
    EXPECT_EQ(few.status, 1);
    EXPECT_THAT(few.err, HasSubstr("too few points"));
    EXPECT_TRUE(few.out.empty());
}

} // namespace
} // namespace corvane::cli
