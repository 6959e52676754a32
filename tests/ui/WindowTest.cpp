// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "ui/CorvaneWindow.h"
#include "support/TestApplication.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace corvane::ui {
namespace {

using corvane::testing::ApplicationHolder;

struct WindowFixture : ::testing::Test, ApplicationHolder {
    WindowFixture() {
        window.show();
        QApplication::processEvents();
    }
    platform::ScriptedDialogs dialogs;
    app::CorvaneForm form{dialogs};
    CorvaneWindow window{form};

    template <typename T>
    T* find(const char* name) {
        T* w = window.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void retype(const char* name, const QString& text) {
        QLineEdit* edit = find<QLineEdit>(name);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
};

TEST_F(WindowFixture, ShowsTheCaptionAndEveryControl) {
    EXPECT_EQ(window.objectName(), "Corvane");
    EXPECT_EQ(window.windowTitle(), "Corvane Pro 2.1.39 - Eclipsing Binary Stars ");
    for (const auto& c : app::CorvaneForm::parameterControls()) {
        EXPECT_NE(window.findChild<QLineEdit*>(c.name), nullptr) << c.name;
        if (c.scroll > 0) {
            EXPECT_NE(window.findChild<QScrollBar*>(QString("VScroll%1").arg(c.scroll)), nullptr) << c.name;
        }
    }
    for (const auto& c : app::CorvaneForm::switchControls()) {
        EXPECT_NE(window.findChild<QCheckBox*>(c.name), nullptr) << c.name;
    }
    EXPECT_EQ(find<QListWidget>("RocheList")->count(), 3);
    EXPECT_EQ(find<QLineEdit>("txtN1")->text(), "10");
}

TEST_F(WindowFixture, TypingIntoABoxRefreshesTheLists) {
    retype("Qratio", "1");
    EXPECT_EQ(form.Qratio.Text, "1");
    EXPECT_EQ(find<QListWidget>("RocheList")->item(2)->text(), "Omega = 3.75");
}

TEST_F(WindowFixture, AClampedValueIsWrittenBackIntoTheBoxWhenTheEditEnds) {
    retype("txtIota", "120");
    EXPECT_EQ(find<QLineEdit>("txtIota")->text(), "120") << "while typing, the box holds what is typed";
    QTest::keyClick(find<QLineEdit>("txtIota"), Qt::Key_Return);
    EXPECT_EQ(find<QLineEdit>("txtIota")->text(), "90");
}

TEST_F(WindowFixture, TheUpperArrowRaisesTheValue) {
    retype("Qratio", "2.4");
    QScrollBar* spinner = find<QScrollBar>("VScroll14");
    spinner->triggerAction(QAbstractSlider::SliderSingleStepSub); // the upper arrow
    EXPECT_EQ(find<QLineEdit>("Qratio")->text(), "2.5");
    spinner->triggerAction(QAbstractSlider::SliderSingleStepAdd); // the lower arrow
    EXPECT_EQ(find<QLineEdit>("Qratio")->text(), "2.4");
}

TEST_F(WindowFixture, ContactFramesAreCaptionedInRed) {
    // The default system overflows both lobes.
    EXPECT_EQ(find<QGroupBox>("FrameStar1")->title(), " Star 1 - Contact ");
    retype("txtRadius1", "0.1");
    retype("txtRadius2", "0.1");
    EXPECT_EQ(find<QGroupBox>("FrameStar1")->title(), " Star 1 ");
    EXPECT_EQ(find<QGroupBox>("FrameStar2")->title(), " Star 2 ");
}

TEST_F(WindowFixture, AnimateTurnsTheSystemOnTheTimer) {
    find<QLineEdit>("txtAnimSpeed");
    retype("txtAnimSpeed", "10");
    find<QCheckBox>("AnimCheck")->click();
    EXPECT_TRUE(form.AnimCheck.checked());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.Eta > 0.0; }, 10000)) << "ticks have advanced the rotation angle";
    EXPECT_NE(find<QLineEdit>("txtEta")->text(), "0 ");
    find<QCheckBox>("AnimCheck")->click();
    // Every tick shows its angle in the box; a refresh (a late resize, say) only re-reads it.
    const QString stopped = find<QLineEdit>("txtEta")->text();
    QTest::qWait(50);
    EXPECT_EQ(find<QLineEdit>("txtEta")->text(), stopped) << "no tick after Animate is unticked";
}

TEST_F(WindowFixture, PanelButtonsSwitchTheLowerPanel) {
    auto* stack = window.findChild<QStackedWidget*>();
    ASSERT_NE(stack, nullptr);
    find<QPushButton>("HelpButton")->click();
    EXPECT_EQ(stack->currentWidget()->objectName(), "HelpAreaFrame");
    EXPECT_EQ(find<QListWidget>("HelpList")->count(), 15);
    EXPECT_TRUE(find<QPushButton>("HelpButton")->font().bold());
    find<QPushButton>("cmdExtras")->click();
    EXPECT_EQ(stack->currentWidget()->objectName(), "TestingAreaScroll");
    find<QPushButton>("cmdPlot")->click();
    EXPECT_EQ(stack->currentWidget()->objectName(), "PicturePlot");
}

TEST_F(WindowFixture, ChoosingACatalogueSystemLoadsIt) {
    QListWidget* list = find<QListWidget>("StarNameList");
    ASSERT_EQ(list->count(), 324);
    QListWidgetItem* item = list->findItems("FZ Ori (Ravik)", Qt::MatchExactly).at(0);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    EXPECT_EQ(find<QLineEdit>("Qratio")->text(), "0.79152");
    EXPECT_EQ(find<QLineEdit>("txtTemp2")->text(), "6055");
}

TEST_F(WindowFixture, ComparingWithAnObservedCurveRunsOffTheWindowThread) {
    const auto file = std::filesystem::temp_directory_path() / ("corvane-ui-obs-" + std::to_string(::getpid()) + ".csv");
    {
        std::ofstream out(file);
        for (int k = 0; k < 30; ++k) {
            out << k / 30.0 << "," << 12 + 0.3 * std::cos(k / 30.0 * 4 * 3.14159265358979) << "\n";
        }
    }
    form.mnuLoadLightCurve_Click();
    window.syncFromForm();
    retype("txtLCName", QString::fromStdString(file.string()));
    find<QCheckBox>("chkError")->click();
    find<QPushButton>("cmdLoadLight")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.Curve.ObsCount == 30 && form.chkError.Value == 0; }, 10000));
    EXPECT_EQ(form.lblError.Caption.substr(0, 16), "Relative Error: ");
    EXPECT_EQ(find<QLabel>("lblError")->text().left(16), "Relative Error: ");
    EXPECT_TRUE(find<QPlainTextEdit>("Text1")->isVisible());
    std::filesystem::remove(file);
}

TEST_F(WindowFixture, ResizingThePictureRefreshesWithItsSize) {
    window.resize(1300, 900);
    QApplication::processEvents();
    QWidget* picture = find<QWidget>("Picture1");
    EXPECT_EQ(form.Picture1Width, picture->width());
    EXPECT_EQ(form.Picture1Height, picture->height());
}

} // namespace
} // namespace corvane::ui
