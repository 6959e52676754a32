// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "app/CorvaneForm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include <ctime>

#include <chrono>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include "platform/NumberFormat.h"
#include <unistd.h>

namespace corvane::app {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct CatalogueFixture : ::testing::Test {
    CatalogueFixture() {
        fs::create_directories(folder);
        form.AppFolder = folder;
        form.setPictureSize(160, 100);
        form.Form_Load();
    }
    ~CatalogueFixture() override { fs::remove_all(folder); }
    fs::path folder = fs::temp_directory_path() / ("corvane-cat-" + std::to_string(::getpid()) + "-" +
                                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
    platform::ScriptedDialogs dialogs;
    CorvaneForm form{dialogs};

    std::vector<std::string> texts() const {
        return {form.Qratio.Text, form.txtIota.Text, form.txtRadius1.Text, form.txtRadius2.Text,
                form.txtTemp1.Text, form.txtTemp2.Text, form.txtLimb1.Text, form.txtLimb2.Text};
    }
    void write(const char* name, const std::string& text) { std::ofstream(folder / name, std::ios::binary) << text; }
};

TEST_F(CatalogueFixture, SelectingASystemLoadsItsSixValues) {
    form.StarNameList_Click("FZ Ori (Ravik)");
    EXPECT_EQ(texts(), (std::vector<std::string>{"0.79152", "67.085", "0.3855", "0.347", "6108", "6055", "0.5", "0.5"}));
    EXPECT_DOUBLE_EQ(form.Q, 0.79152) << "and the model is recomputed";
    form.StarNameList_Click("V884 Sco (344)");
    EXPECT_EQ(form.txtTemp2.Text, "45000");
    EXPECT_EQ(form.Qratio.Text, "21");
    form.StarNameList_Click("No Such Star");
    EXPECT_EQ(form.Qratio.Text, "21") << "no match changes nothing";
}

TEST_F(CatalogueFixture, SlideShowStartsFromADefinedStateAndWraps) {
    form.AnimCheck.Value = 1;
    form.typeText("txtEta", "40");
    form.SlideShow_Click();
    EXPECT_EQ(form.SlideShow.Caption, "Stop Slide Show");
    EXPECT_TRUE(form.SlideShowOn);
    EXPECT_TRUE(form.Timer2Enabled);
    EXPECT_TRUE(form.lblSlideShow.Visible);
    EXPECT_EQ(form.txtN1.Text, "15");
    EXPECT_EQ(form.LatLines, 15);
    EXPECT_EQ(form.AnimCheck.Value, 0);
    EXPECT_EQ(form.chkPhotometry.Value, 0);
    EXPECT_EQ(form.chkSpherical.Value, 1);
    EXPECT_EQ(form.txtEta.Text, " 0");
    EXPECT_EQ(form.Eta, 0.0);

    form.Timer2_Timer();
    EXPECT_EQ(form.lblSlideShow.Caption, "AD Cnc (4)") << "the first tick after start-up shows entry 2";
    EXPECT_EQ(form.Qratio.Text, "0.625");
    form.SlideIndex = 324;
    form.Timer2_Timer();
    EXPECT_EQ(form.SlideIndex, 1);
    EXPECT_EQ(form.lblSlideShow.Caption, "44i Boo (3)");

    form.SlideShow_Click();
    EXPECT_EQ(form.SlideShow.Caption, "Start Slide Show");
    EXPECT_FALSE(form.Timer2Enabled);
    EXPECT_TRUE(form.lblSlideShow.Visible) << "the system on show stays named";
    EXPECT_EQ(form.lblSlideShow.Caption, "44i Boo (3)");
    EXPECT_EQ(form.StarNameListIndex, 0) << "and selected in the list";
    EXPECT_EQ(form.chkPhotometry.Value, 1) << "what the show switched off comes back";
    EXPECT_EQ(form.txtN1.Text, "10");
    form.Timer2_Timer();
    EXPECT_EQ(form.SlideIndex, 1) << "a tick while stopped does nothing";
}

TEST_F(CatalogueFixture, ParameterSetsRoundTripExactly) {
    form.StarNameList_Click("FZ Ori (Ravik)");
    form.typeText("txtLimb2", "0.35");
    const auto saved = texts();
    form.mnuSaveStar_Click();
    EXPECT_EQ(form.lblSaveAs.Caption, "Save Star Parameters As . . . ");
    EXPECT_EQ(form.txtBMPName.Text, (folder / "Stars" / "Star1.txt").string());
    form.cmbSaveBMP_Click();
    EXPECT_EQ(dialogs.shown.at(0).text, "A 'Stars' folder has been created at " + (folder / "Stars").string() + ".");
    EXPECT_FALSE(form.frameSaveBMP.Visible);
    form.StarNameList_Click("44i Boo (3)");
    form.typeText("txtLimb2", "0.9");
    form.mnuLoadStar_Click();
    EXPECT_EQ(form.cmbSaveBMP.Caption, "Load");
    form.cmbSaveBMP_Click();
    EXPECT_EQ(texts(), saved);
    EXPECT_DOUBLE_EQ(form.Limb2, 0.35);
}

TEST_F(CatalogueFixture, ABadParameterFileChangesNothing) {
    fs::create_directories(folder / "Stars");
    const auto before = texts();
    for (const char* content : {"q, i, r1, r2, T1, T2, w1, w2\n1,2,3\n", "q, i, r1, r2, T1, T2, w1, w2\n1,2,3,4,x,6,7,8\n",
                                "garbage"}) {
        std::ofstream(folder / "Stars" / "Star1.txt") << content;
        form.mnuLoadStar_Click();
        form.cmbSaveBMP_Click();
        EXPECT_EQ(texts(), before) << content;
        EXPECT_EQ(dialogs.shown.back().title, "Notice");
        EXPECT_THAT(dialogs.shown.back().text, HasSubstr("occured in procedure FileSave."));
    }
    fs::remove(folder / "Stars" / "Star1.txt");
    form.mnuLoadStar_Click();
    form.cmbSaveBMP_Click();
    EXPECT_THAT(dialogs.shown.back().text, HasSubstr("cannot be opened"));
}

TEST_F(CatalogueFixture, SavingThePicture) {
    form.mnuSaveBitmap_Click();
    EXPECT_EQ(form.lblSaveAs.Caption, "Save Bitmap As . . . ");
    form.cmbSaveBMP_Click();
    EXPECT_TRUE(fs::exists(folder / "Stars" / "Star1.bmp"));
    form.mnuSaveBitmap_Click();
    form.txtBMPName.Text = (folder / "missing" / "x.bmp").string();
    form.cmbSaveBMP_Click();
    EXPECT_THAT(dialogs.shown.back().text, HasSubstr("(Error 75) occured in procedure FileSave."));
}

TEST_F(CatalogueFixture, LoadingAnObservedCurveFillsAndFlipsTheTables) {
    std::string text;
    for (int k = 0; k < 100; ++k) {
        text += std::to_string(k / 100.0) + "," + std::to_string(12.0 + 0.01 * (k % 13)) + "\n";
    }
    write("obs.csv", text);
    form.txtLCName.Text = (folder / "obs.csv").string();
    form.cmdLoadLight_Click();
    EXPECT_EQ(form.Curve.ObsCount, 100);
    EXPECT_DOUBLE_EQ(form.Curve.ObsMax, 12.12);
    EXPECT_DOUBLE_EQ(form.Curve.ObsMin, 12.0);
    // The faintest record (largest magnitude) becomes the smallest value.
    EXPECT_DOUBLE_EQ(form.Curve.ObsValue[13], form.Curve.ObsMin);
    EXPECT_TRUE(form.Text1.Visible);
    EXPECT_TRUE(form.Timer1Enabled);
    EXPECT_FALSE(form.frameMessage.Visible);
}

TEST_F(CatalogueFixture, AFailedLoadLeavesTheTablesAsTheyWere) {
    write("good.csv", "0.1,12\n0.2,13\n0.3,12.5\n");
    form.txtLCName.Text = (folder / "good.csv").string();
    form.cmdLoadLight_Click();
    ASSERT_EQ(form.Curve.ObsCount, 3);
    write("bad.csv", "not,a curve\nat all\n");
    form.txtLCName.Text = (folder / "bad.csv").string();
    form.cmdLoadLight_Click();
    EXPECT_EQ(form.Curve.ObsCount, 3);
    EXPECT_DOUBLE_EQ(form.Curve.ObsPhase[2], 0.2);
    EXPECT_THAT(dialogs.shown.back().text, HasSubstr("cannot be loaded"));
    form.txtLCName.Text = (folder / "none.csv").string();
    form.cmdLoadLight_Click();
    EXPECT_THAT(dialogs.shown.back().text, HasSubstr("does not exist"));
    EXPECT_EQ(form.Curve.ObsCount, 3);
}

TEST_F(CatalogueFixture, LongFilesAreBinnedInPhaseToFiveThousandAndTheUserIsTold) {
    // 20 000 points over the whole cycle: none is dropped, each bin is the mean of four.
    std::string text;
    for (int k = 0; k < 20000; ++k) {
        text += std::to_string((k + 0.5) / 20000.0) + "," + std::to_string(12 + (k % 4) * 0.01) + "\n";
    }
    write("long.csv", text);
    form.txtLCName.Text = (folder / "long.csv").string();
    form.cmdLoadLight_Click();
    EXPECT_EQ(form.Curve.ObsCount, 5000);
    EXPECT_NEAR(form.Curve.ObsRaw[1], 12.015, 1e-9) << "the mean of the bin's four values";
    EXPECT_FALSE(form.ObsHasErrors) << "a file without errors gets none from its bins' scatter";
    EXPECT_THAT(dialogs.shown.back().text, HasSubstr("Read 20000 points"));
    EXPECT_THAT(dialogs.shown.back().text, HasSubstr("Binned in phase into 5000 points"));
    EXPECT_EQ(form.lblObserved.Caption, dialogs.shown.back().text);
}

TEST_F(CatalogueFixture, RelativeErrorAgainstTheModelItself) {
    // Measure the model at 24 phases, write them as magnitudes, and compare back.
    form.setSwitch("chkMag", 1);
    form.chooseItem("cmbFilter", "R");
    std::string text;
    for (int k = 0; k < 24; ++k) {
        text += std::to_string(k / 24.0) + ",0\n";
    }
    write("phases.csv", text);
    form.txtLCName.Text = (folder / "phases.csv").string();
    form.chkError.Value = 1;
    form.cmdLoadLight_Click();
    EXPECT_THAT(form.lblError.Caption, HasSubstr("Relative Error: none")) << "a flat observed curve has no error";
    EXPECT_EQ(form.chkError.Value, 0) << "the refresh unchecks it";

    std::string observed;
    for (int k = 1; k <= 24; ++k) {
        // Magnitudes: fainter is larger, so the model's log brightness enters with a minus sign.
        observed += std::to_string(k / 24.0 - 1.0 / 24) + "," + std::to_string(20 - form.ModelAtObs[static_cast<std::size_t>(k)]) + "\n";
    }
    write("self.csv", observed);
    form.txtLCName.Text = (folder / "self.csv").string();
    form.chkError.Value = 1;
    form.cmdLoadLight_Click();
    ASSERT_EQ(form.lblError.Caption.substr(0, 16), "Relative Error: ");
    EXPECT_LT(platform::Val(form.lblError.Caption.substr(16)), 1e-4) << form.lblError.Caption;
    EXPECT_EQ(std::count(form.Text1.Text.begin(), form.Text1.Text.end(), '\n'), 25)
        << "one line per point, then the channel compared";
    EXPECT_THAT(form.Text1.Text, HasSubstr("\r\nChannel compared: Red\r\n"));
    EXPECT_EQ(form.Text1.Text.substr(0, 2), "1,");

    // A different inclination is clearly worse.
    form.typeText("txtIota", "50");
    form.chkError.Value = 1;
    form.cmdLoadLight_Click();
    const double worse = platform::Val(form.lblError.Caption.substr(std::string("Relative Error: ").size()));
    EXPECT_GT(worse, 0.02);
}

TEST_F(CatalogueFixture, GridSearchFindsTheParametersTheCurveCameFrom) {
    form.setSwitch("chkMag", 1);
    form.chooseItem("cmbFilter", "R");
    form.typeText("txtN1", "6");
    // An observed curve made by the model at i = 70, q = 0.45.
    form.typeText("txtIota", "70");
    form.typeText("Qratio", "0.45");
    std::string phases;
    for (int k = 0; k < 16; ++k) {
        phases += std::to_string(k / 16.0) + ",0\n";
    }
    write("phases.csv", phases);
    form.txtLCName.Text = (folder / "phases.csv").string();
    form.chkError.Value = 1;
    form.cmdLoadLight_Click();
    std::string observed;
    for (int k = 1; k <= 16; ++k) {
        observed += std::to_string((k - 1) / 16.0) + "," + std::to_string(20 - form.ModelAtObs[static_cast<std::size_t>(k)]) + "\n";
    }
    write("obs.csv", observed);
    form.txtLCName.Text = (folder / "obs.csv").string();
    form.cmdLoadLight_Click();

    form.chooseItem("cmbParameter", "Inclination");
    form.chooseItem("cmbParameter2", "Mass Ratio");
    EXPECT_EQ(form.txtInitial.Text, "80");
    EXPECT_EQ(form.txtInitial2.Text, "0.3");
    form.txtInitial.Text = "60";
    form.txtFinal.Text = "80";
    form.txtSteps.Text = "3";
    form.txtInitial2.Text = "0.35";
    form.txtFinal2.Text = "0.55";
    form.txtSteps2.Text = "3";
    std::atomic<bool> cancel{false};
    std::string why;
    const auto one = form.runGridSearch(1, {}, cancel, why, folder / "one");
    ASSERT_FALSE(one.empty()) << why;
    const auto two = form.runGridSearch(2, {}, cancel, why, folder / "two");
    ASSERT_FALSE(two.empty()) << why;
    std::ifstream a(one), b(two);
    const std::string ta((std::istreambuf_iterator<char>(a)), {}), tb((std::istreambuf_iterator<char>(b)), {});
    EXPECT_EQ(ta, tb) << "the result does not depend on the number of threads";
    std::istringstream lines(ta);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "q,i,r1,r2,T1,T2,w1,w2,N,Parameter #1 (y),Parameter #2 (x),Relative Error");
    double best = 1e9;
    std::string bestLine;
    int rows = 0;
    while (std::getline(lines, line)) {
        ++rows;
        const double e = platform::Val(line.substr(line.rfind(',') + 1));
        if (e < best) {
            best = e;
            bestLine = line;
        }
    }
    EXPECT_EQ(rows, 9);
    EXPECT_THAT(bestLine, HasSubstr(",6,70,0.45,")) << bestLine;
    EXPECT_LT(best, 1e-3);
    EXPECT_EQ(form.lblDCProgress.Caption.substr(0, 13), "Completed At ");

    // The file is named by the run's start, as the README says, not its end: a run held up for
    // more than a second after its first point still carries a stamp from before that point.
    auto now = [] {
        const std::time_t t = std::time(nullptr);
        std::tm local{};
        localtime_r(&t, &local);
        char buf[32];
        std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &local);
        return std::stoll(buf);
    };
    long long firstPoint = 0;
    const auto slow = form.runGridSearch(
        1,
        [&](const fitting::GridProgress&) {
            if (firstPoint == 0) {
                firstPoint = now();
                std::this_thread::sleep_for(std::chrono::milliseconds(2100));
            }
        },
        cancel, why, folder / "slow");
    ASSERT_FALSE(slow.empty()) << why;
    ASSERT_GT(firstPoint, 0);
    EXPECT_LE(std::stoll(slow.stem().string().substr(0, 14)), firstPoint) << slow;
}

TEST_F(CatalogueFixture, GridSearchNeedsAnObservedCurve) {
    std::atomic<bool> cancel{false};
    std::string why;
    EXPECT_TRUE(form.runGridSearch(1, {}, cancel, why, folder / "g").empty());
    EXPECT_THAT(why, HasSubstr("observed"));
}

} // namespace
} // namespace corvane::app

namespace corvane::app {
namespace {

TEST(SpecialMenu, RandomPicksRepeatFromRunToRunAndStayInRange) {
    platform::ScriptedDialogs d1, d2;
    CorvaneForm a(d1), b(d2);
    a.setPictureSize(80, 50);
    b.setPictureSize(80, 50);
    a.Form_Load();
    b.Form_Load();
    a.mnuRandomBinaryStar_Click();
    b.mnuRandomBinaryStar_Click();
    EXPECT_EQ(a.RandomIndex, b.RandomIndex);
    EXPECT_EQ(a.Caption, "Corvane Pro 2.1.39 - Eclipsing Binary Stars " + std::to_string(a.RandomIndex));
    const auto& e = a.Cat[static_cast<std::size_t>(a.RandomIndex)];
    EXPECT_EQ(a.Qratio.Text, platform::GeneralNumber(e.Q));
    EXPECT_EQ(a.txtTemp2.Text, platform::GeneralNumber(e.Temp2));
    for (int k = 0; k < 20; ++k) {
        a.mnuRandomBinaryStar_Click();
        EXPECT_GE(a.RandomIndex, 1);
        EXPECT_LE(a.RandomIndex, 324);
    }
}

TEST(SpecialMenu, SingleSpinningStarPreset) {
    platform::ScriptedDialogs d;
    CorvaneForm form(d);
    form.setPictureSize(80, 50);
    form.Form_Load();
    form.typeText("txtN1", "7");
    form.Command2_Click();
    EXPECT_EQ(form.txtRotPer.Text, "0.21");
    EXPECT_EQ(form.txtN1.Text, "15");
    EXPECT_EQ(form.LatLines, 15);
    EXPECT_EQ(form.chkGran.Value, 1);
    EXPECT_EQ(form.TwoStarsCheck.Value, 0);
    EXPECT_TRUE(form.TestingAreaFrameVisible);
    EXPECT_NEAR(form.RotPeriodSec, 0.21 * 86400, 1e-9);
    EXPECT_NE(form.Scene.Gran.at(3, 3), 0.0);
}

TEST(ContactSystems, AutoOnAWUMaSystemMakesOneEnvelope) {
    platform::ScriptedDialogs d;
    CorvaneForm form(d);
    form.setPictureSize(200, 125);
    form.Form_Load();
    form.setSwitch("chkAuto", 1);
    form.StarNameList_Click("V523 Cas (5)");
    EXPECT_EQ(form.FrameStar1.Caption, " Star 1 - Contact ");
    EXPECT_EQ(form.FrameStar2.Caption, " Star 2 - Contact ");
    EXPECT_EQ(form.chkNeck.Value, 1);
    EXPECT_EQ(form.txtRadius2.Text, platform::Format(form.RecommendedRadius2, "0.####"));
    EXPECT_NEAR(form.Omega1, form.Omega2, 1e-3) << "both poles on one surface";
    EXPECT_GT(form.Scene.CellsDrawn, 0);
}

} // namespace
} // namespace corvane::app
