// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// The window driven as a person drives it: key by key, one action after another on one window.
#include "ui/CorvaneWindow.h"
#include "ui/ApplicationIcon.h"
#include "app/Version.h"
#include "ui/PlotView.h"
#include "platform/Plot.h"
#include "fitting/Ensemble.h"
#include "fitting/GridPicture.h"
#include "lightcurve/LightCurve.h"
#include "platform/NumberFormat.h"
#include "precise/PreciseLight.h"
#include "support/CommaLocale.h"
#include "support/ModelSeries.h"
#include "support/TestApplication.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QStackedWidget>
#include <QScrollBar>
#include <QWheelEvent>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace corvane::ui {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using corvane::testing::ApplicationHolder;

// Message boxes that behave like modal ones: while a box is "open" the event loop keeps running
// (timers tick), as it does under a real box, and every box is recorded in order.
class PumpingDialogs final : public platform::Dialogs {
public:
    platform::MessageAnswer message(const std::string& text, const std::string&, platform::MessageButtons b,
                                    platform::MessageIcon = platform::MessageIcon::None) override {
        shown.push_back(text);
        if (onShow) {
            onShow();
        }
        QTest::qWait(60);
        if (b == platform::MessageButtons::YesNo) {
            return answerNo ? platform::MessageAnswer::No : platform::MessageAnswer::Yes;
        }
        return platform::MessageAnswer::Ok;
    }
    bool openAddress(const std::string& address) override {
        opened.push_back(address);
        return addressOpens;
    }
    void showManual() override { ++manual; }
    std::vector<std::string> shown;
    std::vector<std::string> opened;
    bool addressOpens = true;
    int manual = 0;
    std::function<void()> onShow; // called as each box opens
    bool answerNo = false;        // Yes/No boxes answered No
};

struct UseFixture : ::testing::Test, ApplicationHolder {
    UseFixture() {
        form.AppFolder = folder;
        std::filesystem::create_directories(folder);
        window.show();
        QApplication::processEvents();
    }
    ~UseFixture() override {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                   ("corvane-use-" + std::to_string(::getpid()) + "-" +
                                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    PumpingDialogs dialogs;
    app::CorvaneForm form{dialogs};
    CorvaneWindow window{form};

    template <typename T>
    T* find(const char* name) {
        T* w = window.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Select-all, then the text key by key; returns what the box showed after each key.
    std::vector<QString> typeKeys(const char* name, const QString& text) {
        QLineEdit* edit = find<QLineEdit>(name);
        edit->setFocus();
        edit->selectAll();
        std::vector<QString> seen;
        for (const QChar c : text) {
            QTest::keyClicks(edit, QString(c));
            seen.push_back(edit->text());
        }
        return seen;
    }
    // The known detached system of the series tests (q 0.6, i 84, r 0.3/0.24, 6500/5000 K), typed key
    // by key with Enter after each box, then the precise photometry chosen on the Extras page.
    void typeDetachedPreciseSystem() {
        for (const auto& [box, value] : {std::pair{"Qratio", "0.6"}, {"txtIota", "84"}, {"txtRadius1", "0.3"},
                                         {"txtRadius2", "0.24"}, {"txtTemp1", "6500"}, {"txtTemp2", "5000"}}) {
            typeKeys(box, value);
            QTest::keyClick(find<QLineEdit>(box), Qt::Key_Return);
        }
        find<QPushButton>("cmdExtras")->click();
        QComboBox* photometry = find<QComboBox>("cmbPhotometry");
        photometry->setFocus();
        QTest::keyClick(photometry, Qt::Key_Down);
    }
};

struct TypingCase {
    const char* box;
    const char* typed;
    const char* afterEnter;
};

// Every parameter box, with values inside and outside its clamp.
const TypingCase kTyping[] = {
    {"txtIota", "120", "90"},       {"Qratio", "0.3", "0.3"},        {"txtN1", "200", "100"},
    {"txtRadius1", "0.35", "0.35"}, {"txtRadius2", "1.5", "0.99"},   {"txtLimb1", "2", "1"},
    {"txtLimb2", "-1", "0"},        {"txtTemp1", "7000", "7000"},    {"txtTemp2", "0", "1"},
    {"txtAnimSpeed", "30", "20"},   {"txtGamma", "30", "30"},        {"txtRotPer", "0.25", "0.25"},
    {"txtZoom", "150", "150"},      {"Qratio", "0", "0.001"},        {"txtRadius1", "0.005", "0.01"},
};

TEST_F(UseFixture, TypedTextStaysUntilTheEditEndsInEveryBox) {
    for (const TypingCase& c : kTyping) {
        const std::vector<QString> seen = typeKeys(c.box, c.typed);
        const QString typed = QString::fromUtf8(c.typed);
        for (std::size_t k = 0; k < seen.size(); ++k) {
            EXPECT_EQ(seen[k], typed.left(static_cast<int>(k) + 1)) << c.box << " after key " << k + 1 << " of " << c.typed;
        }
        QTest::keyClick(find<QLineEdit>(c.box), Qt::Key_Return);
        EXPECT_EQ(find<QLineEdit>(c.box)->text(), c.afterEnter) << c.box << " typed " << c.typed;
    }
}

TEST_F(UseFixture, TheListsFollowTheTypedValueWhileTyping) {
    typeKeys("Qratio", "0.3");
    EXPECT_EQ(find<QLineEdit>("Qratio")->text(), "0.3");
    EXPECT_DOUBLE_EQ(form.Q, 0.3);
    typeKeys("txtRadius1", "0.35");
    EXPECT_EQ(find<QListWidget>("StarSizeList")->item(0)->text(), "r1(pole) = 0.35");
    typeKeys("txtIota", "120");
    EXPECT_NEAR(form.Iota, 3.14159265358979 / 2, 1e-12) << "the model uses the clamp while the box shows 120";
    EXPECT_EQ(find<QLineEdit>("txtIota")->text(), "120");
    // A radius past its clamp: the list shows the radius the model uses, the one its potential is
    // computed from (typing 1.5 once listed r1(pole) = 1.5 beside the Omega1 of 0.99).
    for (const auto& [box, typed, row, shown] :
         {std::tuple{"txtRadius1", "1.5", "r1(pole) = ", "0.99"}, std::tuple{"txtRadius2", "1.5", "r2(pole) = ", "0.99"},
          std::tuple{"txtRadius1", "0.001", "r1(pole) = ", "0.01"}}) {
        typeKeys(box, typed);
        EXPECT_EQ(find<QLineEdit>(box)->text(), typed) << "the box keeps what is typed";
        QStringList rows;
        for (int k = 0; k < find<QListWidget>("StarSizeList")->count(); ++k) {
            rows << find<QListWidget>("StarSizeList")->item(k)->text();
        }
        EXPECT_TRUE(rows.contains(QString(row) + shown)) << box << " typed " << typed << ": " << rows.join(" | ").toStdString();
        EXPECT_FALSE(rows.contains(QString(row) + typed)) << box << " typed " << typed;
        QTest::keyClick(find<QLineEdit>(box), Qt::Key_Return);
    }
    const double r1 = form.Radius1;
    EXPECT_NEAR(form.Omega1, 1 / r1 + form.Q / std::sqrt(1 + r1 * r1), 1e-12) << "the listed radius's potential";
}

// Regression: under a decimal-comma locale (Qt takes the C library's from the environment) every
// typed decimal was read by the C library with a comma: "0.3" became 0.
TEST_F(UseFixture, TypingUnderADecimalCommaLocaleGivesTheSameLists) {
    auto lists = [&] {
        std::vector<QString> items;
        for (const char* name : {"RocheList", "StarSizeList"}) {
            auto* list = find<QListWidget>(name);
            for (int k = 0; k < list->count(); ++k) {
                items.push_back(list->item(k)->text());
            }
        }
        return items;
    };
    typeKeys("Qratio", "0.3");
    typeKeys("txtRadius1", "0.305");
    const auto inC = lists();
    const testing::CommaLocale comma;
    if (!comma.ok()) {
        GTEST_SKIP() << "no decimal-comma locale could be made here (localedef)";
    }
    typeKeys("Qratio", "2");
    typeKeys("txtRadius1", "0.2");
    typeKeys("Qratio", "0.3");
    typeKeys("txtRadius1", "0.305");
    EXPECT_EQ(lists(), inC);
    EXPECT_DOUBLE_EQ(form.Q, 0.3);
}

TEST_F(UseFixture, LeavingTheBoxAlsoEndsTheEdit) {
    typeKeys("txtIota", "120");
    find<QLineEdit>("Qratio")->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(find<QLineEdit>("txtIota")->text(), "90");
}

TEST_F(UseFixture, ClearingATemperatureAndTypingKeepsTheNumber) {
    QLineEdit* edit = find<QLineEdit>("txtTemp1");
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, "7000");
    QTest::keyClick(edit, Qt::Key_Tab);
    EXPECT_EQ(edit->text(), "7000");
    EXPECT_DOUBLE_EQ(form.Temp1, 7000);
}

TEST_F(UseFixture, TheCatalogueListLoadsTheRowTheKeyboardLandsOn) {
    QListWidget* list = find<QListWidget>("StarNameList");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    EXPECT_EQ(form.Qratio.Text, "1.997") << "Home lands on 44i Boo";
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(form.Qratio.Text, "0.625") << "Down lands on AD Cnc";
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(form.Qratio.Text, "0.79152") << "End lands on FZ Ori";
    QTest::keyClicks(list, "V884");
    EXPECT_EQ(form.txtTemp2.Text, "45000") << "typing a name's first letters";
}

TEST_F(UseFixture, ACatalogueSystemAfterTheSpinningStarIsABinary) {
    find<QPushButton>("Command2")->click();
    EXPECT_FALSE(form.TwoStarsCheck.checked());
    QListWidget* list = find<QListWidget>("StarNameList");
    QListWidgetItem* item = list->findItems("AB And (19)", Qt::MatchExactly).at(0);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    EXPECT_TRUE(find<QCheckBox>("TwoStarsCheck")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("chkGran")->isChecked()) << "the preset's granulation is the person's to keep";
    EXPECT_EQ(find<QLineEdit>("txtRotPer")->text(), "0.21");
}

TEST_F(UseFixture, TheLightSettingsAreChosenByKeyOnTheExtrasPage) {
    typeDetachedPreciseSystem();
    QComboBox* passband = find<QComboBox>("cmbPassband");
    EXPECT_EQ(passband->currentText(), "Screen colour");
    passband->setFocus();
    QTest::keyClick(passband, Qt::Key_Down);
    EXPECT_EQ(form.cmbPassband.Text, "Bolometric");
    QComboBox* law = find<QComboBox>("cmbLimbLaw");
    law->setFocus();
    QTest::keyClick(law, Qt::Key_Down);
    EXPECT_EQ(form.cmbLimbLaw.Text, "Quadratic");
    typeKeys("txtLimb1b", "0.2");
    QTest::keyClick(find<QLineEdit>("txtLimb1b"), Qt::Key_Return);
    typeKeys("txtGravity1", "0.25");
    QTest::keyClick(find<QLineEdit>("txtGravity1"), Qt::Key_Return);
    EXPECT_DOUBLE_EQ(form.sceneInputs().Light.gravity1, 0.25);
    EXPECT_DOUBLE_EQ(form.sceneInputs().Light.gravity2, 0) << "each star its own exponent";
    typeKeys("txtAlbedo2", "2");
    QTest::keyClick(find<QLineEdit>("txtAlbedo2"), Qt::Key_Return);
    EXPECT_EQ(find<QLineEdit>("txtAlbedo2")->text(), "1") << "an albedo is at most 1";
    EXPECT_DOUBLE_EQ(form.sceneInputs().Light.albedo2, 1);
    EXPECT_DOUBLE_EQ(form.sceneInputs().Light.albedo1, 0);
    typeKeys("txtThirdLight", "1.5");
    QTest::keyClick(find<QLineEdit>("txtThirdLight"), Qt::Key_Return);
    EXPECT_EQ(find<QLineEdit>("txtThirdLight")->text(), "0.99") << "clamped when the edit ends";
    const render::SceneInputs in = form.sceneInputs();
    EXPECT_EQ(in.Light.passband, "Bolometric");
    EXPECT_EQ(in.Light.law, light::LimbLaw::Quadratic);
    EXPECT_DOUBLE_EQ(in.Light.limb1b, 0.2);
    EXPECT_DOUBLE_EQ(in.Light.thirdLight, 0.99);
    EXPECT_FALSE(find<QLabel>("lblLight")->isVisible()) << "nothing to say with the Precise photometry";
    // Under the settings, what papers quote of the model, in its band.
    QLabel* report = find<QLabel>("lblLightReport");
    EXPECT_TRUE(report->isVisible());
    EXPECT_THAT(report->text().toStdString(), HasSubstr("Light Ratio L2/L1 = "));
    EXPECT_THAT(report->text().toStdString(), HasSubstr("Mean Surface-Brightness Ratio = "));
    EXPECT_THAT(report->text().toStdString(), HasSubstr("(Bolometric, at phase 0.25)"));
    EXPECT_THAT(report->text().toStdString(), HasSubstr("Mean Effective Temperatures T1 = "));
    // Coefficients the law cannot use: said under the settings, and no curve until mended.
    typeKeys("txtLimb1b", "0.9");
    QTest::keyClick(find<QLineEdit>("txtLimb1b"), Qt::Key_Return);
    EXPECT_TRUE(find<QLabel>("lblLight")->isVisible());
    EXPECT_THAT(find<QLabel>("lblLight")->text().toStdString(), HasSubstr("Star 1: with these coefficients"));
    typeKeys("txtLimb1b", "0.2");
    QTest::keyClick(find<QLineEdit>("txtLimb1b"), Qt::Key_Return);
    EXPECT_FALSE(find<QLabel>("lblLight")->isVisible());
    // The pixels measure the shaded picture: the label says how far that goes.
    QComboBox* photometry = find<QComboBox>("cmbPhotometry");
    photometry->setFocus();
    QTest::keyClick(photometry, Qt::Key_Up);
    EXPECT_EQ(form.cmbPhotometry.Text, "Pixels");
    EXPECT_THAT(find<QLabel>("lblLight")->text().toStdString(), HasSubstr("measures the picture shaded with these settings"));
    EXPECT_FALSE(report->isVisible()) << "the Pixels photometry has no model to report on";
}

TEST_F(UseFixture, AWheelOverAChoiceScrollsTheExtrasPageAndChangesNothing) {
    find<QPushButton>("cmdExtras")->click();
    QApplication::processEvents();
    QComboBox* law = find<QComboBox>("cmbLimbLaw");
    auto* bar = find<QScrollArea>("TestingAreaScroll")->verticalScrollBar();
    const int before = bar->value();
    find<QPushButton>("cmdExtras")->setFocus();
    for (int k = 0; k < 3; ++k) {
        QWheelEvent wheel(QPointF(5, 5), law->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(law, &wheel);
    }
    EXPECT_EQ(form.cmbLimbLaw.Text, "Linear") << "the law stays what it was";
    EXPECT_EQ(law->currentText(), "Linear");
    EXPECT_GE(bar->value(), before) << "the page scrolled, or was already at its end";
}

TEST_F(UseFixture, SaveAnimationShowsTheExtrasPageBeforeItAsks) {
    QStackedWidget* panel = find<QStackedWidget>("lowerPanel");
    ASSERT_EQ(panel->currentIndex(), 0);
    std::vector<int> pageAtEachBox;
    dialogs.onShow = [&] {
        pageAtEachBox.push_back(panel->currentIndex());
        // Stop the series before it starts: the page is what is looked at.
    };
    dialogs.answerNo = true;
    window.findChild<QAction*>("mnuSaveAnimation")->trigger();
    ASSERT_FALSE(pageAtEachBox.empty());
    EXPECT_EQ(pageAtEachBox.front(), 1) << "the Extras page is on show while \"Bitmaps\" asks";
    EXPECT_EQ(dialogs.shown.size(), 1u) << "No: nothing more";
    EXPECT_FALSE(find<QCheckBox>("chkBMP")->isChecked());
}

TEST_F(UseFixture, TheSlideShowMovesTheListAndRestoresWhatItSwitched) {
    ASSERT_TRUE(form.chkPhotometry.checked());
    find<QPushButton>("SlideShow")->click();
    form.Timer2_Timer();
    window.syncFromForm();
    QListWidget* list = find<QListWidget>("StarNameList");
    EXPECT_EQ(list->currentItem()->text(), "AD Cnc (4)");
    find<QPushButton>("SlideShow")->click();
    EXPECT_EQ(find<QLabel>("lblSlideShow")->text(), "AD Cnc (4)");
    EXPECT_TRUE(find<QLabel>("lblSlideShow")->isVisible());
    EXPECT_TRUE(find<QCheckBox>("chkPhotometry")->isChecked());
    EXPECT_EQ(form.Qratio.Text, "0.625") << "stopping keeps the system on show";
}

TEST_F(UseFixture, TheNeckBoxOnASeparatePairSaysWhyItDoesNothing) {
    form.StarNameList_Click("V1727 Cyg (10)");
    window.syncFromForm();
    find<QCheckBox>("chkNeck")->click();
    EXPECT_THAT(find<QGroupBox>("FrameStar1")->toolTip().toStdString(), HasSubstr("no effect"));
}

TEST_F(UseFixture, TheHelpLinkOpensTheManual) {
    find<QPushButton>("HelpButton")->click();
    find<QPushButton>("Label16")->click();
    EXPECT_EQ(dialogs.manual, 1);
    EXPECT_TRUE(dialogs.opened.empty());
    WidgetDialogs real(&window);
    real.showManual();
    auto* text = window.findChild<QTextBrowser*>("ManualText");
    ASSERT_NE(text, nullptr);
    EXPECT_THAT(text->toPlainText().toStdString(), HasSubstr("corvane-cli"));
    text->window()->close();
}

TEST_F(UseFixture, AnInstalledCopysHelpLinkOpensTheInstalledManualAndFallsBackWithoutABrowser) {
    form.InstalledManual = "/usr/share/doc/corvane/manual.html";
    find<QPushButton>("HelpButton")->click();
    find<QPushButton>("Label16")->click();
    EXPECT_EQ(dialogs.opened, std::vector<std::string>{"file:///usr/share/doc/corvane/manual.html"});
    EXPECT_EQ(dialogs.manual, 0);
    dialogs.addressOpens = false;
    find<QPushButton>("Label16")->click();
    EXPECT_EQ(dialogs.opened.size(), 2u);
    EXPECT_EQ(dialogs.manual, 1) << "no browser: the manual built in";
}

TEST_F(UseFixture, TheWindowWearsTheMenusIconAtEverySize) {
    const QIcon icon = window.windowIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int size : {16, 32, 48, 256}) {
        const QImage image = icon.pixmap(size, size).toImage();
        EXPECT_EQ(image.width(), size);
        // The corner is transparent (rounded), the middle is the hot star, bright and opaque.
        EXPECT_LT(qAlpha(image.pixel(0, 0)), 64) << size;
        const QRgb middle = image.pixel(size * 54 / 128, size * 60 / 128);
        EXPECT_EQ(qAlpha(middle), 255) << size;
        EXPECT_GT(qGray(middle), 150) << size;
    }
}

TEST(WindowCommandLine, AnswersHelpAndVersionWithoutStartingTheWindow) {
    const struct {
        std::vector<const char*> args;
        std::optional<int> status;
        const char* says;
    } cases[] = {
        {{"corvane", "--version"}, 0, "corvane " CORVANE_VERSION "\n"},
        {{"corvane", "--help"}, 0, "Usage: corvane [OPTIONS]"},
        {{"corvane", "-platform", "xcb", "-h"}, 0, "~/.local/share/corvane"},
        {{"corvane"}, std::nullopt, ""},
        {{"corvane", "-platform", "offscreen"}, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        std::ostringstream out;
        const auto status = answerCommandLine(static_cast<int>(c.args.size()), c.args.data(), out);
        EXPECT_EQ(status, c.status) << c.args.back();
        EXPECT_THAT(out.str(), HasSubstr(c.says)) << c.args.back();
        if (!c.status) {
            EXPECT_EQ(out.str(), "") << c.args.back();
        }
    }
}

// Saving with the animation running: every message in the order things happen, the wait panel
// gone at the end, and no partial file in between.
TEST_F(UseFixture, SavingWhileAnimatingKeepsItsMessagesInOrder) {
    typeKeys("txtAnimSpeed", "20");
    QTest::keyClick(find<QLineEdit>("txtAnimSpeed"), Qt::Key_Return);
    find<QCheckBox>("AnimCheck")->click();
    QTest::qWait(50);
    const auto target = folder / "saved.csv";
    window.setFileChooser([&](bool save, const QString&, const QString& start, const QString&) {
        EXPECT_TRUE(save);
        EXPECT_EQ(start.toStdString(), (folder / "LightCurves" / "corvane1.csv").string());
        return QString::fromStdString(target.string());
    });
    QAction* menu = window.findChild<QAction*>("mnuSaveLightCurve");
    ASSERT_NE(menu, nullptr);
    menu->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.chkSave.checked(); }, 20000));
    ASSERT_GE(dialogs.shown.size(), 3u);
    EXPECT_THAT(dialogs.shown[0], HasSubstr("'LightCurves' folder has been created"));
    EXPECT_THAT(dialogs.shown[1], HasSubstr("will be saved to " + target.string()));
    EXPECT_EQ(dialogs.shown.back(), "The light curves have been saved to " + target.string() + ".");
    EXPECT_EQ(dialogs.shown.size(), 3u) << "one saved message, after the announcement";
    QApplication::processEvents();
    EXPECT_FALSE(find<QWidget>("frameMessage")->isVisible()) << "the wait panel goes when the save ends";
    std::ifstream in(target);
    std::string header;
    std::getline(in, header);
    EXPECT_EQ(header, "Phase, Red, Green, Blue, Luminance");
}

TEST_F(UseFixture, ChoosingPrecisePhotometryByKeyShowsTheWholeCurve) {
    find<QPushButton>("cmdExtras")->click();
    QComboBox* box = find<QComboBox>("cmbPhotometry");
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->currentText(), "Pixels");
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down);
    QApplication::processEvents();
    EXPECT_EQ(box->currentText(), "Precise");
    ASSERT_TRUE(form.precisePhotometry());
    // Every channel of the filter ("RGB") at every angle the animation visits, without a turn.
    const int steps = static_cast<int>(std::ceil(360 / platform::Val(form.txtAnimSpeed.Text)));
    for (int channel = 1; channel <= 3; ++channel) {
        int points = 0;
        for (int p = 0; p <= lightcurve::MaxPoint; ++p) {
            points += form.Curve.measured(channel, p) ? 1 : 0;
        }
        EXPECT_GE(points, steps) << "channel " << channel;
    }
    find<QPushButton>("cmdPlot")->click();
    int lit = 0;
    for (int x = 0; x < form.PicturePlot.width(); ++x) {
        for (int y = 0; y < form.PicturePlot.height(); ++y) {
            lit += form.PicturePlot.pixel(x, y) != 0 ? 1 : 0;
        }
    }
    EXPECT_GT(lit, 3 * steps) << "markers of three channels";
    // The key back chooses the pixels again.
    QTest::keyClick(box, Qt::Key_Up);
    QApplication::processEvents();
    EXPECT_FALSE(form.precisePhotometry());
}

TEST_F(UseFixture, UntickingASaveTakesTheWaitPanelDown) {
    find<QCheckBox>("chkSave")->click();
    QApplication::processEvents();
    EXPECT_TRUE(find<QWidget>("frameMessage")->isVisible());
    find<QPushButton>("cmdExtras")->click();
    find<QCheckBox>("chkSave")->click();
    QApplication::processEvents();
    EXPECT_FALSE(form.chkSave.checked());
    EXPECT_FALSE(find<QWidget>("frameMessage")->isVisible());
}

TEST_F(UseFixture, StarFilesGoThroughTheFileDialog) {
    const auto file = folder / "mine.txt";
    form.StarNameList_Click("FZ Ori (Ravik)");
    window.setFileChooser([&](bool, const QString&, const QString& start, const QString&) {
        EXPECT_EQ(start.toStdString(), (folder / "Stars" / "Star1.txt").string()) << "the described default";
        return QString::fromStdString(file.string());
    });
    window.findChild<QAction*>("mnuSaveStar")->trigger();
    ASSERT_TRUE(std::filesystem::exists(file));
    form.StarNameList_Click("AB And (19)");
    window.findChild<QAction*>("mnuLoadStar")->trigger();
    EXPECT_EQ(form.Qratio.Text, "0.79152");
    EXPECT_FALSE(form.frameSaveBMP.Visible);
    window.setFileChooser([](bool, const QString&, const QString&, const QString&) { return QString(); });
    window.findChild<QAction*>("mnuSaveBitmap")->trigger();
    EXPECT_FALSE(std::filesystem::exists(folder / "Stars" / "Star1.bmp")) << "cancelled: nothing written";
}

// The orbit typed key by key: the frame says where the secondary falls; velocities loaded through
// the File menu are compared with the model there and drawn in their own window.
TEST_F(UseFixture, AnEccentricOrbitIsTypedAndVelocitiesLoadedFromTheFileMenu) {
    form.StarNameList_Click("FZ Ori (Ravik)");
    find<QPushButton>("cmdExtras")->click();
    if (form.chkSpherical.checked()) {
        find<QCheckBox>("chkSpherical")->click(); // spheres: no lobe to fill at periastron
    }
    typeKeys("txtEccentricity", "0.2");
    typeKeys("txtOmega", "45");
    typeKeys("txtSemiMajorAxis", "10");
    form.txtPeriod.Text = "2.5";
    form.Refresh_Click();
    window.syncFromForm();
    const QString orbit = find<QLabel>("lblOrbit")->text();
    EXPECT_TRUE(orbit.contains("Secondary eclipse at phase")) << orbit.toStdString();
    EXPECT_TRUE(orbit.contains("M1 = ")) << orbit.toStdString();
    const auto file = folder / "rv1.txt";
    {
        std::ofstream out(file);
        out << "phase rv1 e_rv\n";
        for (int k = 0; k < 12; ++k) {
            const double phase = k / 12.0;
            out << phase << ' ' << form.velocityAt(phase).v1 + (k % 2 == 0 ? 2 : -2) << " 2\n";
        }
    }
    window.setFileChooser([&](bool, const QString&, const QString&, const QString&) {
        return QString::fromStdString(file.string());
    });
    window.findChild<QAction*>("mnuLoadVelocities1")->trigger();
    QApplication::processEvents();
    ASSERT_EQ(form.VelocitySets.size(), 1u);
    EXPECT_TRUE(find<QLabel>("lblOrbit")->text().contains("12 points, RMS residual 2.000 km/s"))
        << find<QLabel>("lblOrbit")->text().toStdString();
    auto* curves = window.findChild<QDialog*>("VelocityCurves");
    ASSERT_NE(curves, nullptr);
    EXPECT_TRUE(curves->isVisible());
    EXPECT_FALSE(window.findChild<QLabel*>("VelocityPicture")->pixmap().isNull());
    window.findChild<QPushButton*>("cmdClearVelocities")->click();
    EXPECT_TRUE(form.VelocitySets.empty());
}

// A fit set up in the window, key by key, saved as a fit file and loaded back over other values: the
// boxes, the free parameters and the observations come back as they were saved.
TEST_F(UseFixture, AFitSavedFromTheWindowLoadsBackOverOtherValues) {
    const auto obs = folder / "obs.csv";
    {
        std::ofstream out(obs);
        for (int k = 0; k < 40; ++k) {
            out << k / 40.0 << "," << 10 + 0.2 * (k % 5) << "," << 0.01 << "\n";
        }
    }
    form.txtLCName.Text = obs.string();
    form.cmdLoadLight_Click();
    window.syncFromForm();
    typeDetachedPreciseSystem();
    find<QCheckBox>("chkFree1")->click(); // the mass ratio no longer free
    find<QCheckBox>("chkFree2")->click(); // star 1's radius free
    const auto fitFile = folder / "fits" / "saved.toml";
    std::filesystem::create_directories(fitFile.parent_path());
    window.setFileChooser([&](bool, const QString&, const QString&, const QString&) {
        return QString::fromStdString(fitFile.string());
    });
    window.findChild<QAction*>("mnuSaveFit")->trigger();
    ASSERT_TRUE(std::filesystem::exists(fitFile));

    typeKeys("Qratio", "0.8");
    QTest::keyClick(find<QLineEdit>("Qratio"), Qt::Key_Return);
    typeKeys("txtIota", "70");
    QTest::keyClick(find<QLineEdit>("txtIota"), Qt::Key_Return);
    find<QCheckBox>("chkFree2")->click();
    form.txtLCName.Text.clear();
    form.Curve.ObsCount = 0;
    window.findChild<QAction*>("mnuLoadFit")->trigger();
    QApplication::processEvents();
    EXPECT_EQ(find<QLineEdit>("Qratio")->text().toStdString(), "0.6");
    EXPECT_EQ(find<QLineEdit>("txtIota")->text().toStdString(), "84");
    EXPECT_TRUE(find<QCheckBox>("chkFree0")->isChecked());
    EXPECT_FALSE(find<QCheckBox>("chkFree1")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("chkFree2")->isChecked());
    EXPECT_EQ(form.Curve.ObsCount, 40) << "the observations named in the file are loaded again";
    EXPECT_TRUE(form.ObsHasErrors);
    EXPECT_EQ(find<QComboBox>("cmbPhotometry")->currentText().toStdString(), "Precise");

    // A file that is not a fit is refused in a message and changes nothing.
    const auto bad = folder / "bad.toml";
    std::ofstream(bad) << "[fit]\nperiod = \"x\"\n";
    window.setFileChooser([&](bool, const QString&, const QString&, const QString&) {
        return QString::fromStdString(bad.string());
    });
    bool warned = false;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            warned = box->text().contains("fit.period (line 2) must be a number");
            box->accept();
        }
    });
    window.findChild<QAction*>("mnuLoadFit")->trigger();
    EXPECT_TRUE(warned);
    EXPECT_EQ(find<QLineEdit>("txtIota")->text().toStdString(), "84");
}

// Two light curves in two bands and star 1's velocities fitted together from the window, key by key:
// the first curve loaded in Johnson V, the second added from the File menu in the band the person
// picks, the velocities loaded, the start typed, the fit run. It comes back to the truth, and its
// report names every file.
TEST_F(UseFixture, TwoLightCurvesAndVelocitiesAreFittedTogetherFromTheWindow) {
    typeDetachedPreciseSystem();
    typeKeys("txtSemiMajorAxis", "12");
    QTest::keyClick(find<QLineEdit>("txtSemiMajorAxis"), Qt::Key_Return);
    typeKeys("txtPeriod", "2.5");
    QTest::keyClick(find<QLineEdit>("txtPeriod"), Qt::Key_Return);
    QComboBox* passband = find<QComboBox>("cmbPassband");
    // "J" finds the first Johnson band, the arrow keys the one wanted (a space would open the list).
    auto pickByKey = [](QComboBox* box, const QString& wanted) {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_J);
        const int at = box->findText(wanted);
        for (int k = 0; k < box->count() && box->currentIndex() != at; ++k) {
            QTest::keyClick(box, box->currentIndex() < at ? Qt::Key_Down : Qt::Key_Up);
        }
    };
    pickByKey(passband, "Johnson V");
    ASSERT_EQ(form.cmbPassband.Text, "Johnson V");

    // The truth, q = 0.6 and i = 84, observed in V and B with 0.002 mag of noise, and star 1's
    // velocities with 1 km/s.
    std::mt19937 rng(8);
    std::normal_distribution<double> noise(0, 0.002), kms(0, 1);
    for (const char* band : {"Johnson V", "Johnson B"}) {
        render::SceneInputs in = form.sceneInputs();
        in.Light.passband = band;
        std::vector<double> etas;
        for (int k = 0; k < 240; ++k) {
            etas.push_back(2 * 3.14159265358979 * (k / 240.0 + 0.25));
        }
        const auto light = precise::PreciseLight(in).curve(etas);
        std::ofstream out(folder / (std::string(band).substr(8) + ".txt"));
        out.precision(10);
        out << "phase mag err\n";
        for (int k = 0; k < 240; ++k) {
            out << k / 240.0 << ' '
                << 10 - 2.5 * std::log10(light[static_cast<std::size_t>(k)][static_cast<std::size_t>(form.comparedChannel())]) +
                       noise(rng)
                << " 0.002\n";
        }
    }
    {
        std::ofstream out(folder / "rv1.txt");
        out << "phase rv1 e_rv\n";
        for (int k = 0; k < 16; ++k) {
            const double phase = (k + 0.5) / 16.0;
            out << phase << ' ' << form.velocityAt(phase).v1 + kms(rng) << " 1\n";
        }
    }
    typeKeys("txtIota", "81");
    QTest::keyClick(find<QLineEdit>("txtIota"), Qt::Key_Return);
    typeKeys("Qratio", "0.7");
    QTest::keyClick(find<QLineEdit>("Qratio"), Qt::Key_Return);

    std::filesystem::path next;
    window.setFileChooser([&](bool, const QString&, const QString&, const QString&) {
        return QString::fromStdString(next.string());
    });
    // Before any curve is loaded, adding one says what to do first.
    bool told = false;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            told = box->text().contains("Load a light curve first");
            box->accept();
        }
    });
    next = folder / "B.txt";
    window.findChild<QAction*>("mnuAddLightCurve")->trigger();
    EXPECT_TRUE(told);
    EXPECT_TRUE(form.ExtraLight.empty());

    next = folder / "V.txt";
    window.findChild<QAction*>("mnuLoadLightCurve")->trigger();
    ASSERT_EQ(form.Curve.ObsCount, 240);
    // The added file names no band: the person picks Johnson B in the question, by key.
    QString asked;
    QTimer::singleShot(0, [&] {
        if (auto* question = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            asked = question->labelText();
            auto* choice = question->findChild<QComboBox*>();
            pickByKey(choice, "Johnson B");
            QTest::keyClick(choice, Qt::Key_Return);
        }
    });
    next = folder / "B.txt";
    window.findChild<QAction*>("mnuAddLightCurve")->trigger();
    EXPECT_EQ(asked.toStdString(), "The band B.txt was taken in:");
    ASSERT_EQ(form.ExtraLight.size(), 1u);
    EXPECT_EQ(form.ExtraLight[0].passband, "Johnson B");
    EXPECT_EQ(form.cmbPassband.Text, "Johnson V") << "the first curve keeps its band";
    EXPECT_THAT(find<QLabel>("lblObserved")->text().toStdString(), HasSubstr("Added B.txt in Johnson B (240 points)"));
    next = folder / "rv1.txt";
    window.findChild<QAction*>("mnuLoadVelocities1")->trigger();
    QApplication::processEvents();
    ASSERT_EQ(form.VelocitySets.size(), 1u);

    QPushButton* fit = find<QPushButton>("cmdFit");
    fit->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fit->text() == "Fit"; }, 300000));
    const std::string report = find<QPlainTextEdit>("Text1")->toPlainText().toStdString();
    EXPECT_THAT(find<QLabel>("lblDCProgress")->text().toStdString(), HasSubstr("Fit done")) << report;
    EXPECT_NEAR(find<QLineEdit>("txtIota")->text().toDouble(), 84, 0.2) << report;
    EXPECT_NEAR(find<QLineEdit>("Qratio")->text().toDouble(), 0.6, 0.02) << report;
    EXPECT_THAT(report, HasSubstr("and 1 more light curve, and 16 velocities"));
    EXPECT_THAT(report, HasSubstr("Light curve 2 ("));
    EXPECT_THAT(report, HasSubstr("B.txt, Johnson B)"));
}

// Regression: a cancelled grid search replayed an old "folder created" message long after.
TEST_F(UseFixture, AGridSearchSaysWhatItHasToSayBeforeItStarts) {
    const auto obs = folder / "obs.csv";
    {
        std::ofstream out(obs);
        for (int k = 0; k < 20; ++k) {
            out << k / 20.0 << "," << 10 + 0.2 * (k % 5) << "\n";
        }
    }
    form.txtLCName.Text = obs.string();
    form.cmdLoadLight_Click();
    window.syncFromForm();
    find<QPushButton>("cmdExtras")->click();
    find<QCheckBox>("chkDC")->click();
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_THAT(dialogs.shown.back(), HasSubstr("'RelativeErrors' folder has been created"));
    const std::size_t before = dialogs.shown.size();
    find<QCheckBox>("chkDC")->click(); // cancel
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.chkDC.checked(); }, 20000));
    QTest::qWait(100);
    EXPECT_EQ(dialogs.shown.size(), before) << "nothing pops up after the job";
}

// Lit pixels on the picture's outermost rows and columns: a star cut off by the edge.
int litOnBorder(const platform::Canvas& p) {
    int n = 0;
    for (int x = 0; x < p.width(); ++x) {
        n += (p.pixel(x, 0) != 0) + (p.pixel(x, p.height() - 1) != 0);
    }
    for (int y = 0; y < p.height(); ++y) {
        n += (p.pixel(0, y) != 0) + (p.pixel(p.width() - 1, y) != 0);
    }
    return n;
}

// Regression: the scale followed the picture's smaller side only, so in a narrow picture star 2 of
// the start-up system ran off it.
TEST_F(UseFixture, EverySystemFitsTheSmallestWindowsPictureAtZoom100) {
    window.resize(1024, 640);
    QApplication::processEvents();
    ASSERT_EQ(form.Picture1Width, find<QWidget>("Picture1")->width());
    for (int index = 0; index <= form.StarCount; ++index) {
        if (index > 0) {
            form.StarNameList_Click(form.Cat[static_cast<std::size_t>(index)].Name);
        }
        for (const char* eta : {"0", "90", "180", "270"}) {
            form.typeText("txtEta", eta);
            ASSERT_EQ(litOnBorder(form.Scene.Picture1), 0)
                << (index == 0 ? std::string("the start-up system") : form.Cat[static_cast<std::size_t>(index)].Name)
                << " at " << eta << " degrees in a " << form.Picture1Width << "x" << form.Picture1Height << " picture";
        }
    }
    form.typeText("txtZoom", "300");
    EXPECT_GT(litOnBorder(form.Scene.Picture1), 0) << "zoom still enlarges on purpose";
}

TEST_F(UseFixture, TheStartUpSystemFitsLargerWindowsToo) {
    for (const QSize size : {QSize(1280, 800), QSize(1600, 1000), QSize(1100, 900)}) {
        window.resize(size);
        QApplication::processEvents();
        for (const char* eta : {"0", "90", "180", "270"}) {
            form.typeText("txtEta", eta);
            EXPECT_EQ(litOnBorder(form.Scene.Picture1), 0) << size.width() << "x" << size.height() << " at " << eta;
        }
        form.typeText("Qratio", "0.3");
        form.typeText("txtEta", "90");
        EXPECT_EQ(litOnBorder(form.Scene.Picture1), 0) << size.width() << "x" << size.height() << " q = 0.3";
        form.typeText("Qratio", "2");
    }
}

TEST_F(UseFixture, EveryControlIsReachableInASmallWindow) {
    window.resize(1024, 640);
    QApplication::processEvents();
    auto* column = find<QScrollArea>("LeftColumn");
    ASSERT_NE(column, nullptr);
    QWidget* last = find<QWidget>("txtRadSpot1");
    column->ensureWidgetVisible(last);
    QApplication::processEvents();
    const QPoint inView = last->mapTo(column->viewport(), QPoint(0, 0));
    EXPECT_GE(inView.y(), 0);
    EXPECT_LE(inView.y() + last->height(), column->viewport()->height()) << "scrolled into view";
    EXPECT_LE(window.frameGeometry().width(), 1024 + 40);
}


// A time series in BJD, from a known detached system with 0.002 mag of noise: the period and epoch
// typed key by key, the file chosen, the fit run by its button, the values read off the boxes.
TEST_F(UseFixture, ATimeSeriesIsFoldedAndFittedFromTheWindow) {
    typeDetachedPreciseSystem();
    ASSERT_TRUE(form.precisePhotometry());

    const double period = 2.4731, epoch = 2459001.3;
    const auto file = folder / "series.txt";
    {
        std::mt19937 rng(21);
        std::uniform_real_distribution<double> when(epoch - 10, epoch + 20);
        std::normal_distribution<double> noise(0, 0.002);
        std::vector<double> times, etas;
        for (int i = 0; i < 300; ++i) {
            times.push_back(when(rng));
            const double cycles = (times.back() - epoch) / period;
            etas.push_back(2 * 3.14159265358979 * (cycles - std::floor(cycles) + 0.25));
        }
        const auto light = precise::PreciseLight(form.sceneInputs()).curve(etas);
        std::ofstream out(file);
        out.precision(15);
        out << "BJD,mag,err\n";
        for (int i = 0; i < 300; ++i) {
            out << times[static_cast<std::size_t>(i)] << ','
                << 11 - 2.5 * std::log10(light[static_cast<std::size_t>(i)][static_cast<std::size_t>(form.comparedChannel())]) +
                       noise(rng)
                << ",0.002\n";
        }
    }
    window.setFileChooser([&](bool, const QString&, const QString&, const QString&) {
        return QString::fromStdString(file.string());
    });
    // Without a period the series is refused, and says what it needs.
    window.findChild<QAction*>("mnuLoadLightCurve")->trigger();
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_THAT(dialogs.shown.back(), HasSubstr("Type the period in days"));
    EXPECT_EQ(form.Curve.ObsCount, 0);

    typeKeys("txtPeriod", "2.4731");
    typeKeys("txtEpoch", "2459001.3");
    window.findChild<QAction*>("mnuLoadLightCurve")->trigger();
    ASSERT_EQ(form.Curve.ObsCount, 300);
    EXPECT_THAT(find<QLabel>("lblObserved")->text().toStdString(), HasSubstr("Folded with period 2.4731 d"));
    // The exposure is typed like any box, a share of the period; typed, it is the person's own.
    typeKeys("txtExposure", "600");
    QTest::keyClick(find<QLineEdit>("txtExposure"), Qt::Key_Return);
    EXPECT_TRUE(form.ExposureChosen);
    EXPECT_DOUBLE_EQ(form.exposureWidth(), 600 / (2.4731 * 86400));
    typeKeys("txtExposure", "0");
    QTest::keyClick(find<QLineEdit>("txtExposure"), Qt::Key_Return);
    EXPECT_EQ(form.exposureWidth(), 0);

    typeKeys("txtIota", "78");
    QTest::keyClick(find<QLineEdit>("txtIota"), Qt::Key_Return);
    typeKeys("Qratio", "0.75");
    QTest::keyClick(find<QLineEdit>("Qratio"), Qt::Key_Return);
    EXPECT_TRUE(find<QCheckBox>("chkFree0")->isChecked()) << "inclination is free by default";
    EXPECT_TRUE(find<QCheckBox>("chkFree1")->isChecked()) << "and the mass ratio";
    EXPECT_FALSE(find<QCheckBox>("chkFree2")->isChecked());
    QPushButton* fit = find<QPushButton>("cmdFit");
    fit->click();
    EXPECT_EQ(fit->text(), "Cancel Fit");
    ASSERT_TRUE(QTest::qWaitFor([&] { return fit->text() == "Fit"; }, 300000));
    EXPECT_THAT(find<QLabel>("lblDCProgress")->text().toStdString(), HasSubstr("Fit done"));
    EXPECT_NEAR(find<QLineEdit>("txtIota")->text().toDouble(), 84, 1) << form.Text1.Text;
    EXPECT_NEAR(find<QLineEdit>("Qratio")->text().toDouble(), 0.6, 0.03) << form.Text1.Text;
    EXPECT_THAT(find<QPlainTextEdit>("Text1")->toPlainText().toStdString(), HasSubstr("Inclination = "));
    EXPECT_THAT(find<QLabel>("lblChiSquare")->text().toStdString(), HasSubstr("Chi-Square per Point: "));
    EXPECT_THAT(find<QLabel>("lblError")->text().toStdString(), Not(HasSubstr("before the last change")))
        << "the error shown is the fitted model's";

    // A second click on the button cancels a fit, keeping its best point.
    typeKeys("txtIota", "80");
    QTest::keyClick(find<QLineEdit>("txtIota"), Qt::Key_Return);
    fit->click();
    fit->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fit->text() == "Fit"; }, 300000));
    EXPECT_THAT(find<QLabel>("lblDCProgress")->text().toStdString(), HasSubstr("Fit cancelled"));
}


// "Uncertainties..." on a folded time series: refused without observations, then sampled off the
// window's thread with its progress, the summary and corner plot shown, the chain and the plot saved,
// and a second click cancelling a long run while keeping its steps.
TEST_F(UseFixture, TheUncertaintiesButtonSamplesShowsAndSavesThePosterior) {
    QPushButton* button = find<QPushButton>("cmdUncertainties");
    ASSERT_EQ(button->text(), "Uncertainties...");
    button->click();
    EXPECT_THAT(find<QLabel>("lblDCProgress")->text().toStdString(), HasSubstr("load an observed light curve first"));

    typeDetachedPreciseSystem();
    ASSERT_TRUE(form.precisePhotometry());
    const double period = 2.4731, epoch = 2459001.3;
    std::vector<double> times;
    for (int k = 0; k < 150; ++k) {
        times.push_back(epoch - 5 + 0.2 * k);
    }
    const auto file = folder / "series.csv";
    corvane::testing::writeSeries(file.string(), corvane::testing::observeModel(form, times, period, epoch, 0.002, 8),
                                  0.002);
    typeKeys("txtPeriod", "2.4731");
    typeKeys("txtEpoch", "2459001.3");
    typeKeys("txtIota", "83");
    QTest::keyClick(find<QLineEdit>("txtIota"), Qt::Key_Return);
    window.setFileChooser([&](bool, const QString&, const QString&, const QString&) {
        return QString::fromStdString(file.string());
    });
    window.findChild<QAction*>("mnuLoadLightCurve")->trigger();
    ASSERT_EQ(form.Curve.ObsCount, 150) << (dialogs.shown.empty() ? "" : dialogs.shown.back());

    form.UncertaintyRequest.walkers = 8;
    form.UncertaintyRequest.steps = 24;
    form.UncertaintyRequest.seed = 3;
    QPushButton* fit = find<QPushButton>("cmdFit");
    button->click();
    EXPECT_EQ(button->text(), "Cancel");
    fit->click(); // the fit waits for the sampler: nothing happens
    EXPECT_EQ(fit->text(), "Fit");
    ASSERT_TRUE(QTest::qWaitFor([&] { return button->text() == "Uncertainties..."; }, 600000));
    EXPECT_THAT(find<QLabel>("lblDCProgress")->text().toStdString(),
                HasSubstr("Uncertainties done: 24 steps of 8 walkers"));
    auto* result = window.findChild<QDialog*>("UncertaintyResult");
    ASSERT_NE(result, nullptr);
    EXPECT_TRUE(result->isVisible());
    const std::string summary = result->findChild<QLabel*>("lblUncertaintySummary")->text().toStdString();
    EXPECT_THAT(summary, HasSubstr("Inclination = 8"));
    EXPECT_THAT(summary, HasSubstr("Mass Ratio = 0."));
    EXPECT_THAT(summary, HasSubstr("Acceptance fraction = "));
    EXPECT_THAT(find<QPlainTextEdit>("Text1")->toPlainText().toStdString(),
                HasSubstr("Posterior by the ensemble sampler"));
    // The corner plot drawn: two histograms and a cloud, not a blank square.
    const QImage corner = result->findChild<QLabel*>("CornerPicture")->pixmap().toImage();
    ASSERT_FALSE(corner.isNull());
    int inked = 0;
    for (int y = 0; y < corner.height(); y += 2) {
        for (int x = 0; x < corner.width(); x += 2) {
            inked += qGray(corner.pixel(x, y)) < 200 ? 1 : 0;
        }
    }
    EXPECT_GT(inked, 200) << corner.width() << "x" << corner.height();
    EXPECT_LE(result->frameGeometry().height(), window.screen()->availableGeometry().height() + 40);

    const auto chainFile = folder / "mine.csv";
    window.setFileChooser([&](bool save, const QString&, const QString& start, const QString&) {
        EXPECT_TRUE(save);
        EXPECT_EQ(start.toStdString(), (folder / "Chains" / "chain.csv").string());
        return QString::fromStdString(chainFile.string());
    });
    result->findChild<QPushButton*>("cmdSaveChain")->click();
    {
        std::ifstream in(chainFile);
        std::stringstream text;
        text << in.rdbuf();
        std::string why;
        const auto chain = fitting::parseChain(text.str(), why);
        ASSERT_TRUE(chain) << why;
        EXPECT_EQ(chain->steps(), 24);
        EXPECT_EQ(chain->walkers, 8);
        EXPECT_EQ(chain->seed, 3u);
    }
    const auto plotFile = folder / "corner.svg";
    window.setFileChooser([&](bool, const QString&, const QString& start, const QString&) {
        EXPECT_EQ(start.toStdString(), (folder / "Plots" / "corner.png").string());
        return QString::fromStdString(plotFile.string());
    });
    result->findChild<QPushButton*>("cmdSaveCornerPlot")->click();
    {
        std::ifstream in(plotFile);
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_THAT(text.str(), HasSubstr("<svg"));
        EXPECT_THAT(text.str(), HasSubstr("Mass Ratio"));
    }
    result->close();

    // A long run cancelled by a second click once it samples: the steps made are kept and shown.
    form.UncertaintyRequest.steps = 100000;
    button->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return find<QLabel>("lblDCProgress")->text().startsWith("Sampling: step 3"); }, 600000));
    button->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return button->text() == "Uncertainties..."; }, 600000));
    EXPECT_THAT(find<QLabel>("lblDCProgress")->text().toStdString(), HasSubstr("Uncertainties cancelled"));
    EXPECT_TRUE(result->isVisible());
    EXPECT_THAT(result->findChild<QLabel*>("lblUncertaintySummary")->text().toStdString(),
                HasSubstr("Cancelled: the "));
    ASSERT_NE(form.LastMcmc, nullptr);
    EXPECT_GE(form.LastMcmc->steps, 3);
    EXPECT_LT(form.LastMcmc->steps, 100000);
}

// The plot with axes: hovering reads the value under the pointer, the menu's copy is the curve file's
// text, and File > Save Plot writes the chosen picture at the chosen size.
TEST_F(UseFixture, ThePlotReadsValuesUnderThePointerAndSavesAsAPicture) {
    find<QPushButton>("cmdExtras")->click();
    QComboBox* photometry = find<QComboBox>("cmbPhotometry");
    photometry->setFocus();
    QTest::keyClick(photometry, Qt::Key_Down);
    ASSERT_TRUE(form.precisePhotometry());
    find<QPushButton>("cmdPlot")->click();
    QApplication::processEvents();
    auto* plot = window.findChild<PlotView*>("PicturePlot");
    ASSERT_NE(plot, nullptr);
    const platform::PlotDescription d = form.curvePlotDescription(plot->width(), plot->height());
    const platform::PlotLayout l = platform::plotLayout(d, plot->width(), plot->height());
    ASSERT_EQ(d.panels.size(), 1u);
    // The pointer over phase 0.25 at relative light 0.9.
    const QPoint at(static_cast<int>(std::lround(platform::plotPixelX(d, l, 0.25))),
                    static_cast<int>(std::lround(platform::plotPixelY(d, l, 0, 0.9))));
    const QString text = plot->hoverText(at);
    ASSERT_TRUE(text.startsWith("Phase 0.2")) << text.toStdString();
    const double phase = text.mid(6, 5).toDouble();
    EXPECT_NEAR(phase, 0.25, 0.003) << text.toStdString();
    const int value = text.indexOf("relative light ");
    ASSERT_GE(value, 0) << text.toStdString();
    EXPECT_NEAR(text.mid(value + 15).toDouble(), 0.9, 0.01) << text.toStdString();
    EXPECT_TRUE(plot->hoverText(QPoint(2, 2)).isEmpty()) << "outside the axes";
    QTest::mouseMove(plot, at);
    EXPECT_EQ(plot->toolTip(), text);
    EXPECT_EQ(plot->curveCsv().left(34), "Phase, Red, Green, Blue, Luminance");

    const auto file = folder / "curve.svg";
    window.setFileChooser([&](bool save, const QString&, const QString& start, const QString&) {
        EXPECT_TRUE(save);
        EXPECT_EQ(start.toStdString(), (folder / "Plots" / "curve.png").string());
        return QString::fromStdString(file.string());
    });
    window.setSizeChooser([](const QString&) { return QString("1000x400"); });
    window.findChild<QAction*>("mnuSavePlot")->trigger();
    ASSERT_TRUE(std::filesystem::exists(file));
    std::ifstream in(file);
    const std::string svg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_THAT(svg, HasSubstr("viewBox=\"0 0 1000 400\""));
    EXPECT_THAT(svg, HasSubstr(">Phase<"));
    // A size that is no size is refused with a message, and nothing is written.
    const auto other = folder / "other.png";
    window.setFileChooser([&](bool, const QString&, const QString&, const QString&) {
        return QString::fromStdString(other.string());
    });
    window.setSizeChooser([](const QString&) { return QString("big"); });
    window.findChild<QAction*>("mnuSavePlot")->trigger();
    EXPECT_FALSE(std::filesystem::exists(other));
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_THAT(dialogs.shown.back(), HasSubstr("WIDTHxHEIGHT"));
}

TEST_F(UseFixture, AnAnimatedGifIsSavedFromTheFileMenuOffTheWindowsThread) {
    const auto file = folder / "orbit.gif";
    window.setFileChooser([&](bool, const QString&, const QString&, const QString&) {
        return QString::fromStdString(file.string());
    });
    typeKeys("txtAnimSpeed", "20");
    QTest::keyClick(find<QLineEdit>("txtAnimSpeed"), Qt::Key_Return);
    window.findChild<QAction*>("mnuSaveGif")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.lastExportMessage().empty(); }, 60000));
    EXPECT_THAT(window.lastExportMessage(), HasSubstr("The animation was saved to"));
    std::ifstream in(file, std::ios::binary);
    std::string head(6, '\0');
    in.read(head.data(), 6);
    EXPECT_EQ(head, "GIF89a");
    EXPECT_FALSE(find<QWidget>("frameMessage")->isVisible());
}


TEST_F(UseFixture, EveryControlSaysWhatItSetsInItsTooltip) {
    std::vector<std::string> names;
    for (const auto& c : app::CorvaneForm::parameterControls()) {
        names.emplace_back(c.name);
    }
    for (const auto& c : app::CorvaneForm::switchControls()) {
        names.emplace_back(c.name);
    }
    for (const auto& c : app::CorvaneForm::optionControls()) {
        names.emplace_back(c.name);
    }
    for (const auto& c : app::CorvaneForm::comboControls()) {
        names.emplace_back(c.name);
    }
    for (const char* other : {"StarNameList", "txtStarFilter", "PicturePlot", "Picture1", "cmdFit"}) {
        names.emplace_back(other);
    }
    for (const std::string& name : names) {
        QWidget* w = window.findChild<QWidget*>(QString::fromStdString(name));
        if (w == nullptr) {
            continue; // a control the window shows inside another (the photometry's own combo has its text)
        }
        EXPECT_FALSE(w->toolTip().isEmpty()) << name;
    }
    EXPECT_THAT(find<QLineEdit>("txtIota")->toolTip().toStdString(), HasSubstr("0 to 90"));
}

TEST_F(UseFixture, KeyboardShortcutsFindBoxesAndTheCatalogueFilter) {
    EXPECT_EQ(window.findChild<QAction*>("mnuLoadLightCurve")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(window.findChild<QAction*>("mnuSaveLightCurve")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(window.findChild<QAction*>("mnuExit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(window.findChild<QAction*>("mnuRefresh")->shortcut(), QKeySequence(QKeySequence::Refresh));
    // Space starts and stops the animation from the catalogue list...
    QListWidget* list = find<QListWidget>("StarNameList");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_TRUE(form.AnimCheck.checked());
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_FALSE(form.AnimCheck.checked());
    // ...but a space typed into a box is text.
    QLineEdit* name = find<QLineEdit>("txtFilename");
    name->setFocus();
    QTest::keyClick(name, Qt::Key_End);
    QTest::keyClick(name, Qt::Key_Space);
    EXPECT_FALSE(form.AnimCheck.checked());
    EXPECT_TRUE(name->text().endsWith(' '));

    // Typing part of a name leaves only the systems that match, in any case.
    QLineEdit* filter = find<QLineEdit>("txtStarFilter");
    QTest::keyClicks(filter, "boo");
    int shown = 0;
    for (int row = 0; row < list->count(); ++row) {
        if (!list->item(row)->isHidden()) {
            ++shown;
            EXPECT_THAT(list->item(row)->text().toLower().toStdString(), HasSubstr("boo"));
        }
    }
    EXPECT_GE(shown, 2) << "44i Boo, TY Boo, XY Boo ...";
    EXPECT_LT(shown, list->count());
    filter->clear();
    for (int row = 0; row < list->count(); ++row) {
        EXPECT_FALSE(list->item(row)->isHidden());
    }
}

TEST_F(UseFixture, ResetToDefaultsPutsEveryParameterBack) {
    const std::string q = form.Qratio.Text, iota = form.txtIota.Text;
    typeKeys("Qratio", "0.3");
    QTest::keyClick(find<QLineEdit>("Qratio"), Qt::Key_Return);
    typeKeys("txtIota", "60");
    QTest::keyClick(find<QLineEdit>("txtIota"), Qt::Key_Return);
    find<QCheckBox>("chkMag")->click();
    ASSERT_TRUE(form.chkMag.checked());
    window.findChild<QAction*>("mnuResetDefaults")->trigger();
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_THAT(dialogs.shown.back(), HasSubstr("back to its value at start-up"));
    EXPECT_EQ(form.Qratio.Text, q);
    EXPECT_EQ(form.txtIota.Text, iota);
    EXPECT_EQ(find<QLineEdit>("Qratio")->text().toStdString(), q);
    EXPECT_FALSE(form.chkMag.checked());
    EXPECT_FALSE(find<QCheckBox>("chkMag")->isChecked());
}


TEST_F(UseFixture, AGridSearchEndsInAnErrorMapWhoseBestPointCanBeApplied) {
    const auto obs = folder / "obs.csv";
    {
        std::ofstream out(obs);
        for (int k = 0; k < 12; ++k) {
            out << k / 12.0 << "," << 10 + 0.3 * std::exp(-std::pow(std::min(k, 12 - k) / 1.5, 2)) << "\n";
        }
    }
    form.txtLCName.Text = obs.string();
    form.cmdLoadLight_Click();
    form.chooseItem("cmbPhotometry", "Precise");
    form.txtN1.Text = "5";
    window.syncFromForm();
    find<QPushButton>("cmdExtras")->click();
    for (const auto& [box, value] : {std::pair{"txtInitial", "70"}, {"txtFinal", "90"}, {"txtSteps", "3"},
                                     {"txtInitial2", "0.3"}, {"txtFinal2", "0.5"}, {"txtSteps2", "2"}}) {
        typeKeys(box, value);
    }
    find<QCheckBox>("chkDC")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.chkDC.checked(); }, 120000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.findChild<QDialog*>("GridResult") != nullptr; }, 5000));
    auto* result = window.findChild<QDialog*>("GridResult");
    EXPECT_TRUE(result->isVisible());
    EXPECT_FALSE(window.findChild<QLabel*>("GridPicture")->pixmap().isNull());
    const QString best = window.findChild<QLabel*>("lblGridBest")->text();
    EXPECT_TRUE(best.startsWith("Best: Inclination = ")) << best.toStdString();
    ASSERT_EQ(form.LastGridRows.size(), 6u);
    const auto row = fitting::bestGridRow(form.LastGridRows);
    ASSERT_TRUE(row);
    window.findChild<QPushButton*>("cmdApplyBest")->click();
    EXPECT_EQ(find<QLineEdit>("txtIota")->text().toStdString(), platform::GeneralNumber(row->p1));
    EXPECT_EQ(find<QLineEdit>("Qratio")->text().toStdString(), platform::GeneralNumber(row->p2));
    // The map is saved beside the table.
    bool picture = false;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "RelativeErrors")) {
        picture = picture || entry.path().extension() == ".png";
    }
    EXPECT_TRUE(picture);
}


TEST_F(UseFixture, ACatalogueSystemShowsWhereItsValuesComeFrom) {
    QListWidget* list = find<QListWidget>("StarNameList");
    const auto rows = list->findItems("AB And (19)", Qt::MatchExactly);
    ASSERT_EQ(rows.size(), 1);
    list->scrollToItem(rows[0]);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(rows[0]).center());
    EXPECT_EQ(find<QLineEdit>("Qratio")->text(), "0.56");
    EXPECT_EQ(find<QLineEdit>("txtIota")->text(), "83.16");
    EXPECT_EQ(find<QLabel>("lblStarSource")->text(), "AB And (19): WUMaCat (Latkovic+ 2021)");
    EXPECT_EQ(rows[0]->toolTip(), "AB And (19): WUMaCat (Latkovic+ 2021)");
    const auto estimated = list->findItems("ER Ori (13)", Qt::MatchExactly);
    ASSERT_EQ(estimated.size(), 1);
    EXPECT_FALSE(estimated[0]->toolTip().isEmpty());
}


TEST_F(UseFixture, FindPeriodFillsTheBoxesLoadsTheSeriesAndShowsAndSavesItsPlots) {
    // A detached pair observed for 30 days, made from the program's own light curve.
    app::CorvaneForm maker(dialogs);
    maker.setPictureSize(400, 250);
    maker.Form_Load();
    corvane::testing::setSystem(maker, {{"Qratio", "0.9"}, {"txtIota", "88"}, {"txtRadius1", "0.15"},
                                        {"txtRadius2", "0.13"}, {"txtTemp1", "6000"}, {"txtTemp2", "5600"}});
    const double period = 2.8765, epoch = 2459100.25;
    const auto file = folder / "series.csv";
    corvane::testing::writeSeries(
        file.string(),
        corvane::testing::observeModel(maker, corvane::testing::stretchTimes(2459101, 30, 10.0 / 1440, 1), period, epoch,
                                       0.002, 5),
        0.002);
    // A period typed before is replaced.
    find<QPushButton>("cmdExtras")->click();
    typeKeys("txtPeriod", "1.5");
    QString answer = QString::fromStdString(file.string());
    std::vector<QString> titles;
    window.setFileChooser([&](bool, const QString& title, const QString&, const QString&) {
        titles.push_back(title);
        return answer;
    });
    QPushButton* findButton = find<QPushButton>("cmdFindPeriod");
    QTest::mouseClick(findButton, Qt::LeftButton);
    ASSERT_EQ(titles.size(), 1u);
    EXPECT_EQ(titles.back(), "Find Period");
    EXPECT_FALSE(findButton->isEnabled()) << "one search at a time";
    auto* result = window.findChild<QDialog*>("TimingResult");
    ASSERT_TRUE(QTest::qWaitFor([&] { return (result = window.findChild<QDialog*>("TimingResult")) && result->isVisible(); },
                                120000));
    EXPECT_TRUE(findButton->isEnabled());
    const double found = find<QLineEdit>("txtPeriod")->text().toDouble();
    EXPECT_NEAR(found / period, 1, 1e-5) << find<QLineEdit>("txtPeriod")->text().toStdString();
    const double cycles = (find<QLineEdit>("txtEpoch")->text().toDouble() - epoch) / period;
    EXPECT_NEAR(cycles, std::round(cycles), 1e-3) << "the epoch is a primary minimum";
    // The series is loaded, folded with what was found.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.Curve.ObsCount > 0; }, 60000));
    EXPECT_THAT(find<QLabel>("lblObserved")->text().toStdString(),
                HasSubstr("Folded with period " + find<QLineEdit>("txtPeriod")->text().toStdString()));
    auto* summary = result->findChild<QLabel*>("lblTimingSummary");
    ASSERT_NE(summary, nullptr);
    EXPECT_THAT(summary->text().toStdString(), HasSubstr("minima timed"));
    auto* tabs = result->findChild<QTabWidget*>("TimingTabs");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->currentIndex(), 0) << "the periodogram first";
    EXPECT_FALSE(result->findChild<QLabel*>("OMinusCPicture")->pixmap().isNull());

    // The O-C diagram saved as SVG from its tab, the minima as text.
    tabs->setCurrentIndex(1);
    answer = QString::fromStdString((folder / "o-c.svg").string());
    QTest::mouseClick(result->findChild<QPushButton*>("cmdSaveTimingPlot"), Qt::LeftButton);
    std::ifstream svg(folder / "o-c.svg");
    const std::string picture((std::istreambuf_iterator<char>(svg)), std::istreambuf_iterator<char>());
    EXPECT_THAT(picture, HasSubstr("Cycle E"));
    answer = QString::fromStdString((folder / "minima.csv").string());
    QTest::mouseClick(result->findChild<QPushButton*>("cmdSaveMinima"), Qt::LeftButton);
    std::ifstream minima(folder / "minima.csv");
    std::string header;
    std::getline(minima, header);
    EXPECT_EQ(header, "time,error,type,cycle,o_c");

    // A file of phases: said so, and the boxes keep what was found.
    const QString before = find<QLineEdit>("txtPeriod")->text();
    std::ofstream(folder / "phases.csv") << "0.1,12\n0.2,12.3\n0.3,12\n";
    answer = QString::fromStdString((folder / "phases.csv").string());
    const std::size_t shown = dialogs.shown.size();
    window.findChild<QAction*>("mnuFindPeriod")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialogs.shown.size() > shown; }, 60000));
    EXPECT_THAT(dialogs.shown.back(), HasSubstr("holds phases, not times"));
    EXPECT_EQ(find<QLineEdit>("txtPeriod")->text(), before);
    // Cancelling the file dialog does nothing.
    answer.clear();
    window.findChild<QAction*>("mnuFindPeriod")->trigger();
    EXPECT_TRUE(findButton->isEnabled());
}

} // namespace
} // namespace corvane::ui
