// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// One form driven through sequences of actions, as a person uses it: the answers must not depend
// on what came before.
#include "app/CorvaneForm.h"
#include "platform/NumberFormat.h"
#include "roche/Constants.h"
#include "roche/Roche.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

namespace corvane::app {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct UseFormFixture : ::testing::Test {
    UseFormFixture() {
        fs::create_directories(folder);
        form.AppFolder = folder;
        form.setPictureSize(200, 125);
        form.Form_Load();
    }
    ~UseFormFixture() override { fs::remove_all(folder); }
    fs::path folder = fs::temp_directory_path() / ("corvane-use-form-" + std::to_string(::getpid()) + "-" +
                                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
    platform::ScriptedDialogs dialogs;
    CorvaneForm form{dialogs};

    // An observed curve: a smooth double wave in magnitudes, 40 points.
    fs::path observed() {
        const fs::path file = folder / "observed.csv";
        std::ofstream out(file);
        for (int k = 0; k < 40; ++k) {
            const double phase = k / 40.0;
            out << phase << "," << 12 + 0.4 * std::pow(std::cos(Pi * phase), 8) + 0.1 * std::cos(4 * Pi * phase) << "\n";
        }
        return file;
    }
    std::string compare() {
        form.txtLCName.Text = observed().string();
        form.chkError.Value = 1;
        form.cmdLoadLight_Click();
        return form.lblError.Caption;
    }
    void tick(int n) {
        form.AnimCheck.Value = 1;
        for (int k = 0; k < n; ++k) {
            form.Timer1_Timer();
        }
        form.AnimCheck.Value = 0;
    }
};

// Regression: the model pass measured whatever channel the colour stepping had reached, so one
// system and one file gave 0.095, then 0., then 0.040.
TEST_F(UseFormFixture, TheRelativeErrorDoesNotDependOnWhatCameBefore) {
    const std::string first = compare();
    ASSERT_THAT(first, HasSubstr("Relative Error: 0.")) << first;
    // Neutral edits, animation ticks across revolution starts, and a filter there and back.
    form.typeText("txtIota", "60");
    form.typeText("txtIota", form.Cat[5].Iota == 0 ? "0" : platform::GeneralNumber(form.Cat[5].Iota));
    form.typeText("txtAnimSpeed", "20");
    tick(40);
    form.chooseItem("cmbFilter", "LRGB");
    tick(25);
    form.chooseItem("cmbFilter", "RGB");
    tick(19);
    const std::string again = compare();
    EXPECT_EQ(again, first);
    for (int k = 0; k < 3; ++k) {
        tick(18); // each a revolution start with "RGB"
        form.mnuRefresh_Click();
        EXPECT_EQ(compare(), first) << "after " << k + 1 << " more revolutions";
    }
    EXPECT_THAT(form.Text1.Text, HasSubstr("Channel compared: Luminance (R + G + B)"));
}

TEST_F(UseFormFixture, EveryGridCellEqualsACompareAtItsParameters) {
    compare();
    form.cmbParameter.select("Inclination");
    form.cmbParameter2.select("Mass Ratio");
    form.txtInitial.Text = "70";
    form.txtFinal.Text = "80";
    form.txtSteps.Text = "2";
    form.txtInitial2.Text = "0.5";
    form.txtFinal2.Text = "1";
    form.txtSteps2.Text = "2";
    tick(7); // the channel stepping somewhere in the middle
    std::atomic<bool> cancel{false};
    std::string why;
    const fs::path file = form.runGridSearch(2, {}, cancel, why, folder / "grid");
    ASSERT_FALSE(file.empty()) << why;
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    int cells = 0;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        for (std::string x; std::getline(ss, x, ',');) {
            f.push_back(x);
        }
        ASSERT_EQ(f.size(), 12u) << line;
        form.typeText("txtIota", f[9]);
        form.typeText("Qratio", f[10]);
        tick(cells * 3 + 1);
        const std::string caption = compare();
        EXPECT_EQ(caption, "Relative Error: " + platform::Format(platform::Val(f[11]), "0.######"))
            << "i = " << f[9] << ", q = " << f[10];
        ++cells;
    }
    EXPECT_EQ(cells, 4);
}

// Regression: two runs finishing in the same second wrote one file name and one result was lost;
// the same parameter on both axes was accepted.
TEST_F(UseFormFixture, GridRunsNeverShareAFileAndNeedTwoParameters) {
    compare();
    form.cmbParameter.select("Inclination");
    form.cmbParameter2.select("Mass Ratio");
    form.txtSteps.Text = "1";
    form.txtSteps2.Text = "1";
    std::atomic<bool> cancel{false};
    std::string why;
    std::set<fs::path> files;
    for (int k = 0; k < 3; ++k) {
        const fs::path file = form.runGridSearch(1, {}, cancel, why, folder / "same");
        ASSERT_FALSE(file.empty()) << why;
        files.insert(file);
    }
    EXPECT_EQ(files.size(), 3u) << "three runs, three files, whatever the clock says";
    form.cmbParameter2.select("Inclination");
    EXPECT_TRUE(form.runGridSearch(1, {}, cancel, why, folder / "same").empty());
    EXPECT_THAT(why, HasSubstr("the two parameters are the same"));
}

TEST_F(UseFormFixture, TheShownErrorIsMarkedStaleAfterAChange) {
    const std::string fresh = compare();
    form.typeText("txtIota", "50");
    EXPECT_EQ(form.lblError.Caption, fresh + " (before the last change)");
    form.typeText("txtEta", "40");
    EXPECT_EQ(form.lblError.Caption, fresh + " (before the last change)") << "still the old model";
    form.typeText("txtIota", platform::GeneralNumber(form.Cat[5].Iota));
    EXPECT_EQ(form.lblError.Caption, fresh) << "back at the model it was computed for";
    const std::string other = compare();
    EXPECT_EQ(other.find("before the last change"), std::string::npos);
}

// The columns of a saved light curve, by phase: Red, Green, Blue, Luminance ("" for an empty field).
std::vector<std::array<std::string, 4>> columns(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    std::vector<std::array<std::string, 4>> out;
    while (std::getline(in, line)) {
        std::array<std::string, 4> row;
        std::size_t start = line.find(", ") + 2;
        for (int c = 0; c < 4; ++c) {
            const std::size_t end = line.find(", ", start);
            row[static_cast<std::size_t>(c)] = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
            start = end == std::string::npos ? line.size() : end + 2;
        }
        out.push_back(row);
    }
    return out;
}

double depth(const std::vector<std::array<std::string, 4>>& rows, int column) {
    double lo = 1e300;
    for (const auto& r : rows) {
        lo = std::min(lo, platform::Val(r[static_cast<std::size_t>(column)]));
    }
    return 1 - lo; // linear scale: 1 at the brightest point
}

int save(CorvaneForm& form, int limit = 5000) {
    form.mnuSaveLightCurve_Click();
    int ticks = 0;
    while (form.chkSave.checked() && ticks < limit) {
        form.Timer1_Timer();
        ++ticks;
    }
    return ticks;
}

// Regression: save "RGB" at i = 70, then "R" at i = 30, and the Green and Blue columns were still
// the first model's.
TEST_F(UseFormFixture, ASaveAfterAModelChangeHoldsOneModelOnly) {
    form.typeText("txtAnimSpeed", "10");
    form.typeText("txtIota", "70");
    save(form);
    ASSERT_FALSE(form.chkSave.checked());
    form.chooseItem("cmbFilter", "R");
    form.typeText("txtIota", "30");
    save(form);
    ASSERT_FALSE(form.chkSave.checked());
    const auto rows = columns(folder / "LightCurves" / "corvane1.csv");
    ASSERT_FALSE(rows.empty());
    for (const auto& r : rows) {
        EXPECT_FALSE(r[0].empty());
        EXPECT_TRUE(r[1].empty() && r[2].empty() && r[3].empty()) << "channels \"R\" does not measure stay empty";
    }
    // The red eclipse is that of a fresh run at i = 30.
    platform::ScriptedDialogs d2;
    CorvaneForm fresh(d2);
    fresh.AppFolder = folder / "fresh";
    fs::create_directories(fresh.AppFolder);
    fresh.setPictureSize(200, 125);
    fresh.Form_Load();
    fresh.chooseItem("cmbFilter", "R");
    fresh.typeText("txtAnimSpeed", "10");
    fresh.typeText("txtIota", "30");
    save(fresh);
    const auto reference = columns(fresh.AppFolder / "LightCurves" / "corvane1.csv");
    EXPECT_DOUBLE_EQ(depth(rows, 0), depth(reference, 0));
}

// Regression: changing the step part way through a save left points that never got every channel,
// and the save never ended.
TEST_F(UseFormFixture, ASaveAfterAStepChangeCompletes) {
    form.typeText("txtAnimSpeed", "10");
    form.mnuSaveLightCurve_Click();
    for (int k = 0; k < 50; ++k) {
        form.Timer1_Timer();
    }
    form.typeText("txtAnimSpeed", "7");
    int ticks = 0;
    while (form.chkSave.checked() && ticks < 5000) {
        form.Timer1_Timer();
        ++ticks;
    }
    EXPECT_FALSE(form.chkSave.checked());
    EXPECT_THAT(dialogs.shown.back().text, HasSubstr("have been saved"));
    EXPECT_LE(ticks, 4 * 53) << "at most the revolutions the filter needs, restarted once";
    EXPECT_FALSE(form.frameMessage.Visible);
    const auto rows = columns(folder / "LightCurves" / "corvane1.csv");
    EXPECT_EQ(rows.size(), 2u * 52) << "one line per step of 7 degrees (364 wraps to 0), twice";
}

// Regression: a step of 1e-7 degree never finished a revolution (and 0 never moves at all).
TEST_F(UseFormFixture, ASaveThatNeverTurnsSaysWhy) {
    for (const char* step : {"0", "1e-7", "0.0099"}) {
        form.typeText("txtAnimSpeed", "10");
        form.mnuSaveLightCurve_Click();
        ASSERT_TRUE(form.chkSave.checked());
        form.typeText("txtAnimSpeed", step);
        EXPECT_FALSE(form.chkSave.checked()) << step;
        EXPECT_THAT(dialogs.shown.back().text, HasSubstr("a revolution never ends")) << step;
        EXPECT_FALSE(form.frameMessage.Visible) << step;
    }
    form.typeText("txtAnimSpeed", "0.01");
    form.mnuSaveLightCurve_Click();
    EXPECT_TRUE(form.chkSave.checked()) << "0.01 degree is accepted";
}

TEST_F(UseFormFixture, TheNeckBoxDrawsNothingBetweenSeparateStars) {
    form.setPictureSize(400, 250);
    form.StarNameList_Click("V1727 Cyg (10)");
    for (double eta : {0.0, 30.0, 90.0}) {
        form.typeText("txtEta", platform::GeneralNumber(eta));
        const auto before = std::vector<platform::Pixel>(form.Scene.Picture1.pixels().begin(), form.Scene.Picture1.pixels().end());
        form.setSwitch("chkNeck", 1);
        ASSERT_FALSE(form.ContactPair);
        const auto after = std::vector<platform::Pixel>(form.Scene.Picture1.pixels().begin(), form.Scene.Picture1.pixels().end());
        EXPECT_EQ(before, after) << "Eta " << eta << ": the box has no effect on the picture";
        EXPECT_THAT(form.FrameStar1.ToolTip, HasSubstr("no effect"));
        form.setSwitch("chkNeck", 0);
    }
    // A contact pair gets its neck.
    form.typeText("Qratio", "0.3");
    form.typeText("txtRadius1", "0.48");
    form.setSwitch("chkAuto", 1);
    EXPECT_TRUE(form.ContactPair);
    EXPECT_TRUE(form.FrameStar1.ToolTip.empty());
}

TEST_F(UseFormFixture, ACatalogueSystemAfterTheSpinningStarPresetIsABinary) {
    form.Command2_Click();
    ASSERT_FALSE(form.TwoStarsCheck.checked());
    for (auto choose : {+[](CorvaneForm& f) { f.StarNameList_Click("AB And (19)"); },
                        +[](CorvaneForm& f) { f.mnuRandomBinaryStar_Click(); },
                        +[](CorvaneForm& f) {
                            f.SlideShow_Click();
                            f.Timer2_Timer();
                            f.SlideShow_Click();
                        }}) {
        form.Command2_Click();
        choose(form);
        EXPECT_TRUE(form.TwoStarsCheck.checked());
        // Only "Star 2 Active" is forced: granulation and the rotation ratio the person has stay
        // (a pick once turned granulation off and put the ratio back to 0.3).
        EXPECT_TRUE(form.chkGran.checked());
        EXPECT_EQ(form.txtRotPer.Text, "0.21");
    }
    form.setSwitch("chkGran", 0);
    form.typeText("txtRotPer", "0.5");
    form.StarNameList_Click("AB And (19)");
    EXPECT_FALSE(form.chkGran.checked());
    EXPECT_EQ(form.txtRotPer.Text, "0.5");
}


class EquatorTable : public ::testing::TestWithParam<double> {};

// Independent of the program's solver: the first r at which the potential reaches the critical
// value, by dense stepping with linear interpolation; the critical value at the inner Lagrangian
// point found by a dense scan of the axial potential's minimum.
double scanPotential(double q, double r, double lambda) {
    return 1 / r + q * (1 / std::sqrt(1 - 2 * lambda * r + r * r) - lambda * r) + (1 + q) / 2 * r * r;
}
double scanL1(double q) {
    double best = 0.5, bestV = 1e300;
    for (int k = 1; k < 200000; ++k) {
        const double x = k / 200000.0;
        const double v = scanPotential(q, x, 1);
        if (v < bestV) {
            bestV = v;
            best = x;
        }
    }
    return best;
}
double scanRadius(double q, double omega, double lambda) {
    double prev = 1e-4;
    for (int k = 2; k < 400000; ++k) {
        const double r = k * 2.5e-6;
        if (scanPotential(q, r, lambda) <= omega) {
            const double a = scanPotential(q, prev, lambda) - omega;
            const double b = scanPotential(q, r, lambda) - omega;
            return prev + (r - prev) * a / (a - b);
        }
        prev = r;
    }
    return -1;
}

TEST_P(EquatorTable, EveryRowIsTheLobeRadiusInItsDirection) {
    const double q = GetParam();
    platform::ScriptedDialogs dialogs;
    CorvaneForm form(dialogs);
    form.setPictureSize(160, 100);
    form.Form_Load();
    form.typeText("Qratio", platform::GeneralNumber(q));
    form.mnuEquator_Click();
    std::vector<std::string> rows;
    std::stringstream ss(form.Text1.Text);
    for (std::string l; std::getline(ss, l);) {
        if (!l.empty() && l.back() == '\r') {
            l.pop_back();
        }
        rows.push_back(l);
    }
    ASSERT_GT(rows.size(), 5u);
    const double l1 = scanL1(q);
    const double omega = scanPotential(q, l1, 1);
    for (std::size_t k = 3; k < rows.size(); ++k) {
        const auto c1 = rows[k].find(',');
        const auto c2 = rows[k].find(',', c1 + 1);
        const double angle = platform::Val(rows[k].substr(c1 + 1, c2 - c1 - 1));
        const double radius = platform::Val(rows[k].substr(c2 + 1));
        EXPECT_GT(radius, 0) << "q " << q << " row " << rows[k];
        const double lambda = std::sin(angle * Pi / 180);
        const double expected = lambda > 1 - 1e-12 ? l1 : scanRadius(q, omega, lambda);
        EXPECT_NEAR(radius, expected, 1.5e-4) << "q " << q << " at " << angle << " degrees: " << rows[k];
        if (k == 3) {
            EXPECT_EQ(angle, 90.0);
            EXPECT_NEAR(radius, l1, 1e-4) << "towards the companion the lobe reaches the inner Lagrangian point";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(MassRatios, EquatorTable, ::testing::Values(0.3, 1.0, 2.4, 13.0));

} // namespace
} // namespace corvane::app
