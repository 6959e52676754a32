// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "app/CorvaneForm.h"
#include "platform/NumberFormat.h"
#include "roche/Constants.h"
#include "roche/Roche.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>

namespace corvane::app {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct FormFixture : ::testing::Test {
    FormFixture() { form.Form_Load(); }
    platform::ScriptedDialogs dialogs;
    CorvaneForm form{dialogs};

    void type(const std::string& name, const std::string& text) { ASSERT_TRUE(form.typeText(name, text)) << name; }
    // The parameter boxes' design texts (start-up shows catalogue entry 5 instead).
    void designTexts() {
        for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
                 {"Qratio", "2.4"}, {"txtIota", "82"}, {"txtRadius1", "0.305"}, {"txtRadius2", "0.45"},
                 {"txtTemp1", "8200"}, {"txtTemp2", "8200"}}) {
            type(name, text);
        }
    }
    std::string text(const std::string& name) {
        for (const auto& c : CorvaneForm::parameterControls()) {
            if (name == c.name) {
                return (form.*(c.box)).Text;
            }
        }
        ADD_FAILURE() << "no box " << name;
        return {};
    }
    std::vector<std::string> allListItems() const {
        std::vector<std::string> items = form.RocheList.Items;
        items.insert(items.end(), form.StarSizeList.Items.begin(), form.StarSizeList.Items.end());
        return items;
    }
};

TEST_F(FormFixture, StartsUpAsDescribed) {
    EXPECT_EQ(form.Caption, "Corvane Pro 2.1.39 - Eclipsing Binary Stars ");
    EXPECT_EQ(form.Index, 5);
    // Catalogue entry 5, "ER Cep (7)".
    const catalogue::CatalogueEntry& e = catalogue::entries()[4];
    EXPECT_STREQ(e.Name, "ER Cep (7)");
    EXPECT_EQ(form.Qratio.Text, platform::GeneralNumber(e.Q));
    EXPECT_EQ(form.txtIota.Text, platform::GeneralNumber(e.Iota));
    EXPECT_EQ(form.txtRadius1.Text, platform::GeneralNumber(e.Radius1));
    EXPECT_EQ(form.txtRadius2.Text, platform::GeneralNumber(e.Radius2));
    EXPECT_EQ(form.txtTemp1.Text, platform::GeneralNumber(e.Temp1));
    EXPECT_EQ(form.txtTemp2.Text, platform::GeneralNumber(e.Temp2));
    EXPECT_EQ(form.StarNameList.Items.size(), 324u);
    EXPECT_EQ(form.txtN1.Text, "10");
    EXPECT_EQ(form.LatLines, 10);
    EXPECT_EQ(form.LonLines, 40);
    EXPECT_EQ(form.txtEta.Text, "0 ");
    EXPECT_EQ(form.Curve.Channel, 2);
    EXPECT_EQ(form.Curve.ChannelFirst, 1);
    EXPECT_EQ(form.Curve.ChannelLast, 3);
    EXPECT_EQ(form.cmbFilter.Text, "RGB");
    EXPECT_THAT(form.cmbFilter.Items, ElementsAre("RGB", "LRGB", "L", "R", "G", "B"));
    EXPECT_THAT(form.cmbStarSpot1.Items, ElementsAre("1", "2"));
    EXPECT_EQ(form.cmbParameter.Text, "Inclination");
    EXPECT_EQ(form.cmbParameter2.Text, "Mass Ratio");
    EXPECT_EQ(form.PlotMin, -100000);
    EXPECT_EQ(form.PlotMax, 1000000);
    EXPECT_TRUE(form.Timer1Enabled);
    for (int n = 1; n <= 25; ++n) {
        EXPECT_EQ(form.ScrollLast[static_cast<std::size_t>(n)], 15000) << n;
    }
    EXPECT_EQ(form.RocheList.Items.size(), 3u);
    EXPECT_EQ(form.StarSizeList.Items.size(), 13u);
    EXPECT_EQ(form.lblMessage.Caption, "Rendering Stars");
}

TEST_F(FormFixture, DefaultListsHoldTheDescribedLinesInOrder) {
    designTexts();
    EXPECT_THAT(form.RocheList.Items, ElementsAre("r1(pole) = 0.2856", "r2(pole) = 0.4294", "Omega = 5.809"));
    const auto& s = form.StarSizeList.Items;
    EXPECT_EQ(s[0], "r1(pole) = 0.305");
    EXPECT_THAT(s[1], HasSubstr("r1(point) = "));
    EXPECT_THAT(s[2], HasSubstr("r1(side) = "));
    EXPECT_THAT(s[3], HasSubstr("r1(back) = "));
    EXPECT_THAT(s[4], HasSubstr("Omega1 = "));
    EXPECT_EQ(s[5], " ");
    EXPECT_THAT(s[6], ::testing::MatchesRegex("r2\\(pole\\) = 0\\.[0-9]+ Recommended"));
    EXPECT_EQ(s[7], " ");
    EXPECT_EQ(s[8], "r2(pole) = 0.45");
    EXPECT_THAT(s[12], HasSubstr("Omega2 = "));
}

TEST_F(FormFixture, EqualMassesListOmegaThreeAndThreeQuarters) {
    type("Qratio", "1");
    EXPECT_THAT(form.RocheList.Items, ElementsAre("r1(pole) = 0.3561", "r2(pole) = 0.3561", "Omega = 3.75"));
    EXPECT_DOUBLE_EQ(form.Roche.LagrangeX, 0.5);
}

TEST_F(FormFixture, ListedPotentialsAreThoseOfThePoles) {
    type("Qratio", "2.4");
    type("txtRadius1", "0.3");
    type("txtRadius2", "0.4");
    // Omega at (0, 0, 0.3) and at (1, 0, 0.4) straight from the Roche formula.
    auto omega = [](double q, double x, double z) {
        return 1 / std::hypot(x, z) + q * (1 / std::hypot(1 - x, z) - x) + (1 + q) / 2 * x * x;
    };
    EXPECT_NEAR(form.Omega1, omega(2.4, 0, 0.3), 1e-12);
    EXPECT_NEAR(form.Omega2, omega(2.4, 1, 0.4), 1e-12);
}

struct ClampCase {
    const char* box;
    const char* typed;
    const char* shown; // text after the refresh
};

void PrintTo(const ClampCase& c, std::ostream* os) { *os << c.box << " = \"" << c.typed << "\""; }

class ClampTable : public FormFixture, public ::testing::WithParamInterface<ClampCase> {};

TEST_P(ClampTable, WritesTheClampedValueBack) {
    const ClampCase& c = GetParam();
    type(c.box, c.typed);
    EXPECT_EQ(text(c.box), c.shown) << c.box << " typed \"" << c.typed << "\"";
}

INSTANTIATE_TEST_SUITE_P(PoleRadius, ClampTable,
                         ::testing::Values(ClampCase{"txtRadius1", "1", "1"}, ClampCase{"txtRadius1", "1.5", "0.99"},
                                           ClampCase{"txtRadius1", "1.0000001", "0.99"},
                                           ClampCase{"txtRadius1", "0.995", "0.995"},
                                           ClampCase{"txtRadius1", "0", "0.01"},
                                           ClampCase{"txtRadius1", "0.0099", "0.01"},
                                           ClampCase{"txtRadius1", "0.01", "0.01"},
                                           ClampCase{"txtRadius2", "7", "0.99"},
                                           ClampCase{"txtRadius2", "abc", "0.01"}));
INSTANTIATE_TEST_SUITE_P(Inclination, ClampTable,
                         ::testing::Values(ClampCase{"txtIota", "90", "90"}, ClampCase{"txtIota", "90.001", "90"},
                                           ClampCase{"txtIota", "0", "0"}, ClampCase{"txtIota", "-0.001", "0"},
                                           ClampCase{"txtIota", "82abc", "82abc"}));
INSTANTIATE_TEST_SUITE_P(MassRatio, ClampTable,
                         ::testing::Values(ClampCase{"Qratio", "0", "0.001"}, ClampCase{"Qratio", "0.0009", "0.001"},
                                           ClampCase{"Qratio", "0.001", "0.001"}, ClampCase{"Qratio", "-3", "0.001"},
                                           ClampCase{"Qratio", "x", "0.001"}, ClampCase{"Qratio", "1000", "1000"},
                                           ClampCase{"Qratio", "1000.1", "1000"},
                                           ClampCase{"Qratio", "1e308", "1000"}));
INSTANTIATE_TEST_SUITE_P(LatitudeLines, ClampTable,
                         ::testing::Values(ClampCase{"txtN1", "0", "1"}, ClampCase{"txtN1", "1", "1"},
                                           ClampCase{"txtN1", "100", "100"}, ClampCase{"txtN1", "101", "100"}));
INSTANTIATE_TEST_SUITE_P(LimbDarkening, ClampTable,
                         ::testing::Values(ClampCase{"txtLimb1", "1", "1"}, ClampCase{"txtLimb1", "1.01", "1"},
                                           ClampCase{"txtLimb2", "-0.01", "0"}, ClampCase{"txtLimb2", "0", "0"}));
INSTANTIATE_TEST_SUITE_P(Temperature, ClampTable,
                         ::testing::Values(ClampCase{"txtTemp1", "99999", "99999"},
                                           ClampCase{"txtTemp1", "100000", "100000"},
                                           ClampCase{"txtTemp1", "250000", "100000"}, ClampCase{"txtTemp2", "0", "1"},
                                           ClampCase{"txtTemp2", "-40", "1"}, ClampCase{"txtTemp2", "0.5", "0.5"}));
INSTANTIATE_TEST_SUITE_P(AnimationStep, ClampTable,
                         ::testing::Values(ClampCase{"txtAnimSpeed", "20", "20"}, ClampCase{"txtAnimSpeed", "21", "20"},
                                           ClampCase{"txtAnimSpeed", "-1", "0"}));
INSTANTIATE_TEST_SUITE_P(Unclamped, ClampTable,
                         ::testing::Values(ClampCase{"txtGamma", "-725", "-725"}, ClampCase{"txtZoom", "-50", "-50"},
                                           ClampCase{"txtRotPer", "-1", "-1"}, ClampCase{"txtEta", "1000", "1000"}));

TEST_F(FormFixture, ClampedValuesAreWhatTheModelUses) {
    type("txtRadius1", "1");
    EXPECT_DOUBLE_EQ(form.Radius1, 1.0);
    type("txtRadius1", "1.5");
    EXPECT_DOUBLE_EQ(form.Radius1, 0.99);
    type("Qratio", "0");
    EXPECT_DOUBLE_EQ(form.Q, 0.001);
    EXPECT_DOUBLE_EQ(form.Roche.Q, 0.001);
    type("txtIota", "120");
    EXPECT_DOUBLE_EQ(form.Iota, 90 * Pi / 180);
    type("txtN1", "7.4");
    EXPECT_EQ(form.LatLines, 7);
    EXPECT_EQ(form.LatLines2, 7);
    EXPECT_EQ(form.LonLines, 28);
}

TEST_F(FormFixture, NonPositiveTemperatureKeepsThePreviousOneForThatRefresh) {
    type("txtTemp1", "5000");
    EXPECT_DOUBLE_EQ(form.Temp1, 5000);
    type("txtTemp1", "0");
    EXPECT_EQ(form.txtTemp1.Text, "1");
    EXPECT_DOUBLE_EQ(form.Temp1, 5000);
    form.Refresh_Click();
    EXPECT_DOUBLE_EQ(form.Temp1, 1);
}

TEST_F(FormFixture, TempMaxTakesTheActiveSpotIntoAccount) {
    type("txtTemp1", "6000");
    type("txtTemp2", "7000");
    EXPECT_DOUBLE_EQ(form.TempMax, 7000);
    type("txtTempSpot1", "9000");
    EXPECT_DOUBLE_EQ(form.TempMax, 7000) << "spot inactive";
    ASSERT_TRUE(form.setSwitch("chkSpot1", 1));
    EXPECT_DOUBLE_EQ(form.TempMax, 9000);
    EXPECT_DOUBLE_EQ(form.SpotLat, -45 * Pi / 180);
    EXPECT_DOUBLE_EQ(form.SpotLon, 220 * Pi / 180 + Pi);
    EXPECT_DOUBLE_EQ(form.SpotRadius, 10 * Pi / 180);
}

TEST_F(FormFixture, TenClicksUpTheMassRatioSpinnerFromTwoPointFour) {
    type("Qratio", "2.4");
    for (int k = 1; k <= 10; ++k) {
        form.VScroll_Change(14, 15000 + k);
    }
    EXPECT_EQ(form.Qratio.Text, "3.4");
    form.VScroll_Change(14, 15009);
    EXPECT_EQ(form.Qratio.Text, "3.3");
    EXPECT_EQ(form.ScrollLast[14], 15009);
}

TEST_F(FormFixture, SpinnersStepByTheirOwnStepAndDoNotClamp) {
    designTexts();
    form.VScroll_Change(5, 15001);
    EXPECT_EQ(form.txtRadius1.Text, "0.306");
    type("txtLimb1", "1");
    form.VScroll_Change(9, 15001);
    EXPECT_EQ(form.txtLimb1.Text, "1") << "the refresh after the spinner clamps 1.05 back";
    type("txtTemp1", "8200");
    form.VScroll_Change(11, 14999);
    EXPECT_EQ(form.txtTemp1.Text, "8100");
    form.VScroll_Change(8, 15001);
    EXPECT_EQ(form.txtZoom.Text, "110");
}

TEST_F(FormFixture, RotationSpinnerStepsByTheAnimationStepInWholeDegrees) {
    int value = 15000;
    for (int k = 1; k <= 72; ++k) {
        form.VScroll_Change(4, ++value);
    }
    EXPECT_EQ(form.txtEta.Text, "360 ") << "no degree lost to the radian round trip";
    form.VScroll_Change(4, --value);
    EXPECT_EQ(form.txtEta.Text, "355 ");
    type("txtAnimSpeed", "7");
    form.VScroll_Change(4, ++value);
    EXPECT_EQ(form.txtEta.Text, "362 ");
    EXPECT_NEAR(form.Eta, 362 * Pi / 180, 1e-12);
}

TEST_F(FormFixture, AutoRefusesEditsOfStarTwo) {
    ASSERT_TRUE(form.setSwitch("chkAuto", 1));
    const std::string before = form.txtRadius2.Text;
    const double radius = form.Radius2;
    type("txtRadius2", "0.2");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "The size of Star 2 is determined from the size of Star 1 for contact systems.  "
                                     "Uncheck 'Auto' below to change the size of star #2.");
    EXPECT_EQ(dialogs.shown[0].buttons, platform::MessageButtons::Ok);
    EXPECT_EQ(form.FocusControl, "txtRadius1");
    EXPECT_EQ(form.txtRadius2.Text, before);
    form.Refresh_Click();
    EXPECT_DOUBLE_EQ(form.Radius2, radius);

    form.VScroll_Change(6, 15001);
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(form.txtRadius2.Text, before);
    EXPECT_EQ(form.ScrollLast[6], 15000);

    ASSERT_TRUE(form.setSwitch("chkAuto", 0));
    type("txtRadius2", "0.2");
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_DOUBLE_EQ(form.Radius2, 0.2);
}

TEST_F(FormFixture, AutoAppliesTheRecommendedRadiusToAnOverflowingSystem) {
    type("Qratio", "0.3");
    type("txtRadius1", "0.48");
    ASSERT_TRUE(form.setSwitch("chkAuto", 1));
    ASSERT_LT(form.Omega1, form.Roche.OmegaCrit) << "star 1 overflows its lobe";
    EXPECT_EQ(form.txtRadius2.Text, platform::Format(form.RecommendedRadius2, "0.####"));
    EXPECT_DOUBLE_EQ(form.Radius2, platform::Val(form.txtRadius2.Text));
    // Both poles then lie on one surface, so both overflow and the neck is switched on.
    EXPECT_LT(form.Omega2, form.Roche.OmegaCrit);
    EXPECT_EQ(form.chkNeck.Value, 1);
    EXPECT_EQ(form.FrameStar1.Caption, " Star 1 - Contact ");
    EXPECT_EQ(form.FrameStar2.Caption, " Star 2 - Contact ");
    EXPECT_EQ(form.FrameStar1.ForeColor, 255u);
    EXPECT_EQ(form.FrameStar2.ForeColor, 255u);
}

TEST_F(FormFixture, AutoLeavesADetachedSystemAlone) {
    type("Qratio", "1");
    type("txtRadius1", "0.2");
    type("txtRadius2", "0.25");
    ASSERT_TRUE(form.setSwitch("chkNeck", 1));
    ASSERT_TRUE(form.setSwitch("chkAuto", 1));
    EXPECT_EQ(form.txtRadius2.Text, "0.25");
    EXPECT_EQ(form.chkNeck.Value, 0) << "Auto switches the neck off for a detached pair";
    EXPECT_EQ(form.FrameStar1.Caption, " Star 1 ");
    EXPECT_EQ(form.FrameStar2.Caption, " Star 2 ");
    EXPECT_EQ(form.FrameStar1.ForeColor, 12632256u);
}

TEST_F(FormFixture, WithoutAutoTheNeckKeepsTheUsersChoice) {
    type("Qratio", "1");
    type("txtRadius1", "0.2");
    type("txtRadius2", "0.25");
    ASSERT_TRUE(form.setSwitch("chkNeck", 1));
    form.Refresh_Click();
    EXPECT_EQ(form.chkNeck.Value, 1);
}

TEST_F(FormFixture, ContactCaptionFollowsEachStarSeparately) {
    type("Qratio", "1");
    type("txtRadius1", "0.2");
    type("txtRadius2", "0.4"); // beyond the q = 1 lobe pole radius of 0.356
    EXPECT_EQ(form.FrameStar1.Caption, " Star 1 ");
    EXPECT_EQ(form.FrameStar2.Caption, " Star 2 - Contact ");
    EXPECT_EQ(form.FrameStar2.ForeColor, 255u);
}

TEST_F(FormFixture, SwitchesRunTheirActions) {
    ASSERT_TRUE(form.setSwitch("chkDots", 1));
    EXPECT_TRUE(form.chkDots.Value);
    EXPECT_FALSE(form.chkPaint.Value);
    EXPECT_EQ(form.chkPhotometry.Value, 0);
    form.chkPhotometry.Value = 1;
    ASSERT_TRUE(form.setSwitch("chkGrid", 1));
    EXPECT_TRUE(form.chkGrid.Value);
    EXPECT_FALSE(form.chkDots.Value);
    EXPECT_EQ(form.chkPhotometry.Value, 0);
    EXPECT_FALSE(form.setSwitch("chkGrid", 0)) << "an option is unset only by choosing another";
    EXPECT_FALSE(form.setSwitch("chkAuto", 2));
    EXPECT_FALSE(form.setSwitch("chkNothing", 1));

    type("txtEta", "40");
    EXPECT_NEAR(form.Eta, 40 * Pi / 180, 1e-15);
    ASSERT_TRUE(form.setSwitch("TwoStarsCheck", 0));
    EXPECT_EQ(form.Eta, 0.0);
    EXPECT_EQ(form.txtEta.Text, "0 ");
}

TEST_F(FormFixture, LightCurveIsClearedInEveryChannel) {
    ASSERT_TRUE(form.setSwitch("chkPhotometry", 0));
    form.Curve.at(2, 10) = 5;
    form.Curve.at(0, 10) = 7;
    form.Curve.at(3, 800) = 9;
    form.Refresh_Click();
    EXPECT_EQ(form.Curve.at(2, 10), 0.0);
    EXPECT_EQ(form.Curve.at(3, 800), 0.0);
    EXPECT_EQ(form.Curve.at(0, 10), 0.0) << "channel 0 is outside the filter's channels, and cleared too";
    EXPECT_EQ(form.Curve.LCMax, -1e14);
    EXPECT_EQ(form.Curve.LCMin, 1e14);
    EXPECT_EQ(form.Curve.LCPoints, form.PicturePlot.width());
    EXPECT_EQ(form.Curve.LCPoints, 800);
    form.setPictureSize(9000, 500);
    form.Refresh_Click();
    EXPECT_EQ(form.Curve.LCPoints, 5001) << "the plot holds no more columns than the tables hold points";
}

TEST_F(FormFixture, ZoomScaleFollowsTheSmallerSideOfThePicture) {
    form.setPictureSize(900, 600);
    type("txtZoom", "150");
    EXPECT_DOUBLE_EQ(form.ZoomScale, 150.0 * 600 / 300);
}

bool hasNonFinite(const std::string& line) {
    std::string lower = line;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower.find("nan") != std::string::npos || lower.find("inf") != std::string::npos;
}

TEST_F(FormFixture, NoInputPutsNaNOrInfinityIntoTheLists) {
    const char* hostile[] = {"", "abc", "-", ".", "1e308", "-1e308", "1e999", "-1e999", "-5", "0", "1e-320",
                             "99999999999999999999", "nan", "inf"};
    for (const auto& c : CorvaneForm::parameterControls()) {
        for (const char* value : hostile) {
            type(c.name, value);
            for (const std::string& item : allListItems()) {
                ASSERT_FALSE(hasNonFinite(item)) << c.name << " = \"" << value << "\": " << item;
            }
            for (double v : {form.Iota, form.Q, form.Radius1, form.Radius2, form.Limb1, form.Limb2, form.Temp1,
                             form.Temp2, form.TempMax, form.Gamma, form.Eta, form.RotPeriodSec, form.ZoomScale,
                             form.Omega1, form.Omega2, form.Roche.OmegaCrit, form.Roche.LagrangeX}) {
                ASSERT_TRUE(std::isfinite(v)) << c.name << " = \"" << value << "\"";
            }
            form.mnuEquator_Click();
            ASSERT_FALSE(hasNonFinite(form.Text1.Text)) << c.name << " = \"" << value << "\"";
        }
    }
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        out.push_back(line);
    }
    return out;
}

TEST(EquatorData, BeforeAnyDrawingUsesTheEquatorBandOfTheGrid) {
    platform::ScriptedDialogs dialogs;
    CorvaneForm fresh(dialogs);
    ASSERT_EQ(fresh.LonCount, 0);
    fresh.mnuEquator_Click();
    EXPECT_TRUE(fresh.Text1.Visible);
    const auto rows = lines(fresh.Text1.Text);
    EXPECT_EQ(rows[0], std::to_string(fresh.LonLines));
    EXPECT_EQ(rows.size(), 3u + 2u * static_cast<std::size_t>(fresh.LonLines) + 1u);
}

TEST_F(FormFixture, EquatorDataAfterDrawingUsesTheLastBandDrawn) {
    // The last band drawn is star 2's southern polar band: 6 cells at 10 latitude lines.
    EXPECT_EQ(form.LonCount, 6);
    form.mnuEquator_Click();
    EXPECT_EQ(lines(form.Text1.Text)[0], "6");
}

TEST_F(FormFixture, EquatorDataRowsRunFromNinetyDegreesDownward) {
    type("Qratio", "1");
    form.LonCount = 5;
    form.mnuEquator_Click();
    const auto rows = lines(form.Text1.Text);
    ASSERT_EQ(rows.size(), 3u + 11u);
    EXPECT_EQ(rows[0], "5");
    EXPECT_EQ(rows[1], "0.5");
    EXPECT_EQ(rows[2], "3.75");
    const char* angles[] = {"90.", "54.", "18.", "-18.", "-54.", "-90.", "-126.", "-162.", "-198.", "-234.", "-270."};
    for (std::size_t i = 0; i < 11; ++i) {
        const std::string& row = rows[3 + i];
        const auto c1 = row.find(',');
        const auto c2 = row.find(',', c1 + 1);
        EXPECT_EQ(row.substr(c1 + 1, c2 - c1 - 1), angles[i]) << row;
    }
    EXPECT_EQ(form.Text1.Text.find("\r\n") != std::string::npos, true) << "lines end in CR LF";
}

// Regression: the table passed the latitude -pi/2, so every row measured the pole.
TEST_F(FormFixture, EquatorDataMeasuredThePole) {
    type("Qratio", "1");
    form.LonCount = 5;
    form.mnuEquator_Click();
    const auto rows = lines(form.Text1.Text);
    // Row 5 is -90 degrees: straight away from the companion, the lobe's "back" radius.
    roche::RocheState s;
    s.Q = 1;
    roche::RochePot(s);
    const double back = roche::StarRadius(s, s.OmegaCrit, 1, 0, 0, -HalfPi);
    const double pole = roche::StarRadius(s, s.OmegaCrit, 1, 0, HalfPi, 0);
    const std::string& row = rows[3 + 5];
    EXPECT_EQ(row.substr(row.rfind(',') + 1), platform::Format(back, "0.####"));
    EXPECT_GT(back, pole + 0.02) << "the back of the lobe is well beyond its pole";
    // Left and right of the line of centres (-18 and -162 degrees) are mirror images.
    EXPECT_EQ(rows[3 + 3].substr(rows[3 + 3].rfind(',')), rows[3 + 7].substr(rows[3 + 7].rfind(',')));
}

TEST_F(FormFixture, EveryRefreshDrawsTheFrame) {
    EXPECT_GT(form.Scene.CellsDrawn, 0);
    EXPECT_EQ(form.Scene.Picture1.width(), 800);
    type("txtZoom", "0");
    EXPECT_EQ(form.Scene.CellsDrawn, 0) << "zoom 0 collapses every cell";
}

TEST_F(FormFixture, TooFastASpinMarksStarOneUnstable) {
    ASSERT_TRUE(form.setSwitch("TwoStarsCheck", 0));
    EXPECT_EQ(form.FrameStar1.Caption.find("Unstable"), std::string::npos);
    type("txtRotPer", "0.1");
    EXPECT_EQ(form.FrameStar1.Caption, " Star 1 - Unstable ");
    EXPECT_EQ(form.FrameStar1.ForeColor, 255u);
    type("txtRotPer", "1");
    EXPECT_EQ(form.FrameStar1.Caption, " Star 1 - Contact ") << "the default system's own caption again";
}

TEST(Granulation, PatternRepeatsFromRunToRunAndChangesOnEveryClick) {
    platform::ScriptedDialogs d1;
    platform::ScriptedDialogs d2;
    CorvaneForm a(d1);
    CorvaneForm b(d2);
    a.Form_Load();
    b.Form_Load();
    a.setSwitch("chkGran", 1);
    b.setSwitch("chkGran", 1);
    EXPECT_EQ(a.Scene.Gran.at(7, 9), b.Scene.Gran.at(7, 9));
    EXPECT_EQ(a.Scene.Picture1.pixels()[200 * 800 + 300], b.Scene.Picture1.pixels()[200 * 800 + 300]);
    const double before = a.Scene.Gran.at(7, 9);
    a.setSwitch("chkGran", 0);
    EXPECT_NE(a.Scene.Gran.at(7, 9), before) << "refilled when switched off too";
}

TEST_F(FormFixture, ExitUnloadsTheForm) {
    EXPECT_FALSE(form.Unloaded);
    form.mnuExit_Click();
    EXPECT_TRUE(form.Unloaded);
}

TEST(TwoForms, ComputeIndependently) {
    platform::ScriptedDialogs d1;
    platform::ScriptedDialogs d2;
    CorvaneForm a(d1);
    CorvaneForm b(d2);
    a.Form_Load();
    b.Form_Load();
    const std::string before = b.RocheList.Items.back();
    a.typeText("Qratio", "1");
    EXPECT_EQ(a.RocheList.Items.back(), "Omega = 3.75");
    EXPECT_EQ(b.RocheList.Items.back(), before);
    EXPECT_NE(before, "Omega = 3.75");
}

} // namespace
} // namespace corvane::app
