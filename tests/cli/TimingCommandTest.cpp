// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// The batch tool's period search and times of minimum on a two-stretch time series.
#include "cli/BatchTool.h"
#include "platform/Dialogs.h"
#include "support/ModelSeries.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
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
    // The rest of the line after key, as printed.
    static std::string textAfter(const std::string& text, const std::string& key) {
        const auto at = text.find(key);
        if (at == std::string::npos) {
            return "";
        }
        const auto from = at + key.size();
        return text.substr(from, text.find('\n', from) - from);
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

// Two 27-day sectors 700 days apart at 2-minute cadence with 1 mmag of noise, made from the
// program's own light curve of a detached pair: the period to a millionth and every eclipse the
// sectors cover, each where the truth puts it.
TEST_F(TimingCommandFixture, TwoSectorsGiveThePeriodToAMillionthAndEveryCoveredMinimum) {
    platform::ScriptedDialogs dialogs;
    app::CorvaneForm form(dialogs);
    form.setPictureSize(400, 250);
    form.Form_Load();
    corvane::testing::setSystem(form, {{"Qratio", "0.7"}, {"txtIota", "86"}, {"txtRadius1", "0.2"},
                                       {"txtRadius2", "0.15"}, {"txtTemp1", "6000"}, {"txtTemp2", "4500"}});
    const double period = 2.7182818, t0 = 2458600.5432, cadence = 2.0 / 1440;
    std::vector<std::string> files;
    std::vector<double> all;
    for (const double start : {2458604.0, 2459304.0}) {
        const auto times = corvane::testing::stretchTimes(start, 27, cadence, 1.0);
        all.insert(all.end(), times.begin(), times.end());
        files.push_back((dir / ("sector" + std::to_string(files.size() + 1) + ".csv")).string());
        corvane::testing::writeSeries(files.back(),
                                      corvane::testing::observeModel(form, times, period, t0, 0.001, 7 + files.size()),
                                      0.001);
    }
    const Result found = tool({"period", "--observed", files[0], "--observed", files[1], "--plot",
                               (dir / "periodogram.png").string()});
    ASSERT_EQ(found.status, 0) << found.err;
    EXPECT_NEAR(after(found.out, "Period = ") / period, 1, 1e-6) << found.out << found.err;
    const double epochCycles = (after(found.out, "Epoch = ") - t0) / period;
    EXPECT_NEAR(epochCycles, std::round(epochCycles), 1e-4) << "the epoch is a primary minimum: " << found.out;
    EXPECT_GT(fs::file_size(dir / "periodogram.png"), 1000u);

    // The minima against the ephemeris just found (without it, minima searches the same way).
    const Result timed = tool({"minima", "--observed", files[0], "--observed", files[1], "--period",
                               textAfter(found.out, "Period = "), "--epoch", textAfter(found.out, "Epoch = "), "--plot",
                               (dir / "o-c.svg").string()});
    ASSERT_EQ(timed.status, 0) << timed.err;
    struct Row {
        double time, error;
        bool primary;
    };
    std::vector<Row> rows;
    std::istringstream lines(timed.out);
    std::string line;
    std::getline(lines, line);
    ASSERT_EQ(line, "time,error,type,cycle,o_c");
    while (std::getline(lines, line) && line.rfind("Ephemeris", 0) != 0) {
        std::istringstream fields(line);
        std::string time, error, type;
        std::getline(fields, time, ',');
        std::getline(fields, error, ',');
        std::getline(fields, type, ',');
        rows.push_back({std::stod(time), std::stod(error), type == "primary"});
    }
    EXPECT_NEAR(after(line, "P = ") / period, 1, 1e-6) << line;
    // Each timed minimum is a true eclipse of its type, within four of its errors.
    for (const Row& r : rows) {
        const double half = 2 * (r.time - t0) / period;
        const double nearest = std::round(half);
        EXPECT_NEAR(r.time, t0 + nearest * period / 2, 4 * r.error) << line;
        EXPECT_EQ(r.primary, std::fmod(std::fabs(nearest), 2.0) == 0) << "time " << r.time;
    }
    // Every eclipse with data all round it (no gap within a twentieth of the period) is timed.
    int covered = 0;
    for (int k = -10; k < 1000; ++k) {
        const double at = t0 + k * period / 2, reach = period / 20;
        const auto from = std::lower_bound(all.begin(), all.end(), at - reach);
        const auto to = std::upper_bound(all.begin(), all.end(), at + reach);
        if (from == all.end() || to == all.begin() || *from > at - reach + cadence || *(to - 1) < at + reach - cadence ||
            (to - from) < static_cast<std::ptrdiff_t>(2 * reach / cadence) - 2) {
            continue;
        }
        ++covered;
        EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const Row& r) { return std::fabs(r.time - at) < 0.01; }))
            << "the eclipse at " << at << " (half-cycle " << k << ") is covered but not timed";
    }
    EXPECT_GE(covered, 30);
    std::ifstream svg(dir / "o-c.svg");
    const std::string picture((std::istreambuf_iterator<char>(svg)), std::istreambuf_iterator<char>());
    EXPECT_THAT(picture, HasSubstr("O - C (minutes)"));
    EXPECT_THAT(picture, HasSubstr("Cycle E"));
}

} // namespace
} // namespace corvane::cli
