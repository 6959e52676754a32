// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "app/CorvaneForm.h"
#include "platform/Dialogs.h"

#include <QMainWindow>
#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QRadioButton;
class QComboBox;
class QScrollArea;
class QScrollBar;
class QWidget;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTimer;

namespace corvane::ui {

class PictureBox;

// Message boxes shown as real modal boxes over the window.
class WidgetDialogs final : public platform::Dialogs {
public:
    explicit WidgetDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    platform::MessageAnswer message(const std::string& text, const std::string& title, platform::MessageButtons buttons,
                                    platform::MessageIcon icon = platform::MessageIcon::None) override;
    bool openAddress(const std::string& address) override;
    void showManual() override;

private:
    QWidget* parent_;
};

// The main window "Corvane": builds one widget per control of the headless form (objectName = the
// control's name), forwards each widget event to the form's handler of the same name, and mirrors
// the form's state back into the widgets after every event.
class PlotView;

class CorvaneWindow final : public QMainWindow {
public:
    explicit CorvaneWindow(app::CorvaneForm& form, QWidget* parent = nullptr);
    ~CorvaneWindow() override;

    // Copies the form's state into the widgets.
    void syncFromForm();

    // Asks for a file: to save (true) or to open, with a title, the path it starts from and a name
    // filter; an empty result when the person cancels. The standard file dialog unless replaced
    // (tests answer it themselves).
    using FileChooser = std::function<QString(bool save, const QString& title, const QString& start,
                                              const QString& filter)>;
    void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }
    // Asks for a picture size as "WIDTHxHEIGHT", starting from start; empty when cancelled.
    using SizeChooser = std::function<QString(const QString& start)>;
    void setSizeChooser(SizeChooser chooser) { chooseSize_ = std::move(chooser); }
    // What the last animation export said when it ended.
    const std::string& lastExportMessage() const { return lastExportMessage_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildParameterRow(const app::CorvaneForm::ParameterControl& control);
    QWidget* buildStarFrame(QGroupBox*& frame, const char* name, std::initializer_list<const char*> boxes);
    QWidget* buildSystemFrame();
    QWidget* buildSettingsFrame();
    QWidget* buildSpotFrame();
    QWidget* buildInformation();
    QWidget* buildPictures();
    QWidget* buildLowerPanel();
    QWidget* buildExtras();
    QWidget* buildHelp();
    QWidget* buildCatalogue();
    QWidget* buildFileAndGridPanel();
    QWidget* buildLightFrame(); // the passband, limb-darkening law and third light
    QWidget* buildOrbitFrame(); // eccentricity, periastron, apsidal motion and the velocities' scale
    QWidget* buildPanels();
    void loadLightCurve();
    void toggleGridSearch(bool on);
    // For a job on the observations off the window's thread: false (and cancels the job) while
    // `running`, false while another job or handler runs, false with a message without observations.
    bool mayStartOnObservations(bool running);
    // What a job off the window's thread works on: a copy of the form with silent dialogs, a fresh
    // cancel flag, the threads to use; the previous worker has been joined.
    struct WorkerStart {
        std::shared_ptr<app::CorvaneForm> snapshot;
        std::shared_ptr<platform::ScriptedDialogs> dialogs;
        std::shared_ptr<std::atomic<bool>> cancel;
        int threads = 1;
    };
    WorkerStart prepareWorker();
    void toggleFit();
    // "Uncertainties...": the posterior sampled off the window's thread (a second click cancels,
    // keeping the steps made), then its summary and corner plot shown.
    void toggleUncertainties();
    void showUncertainties();
    void saveCornerPlot();
    void saveChain();
    QCheckBox* buildSwitch(const app::CorvaneForm::SwitchControl& control);
    void buildMenus();
    const app::CorvaneForm::ParameterControl& parameter(const char* name) const;
    template <typename Handler>
    void run(const Handler& handler);
    // As run, but a handler that arrives while another is still running (inside its message box)
    // waits until that one has finished instead of running inside it.
    void runWhenIdle(std::function<void()> handler);
    void chooseAndLoadLightCurve();
    // File > Load Velocities of Star 1 / Star 2: a velocity file added to the model's comparison.
    void chooseAndLoadVelocities(int star);
    // File > Add Light Curve...: a further curve fitted with the loaded one, in the band the file
    // names or else the one chosen in Passband now.
    void chooseAndAddLightCurve();
    // File > Load Fit... and Save Fit...: the fit file the batch tool runs (fitting/FitFile).
    void chooseAndLoadFit();
    void chooseAndSaveFit();
    // Tools > Velocity Curves...: the model's velocity curves with the loaded velocities, in a window.
    void showVelocityCurves();
    void chooseAndSaveLightCurve();
    void chooseAndSavePlot();
    void applyStarFilter();
    void showGridResult();
    // Extras > "Find Period": a time series chosen, searched off the window's thread; its period
    // and epoch go into their boxes, the series is loaded folded with them, and the periodogram and
    // O-C diagram are shown.
    void findPeriod();
    void showTimingResult();
    void saveTimingPicture();
    void saveTimingMinima();
    // Runs f (outside any handler) once no handler is running.
    void whenIdle(std::function<void()> f);
    void chooseAndSaveAnimation(bool gif);
    void chooseForSavePanel(void (app::CorvaneForm::*menu)(), bool save, const QString& filter);

    app::CorvaneForm& form_;
    std::map<std::string, QLineEdit*> textBoxes_;
    std::map<int, QScrollBar*> spinners_;
    std::map<std::string, QCheckBox*> checkBoxes_;
    std::map<std::string, QRadioButton*> optionButtons_;
    QComboBox* cmbStarSpot1_ = nullptr;
    QGroupBox* frameStar1_ = nullptr;
    QGroupBox* frameStar2_ = nullptr;
    QListWidget* rocheList_ = nullptr;
    QListWidget* starSizeList_ = nullptr;
    QPlainTextEdit* text1_ = nullptr;
    QLabel* lblMessage_ = nullptr;
    QWidget* frameMessage_ = nullptr;
    PictureBox* picture1_ = nullptr;
    PlotView* picturePlot_ = nullptr;
    QStackedWidget* lowerPanel_ = nullptr;
    std::map<std::string, QPushButton*> panelButtons_;
    QComboBox* cmbFilter_ = nullptr;
    QComboBox* cmbPhotometry_ = nullptr;
    QComboBox* cmbPassband_ = nullptr;
    QScrollArea* extrasScroll_ = nullptr; // the Extras page's scrolled area
    QComboBox* cmbLimbLaw_ = nullptr;
    QLabel* lblLight_ = nullptr;
    QLabel* lblOrbit_ = nullptr;
    QLabel* lblLightReport_ = nullptr;
    QListWidget* helpList_ = nullptr;
    QTimer* timer1_ = nullptr;
    QTimer* timer2_ = nullptr;
    QListWidget* starNameList_ = nullptr;
    QLineEdit* starFilter_ = nullptr;
    QLabel* lblStarSource_ = nullptr;
    QDialog* gridResult_ = nullptr;
    QLabel* gridPicture_ = nullptr;
    QLabel* gridBest_ = nullptr;
    QPushButton* cmdFindPeriod_ = nullptr;
    QDialog* timingResult_ = nullptr;
    QDialog* velocityCurves_ = nullptr;
    QLabel* velocityPicture_ = nullptr;
    QTabWidget* timingTabs_ = nullptr;
    QLabel* periodogramPicture_ = nullptr;
    QLabel* oMinusCPicture_ = nullptr;
    QLabel* timingSummary_ = nullptr;
    QPushButton* slideShow_ = nullptr;
    QLabel* lblSlideShow_ = nullptr;
    QLabel* lblError_ = nullptr;
    QLabel* lblDCProgress_ = nullptr;
    QWidget* frmLoadLight_ = nullptr;
    QWidget* frameSaveBMP_ = nullptr;
    QLabel* lblSaveAs_ = nullptr;
    QPushButton* cmbSaveBMP_ = nullptr;
    QComboBox* cmbParameter_ = nullptr;
    QComboBox* cmbParameter2_ = nullptr;
    QCheckBox* chkDC_ = nullptr;
    QPushButton* cmdFit_ = nullptr;
    QPushButton* cmdUncertainties_ = nullptr;
    QDialog* mcmcResult_ = nullptr;
    QLabel* cornerPicture_ = nullptr;
    QLabel* mcmcSummary_ = nullptr;
    std::vector<QCheckBox*> freeBoxes_;
    QLabel* lblObserved_ = nullptr;
    QLabel* lblChiSquare_ = nullptr;
    bool fitting_ = false;
    bool sampling_ = false;
    bool exporting_ = false; // an animation is being written off the window's thread
    bool busy_ = false;
    std::thread worker_; // the long job running off the window's thread, if any
    std::shared_ptr<std::atomic<bool>> cancel_;
    bool syncing_ = false;
    bool inHandler_ = false;    // a handler of the form is running (perhaps inside a message box)
    bool mousePressing_ = false; // a mouse button is down on the catalogue list
    FileChooser chooseFile_;
    SizeChooser chooseSize_;
    std::string lastExportMessage_;
};

} // namespace corvane::ui
