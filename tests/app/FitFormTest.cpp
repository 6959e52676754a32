// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// Observations as astronomers have them, loaded and fitted through the form.
#include "app/CorvaneForm.h"
#include "platform/NumberFormat.h"
#include "precise/PreciseLight.h"
#include "roche/Constants.h"

#include <fitsio.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <unistd.h>

namespace corvane::app {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using platform::Val;

// A detached system to observe: the "truth" of every synthetic series below.
constexpr double kTrueIota = 84, kTrueQ = 0.6;
constexpr double kPeriod = 2.4731, kEpoch = 2459001.3;

struct Series {
    std::vector<double> time, mag, err;
};

struct FitFormFixture : ::testing::Test {
    FitFormFixture() {
        fs::create_directories(folder);
        form.AppFolder = folder;
        form.setPictureSize(400, 250);
        form.Form_Load();
        form.chooseItem("cmbPhotometry", "Precise");
        form.typeText("Qratio", platform::GeneralNumber(kTrueQ));
        form.typeText("txtIota", platform::GeneralNumber(kTrueIota));
        form.typeText("txtRadius1", "0.3");
        form.typeText("txtRadius2", "0.24");
        form.typeText("txtTemp1", "6500");
        form.typeText("txtTemp2", "5000");
    }
    ~FitFormFixture() override { fs::remove_all(folder); }
    fs::path folder = fs::temp_directory_path() / ("corvane-fit-form-" + std::to_string(::getpid()) + "-" +
                                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
    platform::ScriptedDialogs dialogs;
    CorvaneForm form{dialogs};

    // The form's system observed at n random times over 30 days (BJD), in magnitudes with noise of
    // sigma mag (and that sigma as each point's error), from a seeded generator.
    Series observe(int n, double sigma, unsigned seed = 11) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> when(kEpoch - 10, kEpoch + 20);
        std::normal_distribution<double> noise(0, sigma);
        Series s;
        std::vector<double> etas;
        for (int i = 0; i < n; ++i) {
            const double t = when(rng);
            const double cycles = (t - kEpoch) / kPeriod;
            s.time.push_back(t);
            etas.push_back(TwoPi * (cycles - std::floor(cycles) + 0.25));
        }
        const precise::PreciseLight light(form.sceneInputs());
        const auto values = light.curve(etas);
        for (int i = 0; i < n; ++i) {
            const double l = values[static_cast<std::size_t>(i)][static_cast<std::size_t>(form.comparedChannel())];
            s.mag.push_back(12.3 - 2.5 * std::log10(l) + noise(rng));
            s.err.push_back(sigma);
        }
        return s;
    }
    fs::path writeText(const std::string& name, const std::string& text) {
        const fs::path file = folder / name;
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }
    fs::path writeSeries(const std::string& name, const Series& s) {
        std::ostringstream text;
        text.precision(15);
        text << "# synthetic detached binary, q = 0.6, i = 84\n# BJD_TDB        V        e_V\nBJD mag err\n";
        for (std::size_t i = 0; i < s.time.size(); ++i) {
            text << s.time[i] << ' ' << s.mag[i] << ' ' << s.err[i] << '\n';
        }
        return writeText(name, text.str());
    }
    // The same points as a mission's light curve: TIME (BJD - 2457000), PDCSAP_FLUX and its error.
    fs::path writeFits(const std::string& name, const Series& s) {
        const fs::path file = folder / name;
        fitsfile* f = nullptr;
        int status = 0;
        const std::string path = "!" + file.string();
        fits_create_file(&f, path.c_str(), &status);
        char* types[] = {const_cast<char*>("TIME"), const_cast<char*>("PDCSAP_FLUX"),
                         const_cast<char*>("PDCSAP_FLUX_ERR"), const_cast<char*>("QUALITY")};
        char* forms[] = {const_cast<char*>("1D"), const_cast<char*>("1D"), const_cast<char*>("1D"),
                         const_cast<char*>("1J")};
        fits_create_tbl(f, BINARY_TBL, 0, 4, types, forms, nullptr, "LIGHTCURVE", &status);
        for (std::size_t i = 0; i < s.time.size(); ++i) {
            double t = s.time[i] - 2457000;
            double flux = std::pow(10.0, -0.4 * (s.mag[i] - 20));
            double e = flux * s.err[i] * std::log(10.0) / 2.5;
            int q = 0;
            const auto row = static_cast<LONGLONG>(i + 1);
            fits_write_col(f, TDOUBLE, 1, row, 1, 1, &t, &status);
            fits_write_col(f, TDOUBLE, 2, row, 1, 1, &flux, &status);
            fits_write_col(f, TDOUBLE, 3, row, 1, 1, &e, &status);
            fits_write_col(f, TINT, 4, row, 1, 1, &q, &status);
        }
        fits_close_file(f, &status);
        EXPECT_EQ(status, 0);
        return file;
    }
    bool load(const fs::path& file, const std::string& period, const std::string& epoch) {
        form.txtLCName.Text = file.string();
        form.txtPeriod.Text = period;
        form.txtEpoch.Text = epoch;
        return form.readObservedCurve();
    }
    CorvaneForm::FitOutcome fit(const std::string& iota, const std::string& q) {
        form.typeText("txtIota", iota);
        form.typeText("Qratio", q);
        form.FitFree = {"Inclination", "Mass Ratio"};
        std::atomic<bool> cancel{false};
        CorvaneForm::FitOutcome out;
        std::string why;
        EXPECT_TRUE(form.runFit(2, {}, cancel, out, why)) << why;
        return out;
    }
};

TEST_F(FitFormFixture, ATimeSeriesInBjdIsFoldedSoThePrimaryMinimumFallsAtPhaseZero) {
    const Series s = observe(400, 0);
    ASSERT_TRUE(load(writeSeries("bjd.txt", s), platform::GeneralNumber(kPeriod), platform::GeneralNumber(kEpoch)))
        << form.LastLoadProblems;
    ASSERT_EQ(form.Curve.ObsCount, 400);
    EXPECT_TRUE(form.ObsHasErrors);
    int faintest = 1;
    for (int i = 1; i <= form.Curve.ObsCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        EXPECT_GE(form.Curve.ObsPhase[k], 0);
        EXPECT_LT(form.Curve.ObsPhase[k], 1);
        if (form.Curve.ObsRaw[k] > form.Curve.ObsRaw[static_cast<std::size_t>(faintest)]) {
            faintest = i;
        }
    }
    const double phase = form.Curve.ObsPhase[static_cast<std::size_t>(faintest)];
    EXPECT_LT(std::min(phase, 1 - phase), 0.01) << "faintest point at phase " << phase;
    EXPECT_THAT(form.lblObserved.Caption, HasSubstr("Read 400 points: phase from BJD, magnitude from mag, errors from err."));
    EXPECT_THAT(form.lblObserved.Caption, HasSubstr("Folded with period 2.4731 d and epoch 2459001.3."));
    EXPECT_TRUE(form.LastLoadProblems.empty()) << "a clean file needs no message box: " << form.LastLoadProblems;
}

TEST_F(FitFormFixture, TheModelItselfHasAChiSquareOfZeroAndNoiseGivesOnePerPoint) {
    ASSERT_TRUE(load(writeSeries("exact.txt", observe(300, 0.002, 3)), "2.4731", "2459001.3"));
    // Noise-free magnitudes with 0.002 errors: chi-square 0 except the rounding of the written times.
    Series exact = observe(300, 0);
    for (double& e : exact.err) {
        e = 0.002;
    }
    ASSERT_TRUE(load(writeSeries("exact.txt", exact), "2.4731", "2459001.3"));
    form.chkError.Value = 1;
    form.computeModelAtObs();
    form.RelativeError();
    ASSERT_TRUE(form.lblChiSquare.Visible);
    const auto zero = form.fitObjective();
    ASSERT_TRUE(zero);
    EXPECT_LT(*zero, 1e-3) << form.lblChiSquare.Caption;
    EXPECT_THAT(form.lblChiSquare.Caption, HasSubstr("zero point 12.3"));

    ASSERT_TRUE(load(writeSeries("noisy.txt", observe(2000, 0.002, 5)), "2.4731", "2459001.3"));
    form.computeModelAtObs();
    const auto noisy = form.fitObjective();
    ASSERT_TRUE(noisy);
    EXPECT_NEAR(*noisy, 1, 0.1) << "chi-square per point of pure 0.002 mag noise";
}

TEST_F(FitFormFixture, FluxAndMagnitudeFilesOfOneSeriesGiveOneChiSquare) {
    const Series s = observe(300, 0.002, 8);
    ASSERT_TRUE(load(writeSeries("mag.txt", s), "2.4731", "2459001.3"));
    form.computeModelAtObs();
    const double fromMagnitudes = form.fitObjective().value_or(-1);
    ASSERT_TRUE(load(writeFits("flux.fits", s), "2.4731", "2001.3"));
    ASSERT_EQ(form.Curve.ObsCount, 300);
    EXPECT_THAT(form.lblObserved.Caption, HasSubstr("phase from TIME, flux from PDCSAP_FLUX (as magnitudes"));
    EXPECT_THAT(form.lblObserved.Caption, HasSubstr("errors from PDCSAP_FLUX_ERR"));
    form.computeModelAtObs();
    const double fromFlux = form.fitObjective().value_or(-1);
    EXPECT_NEAR(fromFlux, fromMagnitudes, 1e-3 * fromMagnitudes);
}

TEST_F(FitFormFixture, AnOffsetSeriesIsFittedBackToTheTruthFromSixDegreesAndPointOneFiveAway) {
    const Series s = observe(500, 0.002);
    ASSERT_TRUE(load(writeSeries("bjd.txt", s), "2.4731", "2459001.3"));
    const CorvaneForm::FitOutcome out = fit("78", "0.75");
    ASSERT_EQ(out.names, (std::vector<std::string>{"Inclination", "Mass Ratio"}));
    EXPECT_NEAR(Val(form.txtIota.Text), kTrueIota, 1) << form.Text1.Text;
    EXPECT_NEAR(Val(form.Qratio.Text), kTrueQ, 0.03) << form.Text1.Text;
    EXPECT_TRUE(out.weighted);
    EXPECT_NEAR(out.objective, 1, 0.2) << "the noise is all that is left";
    EXPECT_TRUE(out.converged);
    ASSERT_TRUE(out.errors[0] && out.errors[1]) << form.Text1.Text;
    // The truth lies within a few of the curvature's sigmas of the fit.
    EXPECT_LT(std::fabs(out.values[0] - kTrueIota), 4 * *out.errors[0] + 0.05) << form.Text1.Text;
    EXPECT_LT(std::fabs(out.values[1] - kTrueQ), 4 * *out.errors[1] + 0.005) << form.Text1.Text;
    EXPECT_THAT(form.Text1.Text, HasSubstr("Inclination = "));
    EXPECT_THAT(form.Text1.Text, HasSubstr("Chi-Square per Point = "));
    EXPECT_THAT(form.Text1.Text, HasSubstr("Evaluations: "));
    EXPECT_THAT(form.lblDCProgress.Caption, HasSubstr("Fit done"));

    // The same data as a FITS light curve: the same answer.
    const double iota = Val(form.txtIota.Text), q = Val(form.Qratio.Text);
    ASSERT_TRUE(load(writeFits("bjd.fits", s), "2.4731", "2001.3"));
    fit("78", "0.75");
    EXPECT_NEAR(Val(form.txtIota.Text), iota, 0.05);
    EXPECT_NEAR(Val(form.Qratio.Text), q, 0.003);
}

TEST_F(FitFormFixture, AFileWithoutErrorsIsFittedInItsOwnMagnitudesSoTheEclipseDepthCounts) {
    // The model's own curve with its magnitude deviations doubled has the model's shape: the
    // min-max-normalised relative error cannot tell them apart, the residuals in magnitudes can.
    Series s = observe(400, 0.0);
    auto write = [&](const std::string& name, double stretch) {
        std::ostringstream text;
        text.precision(15);
        text << "BJD mag\n";
        for (std::size_t i = 0; i < s.time.size(); ++i) {
            text << s.time[i] << ' ' << 12.3 + stretch * (s.mag[i] - 12.3) << '\n';
        }
        return writeText(name, text.str());
    };
    for (const auto& [name, stretch] : {std::pair{"same.txt", 1.0}, std::pair{"deeper.txt", 2.0}}) {
        ASSERT_TRUE(load(write(name, stretch), "2.4731", "2459001.3"));
        ASSERT_FALSE(form.ObsHasErrors);
        form.computeModelAtObs();
        const auto rms = form.fitObjective();
        ASSERT_TRUE(rms) << name;
        if (stretch == 1) {
            EXPECT_LT(*rms, 1e-6) << "the model against itself, zero point 12.3 mag";
        } else {
            EXPECT_GT(*rms, 0.01) << "twice as deep an eclipse is not a fit";
        }
    }

    // From six degrees and 0.15 in q away a noisy file without errors is fitted back to the truth,
    // the errors coming from the residuals' scatter.
    s = observe(500, 0.002);
    std::ostringstream text;
    text.precision(15);
    text << "BJD mag\n";
    for (std::size_t i = 0; i < s.time.size(); ++i) {
        text << s.time[i] << ' ' << s.mag[i] << '\n';
    }
    ASSERT_TRUE(load(writeText("plain.txt", text.str()), "2.4731", "2459001.3"));
    const CorvaneForm::FitOutcome out = fit("78", "0.75");
    EXPECT_FALSE(out.weighted);
    EXPECT_NEAR(Val(form.txtIota.Text), kTrueIota, 1) << form.Text1.Text;
    EXPECT_NEAR(Val(form.Qratio.Text), kTrueQ, 0.03) << form.Text1.Text;
    EXPECT_NEAR(out.objective, 0.002, 0.0004) << "the RMS residual is the noise: " << form.Text1.Text;
    EXPECT_NEAR(out.zeroPoint, 12.3, 0.01) << form.Text1.Text;
    ASSERT_TRUE(out.errors[0] && out.errors[1]) << form.Text1.Text;
    EXPECT_LT(std::fabs(out.values[0] - kTrueIota), 4 * *out.errors[0] + 0.05) << form.Text1.Text;
    EXPECT_THAT(form.Text1.Text, HasSubstr("RMS Residual = "));
    EXPECT_THAT(form.Text1.Text, Not(HasSubstr("+/- 0\r"))) << "an error is printed to two figures";
}

// A Gaussian prior on a parameter the data measure as x0 +- s0 combines with them as two Gaussians
// do: a prior x0 + 2 s0 +- s0 moves the fit halfway, to x0 + s0, and its error to s0 / sqrt(2). By
// the box's name as by the caption; and a file without errors is first given its scatter.
TEST_F(FitFormFixture, APriorCombinesWithTheDataAsTwoGaussiansDo) {
    const Series s = observe(300, 0.003);
    ASSERT_TRUE(load(writeSeries("bjd.txt", s), "2.4731", "2459001.3"));
    auto fitIota = [&](const std::vector<CorvaneForm::FitPrior>& priors) {
        form.typeText("txtIota", "84");
        form.FitFree = {"txtIota"};
        form.FitPriors = priors;
        std::atomic<bool> cancel{false};
        CorvaneForm::FitOutcome out;
        std::string why;
        EXPECT_TRUE(form.runFit(2, {}, cancel, out, why)) << why;
        EXPECT_EQ(out.names, std::vector<std::string>{"Inclination"}) << "a box's name stands for its caption";
        return out;
    };
    const CorvaneForm::FitOutcome free = fitIota({});
    ASSERT_TRUE(free.errors.size() == 1 && free.errors[0]) << form.Text1.Text;
    const double x0 = free.values[0], s0 = *free.errors[0];
    ASSERT_LT(s0, 0.5) << form.Text1.Text;
    CorvaneForm::FitPrior prior;
    ASSERT_EQ(CorvaneForm::parsePrior("txtIota = " + platform::GeneralNumber(x0 + 2 * s0) + " +/- " +
                                          platform::GeneralNumber(s0),
                                      prior),
              "");
    EXPECT_EQ(prior.name, "Inclination");
    const CorvaneForm::FitOutcome pulled = fitIota({prior});
    ASSERT_TRUE(pulled.errors[0]) << form.Text1.Text;
    EXPECT_NEAR(pulled.values[0], x0 + s0, 0.15 * s0) << "x0 " << x0 << ", s0 " << s0 << "\n" << form.Text1.Text;
    EXPECT_NEAR(*pulled.errors[0], s0 / std::sqrt(2.0), 0.1 * s0) << form.Text1.Text;
    EXPECT_THAT(form.Text1.Text, HasSubstr("Prior: Inclination = "));

    // The same points without errors: the prior weighs against their scatter, found by a first fit.
    std::ostringstream text;
    text.precision(15);
    text << "BJD mag\n";
    for (std::size_t i = 0; i < s.time.size(); ++i) {
        text << s.time[i] << ' ' << s.mag[i] << '\n';
    }
    ASSERT_TRUE(load(writeText("plain.txt", text.str()), "2.4731", "2459001.3"));
    const CorvaneForm::FitOutcome plain = fitIota({prior});
    EXPECT_FALSE(plain.weighted);
    EXPECT_FALSE(form.ObsHasErrors) << "the file's missing errors are not invented for good";
    EXPECT_THAT(form.Text1.Text, HasSubstr("each point was given the residual scatter, "));
    EXPECT_NEAR(plain.values[0], pulled.values[0], 0.3 * s0) << form.Text1.Text;

    // Priors on derived quantities: what they weigh is the system's own ratio of radii.
    ASSERT_EQ(CorvaneForm::parsePrior("k=0.8\u00b10.01", prior), "");
    form.FitPriors = {prior};
    form.Refresh_Click();
    EXPECT_NEAR(form.priorQuantity("k"), form.volumeRadius(2) / form.volumeRadius(1), 1e-12);
    EXPECT_NEAR(form.priorPenalty(), std::pow((form.priorQuantity("k") - 0.8) / 0.01, 2), 1e-9);
    ASSERT_EQ(CorvaneForm::parsePrior("Light Ratio=0.2+-0.05", prior), "");
    const double ratio = form.priorQuantity("Light Ratio");
    EXPECT_GT(ratio, 0.05) << "star 2 is cooler and smaller, but shines";
    EXPECT_LT(ratio, 1);
}

// Flares (points 0.05 mag brighter, 25 sigma) pull a fit away and spoil its chi-square, which the
// report says; clipping at 4 robust sigma leaves out those points and no others, and the fit is
// then as good as the noise.
TEST_F(FitFormFixture, SigmaClippingLeavesOutTheFlaresAndOnlyThem) {
    Series s = observe(400, 0.002, 5);
    std::vector<double> flarePhases;
    for (std::size_t i = 7; i < s.mag.size(); i += 33) {
        s.mag[i] -= 0.05;
        const double cycles = (s.time[i] - kEpoch) / kPeriod;
        flarePhases.push_back(cycles - std::floor(cycles));
    }
    ASSERT_TRUE(load(writeSeries("flares.txt", s), "2.4731", "2459001.3"));
    const CorvaneForm::FitOutcome spoiled = fit("84.3", "0.62");
    EXPECT_GT(spoiled.objective, 5) << form.Text1.Text;
    EXPECT_THAT(spoiled.report, HasSubstr("Warning: the reduced chi-square is "));
    EXPECT_THAT(spoiled.report, HasSubstr("converged, but to a poor fit")) << spoiled.report;

    form.FitClipSigma = 4;
    const CorvaneForm::FitOutcome clipped = fit("84.3", "0.62");
    EXPECT_THAT(clipped.report, HasSubstr("Sigma clipping at 4 sigma")) << clipped.report;
    EXPECT_THAT(clipped.report, Not(HasSubstr("Warning"))) << clipped.report;
    EXPECT_NEAR(clipped.objective, 1, 0.2) << clipped.report;
    int flaresClipped = 0, othersClipped = 0;
    for (int i = 1; i <= form.Curve.ObsCount; ++i) {
        const double phase = form.Curve.ObsPhase[static_cast<std::size_t>(i)];
        const bool flare = std::any_of(flarePhases.begin(), flarePhases.end(),
                                       [&](double p) { return std::abs(std::remainder(p - phase, 1.0)) < 1e-7; });
        if (form.ObsClipped[static_cast<std::size_t>(i)] != 0) {
            (flare ? flaresClipped : othersClipped) += 1;
        }
    }
    EXPECT_EQ(flaresClipped, static_cast<int>(flarePhases.size())) << clipped.report;
    EXPECT_LE(othersClipped, 1) << clipped.report;
    EXPECT_EQ(form.clippedCount(), flaresClipped + othersClipped);
    EXPECT_LT(std::fabs(clipped.values[0] - kTrueIota), 3 * clipped.errors[0].value_or(0) + 0.02) << clipped.report;
    EXPECT_LT(std::fabs(clipped.values[1] - kTrueQ), 3 * clipped.errors[1].value_or(0) + 0.002) << clipped.report;

    // A new curve starts with every point in.
    ASSERT_TRUE(load(writeSeries("again.txt", s), "2.4731", "2459001.3"));
    EXPECT_EQ(form.clippedCount(), 0);
}

// A model that misses an eclipse's depth is said to, whatever its chi-square: at the truth nothing is
// said, at a shallower inclination both eclipses are named.
TEST_F(FitFormFixture, AModelThatMissesTheEclipseDepthsIsWarnedOf) {
    const Series s = observe(400, 0.002, 3);
    ASSERT_TRUE(load(writeSeries("bjd.txt", s), "2.4731", "2459001.3"));
    form.computeModelAtObs();
    EXPECT_TRUE(form.fitWarnings(1.0).empty()) << "at the truth";
    form.typeText("txtIota", "80");
    form.computeModelAtObs();
    std::string all;
    for (const std::string& w : form.fitWarnings(1.0)) {
        all += w + "\n";
    }
    EXPECT_THAT(all, HasSubstr("misses the depth of the model's deeper eclipse")) << all;
    EXPECT_THAT(all, HasSubstr("the observations are deeper")) << all;
    EXPECT_THAT(form.fitWarnings(2.5).front(), HasSubstr("reduced chi-square is 2.5"));
    for (const std::string& w : form.fitWarnings(2.0)) {
        EXPECT_THAT(w, Not(HasSubstr("chi-square"))) << "2 itself is not above 2";
    }
}

// B and V of one system, each with its own zero point and made in its own band, fitted together:
// each curve is computed in its band, both chi-squares are the noise's, and the system comes back.
// Computed in the wrong band the second curve does not fit: its eclipse depths differ.
TEST_F(FitFormFixture, TwoBandsAreFittedTogetherEachInItsOwnBand) {
    form.chooseItem("cmbPassband", "Johnson B");
    Series b = observe(300, 0.003, 21);
    form.chooseItem("cmbPassband", "Johnson V");
    Series v = observe(300, 0.003, 22);
    for (double& m : v.mag) {
        m += 1.7; // another night, another zero point
    }
    ASSERT_TRUE(load(writeSeries("v.txt", v), "2.4731", "2459001.3"));
    ASSERT_EQ(form.addLightCurve(writeSeries("b.txt", b).string(), "Johnson B", 0), "");
    ASSERT_EQ(form.ExtraLight.size(), 1u);
    EXPECT_EQ(form.fitPointCount(), 600);
    const CorvaneForm::FitOutcome out = fit("82", "0.7");
    EXPECT_THAT(out.report, HasSubstr("and 1 more light curve"));
    EXPECT_THAT(out.report, HasSubstr("Light curve 2 ("));
    EXPECT_NEAR(out.objective, 1, 0.2) << out.report;
    const auto chiB = form.lightSetChiSquare(form.ExtraLight.front());
    ASSERT_TRUE(chiB);
    EXPECT_NEAR(chiB->perPoint(), 1, 0.25) << out.report;
    EXPECT_NEAR(chiB->zeroPoint, 12.3, 0.01) << out.report;
    ASSERT_TRUE(out.errors[0] && out.errors[1]) << out.report;
    EXPECT_LT(std::fabs(out.values[0] - kTrueIota), 3 * *out.errors[0] + 0.02) << out.report;
    EXPECT_LT(std::fabs(out.values[1] - kTrueQ), 3 * *out.errors[1] + 0.002) << out.report;

    form.ExtraLight.front().passband = "Johnson V";
    const auto wrong = form.lightSetChiSquare(form.ExtraLight.front());
    ASSERT_TRUE(wrong);
    EXPECT_GT(wrong->perPoint(), 3 * chiB->perPoint()) << "the B curve computed in V";

    // Both files need errors, and the Precise photometry.
    form.ExtraLight.front().hasErrors = false;
    std::atomic<bool> cancel{false};
    CorvaneForm::FitOutcome refused;
    std::string why;
    EXPECT_FALSE(form.runFit(2, {}, cancel, refused, why));
    EXPECT_THAT(why, HasSubstr("every file needs them"));
}

// Levenberg-Marquardt and the simplex minimise one objective: from the same start they agree within a
// tenth of the errors, and both find the truth.
TEST_F(FitFormFixture, LevenbergMarquardtAndTheSimplexAgree) {
    const Series s = observe(400, 0.002, 9);
    ASSERT_TRUE(load(writeSeries("bjd.txt", s), "2.4731", "2459001.3"));
    form.FitMethod = "simplex";
    const CorvaneForm::FitOutcome simplex = fit("83", "0.66");
    EXPECT_THAT(simplex.report, HasSubstr("Fit by the downhill simplex"));
    form.FitMethod = "lm";
    const CorvaneForm::FitOutcome lm = fit("83", "0.66");
    EXPECT_THAT(lm.report, HasSubstr("Fit by Levenberg-Marquardt"));
    EXPECT_TRUE(lm.converged) << lm.report;
    ASSERT_TRUE(simplex.errors[0] && simplex.errors[1] && lm.errors[0] && lm.errors[1]) << lm.report;
    EXPECT_NEAR(lm.values[0], simplex.values[0], 0.1 * *simplex.errors[0] + 1e-4) << lm.report << simplex.report;
    EXPECT_NEAR(lm.values[1], simplex.values[1], 0.1 * *simplex.errors[1] + 1e-5) << lm.report << simplex.report;
    EXPECT_NEAR(lm.objective, simplex.objective, 1e-3 * simplex.objective);
    EXPECT_LT(std::fabs(lm.values[0] - kTrueIota), 3 * *lm.errors[0] + 0.02) << lm.report;
    // The residuals are the objective's: their squares sum to it times the points.
    form.computeModelAtObs();
    const std::vector<double> r = form.fitResiduals();
    double sum = 0;
    for (const double v : r) {
        sum += v * v;
    }
    ASSERT_EQ(static_cast<int>(r.size()), form.fitPointCount());
    EXPECT_NEAR(sum / static_cast<double>(r.size()), *form.fitObjective(), 1e-9 * sum);
}

TEST_F(FitFormFixture, AThirdLightIsFittedBackAndNeedsThePrecisePhotometry) {
    // Observed with L3 = 0.2 (the eclipses a fifth shallower at quadrature's level), fitted from none.
    form.typeText("txtThirdLight", "0.2");
    const Series s = observe(400, 0.002);
    form.typeText("txtThirdLight", "0");
    ASSERT_TRUE(load(writeSeries("third.txt", s), "2.4731", "2459001.3"));
    form.FitFree = {"Third Light"};
    std::atomic<bool> cancel{false};
    CorvaneForm::FitOutcome out;
    std::string why;
    ASSERT_TRUE(form.runFit(2, {}, cancel, out, why)) << why;
    EXPECT_NEAR(Val(form.txtThirdLight.Text), 0.2, 0.01) << form.Text1.Text;
    EXPECT_NEAR(out.objective, 1, 0.25) << form.Text1.Text;
    ASSERT_TRUE(out.errors[0]) << form.Text1.Text;
    EXPECT_LT(std::fabs(out.values[0] - 0.2), 4 * *out.errors[0] + 1e-3) << form.Text1.Text;
    form.chooseItem("cmbPhotometry", "Pixels");
    EXPECT_FALSE(form.runFit(2, {}, cancel, out, why));
    EXPECT_THAT(why, HasSubstr("Third Light is a setting of the Precise photometry"));
}

TEST_F(FitFormFixture, CancellingKeepsTheBestPointSoFarInTheBoxes) {
    ASSERT_TRUE(load(writeSeries("bjd.txt", observe(200, 0.002)), "2.4731", "2459001.3"));
    form.typeText("txtIota", "78");
    form.typeText("Qratio", "0.75");
    form.computeModelAtObs();
    const double before = form.fitObjective().value_or(0);
    std::atomic<bool> cancel{false};
    int reports = 0;
    double bestReported = 0;
    CorvaneForm::FitOutcome out;
    std::string why;
    ASSERT_TRUE(form.runFit(
        2,
        [&](int evaluations, double best) {
            ++reports;
            bestReported = best;
            if (evaluations >= 8) {
                cancel = true;
            }
        },
        cancel, out, why));
    EXPECT_TRUE(out.cancelled);
    // The batch that asked, one more (every process must see the cancel at the same batch) and the
    // best point's own value: at most a Jacobian of two points past it.
    EXPECT_LE(out.evaluations, 12);
    EXPECT_GT(reports, 0);
    EXPECT_LE(out.objective, before) << "the boxes hold a point no worse than the start";
    EXPECT_NEAR(out.objective, bestReported, 1e-3 * bestReported) << "and it is the best one seen";
    EXPECT_THAT(form.Text1.Text, HasSubstr("cancelled: the best point so far"));
}

TEST_F(FitFormFixture, BadFilesAndMissingPeriodsAreRefusedAndNoBoxChanges) {
    const Series s = observe(50, 0.002);
    const fs::path good = writeSeries("bjd.txt", s);
    ASSERT_TRUE(load(writeText("phases.csv", "0.1,12\n0.2,12.5\n0.3,12.1\n"), "", "0"));
    const std::string boxes = form.txtIota.Text + form.Qratio.Text + form.txtRadius1.Text;
    struct Bad {
        fs::path file;
        std::string period;
        const char* says;
    };
    const Bad cases[] = {
        {good, "", "Type the period in days"},
        {good, "-2", "Type the period in days"},
        {good, "abc", "Type the period in days"},
        {writeText("header.txt", "time,counts\n1,2\n"), "1", "names no magnitude or flux column"},
        {writeText("empty.txt", "# nothing here\n\n"), "1", "No observations could be read"},
        {writeText("binary.dat", std::string("\x01\x02\0\x03", 4)), "1", "neither text nor FITS"},
        {writeText("flux.txt", "phase flux\n0.1 -1\n0.2 0\n"), "", "no flux in it is positive"},
        {folder / "missing.txt", "1", "does not exist"},
        {folder, "1", "is a folder"},
    };
    for (const Bad& c : cases) {
        form.txtLCName.Text = c.file.string();
        form.txtPeriod.Text = c.period;
        form.chkError.Value = 1;
        form.cmdLoadLight_Click();
        ASSERT_FALSE(dialogs.shown.empty());
        EXPECT_THAT(dialogs.shown.back().text, HasSubstr("cannot be loaded")) << c.file;
        EXPECT_THAT(dialogs.shown.back().text, HasSubstr(c.says)) << c.file;
        EXPECT_EQ(form.Curve.ObsCount, 3) << c.file << ": the loaded curve stays";
        EXPECT_DOUBLE_EQ(form.Curve.ObsPhase[2], 0.2) << c.file;
        EXPECT_EQ(form.txtIota.Text + form.Qratio.Text + form.txtRadius1.Text, boxes) << c.file;
    }
}

TEST_F(FitFormFixture, AFitNeedsACurveAndAParameterItKnows) {
    CorvaneForm::FitOutcome out;
    std::string why;
    std::atomic<bool> cancel{false};
    EXPECT_FALSE(form.runFit(1, {}, cancel, out, why));
    EXPECT_THAT(why, HasSubstr("load an observed light curve first"));
    ASSERT_TRUE(load(writeSeries("bjd.txt", observe(40, 0.002)), "2.4731", "2459001.3"));
    form.FitFree = {"Colour"};
    EXPECT_FALSE(form.runFit(1, {}, cancel, out, why));
    EXPECT_THAT(why, HasSubstr("'Colour' cannot be fitted"));
    form.FitFree = {};
    EXPECT_FALSE(form.runFit(1, {}, cancel, out, why));
    EXPECT_THAT(why, HasSubstr("choose at least one parameter"));
}

TEST_F(FitFormFixture, APhaseShiftIsFoundWhenTheEpochIsOff) {
    // An epoch 0.02 cycles late moves every phase by -0.02: the fitted shift puts it back.
    ASSERT_TRUE(load(writeSeries("bjd.txt", observe(300, 0.002)), "2.4731",
                     platform::GeneralNumber(kEpoch + 0.02 * kPeriod)));
    form.FitFree = {"Phase Shift"};
    std::atomic<bool> cancel{false};
    CorvaneForm::FitOutcome out;
    std::string why;
    ASSERT_TRUE(form.runFit(2, {}, cancel, out, why)) << why;
    EXPECT_NEAR(Val(form.txtPhaseShift.Text), 0.02, 0.001) << form.Text1.Text;
    EXPECT_NEAR(out.objective, 1, 0.25) << form.Text1.Text;
}


TEST_F(FitFormFixture, WithAutoOnAContactPairStarTwosRadiusStaysOnTheCommonSurface) {
    form.typeText("Qratio", "0.45");
    form.typeText("txtRadius1", "0.4352");
    form.setSwitch("chkAuto", 1);
    ASSERT_TRUE(form.ContactPair) << "the pair shares an envelope";
    const std::string radius2 = form.txtRadius2.Text;
    ASSERT_TRUE(load(writeText("phases.csv", "0.1,12\n0.2,12.5\n0.3,12.1\n0.6,12.2\n"), "", "0"));
    form.FitFree = {"Inclination", "Pole Radius #2"};
    std::atomic<bool> cancel{false};
    CorvaneForm::FitOutcome out;
    std::string why;
    // Only what the fit frees matters here: it is stopped after its first batch.
    ASSERT_TRUE(form.runFit(1, [&](int, double) { cancel = true; }, cancel, out, why)) << why;
    EXPECT_EQ(out.names, std::vector<std::string>{"Inclination"});
    EXPECT_THAT(out.report, HasSubstr("Pole Radius #2 is not free: \"Auto\" keeps it on the common surface."));
    EXPECT_EQ(form.txtRadius2.Text, radius2) << "the refresh keeps it where Auto puts it";
}

} // namespace
} // namespace corvane::app
