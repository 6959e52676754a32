// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// The "Precise" photometry as a person uses it, and the two engines checked against each other.
#include "app/CorvaneForm.h"
#include "fitting/ObservedCurve.h"
#include "lightcurve/LightCurve.h"
#include "platform/NumberFormat.h"
#include "precise/PreciseLight.h"
#include "roche/Constants.h"
#include "roche/NeckShape.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace corvane::app {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct PreciseFormFixture : ::testing::Test {
    PreciseFormFixture() {
        fs::create_directories(folder);
        form.AppFolder = folder;
        form.setPictureSize(400, 250);
        form.Form_Load();
    }
    ~PreciseFormFixture() override { fs::remove_all(folder); }
    fs::path folder = fs::temp_directory_path() / ("corvane-precise-form-" + std::to_string(::getpid()) + "-" +
                                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
    platform::ScriptedDialogs dialogs;
    CorvaneForm form{dialogs};

    void detached() {
        form.typeText("Qratio", "1");
        form.typeText("txtRadius1", "0.25");
        form.typeText("txtRadius2", "0.2");
        form.typeText("txtIota", "82");
    }
    int measuredPoints(int channel) const {
        int n = 0;
        for (int p = 0; p <= lightcurve::MaxPoint; ++p) {
            n += form.Curve.measured(channel, p) ? 1 : 0;
        }
        return n;
    }
    std::vector<std::string> fileLines(const fs::path& file) {
        std::ifstream in(file);
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);) {
            out.push_back(line);
        }
        return out;
    }
};

TEST_F(PreciseFormFixture, ChoosingPreciseShowsEveryChannelOfTheFilterAtOnce) {
    detached();
    form.typeText("txtAnimSpeed", "5");
    form.chooseItem("cmbFilter", "LRGB");
    // Pixels: one frame, one point, one channel.
    EXPECT_EQ(measuredPoints(0) + measuredPoints(1) + measuredPoints(2) + measuredPoints(3), 1);
    ASSERT_TRUE(form.chooseItem("cmbPhotometry", "Precise"));
    for (int channel = 0; channel < 4; ++channel) {
        EXPECT_EQ(measuredPoints(channel), 72) << "channel " << channel;
    }
    // The stored light is the engine's, at the animation's angles.
    const precise::PreciseLight light(form.sceneInputs());
    const int slot = lightcurve::phaseIndex(form.Curve.LCPoints, 10 * (5 * Pi / 180));
    const double eta = form.Curve.PhaseAt[static_cast<std::size_t>(slot)];
    EXPECT_NEAR(eta, 50 * Pi / 180, 1e-12);
    EXPECT_DOUBLE_EQ(form.Curve.at(3, slot), light.at(eta)[3]);
    // Animation ticks only move the marker: the curve stays whole.
    form.AnimCheck.Value = 1;
    for (int k = 0; k < 30; ++k) {
        form.Timer1_Timer();
    }
    EXPECT_EQ(measuredPoints(1), 72);
    EXPECT_EQ(form.Curve.Line1X, lightcurve::phaseIndex(form.Curve.LCPoints, form.Eta));
    // Back to pixels: the precise curve is gone, the frame is measured again.
    form.chooseItem("cmbPhotometry", "Pixels");
    EXPECT_EQ(measuredPoints(0) + measuredPoints(1) + measuredPoints(2) + measuredPoints(3), 1);
}

TEST_F(PreciseFormFixture, APreciseSaveIsWrittenAtOnceWithThePhasesOfAPixelSave) {
    detached();
    form.typeText("txtAnimSpeed", "10");
    form.chooseItem("cmbFilter", "RGB");
    form.chooseItem("cmbPhotometry", "Precise");
    form.txtFilename.Text = "precise.csv";
    form.mnuSaveLightCurve_Click();
    const fs::path precise = folder / "LightCurves" / "precise.csv";
    ASSERT_TRUE(fs::exists(precise)) << "written without turning the system";
    EXPECT_EQ(form.chkSave.Value, 0);
    EXPECT_FALSE(form.frameMessage.Visible);

    form.chooseItem("cmbPhotometry", "Pixels");
    form.txtFilename.Text = "pixels.csv";
    form.mnuSaveLightCurve_Click();
    for (int tick = 0; tick < 200 && form.chkSave.checked(); ++tick) {
        form.Timer1_Timer();
    }
    const fs::path pixels = folder / "LightCurves" / "pixels.csv";
    ASSERT_TRUE(fs::exists(pixels));
    const auto a = fileLines(precise), b = fileLines(pixels);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(a[0], b[0]);
    for (std::size_t k = 1; k < a.size(); ++k) {
        std::vector<double> fa, fb;
        std::stringstream sa(a[k]), sb(b[k]);
        for (std::string x; std::getline(sa, x, ',');) {
            fa.push_back(platform::Val(x));
        }
        for (std::string x; std::getline(sb, x, ',');) {
            fb.push_back(platform::Val(x));
        }
        ASSERT_EQ(fa.size(), fb.size()) << a[k] << " | " << b[k];
        EXPECT_EQ(fa[0], fb[0]) << "phase of line " << k;
        for (std::size_t c = 1; c < 4; ++c) {
            // A 400 x 250 picture of N = 5 cells: the pixels are a rough estimate.
            EXPECT_NEAR(fa[c], fb[c], 0.02) << a[k] << " | " << b[k];
        }
    }
}

// A 30-minute exposure of a 1.25-day orbit (0.0167 of it) across an eclipse, its contacts included:
// each model point against the brute-force average of 401 instants of the precise light over the
// exposure (its own error at a contact under 3e-7), within 1e-6 of the light (the form's tolerance).
// The same 30-minute exposure over an eccentric pair of spheres: each sub-point is a frame of its own
// moment, and the average is still the brute-force one (201 midpoints) to 1e-5 of the light.
TEST_F(PreciseFormFixture, AnExposureAveragesAnEccentricOrbitToo) {
    detached();
    if (form.chkSpherical.checked()) {
        form.chkSpherical.Value = 0;
        form.chkSpherical_Click();
    }
    form.typeText("txtEccentricity", "0.2");
    form.typeText("txtOmega", "100");
    const fs::path file = folder / "observed.csv";
    {
        std::ofstream out(file);
        for (int k = -30; k <= 30; k += 3) {
            const double phase = k / 500.0;
            out << (phase < 0 ? phase + 1 : phase) << "," << 12 << "\n";
        }
    }
    form.chooseItem("cmbPhotometry", "Precise");
    form.typeText("txtPeriod", "1.25");
    form.typeText("txtExposure", "1800");
    form.txtLCName.Text = file.string();
    form.chkError.Value = 1;
    form.cmdLoadLight_Click();
    ASSERT_EQ(form.Curve.ObsCount, 21);
    const double width = 1800 / (1.25 * 86400);
    const precise::PreciseLight light(form.sceneInputs());
    const int channel = form.comparedChannel();
    const double quadrature = light.at(Pi)[static_cast<std::size_t>(channel)];
    double deepest = quadrature;
    for (int i = 1; i <= form.Curve.ObsCount; ++i) {
        const double phase = form.Curve.ObsPhase[static_cast<std::size_t>(i)] + 0.25;
        const int n = 201;
        double sum = 0;
        for (int k = 0; k < n; ++k) {
            sum += light.at(TwoPi * (phase - 0.5 * width + (k + 0.5) * width / n))[static_cast<std::size_t>(channel)];
        }
        deepest = std::min(deepest, sum / n);
        EXPECT_NEAR(form.ModelLightAtObs[static_cast<std::size_t>(i)], sum / n, 1e-5 * quadrature)
            << "phase " << form.Curve.ObsPhase[static_cast<std::size_t>(i)];
    }
    EXPECT_LT(deepest, 0.9 * quadrature) << "the points cross the primary eclipse";
}

// A small companion crossing a uniform disc hides the fraction f = (r2 / r1)^2 of its light, centred on
// itself, so the star behind shifts by -f / (1 - f) times the velocity of the point it covers,
// V sin i / R (X cos(lambda) - Y sin(lambda)), X = sin(2 pi phase) and Y = cos(i) cos(2 pi phase) its
// place on the sky in a circular orbit: for every spin-orbit angle, given and synchronous rotations.
TEST_F(PreciseFormFixture, ATiltedSpinShiftsTheVelocityByWhatTheCompanionCovers) {
    if (form.chkSpherical.checked()) {
        form.chkSpherical.Value = 0;
        form.chkSpherical_Click();
    }
    form.chooseItem("cmbPhotometry", "Precise");
    for (const auto& [box, text] : {std::pair{"Qratio", "0.3"}, {"txtRadius1", "0.1"}, {"txtRadius2", "0.01"},
                                    {"txtIota", "88"}, {"txtLimb1", "0"}, {"txtLimb2", "0"}, {"txtPeriod", "2"},
                                    {"txtSemiMajorAxis", "10"}, {"txtGammaVelocity", "-7"}}) {
        form.typeText(box, text);
    }
    const double iota = 88 * Pi / 180, f = 0.01;
    const double synchronous = 2 * Pi * 0.1 * 10 * roche::NominalSolarRadiusKm * std::sin(iota) / (2 * 86400);
    struct Case {
        const char *vsini, *lambda;
        double V, lambdaDeg;
    };
    for (const Case& c : {Case{"0", "0", synchronous, 0}, Case{"0", "90", synchronous, 90}, Case{"50", "0", 50, 0},
                          Case{"50", "90", 50, 90}, Case{"80", "180", 80, 180}, Case{"80", "-30", 80, -30}}) {
        form.typeText("txtVsini1", c.vsini);
        form.typeText("txtLambda1", c.lambda);
        const auto model = form.velocityModel();
        ASSERT_TRUE(model);
        const double lambda = c.lambdaDeg * Pi / 180;
        double largest = 0;
        for (const double phase : {-0.012, -0.006, 0.0, 0.004, 0.01}) {
            const double X = std::sin(2 * Pi * phase), Y = std::cos(iota) * std::cos(2 * Pi * phase);
            const double want = -f / (1 - f) * c.V / 0.1 * (X * std::cos(lambda) - Y * std::sin(lambda));
            const double got = form.velocityAt(phase, &*model).v1 - form.velocityAt(phase).v1;
            largest = std::max(largest, std::abs(want));
            EXPECT_NEAR(got, want, 1e-3) << "v sin i " << c.vsini << ", lambda " << c.lambda << ", phase " << phase;
            EXPECT_NEAR(form.velocityAt(phase, &*model).v2, form.velocityAt(phase).v2, 1e-9)
                << "the star in front shows its whole disc; lambda " << c.lambda;
        }
        EXPECT_GT(largest, 0.05) << "v sin i " << c.vsini << ", lambda " << c.lambda << ": the anomaly must show";
    }
    // A given v sin i equal to the synchronous one, with lambda 0, is the synchronous rotation.
    form.typeText("txtLambda1", "0");
    form.typeText("txtVsini1", "0");
    const auto model = form.velocityModel();
    const std::vector<std::array<double, 3>> plain = form.velocityCurve(0.5);
    form.typeText("txtVsini1", platform::Format(synchronous, "0.0000000000"));
    const auto given = form.velocityCurve(0.5);
    ASSERT_EQ(plain.size(), given.size());
    for (std::size_t k = 0; k < plain.size(); ++k) {
        ASSERT_NEAR(given[k][1], plain[k][1], 1e-7) << "phase " << plain[k][0];
    }
    EXPECT_THAT(form.dimensionsReport().back(), HasSubstr("v sin i1 = " + platform::Format(synchronous, "0.00") + " (given)"));
}

TEST_F(PreciseFormFixture, AnExposureAveragesTheModelOverItsDuration) {
    detached();
    const fs::path file = folder / "observed.csv";
    {
        std::ofstream out(file);
        for (int k = -40; k <= 40; k += 2) {
            const double phase = k / 500.0;
            out << (phase < 0 ? phase + 1 : phase) << "," << 12 << "\n";
        }
    }
    form.chooseItem("cmbFilter", "R");
    form.chooseItem("cmbPhotometry", "Precise");
    form.typeText("txtPeriod", "1.25");
    form.typeText("txtExposure", "1800");
    ASSERT_TRUE(form.ExposureChosen);
    form.txtLCName.Text = file.string();
    form.chkError.Value = 1;
    form.cmdLoadLight_Click();
    ASSERT_EQ(form.Curve.ObsCount, 41);
    const double width = 1800 / (1.25 * 86400);
    const precise::PreciseLight light(form.sceneInputs());
    const double quadrature = light.at(Pi)[3];
    double deepest = quadrature;
    for (int i = 1; i <= form.Curve.ObsCount; ++i) {
        const double phase = form.Curve.ObsPhase[static_cast<std::size_t>(i)] + 0.25;
        const int n = 401;
        double sum = 0;
        for (int k = 0; k < n; ++k) {
            sum += light.at(TwoPi * (phase - 0.5 * width + (k + 0.5) * width / n))[3];
        }
        const double expected = sum / n;
        deepest = std::min(deepest, expected);
        EXPECT_NEAR(form.ModelLightAtObs[static_cast<std::size_t>(i)], expected, 1e-6 * quadrature)
            << "phase " << form.Curve.ObsPhase[static_cast<std::size_t>(i)];
    }
    EXPECT_LT(deepest, 0.8 * quadrature) << "the points cross an eclipse";
    EXPECT_THAT(form.ExposureReport, HasSubstr("averaged over the 1800 s exposure")) << form.ExposureReport;
    // Without the exposure the model is the light at the mid-times again, which differs by far more.
    const std::vector<double> averaged = form.ModelLightAtObs;
    form.typeText("txtExposure", "0");
    form.computeModelAtObs();
    double largest = 0;
    for (int i = 1; i <= form.Curve.ObsCount; ++i) {
        const double phase = form.Curve.ObsPhase[static_cast<std::size_t>(i)] + 0.25;
        EXPECT_NEAR(form.ModelLightAtObs[static_cast<std::size_t>(i)], light.at(TwoPi * phase)[3], 1e-12 * quadrature);
        largest = std::max(largest, std::fabs(averaged[static_cast<std::size_t>(i)] - form.ModelLightAtObs[static_cast<std::size_t>(i)]));
    }
    EXPECT_GT(largest, 1e-3 * quadrature);
    EXPECT_TRUE(form.ExposureReport.empty());
}

TEST_F(PreciseFormFixture, TheComparisonAndEveryGridCellUseThePreciseLight) {
    detached();
    const fs::path file = folder / "observed.csv";
    {
        std::ofstream out(file);
        for (int k = 0; k < 30; ++k) {
            out << k / 30.0 << "," << 12 + 0.5 * std::pow(std::cos(Pi * k / 30.0), 8) << "\n";
        }
    }
    form.chooseItem("cmbFilter", "R");
    form.chooseItem("cmbPhotometry", "Precise");
    form.txtLCName.Text = file.string();
    form.chkError.Value = 1;
    form.cmdLoadLight_Click();
    const precise::PreciseLight light(form.sceneInputs());
    for (int i = 1; i <= form.Curve.ObsCount; ++i) {
        const double eta = TwoPi * (form.Curve.ObsPhase[static_cast<std::size_t>(i)] + 0.25);
        const double expected = light.at(eta)[3];
        EXPECT_NEAR(form.ModelAtObs[static_cast<std::size_t>(i)], expected, 1e-12 * expected) << "point " << i;
    }
    const std::string caption = form.lblError.Caption;
    ASSERT_THAT(caption, HasSubstr("Relative Error: 0.")) << caption;
    // Switching the engine changes the model the error belongs to.
    form.chooseItem("cmbPhotometry", "Pixels");
    EXPECT_THAT(form.lblError.Caption, HasSubstr("(before the last change)"));
    form.chooseItem("cmbPhotometry", "Precise");

    form.cmbParameter.select("Inclination");
    form.cmbParameter2.select("Mass Ratio");
    form.txtInitial.Text = "75";
    form.txtFinal.Text = "85";
    form.txtSteps.Text = "2";
    form.txtInitial2.Text = "0.8";
    form.txtFinal2.Text = "1.2";
    form.txtSteps2.Text = "2";
    std::atomic<bool> cancel{false};
    std::string why;
    const fs::path grid = form.runGridSearch(2, {}, cancel, why, folder / "grid");
    ASSERT_FALSE(grid.empty()) << why;
    const auto rows = fileLines(grid);
    ASSERT_EQ(rows.size(), 5u);
    for (std::size_t k = 1; k < rows.size(); ++k) {
        std::vector<std::string> f;
        std::stringstream ss(rows[k]);
        for (std::string x; std::getline(ss, x, ',');) {
            f.push_back(x);
        }
        ASSERT_EQ(f.size(), 12u) << rows[k];
        form.typeText("txtIota", f[9]);
        form.typeText("Qratio", f[10]);
        form.chkError.Value = 1;
        form.cmdLoadLight_Click();
        EXPECT_EQ(form.lblError.Caption, "Relative Error: " + platform::Format(platform::Val(f[11]), "0.######"))
            << "i = " << f[9] << ", q = " << f[10];
    }
}

// ---------------------------------------------------------------------------------------------
// The two engines against each other

// The red light of the form's pixel photometry at each angle, each divided by its value at eta = 0.
std::vector<double> pixelCurve(CorvaneForm& form, const std::vector<double>& etas) {
    std::vector<double> out;
    for (double eta : etas) {
        form.Eta = eta;
        form.DrawStar();
        out.push_back(static_cast<double>(lightcurve::channelSum(form.Scene.Picture1, 3)));
    }
    const double first = out[0];
    for (double& v : out) {
        v /= first;
    }
    return out;
}

std::vector<double> preciseCurve(const CorvaneForm& form, const std::vector<double>& etas) {
    const precise::PreciseLight light(form.sceneInputs());
    std::vector<double> out;
    for (double eta : etas) {
        out.push_back(light.at(eta)[3]);
    }
    const double first = out[0];
    for (double& v : out) {
        v /= first;
    }
    return out;
}

struct EngineCase {
    const char* name;
    double q, r1, r2, incl, u; // r2 = 0: "Auto" (a contact pair with its neck)
};

void setSystem(CorvaneForm& form, const EngineCase& c, int latLines) {
    form.typeText("Qratio", platform::GeneralNumber(c.q));
    form.typeText("txtIota", platform::GeneralNumber(c.incl));
    form.typeText("txtLimb1", platform::GeneralNumber(c.u));
    form.typeText("txtLimb2", platform::GeneralNumber(c.u));
    form.typeText("txtN1", std::to_string(latLines));
    if (c.r2 == 0) {
        form.setSwitch("chkAuto", 1);
        form.typeText("txtRadius1", platform::GeneralNumber(c.r1));
    } else {
        form.setSwitch("chkAuto", 0);
        form.typeText("txtRadius1", platform::GeneralNumber(c.r1));
        form.typeText("txtRadius2", platform::GeneralNumber(c.r2));
    }
}

class Engines : public ::testing::TestWithParam<EngineCase> {};

// At 3200 x 2000 with N = 90 the pixel photometry is good to a few parts in 10^4 (the rounding of each
// cell's colour and the cells' flat facets): the precise curve must lie within that of it.
TEST_P(Engines, ThePixelCurveAtLargeSizeIsWithinItsOwnErrorOfThePreciseOne) {
    const EngineCase c = GetParam();
    platform::ScriptedDialogs dialogs;
    CorvaneForm form{dialogs};
    form.setPictureSize(3200, 2000);
    form.Form_Load();
    form.chooseItem("cmbFilter", "R");
    setSystem(form, c, 90);
    ASSERT_EQ(form.sceneInputs().Neck, c.r2 == 0) << c.name;
    std::vector<double> etas;
    for (int k = 0; k < 360; k += 60) {
        etas.push_back(k * Pi / 180);
    }
    for (double k : {80.0, 90.0, 100.0, 260.0, 270.0}) {
        etas.push_back(k * Pi / 180);
    }
    const auto pixels = pixelCurve(form, etas);
    const auto exact = preciseCurve(form, etas);
    for (std::size_t k = 0; k < etas.size(); ++k) {
        EXPECT_NEAR(pixels[k], exact[k], 5e-4) << c.name << " at " << etas[k] * 180 / Pi << " degrees";
    }
}

INSTANTIATE_TEST_SUITE_P(Pairs, Engines,
                         ::testing::Values(EngineCase{"detached", 1.0, 0.25, 0.2, 82, 0.5},
                                           EngineCase{"near_contact", 1.0, 0.33, 0.30, 80, 0.3},
                                           EngineCase{"contact", 1.0, 0.37, 0, 80, 0.5}),
                         [](const auto& info) { return std::string(info.param.name); });

// The picture shaded in a band with another law, gravity darkening and reflection against the precise
// integral of the same: the cells take their temperatures from the same definitions by their own
// arithmetic (the companion's sphere from a coarser quadrature), so the two curves agree to about
// the pixels' own error, out of eclipse and in both eclipses.
TEST(Engines, TheShadedPictureFollowsThePreciseLightInABandWithEveryEffect) {
    platform::ScriptedDialogs dialogs;
    CorvaneForm form{dialogs};
    form.setPictureSize(3200, 2000);
    form.Form_Load();
    form.chooseItem("cmbFilter", "R");
    setSystem(form, EngineCase{"detached", 0.8, 0.30, 0.25, 82, 0.4}, 90);
    form.typeText("txtTemp1", "8000");
    form.typeText("txtTemp2", "5000");
    form.chooseItem("cmbPassband", "Bolometric");
    form.chooseItem("cmbLimbLaw", "Quadratic");
    for (const auto& [box, value] : {std::pair{"txtLimb1b", "0.2"}, {"txtLimb2b", "0.2"}, {"txtGravity1", "0.25"},
                                     {"txtGravity2", "0.08"}, {"txtAlbedo1", "0.5"}, {"txtAlbedo2", "1"}}) {
        form.typeText(box, value);
    }
    const render::SceneInputs in = form.sceneInputs();
    ASSERT_EQ(in.Light.albedo2, 1.0);
    ASSERT_EQ(in.Light.gravity1, 0.25);
    std::vector<double> etas;
    for (double k : {0.0, 45.0, 80.0, 90.0, 100.0, 180.0, 260.0, 270.0, 280.0}) {
        etas.push_back(k * Pi / 180);
    }
    const auto pixels = pixelCurve(form, etas);
    const auto exact = preciseCurve(form, etas);
    for (std::size_t k = 0; k < etas.size(); ++k) {
        EXPECT_NEAR(pixels[k], exact[k], 1e-3) << "at " << etas[k] * 180 / Pi << " degrees";
    }
    // The effect is large against that: without reflection the curve's shape changes far more.
    form.typeText("txtAlbedo2", "0");
    const auto cold = preciseCurve(form, etas);
    double most = 0;
    for (std::size_t k = 0; k < etas.size(); ++k) {
        most = std::max(most, std::fabs(cold[k] - exact[k]));
    }
    EXPECT_GT(most, 0.005);
}

// What a spot takes off the light (luminance: the cool spot's red is at its limit, as the star's is),
// in both engines.
TEST(Engines, TheSpotTakesOffTheSameLight) {
    platform::ScriptedDialogs dialogs;
    CorvaneForm form{dialogs};
    form.setPictureSize(1600, 1000);
    form.Form_Load();
    form.chooseItem("cmbFilter", "R");
    setSystem(form, EngineCase{"detached", 1.0, 0.3, 0.25, 80, 0.5}, 60);
    const std::vector<double> etas = {0, Pi / 3, 2 * Pi / 3, Pi, 4 * Pi / 3};
    auto absolute = [&](bool precise) {
        std::vector<double> out;
        const precise::PreciseLight light(form.sceneInputs());
        for (double eta : etas) {
            form.Eta = eta;
            form.DrawStar();
            out.push_back(precise ? light.at(eta)[0] : static_cast<double>(lightcurve::channelSum(form.Scene.Picture1, 0)));
        }
        return out;
    };
    const auto pixelsPlain = absolute(false), precisePlain = absolute(true);
    form.typeText("txtTempSpot1", "4000");
    form.typeText("txtSpotLat1", "20");
    form.typeText("txtSpotLon1", "200");
    form.typeText("txtRadSpot1", "20");
    form.setSwitch("chkSpot1", 1);
    const auto pixelsSpot = absolute(false), preciseSpot = absolute(true);
    double largest = 0;
    for (std::size_t k = 0; k < etas.size(); ++k) {
        largest = std::max(largest, precisePlain[k] - preciseSpot[k]);
    }
    ASSERT_GT(largest, 0);
    for (std::size_t k = 0; k < etas.size(); ++k) {
        const double pixels = (pixelsPlain[k] - pixelsSpot[k]) / pixelsPlain[k];
        const double exact = (precisePlain[k] - preciseSpot[k]) / precisePlain[k];
        EXPECT_NEAR(pixels, exact, 0.05 * largest / precisePlain[k]) << "at " << etas[k] * 180 / Pi << " degrees";
    }
}

// The pixel curve comes closer to the precise one as the picture (and its mesh) grows.
TEST(Engines, ThePixelCurveConvergesToThePreciseOne) {
    const EngineCase c{"near contact", 1.0, 0.33, 0.30, 80, 0.3};
    std::vector<double> etas;
    for (int k = 0; k < 360; k += 15) {
        etas.push_back(k * Pi / 180);
    }
    double previous = 1;
    for (const auto& [w, h, n] : {std::tuple{400, 250, 10}, std::tuple{800, 500, 20}, std::tuple{1600, 1000, 40}}) {
        platform::ScriptedDialogs dialogs;
        CorvaneForm form{dialogs};
        form.setPictureSize(w, h);
        form.Form_Load();
        form.chooseItem("cmbFilter", "R");
        setSystem(form, c, n);
        const auto pixels = pixelCurve(form, etas);
        const auto exact = preciseCurve(form, etas);
        double sq = 0;
        for (std::size_t k = 0; k < etas.size(); ++k) {
            sq += (pixels[k] - exact[k]) * (pixels[k] - exact[k]);
        }
        const double rms = std::sqrt(sq / static_cast<double>(etas.size()));
        EXPECT_LT(rms, previous) << w << " x " << h << ", N = " << n;
        previous = rms;
    }
    EXPECT_LT(previous, 3e-4);
}

// The close equal-mass pair an outside integrator found about 1% deeper in eclipse than the pixel
// curve: both engines here find the same depths.
TEST(Engines, TheClosePairsEclipsesHaveOneDepth) {
    platform::ScriptedDialogs dialogs;
    CorvaneForm form{dialogs};
    form.setPictureSize(1600, 1000);
    form.Form_Load();
    form.chooseItem("cmbFilter", "R");
    setSystem(form, EngineCase{"close pair", 1.0, 0.33, 0.30, 80, 0.3}, 40);
    const std::vector<double> etas = {0, Pi / 2, 3 * Pi / 2};
    const auto pixels = pixelCurve(form, etas);
    const auto exact = preciseCurve(form, etas);
    for (std::size_t k = 1; k < 3; ++k) {
        EXPECT_NEAR(1 - pixels[k], 1 - exact[k], 3e-4) << "eclipse at " << etas[k] * 180 / Pi;
        EXPECT_GT(1 - exact[k], 0.3);
    }
}

} // namespace
} // namespace corvane::app
