// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "app/CorvaneForm.h"
#include "platform/AppFolder.h"
#include "lightcurve/LightCurve.h"
#include "platform/NumberFormat.h"
#include "roche/Constants.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace corvane::app {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct AnimationFixture : ::testing::Test {
    AnimationFixture() {
        fs::create_directories(folder);
        form.AppFolder = folder;
        form.setPictureSize(120, 80);
        form.Form_Load();
        form.typeText("txtN1", "4");
    }
    ~AnimationFixture() override { fs::remove_all(folder); }
    fs::path folder = fs::temp_directory_path() / ("corvane-anim-" + std::to_string(::getpid()) + "-" +
                                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
    platform::ScriptedDialogs dialogs;
    CorvaneForm form{dialogs};

    int ticksUntilWrap(const char* step) {
        form.typeText("txtAnimSpeed", step);
        form.Eta = 0;
        form.AnimCheck.Value = 1;
        for (int tick = 1; tick < 100000; ++tick) {
            form.Timer1_Timer();
            if (form.Eta == 0) {
                return tick;
            }
        }
        return -1;
    }
};

TEST_F(AnimationFixture, TicksDoNothingWhileAnimateIsOff) {
    form.AnimCheck.Value = 0;
    form.Eta = 1.0;
    form.Timer1_Timer();
    EXPECT_EQ(form.Eta, 1.0);
}

TEST_F(AnimationFixture, WrapComparesTheAccumulatedSteps) {
    EXPECT_EQ(ticksUntilWrap("1"), 361) << "rounding of the sum of 360 steps keeps it below 2 pi";
    EXPECT_EQ(ticksUntilWrap("7"), 52) << "364 degrees, not 360";
    EXPECT_EQ(ticksUntilWrap("5"), 72);
}

TEST_F(AnimationFixture, TheAngleIsShownInWholeDegrees) {
    form.typeText("txtAnimSpeed", "5");
    form.Eta = 0;
    form.AnimCheck.Value = 1;
    for (int tick = 1; tick <= 9; ++tick) {
        form.Timer1_Timer();
        EXPECT_EQ(form.txtEta.Text, std::to_string(5 * tick) + " ") << tick;
    }
}

TEST_F(AnimationFixture, ThePhaseMarkerFollowsTheFrameOnShowAnimatingOrNot) {
    // The photometry measures every drawn frame and sets the marker with it: a frame drawn by typing
    // a rotation angle is marked too (the marker once showed only while animating).
    form.setSwitch("chkPhotometry", 1);
    ASSERT_FALSE(form.AnimCheck.checked());
    for (const auto& [degrees, phase] : {std::pair{"90", 0.0}, std::pair{"180", 0.25}, std::pair{"0", -0.25}}) {
        form.typeText("txtEta", degrees);
        const double marker = form.curvePlotInputs(400, 250).markerPhase;
        EXPECT_NEAR(marker, phase, 1.5 / form.Curve.LCPoints) << "rotation angle " << degrees;
    }
    form.setSwitch("chkPhotometry", 0);
    EXPECT_LT(form.curvePlotInputs(400, 250).markerPhase, -1e299) << "no photometry, no marker";
}

TEST_F(AnimationFixture, FrameFilesAreNamedByWholeDegrees) {
    form.Eta = 45 * Pi / 180;
    EXPECT_EQ(form.frameFile(), folder / "Animation" / "frame045.bmp");
    form.Eta = 0;
    EXPECT_EQ(form.frameFile().filename(), "frame000.bmp");
    form.Eta = 359.6 * Pi / 180;
    EXPECT_EQ(form.frameFile().filename(), "frame360.bmp");
}

TEST_F(AnimationFixture, ABitmapSeriesCoversOneRevolutionThenStops) {
    form.typeText("txtAnimSpeed", "5");
    form.chkBMP.Value = 1;
    form.chkBMP_Click();
    ASSERT_GE(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].title, "Bitmaps");
    EXPECT_EQ(dialogs.shown[0].buttons, platform::MessageButtons::YesNo);
    EXPECT_EQ(dialogs.shown[0].icon, platform::MessageIcon::Question) << "the question asks with its mark";
    EXPECT_THAT(dialogs.shown[0].text, HasSubstr("Do you want create Bitmap files?"));
    EXPECT_EQ(dialogs.shown[1].text, "An Animation folder has been created at " + (folder / "Animation").string() + ".");
    EXPECT_EQ(form.AnimCheck.Value, 1);
    EXPECT_EQ(form.lblMessage.Caption, "Creating Bitmaps");
    int ticks = 0;
    while (form.AnimCheck.checked() && ticks < 1000) {
        form.Timer1_Timer();
        ++ticks;
    }
    EXPECT_EQ(ticks, 72);
    EXPECT_EQ(form.chkBMP.Value, 0);
    EXPECT_EQ(dialogs.shown.back().text, "All of the Bitmaps have been created.");
    int files = 0;
    for (const auto& entry : fs::directory_iterator(folder / "Animation")) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 72);
    EXPECT_TRUE(fs::exists(folder / "Animation" / "frame005.bmp"));
    EXPECT_TRUE(fs::exists(folder / "Animation" / "frame355.bmp"));
    EXPECT_TRUE(fs::exists(folder / "Animation" / "frame000.bmp"));
}

TEST_F(AnimationFixture, AStepOfZeroSavesOneFrameAndEnds) {
    form.typeText("txtAnimSpeed", "0");
    form.chkBMP.Value = 1;
    form.chkBMP_Click();
    form.Timer1_Timer();
    EXPECT_EQ(form.chkBMP.Value, 0);
    EXPECT_EQ(form.AnimCheck.Value, 0);
    EXPECT_TRUE(fs::exists(folder / "Animation" / "frame000.bmp"));
}

TEST_F(AnimationFixture, AnsweringNoLeavesFramesOff) {
    dialogs.answers.push_back(platform::MessageAnswer::No);
    form.chkBMP.Value = 1;
    form.chkBMP_Click();
    EXPECT_EQ(form.chkBMP.Value, 0);
    EXPECT_FALSE(fs::exists(folder / "Animation"));
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(AnimationFixture, SavingTheLightCurveCompletesAfterTheFiltersRevolutions) {
    form.typeText("txtAnimSpeed", "10");
    form.mnuSaveLightCurve_Click();
    EXPECT_TRUE(form.PicturePlotVisible) << "saving shows the plot";
    EXPECT_EQ(dialogs.shown[0].text, "A 'LightCurves' folder has been created at " + (folder / "LightCurves").string() + ".");
    EXPECT_THAT(dialogs.shown[1].text, HasSubstr("The light curves will be saved to "));
    EXPECT_EQ(form.lblMessage.Caption, "Creating Light Curves");
    int ticks = 0;
    while (form.chkSave.checked() && ticks < 1000) {
        form.Timer1_Timer();
        ++ticks;
    }
    EXPECT_EQ(ticks, 3 * 36) << "three revolutions for red, green and blue";
    const fs::path file = folder / "LightCurves" / "corvane1.csv";
    EXPECT_EQ(dialogs.shown.back().text, "The light curves have been saved to " + file.string() + ".");
    EXPECT_EQ(form.AnimCheck.Value, 0);
    const std::string text = readFile(file);
    EXPECT_EQ(text.substr(0, text.find('\n')), "Phase, Red, Green, Blue, Luminance");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 2 * 36);
}

// Turns the system until the save ends (at most limit ticks); returns the ticks taken.
int animateWhileSaving(CorvaneForm& form, int limit = 2000) {
    int ticks = 0;
    while (form.chkSave.checked() && form.AnimCheck.checked() && ticks < limit) {
        form.Timer1_Timer();
        ++ticks;
    }
    return ticks;
}

// A failed write used to repeat its message at every revolution, for ever, with the wait panel up.
TEST_F(AnimationFixture, ASaveThatCannotBeWrittenSaysSoOnceAndEnds) {
    std::ofstream(folder / "LightCurves") << "a file where the folder should be";
    form.typeText("txtAnimSpeed", "20");
    form.chkSave.Value = 1;
    form.chkSave_Click();
    animateWhileSaving(form);
    EXPECT_THAT(dialogs.shown.back().text,
                HasSubstr("The output file is open by another application and cannot be created.\n("))
        << "the described message, then the real cause";
    EXPECT_THAT(dialogs.shown.back().text, HasSubstr("Not a directory"));
    EXPECT_EQ(form.chkSave.Value, 0);
    EXPECT_FALSE(form.frameMessage.Visible) << "the wait panel goes when the save fails";
    EXPECT_EQ(std::count_if(dialogs.shown.begin(), dialogs.shown.end(),
                            [](const auto& m) { return m.text.find("cannot be created") != std::string::npos; }),
              1);
}

TEST_F(AnimationFixture, TheFileNameBoxCannotLeaveTheFolder) {
    form.txtFilename.Text = "../../escape.csv";
    form.typeText("txtAnimSpeed", "20");
    form.chkSave.Value = 1;
    form.chkSave_Click();
    animateWhileSaving(form);
    EXPECT_TRUE(fs::exists(folder / "LightCurves" / "escape.csv"));
}

TEST(FormFilters, ChoosingAFilterSetsTheChannelsAndRefreshes) {
    platform::ScriptedDialogs dialogs;
    CorvaneForm form(dialogs);
    form.Form_Load();
    ASSERT_TRUE(form.chooseItem("cmbFilter", "LRGB"));
    EXPECT_EQ(form.Curve.ChannelFirst, 0);
    EXPECT_EQ(form.Curve.ChannelLast, 3);
    // The refresh drew at Eta = 0, the start of a revolution: from 0 the channel wraps to 3.
    EXPECT_EQ(form.Curve.Channel, 3);
    ASSERT_TRUE(form.chooseItem("cmbFilter", "G"));
    EXPECT_EQ(form.Curve.Channel, 2);
    EXPECT_FALSE(form.chooseItem("cmbFilter", "UV"));
}

TEST(HelpAndPanels, HelpListAndButtons) {
    platform::ScriptedDialogs dialogs;
    CorvaneForm form(dialogs);
    form.Form_Load();
    ASSERT_EQ(form.HelpList.Items.size(), 15u);
    EXPECT_EQ(std::count(form.HelpList.Items.begin(), form.HelpList.Items.end(), ""), 3);
    EXPECT_EQ(form.HelpList.Items[5], "Limb darkening coefficients range from 0 to 1. ");
    form.HelpButton_Click();
    EXPECT_TRUE(form.HelpAreaFrameVisible);
    EXPECT_FALSE(form.PicturePlotVisible);
    EXPECT_TRUE(form.HelpButton.Bold);
    EXPECT_EQ(form.HelpButton.FontSize, 10);
    EXPECT_EQ(form.cmdPlot.BackColor, 0x808080u);
    form.cmdExtras_Click();
    EXPECT_TRUE(form.TestingAreaFrameVisible);
    EXPECT_FALSE(form.HelpButton.Bold);
    form.cmdPlot_Click();
    EXPECT_TRUE(form.PicturePlotVisible);
    EXPECT_EQ(form.cmdPlot.BackColor, CorvaneForm::ButtonFace);
    form.frameMessage.Visible = true;
    form.frameMessage_Click();
    EXPECT_FALSE(form.frameMessage.Visible);
    form.Label16_Click();
    EXPECT_EQ(dialogs.manualShown, 1) << "from a build folder the link opens the manual built in";
    EXPECT_TRUE(dialogs.opened.empty()) << "no placeholder address";
}

// The help page says where light curves go: the application directory when the program writes
// beside itself, otherwise the folder it really uses.
TEST(HelpAndPanels, TheHelpNamesTheFolderLightCurvesReallyGoTo) {
    const std::filesystem::path program = platform::executableFolder();
    ASSERT_FALSE(program.empty());
    const std::filesystem::path elsewhere = std::filesystem::temp_directory_path() / "corvane-user-data";
    const struct {
        std::filesystem::path folder;
        std::string line;
    } cases[] = {
        {program, "The comma delimited output data file is saved to the application directory."},
        {elsewhere, "The comma delimited output data file is saved to " + (elsewhere / "LightCurves").string() + "."},
    };
    for (const auto& c : cases) {
        platform::ScriptedDialogs dialogs;
        CorvaneForm form(dialogs);
        form.AppFolder = c.folder;
        form.Form_Load();
        ASSERT_EQ(form.HelpList.Items.size(), 15u) << c.folder;
        EXPECT_EQ(form.HelpList.Items[12], c.line) << c.folder;
        EXPECT_EQ(form.HelpList.Items[13], "and can be read with a spread sheet application or text viewer.");
    }
}

// An installed copy opens its installed manual in the browser; when no browser starts, the manual
// built in is shown instead, so the link is never dead.
TEST(HelpAndPanels, TheLinkOpensTheInstalledManualOrTheOneBuiltIn) {
    const struct {
        const char* regime;
        const char* manual;
        bool browserStarts;
        const char* address;
        int builtIn;
    } cases[] = {
        {"installed, a browser", "/usr/share/doc/corvane/manual.html", true,
         "file:///usr/share/doc/corvane/manual.html", 0},
        {"installed, no browser", "/usr/share/doc/corvane/manual.html", false,
         "file:///usr/share/doc/corvane/manual.html", 1},
        {"installed under an odd prefix", "/opt/My Apps/share/doc/corvane/manual.html", true,
         "file:///opt/My%20Apps/share/doc/corvane/manual.html", 0},
        {"from a build folder", "", true, nullptr, 1},
    };
    for (const auto& c : cases) {
        platform::ScriptedDialogs dialogs;
        dialogs.addressOpens = c.browserStarts;
        CorvaneForm form(dialogs);
        form.Form_Load();
        form.InstalledManual = c.manual;
        form.Label16_Click();
        form.Label16_Click(); // every click, not only the first
        if (c.address != nullptr) {
            EXPECT_EQ(dialogs.opened, (std::vector<std::string>{c.address, c.address})) << c.regime;
        } else {
            EXPECT_TRUE(dialogs.opened.empty()) << c.regime;
        }
        EXPECT_EQ(dialogs.manualShown, 2 * c.builtIn) << c.regime;
    }
}

TEST(ShowError, BuildsTheStandardReport) {
    EXPECT_EQ(CorvaneForm::errorText(53, "D", "FileSave"), "D (Error 53) occured in procedure FileSave. \r\n\r\n");
    platform::ScriptedDialogs dialogs;
    CorvaneForm form(dialogs);
    form.ShowError(53, "File not found", "FileSave");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].title, "Notice");
    EXPECT_EQ(dialogs.shown[0].buttons, platform::MessageButtons::OkCancel);
}

// Two spheres of one colour without limb darkening, seen edge-on: the light lost in eclipse is the
// overlap of two discs.
double discOverlap(double r1, double r2, double d) {
    if (d >= r1 + r2) {
        return 0;
    }
    if (d <= std::fabs(r1 - r2)) {
        return Pi * std::pow(std::min(r1, r2), 2);
    }
    const double a = r1 * r1 * std::acos((d * d + r1 * r1 - r2 * r2) / (2 * d * r1));
    const double b = r2 * r2 * std::acos((d * d + r2 * r2 - r1 * r1) / (2 * d * r2));
    const double c = 0.5 * std::sqrt((-d + r1 + r2) * (d + r1 - r2) * (d - r1 + r2) * (d + r1 + r2));
    return a + b - c;
}

struct EclipseFixture : ::testing::Test {
    EclipseFixture() {
        form.Form_Load();
        for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
                 {"txtIota", "90"}, {"Qratio", "1"}, {"txtRadius1", "0.2"}, {"txtRadius2", "0.3"},
                 {"txtLimb1", "0"}, {"txtLimb2", "0"}, {"txtN1", "30"}}) {
            form.typeText(name, value);
        }
        form.setSwitch("chkSpherical", 0);
    }
    // Lit pixels and the measured frame at a rotation angle in degrees.
    int litAt(double degrees) {
        form.typeText("txtEta", platform::GeneralNumber(degrees));
        int lit = 0;
        for (auto p : form.Scene.Picture1.pixels()) {
            lit += p != 0;
        }
        return lit;
    }
    platform::ScriptedDialogs dialogs;
    CorvaneForm form{dialogs};
};

TEST_F(EclipseFixture, DepthIsTheOverlapOfTwoDiscs) {
    const double z = form.ZoomScale;
    const double r1 = 2 * z * 0.2;
    const double r2 = 2 * z * 0.3;
    const int outside = litAt(0); // the stars side by side, 2z apart
    ASSERT_GT(2 * z, r1 + r2);
    for (double degrees : {60.0, 70.0, 75.0, 80.0, 85.0, 90.0}) {
        const double d = 2 * z * std::fabs(std::cos(degrees * Pi / 180));
        const double expected = discOverlap(r1, r2, d);
        const int depth = outside - litAt(degrees);
        // The rims of the two polygons, a pixel wide, bound the rasterisation error.
        EXPECT_NEAR(depth, expected, 2 * Pi * r1) << degrees << " degrees, separation " << d;
    }
    // The frame's measured light is the lit area times the one colour.
    litAt(90);
    const auto rgb = form.Scene.Picture1.pixels();
    const auto colour = *std::find_if(rgb.begin(), rgb.end(), [](auto p) { return p != 0; });
    const int channel = form.Curve.Channel;
    const double perPixel = channel == 0 ? ((colour & 0xFF) + ((colour >> 8) & 0xFF) + ((colour >> 16) & 0xFF))
                                         : (colour >> (8 * (channel - 1))) & 0xFF;
    EXPECT_EQ(form.Curve.FrameSum, perPixel * litAt(90));
}

TEST(LightCurveSymmetry, ACircularOrbitIsSymmetricAboutEachEclipse) {
    platform::ScriptedDialogs dialogs;
    CorvaneForm form(dialogs);
    form.Form_Load();
    form.typeText("txtRadius1", "0.28");
    form.typeText("txtRadius2", "0.35");
    form.typeText("txtTemp2", "6000");
    auto light = [&](double degrees) {
        form.typeText("txtEta", platform::GeneralNumber(degrees));
        return static_cast<double>(lightcurve::channelSum(form.Scene.Picture1, 0));
    };
    for (double eclipse : {90.0, 270.0}) {
        for (double offset : {3.0, 10.0, 25.0, 40.0}) {
            const double before = light(eclipse - offset);
            const double after = light(eclipse + offset);
            EXPECT_NEAR(after / before, 1.0, 2e-3) << "eclipse at " << eclipse << ", offset " << offset;
        }
    }
    EXPECT_LT(light(90), light(0)) << "an eclipse is fainter than quadrature";
}

} // namespace
} // namespace corvane::app
