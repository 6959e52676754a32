// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// "Find Period" on series made from the program's own light curves: detached, semi-detached and
// contact pairs, unevenly sampled with a gap, through the file, the boxes and the plots.
#include "app/CorvaneForm.h"
#include "platform/Dialogs.h"
#include "support/ModelSeries.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

namespace corvane::app {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct TimingFormFixture : ::testing::Test {
    TimingFormFixture() {
        fs::create_directories(folder);
        form.AppFolder = folder;
        form.setPictureSize(400, 250);
        form.Form_Load();
    }
    ~TimingFormFixture() override {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    fs::path folder = fs::temp_directory_path() / ("corvane-timing-form-" + std::to_string(::getpid()) + "-" +
                                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
    platform::ScriptedDialogs dialogs;
    CorvaneForm form{dialogs};

    // 5000 times at random over 40 days, none in days 18 to 22.
    static std::vector<double> unevenTimes(unsigned seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> when(2459200, 2459240);
        std::vector<double> t;
        while (t.size() < 5000) {
            const double x = when(rng);
            if (x < 2459218 || x > 2459222) {
                t.push_back(x);
            }
        }
        std::sort(t.begin(), t.end());
        return t;
    }
};

struct SystemCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> values;
    double period;
};

class PeriodFromModelTable : public TimingFormFixture, public ::testing::WithParamInterface<SystemCase> {};

TEST_P(PeriodFromModelTable, ThePeriodIsFoundToATenThousandthOfAPercent) {
    const SystemCase& c = GetParam();
    corvane::testing::setSystem(form, c.values);
    const double epoch = 2459201.1234;
    const auto series = corvane::testing::observeModel(form, unevenTimes(3), c.period, epoch, 0.002, 11);
    const std::string file = (folder / "series.csv").string();
    corvane::testing::writeSeries(file, series, 0.002);
    const timing::TimingReport r = CorvaneForm::analyseTimeSeries(file);
    ASSERT_TRUE(r.ok()) << c.name << ": " << r.problem;
    EXPECT_NEAR(r.period / c.period, 1, 1e-5) << c.name << ": " << r.period << " (" << r.search.why << ")";
    const double cycles = (r.epoch - epoch) / c.period;
    EXPECT_NEAR(cycles, std::round(cycles), 0.01) << c.name << ": the epoch is a primary minimum";
    EXPECT_GE(r.minima.minima.size(), static_cast<std::size_t>(0.5 * 2 * 36 / c.period)) << c.name << ": half the eclipses at least";
}

INSTANTIATE_TEST_SUITE_P(
    Systems, PeriodFromModelTable,
    ::testing::Values(
        SystemCase{"detached",
                   {{"Qratio", "0.9"}, {"txtIota", "88"}, {"txtRadius1", "0.15"}, {"txtRadius2", "0.13"},
                    {"txtTemp1", "6000"}, {"txtTemp2", "5600"}},
                   3.3217},
        SystemCase{"semi-detached, a deep primary and a shallow secondary",
                   {{"Qratio", "0.4"}, {"txtIota", "84"}, {"txtRadius1", "0.35"}, {"txtRadius2", "0.27"},
                    {"txtTemp1", "8000"}, {"txtTemp2", "4500"}},
                   1.4683},
        // The start-up system: a contact pair whose minima differ by a few hundredths of a magnitude.
        SystemCase{"contact, nearly equal minima", {}, 0.3712}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(TimingFormFixture, AFoundPeriodFillsTheBoxesFoldsTheSeriesAndSavesItsPlotsAndMinima) {
    corvane::testing::setSystem(form, {{"Qratio", "0.9"}, {"txtIota", "88"}, {"txtRadius1", "0.15"},
                                       {"txtRadius2", "0.13"}, {"txtTemp1", "6000"}, {"txtTemp2", "5600"}});
    const auto series = corvane::testing::observeModel(form, unevenTimes(4), 3.3217, 2459201.1234, 0.002, 12);
    const std::string file = (folder / "series.csv").string();
    corvane::testing::writeSeries(file, series, 0.002);
    const timing::TimingReport r = CorvaneForm::analyseTimeSeries(file);
    ASSERT_TRUE(form.applyTiming(r)) << r.problem;
    EXPECT_EQ(form.txtPeriod.Text, timing::periodText(r.period));
    EXPECT_EQ(form.txtEpoch.Text, timing::timeText(r.epoch));
    form.txtLCName.Text = file;
    ASSERT_TRUE(form.readObservedCurve()) << form.LastLoadProblems;
    EXPECT_THAT(form.lblObserved.Caption, HasSubstr("Folded with period " + form.txtPeriod.Text));
    // Folded on it, the deepest points sit at phase 0.
    int deepest = 1;
    for (int i = 1; i <= form.Curve.ObsCount; ++i) {
        if (form.Curve.ObsRaw[static_cast<std::size_t>(i)] > form.Curve.ObsRaw[static_cast<std::size_t>(deepest)]) {
            deepest = i;
        }
    }
    const double phase = form.Curve.ObsPhase[static_cast<std::size_t>(deepest)];
    EXPECT_LT(std::fabs(phase - std::round(phase)), 0.01) << phase;

    const std::string summary = form.timingSummary();
    EXPECT_THAT(summary, HasSubstr("Period " + form.txtPeriod.Text + " d"));
    EXPECT_THAT(summary, HasSubstr("minima timed"));
    EXPECT_THAT(summary, HasSubstr("Ephemeris: T0 = "));
    for (const bool oMinusC : {false, true}) {
        for (const char* ext : {".png", ".svg"}) {
            const fs::path out = folder / (std::string(oMinusC ? "o-c" : "periodogram") + ext);
            EXPECT_EQ(form.saveTimingPlot(oMinusC, out, 900, 450), "") << out;
            EXPECT_GT(fs::exists(out) ? fs::file_size(out) : 0, 1000u) << out;
        }
    }
    const fs::path minima = folder / "minima.csv";
    ASSERT_EQ(form.saveMinima(minima), "");
    std::ifstream in(minima);
    std::string header, first;
    std::getline(in, header);
    std::getline(in, first);
    EXPECT_EQ(header, "time,error,type,cycle,o_c");
    EXPECT_THAT(first, ::testing::ContainsRegex("^2459[0-9]+\\.[0-9]+,[0-9.E-]+,(primary|secondary),"));
}

TEST_F(TimingFormFixture, AFileOfPhasesOrTooFewPointsIsRefusedAndNothingChanges) {
    const std::string phases = (folder / "phases.csv").string();
    std::ofstream(phases) << "0.1,12\n0.2,12.3\n0.3,12\n";
    const std::string few = (folder / "few.csv").string();
    std::ofstream(few) << "BJD,mag\n2459000.1,12\n2459000.2,12.3\n2459003.3,12\n";
    form.txtPeriod.Text = "1.5";
    for (const auto& [file, why] : {std::pair{phases, "holds phases, not times"}, {few, "too few points"},
                                    {(folder / "missing.csv").string(), "missing.csv"}}) {
        const timing::TimingReport r = CorvaneForm::analyseTimeSeries(file);
        EXPECT_FALSE(r.ok()) << file;
        EXPECT_THAT(r.problem, HasSubstr(why));
        EXPECT_FALSE(form.applyTiming(r));
        EXPECT_EQ(form.txtPeriod.Text, "1.5") << "unchanged after " << file;
        EXPECT_EQ(form.LastTiming, nullptr);
    }
}

} // namespace
} // namespace corvane::app
