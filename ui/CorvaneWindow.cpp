// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneWindow.h"

#include "ApplicationIcon.h"
#include "PictureBox.h"
#include "PlotView.h"
#include "ToolTips.h"
#include "fitting/CornerPlot.h"
#include "fitting/Ensemble.h"
#include "fitting/GridPicture.h"
#include "platform/PlotPainter.h"
#include "platform/NumberFormat.h"
#include "platform/TextFile.h"
#include "ManualText.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QShortcut>
#include <QPainter>
#include <QPixmap>
#include <QSignalBlocker>
#include <QTextBrowser>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace corvane::ui {

using app::CorvaneForm;

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

QString colorName(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF), static_cast<int>((bgr >> 16) & 0xFF))
        .name();
}

void setListItems(QListWidget* list, const std::vector<std::string>& items) {
    bool same = list->count() == static_cast<int>(items.size());
    for (int i = 0; same && i < list->count(); ++i) {
        same = list->item(i)->text() == qs(items[static_cast<std::size_t>(i)]);
    }
    if (!same) {
        list->clear();
        for (const std::string& item : items) {
            list->addItem(qs(item));
        }
    }
}

} // namespace

platform::MessageAnswer WidgetDialogs::message(const std::string& text, const std::string& title,
                                               platform::MessageButtons buttons, platform::MessageIcon icon) {
    using platform::MessageAnswer;
    using platform::MessageButtons;
    QMessageBox::StandardButtons qtButtons = QMessageBox::Ok;
    if (buttons == MessageButtons::OkCancel) {
        qtButtons = QMessageBox::Ok | QMessageBox::Cancel;
    } else if (buttons == MessageButtons::YesNo) {
        qtButtons = QMessageBox::Yes | QMessageBox::No;
    }
    QMessageBox box(icon == platform::MessageIcon::Question ? QMessageBox::Question : QMessageBox::NoIcon, qs(title),
                    qs(text), qtButtons, parent_);
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    default:
        return MessageAnswer::Ok;
    }
}

CorvaneWindow::~CorvaneWindow() {
    // The widgets outlive this object's members by a moment: a box losing the focus as they go must
    // not reach the form through a half-destroyed window.
    for (auto& [name, edit] : textBoxes_) {
        QObject::disconnect(edit, nullptr, this, nullptr);
    }
    if (starNameList_ != nullptr) {
        QObject::disconnect(starNameList_, nullptr, this, nullptr);
        starNameList_->viewport()->removeEventFilter(this);
    }
    if (picture1_ != nullptr) {
        picture1_->removeEventFilter(this);
    }
    // A job still running is told to stop and waited for: it reports back to this window.
    if (cancel_) {
        *cancel_ = true;
    }
    if (worker_.joinable()) {
        worker_.join();
    }
}

bool WidgetDialogs::openAddress(const std::string& address) {
    return QDesktopServices::openUrl(QUrl(qs(address)));
}

void WidgetDialogs::showManual() {
    // The manual is the README the program is built from, so it is always there and always current.
    auto* dialog = new QDialog(parent_);
    dialog->setObjectName("Manual");
    dialog->setWindowTitle("The Corvane manual");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(dialog);
    auto* text = new QTextBrowser(dialog);
    text->setObjectName("ManualText");
    text->setMarkdown(QString::fromUtf8(kManualMarkdown));
    text->setOpenExternalLinks(true);
    layout->addWidget(text);
    dialog->resize(760, 640);
    dialog->show();
}

CorvaneWindow::CorvaneWindow(CorvaneForm& form, QWidget* parent) : QMainWindow(parent), form_(form) {
    setObjectName("Corvane");
    setWindowIcon(applicationIcon());

    auto* central = new QWidget(this);
    auto* columns = new QHBoxLayout(central);

    auto* left = new QWidget(central);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    auto* stars = new QHBoxLayout;
    stars->addWidget(buildStarFrame(frameStar1_, "FrameStar1", {"txtRadius1", "txtLimb1", "txtTemp1"}));
    stars->addWidget(buildStarFrame(frameStar2_, "FrameStar2", {"txtRadius2", "txtLimb2", "txtTemp2"}));
    leftLayout->addLayout(stars);
    leftLayout->addWidget(buildSystemFrame());
    leftLayout->addWidget(buildSettingsFrame());
    leftLayout->addWidget(buildSpotFrame());
    leftLayout->addWidget(buildInformation(), 1);
    // Down to small screens every control stays reachable: the column scrolls when it must.
    auto* leftScroll = new QScrollArea(central);
    leftScroll->setObjectName("LeftColumn");
    leftScroll->setWidget(left);
    leftScroll->setWidgetResizable(true);
    leftScroll->setFrameShape(QFrame::NoFrame);
    leftScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // As narrow as the controls allow (at most the comfortable 470 pixels), so the picture keeps the room.
    const int leftWidth = std::max(left->minimumSizeHint().width(), std::min(470, left->sizeHint().width()));
    leftScroll->setFixedWidth(leftWidth + leftScroll->verticalScrollBar()->sizeHint().width());

    columns->addWidget(leftScroll);
    columns->addWidget(buildPictures(), 1);
    columns->addWidget(buildCatalogue());
    setCentralWidget(central);
    buildMenus();

    // The animation timer: it ticks as often as the event loop allows while "Animate" is checked.
    timer1_ = new QTimer(this);
    timer1_->setInterval(1);
    connect(timer1_, &QTimer::timeout, this, [this] { run([this] { form_.Timer1_Timer(); }); });
    timer2_ = new QTimer(this);
    timer2_->setInterval(2000);
    connect(timer2_, &QTimer::timeout, this, [this] { run([this] { form_.Timer2_Timer(); }); });

    // Start-up: the form loads its defaults; the first resize of the picture runs the first refresh.
    form_.Form_Load();
    syncFromForm();
    // As large as a comfortable desktop allows: the scene's scale follows the picture's smaller side.
    QSize size(1500, 900);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableGeometry().size());
    }
    resize(size);

    // Every control says what it sets, in which unit and range.
    for (QWidget* w : findChildren<QWidget*>()) {
        if (w->toolTip().isEmpty()) {
            if (const std::string tip = toolTipFor(w->objectName().toStdString()); !tip.empty()) {
                w->setToolTip(QString::fromStdString(tip));
            }
        }
    }
    chooseSize_ = [this](const QString& start) {
        bool ok = false;
        const QString text = QInputDialog::getText(this, "Save Plot", "Size in pixels (width x height):",
                                                   QLineEdit::Normal, start, &ok);
        return ok ? text : QString();
    };
    chooseFile_ = [this](bool save, const QString& title, const QString& start, const QString& filter) {
        return save ? QFileDialog::getSaveFileName(this, title, start, filter)
                    : QFileDialog::getOpenFileName(this, title, start, filter);
    };
}

const CorvaneForm::ParameterControl& CorvaneWindow::parameter(const char* name) const {
    for (const auto& c : CorvaneForm::parameterControls()) {
        if (std::string(c.name) == name) {
            return c;
        }
    }
    throw std::logic_error(std::string("no parameter control ") + name);
}

template <typename Handler>
void CorvaneWindow::run(const Handler& handler) {
    // Widgets changed by syncFromForm raise no handlers, and nothing runs inside another handler:
    // a timer tick that falls due while a message box is open is simply skipped.
    if (syncing_ || inHandler_) {
        return;
    }
    inHandler_ = true;
    handler();
    inHandler_ = false;
    syncFromForm();
}

void CorvaneWindow::runWhenIdle(std::function<void()> handler) {
    if (inHandler_) {
        QTimer::singleShot(20, this, [this, handler = std::move(handler)]() mutable { runWhenIdle(std::move(handler)); });
        return;
    }
    run(handler);
}

QWidget* CorvaneWindow::buildParameterRow(const CorvaneForm::ParameterControl& control) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    auto* edit = new QLineEdit(row);
    edit->setObjectName(control.name);
    edit->setMinimumWidth(60);
    textBoxes_[control.name] = edit;
    const std::string name = control.name;
    // Each keystroke recomputes the model; the box keeps what is typed until the edit ends.
    connect(edit, &QLineEdit::textEdited, this, [this, name](const QString& text) {
        run([this, &name, &text] { form_.typeText(name, text.toStdString(), false); });
    });
    connect(edit, &QLineEdit::editingFinished, this, [this, name] { run([this, &name] { form_.editFinished(name); }); });
    layout->addWidget(edit, 1);

    if (control.scroll > 0) {
        auto* spinner = new QScrollBar(Qt::Vertical, row);
        const int n = control.scroll;
        spinner->setObjectName(QString("VScroll%1").arg(n));
        spinner->setRange(app::ScrollBar::Min, app::ScrollBar::Max);
        spinner->setFixedSize(16, edit->sizeHint().height());
        spinners_[n] = spinner;
        // Qt's upper arrow lowers its value; the form's spinners run the other way.
        connect(spinner, &QScrollBar::valueChanged, this, [this, n](int value) {
            run([this, n, value] { form_.VScroll_Change(n, app::ScrollBar::Max - value); });
        });
        layout->addWidget(spinner);
    }
    return row;
}

QWidget* CorvaneWindow::buildStarFrame(QGroupBox*& frame, const char* name, std::initializer_list<const char*> boxes) {
    frame = new QGroupBox;
    frame->setObjectName(name);
    auto* grid = new QGridLayout(frame);
    int row = 0;
    for (const char* box : boxes) {
        const auto& c = parameter(box);
        grid->addWidget(new QLabel(QString::fromUtf8(c.caption)), row, 0);
        grid->addWidget(buildParameterRow(c), row, 1);
        ++row;
    }
    return frame;
}

QWidget* CorvaneWindow::buildSystemFrame() {
    auto* frame = new QGroupBox(" System ");
    frame->setObjectName("FrameSystem");
    auto* grid = new QGridLayout(frame);
    const char* names[] = {"txtIota", "Qratio", "txtN1", "txtGamma", "txtEta", "txtRotPer", "txtZoom", "txtAnimSpeed"};
    int i = 0;
    for (const char* name : names) {
        const auto& c = parameter(name);
        grid->addWidget(new QLabel(QString::fromUtf8(c.caption)), i / 2, (i % 2) * 2);
        grid->addWidget(buildParameterRow(c), i / 2, (i % 2) * 2 + 1);
        ++i;
    }
    return frame;
}

QWidget* CorvaneWindow::buildSettingsFrame() {
    auto* frame = new QGroupBox(" Settings ");
    frame->setObjectName("FrameSettings");
    auto* grid = new QGridLayout(frame);
    int i = 0;
    for (const auto& c : CorvaneForm::switchControls()) {
        const std::string name = c.name;
        if (name == "chkSpot1" || name == "chkSave" || name == "chkBMP" || name == "chkError" ||
            name == "chkLightTime") {
            continue; // these live in "Star Spots" and on the "Extras" page
        }
        grid->addWidget(buildSwitch(c), i / 3, i % 3);
        ++i;
    }
    auto* modes = new QHBoxLayout;
    for (const auto& o : CorvaneForm::optionControls()) {
        auto* button = new QRadioButton(qs((form_.*(o.button)).Caption));
        button->setObjectName(o.name);
        optionButtons_[o.name] = button;
        const std::string name = o.name;
        connect(button, &QRadioButton::clicked, this, [this, name] { run([this, name] { form_.setSwitch(name, 1); }); });
        modes->addWidget(button);
    }
    grid->addLayout(modes, i / 3 + 1, 0, 1, 3);
    auto* spinning = new QPushButton("Load Single Spinning Star");
    spinning->setObjectName("Command2");
    connect(spinning, &QPushButton::clicked, this, [this] { run([this] { form_.Command2_Click(); }); });
    grid->addWidget(spinning, i / 3 + 2, 0, 1, 3);
    return frame;
}

QCheckBox* CorvaneWindow::buildSwitch(const CorvaneForm::SwitchControl& control) {
    auto* box = new QCheckBox(qs((form_.*(control.box)).Caption));
    box->setObjectName(control.name);
    checkBoxes_[control.name] = box;
    const std::string name = control.name;
    if (name == "chkError") {
        // Checking it with a curve loaded compares it again: the model pass runs off this thread.
        connect(box, &QCheckBox::clicked, this, [this](bool on) {
            form_.chkError.Value = on ? 1 : 0;
            if (on && form_.Curve.ObsCount >= 1) {
                loadLightCurve();
            }
            syncFromForm();
        });
        return box;
    }
    connect(box, &QCheckBox::clicked, this, [this, name](bool on) {
        run([this, &name, on] {
            if (name == "chkSave" && on) {
                form_.LightCurveTarget.clear(); // ticked here, the file is the one named in the box
            }
            form_.setSwitch(name, on ? 1 : 0);
        });
    });
    return box;
}

QWidget* CorvaneWindow::buildSpotFrame() {
    auto* frame = new QGroupBox("Star Spots");
    frame->setObjectName("FrameSpots");
    auto* grid = new QGridLayout(frame);
    QCheckBox* active = nullptr;
    for (const auto& c : CorvaneForm::switchControls()) {
        if (std::string(c.name) == "chkSpot1") {
            active = buildSwitch(c);
        }
    }
    cmbStarSpot1_ = new QComboBox;
    cmbStarSpot1_->setObjectName("cmbStarSpot1");
    connect(cmbStarSpot1_, &QComboBox::activated, this, [this](int index) {
        run([this, index] { form_.chooseItem("cmbStarSpot1", cmbStarSpot1_->itemText(index).toStdString()); });
    });
    grid->addWidget(new QLabel("Star"), 0, 0);
    grid->addWidget(cmbStarSpot1_, 0, 1);
    grid->addWidget(active, 0, 2, 1, 2);
    const char* names[] = {"txtTempSpot1", "txtSpotLat1", "txtSpotLon1", "txtRadSpot1"};
    int i = 0;
    for (const char* name : names) {
        const auto& c = parameter(name);
        grid->addWidget(new QLabel(QString::fromUtf8(c.caption)), 1 + i / 2, (i % 2) * 2);
        grid->addWidget(buildParameterRow(c), 1 + i / 2, (i % 2) * 2 + 1);
        ++i;
    }
    return frame;
}

QWidget* CorvaneWindow::buildInformation() {
    auto* panel = new QWidget;
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(new QLabel("Roche Lobe"), 0, 0);
    grid->addWidget(new QLabel("Current Parameters"), 0, 1);
    rocheList_ = new QListWidget;
    rocheList_->setObjectName("RocheList");
    starSizeList_ = new QListWidget;
    starSizeList_->setObjectName("StarSizeList");
    grid->addWidget(rocheList_, 1, 0);
    grid->addWidget(starSizeList_, 1, 1);
    text1_ = new QPlainTextEdit;
    text1_->setObjectName("Text1");
    text1_->setReadOnly(true);
    text1_->setVisible(false);
    grid->addWidget(text1_, 2, 0, 1, 2);
    return panel;
}

QWidget* CorvaneWindow::buildPictures() {
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    picture1_ = new PictureBox(form_.Scene.Picture1);
    picture1_->setObjectName("Picture1");
    picture1_->setMinimumSize(200, 150);
    picture1_->installEventFilter(this);
    layout->addWidget(picture1_, 1);

    // The wait panel: "Please wait..." and what is going on; a click hides it.
    auto* waitPanel = new QFrame;
    waitPanel->setObjectName("frameMessage");
    waitPanel->setFrameShape(QFrame::StyledPanel);
    auto* waitLayout = new QHBoxLayout(waitPanel);
    waitLayout->setContentsMargins(6, 2, 6, 2);
    waitLayout->addWidget(new QLabel("Please wait..."));
    lblMessage_ = new QLabel;
    lblMessage_->setObjectName("lblMessage");
    waitLayout->addWidget(lblMessage_, 1);
    waitPanel->installEventFilter(this);
    frameMessage_ = waitPanel;
    layout->addWidget(waitPanel);

    layout->addWidget(buildPanels());
    layout->addWidget(buildLowerPanel());
    return panel;
}

QWidget* CorvaneWindow::buildPanels() {
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);

    // The load panel: the observed light curve's file.
    auto* load = new QFrame;
    load->setObjectName("frmLoadLight");
    load->setFrameShape(QFrame::StyledPanel);
    auto* loadRow = new QHBoxLayout(load);
    loadRow->addWidget(new QLabel("Light curve file (phase, magnitude):"));
    loadRow->addWidget(buildParameterRow(parameter("txtLCName")), 1);
    auto* loadButton = new QPushButton("Load");
    loadButton->setObjectName("cmdLoadLight");
    connect(loadButton, &QPushButton::clicked, this, [this] { loadLightCurve(); });
    auto* loadCancel = new QPushButton("Cancel");
    loadCancel->setObjectName("Command1");
    connect(loadCancel, &QPushButton::clicked, this, [this] { run([this] { form_.Command1_Click(); }); });
    loadRow->addWidget(loadButton);
    loadRow->addWidget(loadCancel);
    frmLoadLight_ = load;
    layout->addWidget(load);

    // The save panel: pictures and parameter sets.
    auto* save = new QFrame;
    save->setObjectName("frameSaveBMP");
    save->setFrameShape(QFrame::StyledPanel);
    auto* saveRow = new QHBoxLayout(save);
    lblSaveAs_ = new QLabel;
    lblSaveAs_->setObjectName("lblSaveAs");
    saveRow->addWidget(lblSaveAs_);
    saveRow->addWidget(buildParameterRow(parameter("txtBMPName")), 1);
    cmbSaveBMP_ = new QPushButton("Save");
    cmbSaveBMP_->setObjectName("cmbSaveBMP");
    connect(cmbSaveBMP_, &QPushButton::clicked, this, [this] { run([this] { form_.cmbSaveBMP_Click(); }); });
    auto* saveCancel = new QPushButton("Cancel");
    saveCancel->setObjectName("cmdCancel");
    connect(saveCancel, &QPushButton::clicked, this, [this] { run([this] { form_.cmdCancel_Click(); }); });
    saveRow->addWidget(cmbSaveBMP_);
    saveRow->addWidget(saveCancel);
    frameSaveBMP_ = save;
    layout->addWidget(save);
    return panel;
}

QWidget* CorvaneWindow::buildCatalogue() {
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel("Virederez Adeza Stars"));
    starFilter_ = new QLineEdit;
    starFilter_->setObjectName("txtStarFilter");
    starFilter_->setPlaceholderText("Find a system");
    starFilter_->setClearButtonEnabled(true);
    layout->addWidget(starFilter_);
    starNameList_ = new QListWidget;
    connect(starFilter_, &QLineEdit::textChanged, this, [this] { applyStarFilter(); });
    starNameList_->setObjectName("StarNameList");
    connect(starNameList_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const std::string name = item->text().toStdString();
        run([this, name] { form_.StarNameList_Click(name); });
    });
    // Arrow keys, Home/End, Page keys and typing a name's first letters move the current row: the
    // row landed on is loaded as a click loads it (a click itself is handled above, once).
    connect(starNameList_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (mousePressing_ || row < 0) {
            return;
        }
        const std::string name = starNameList_->item(row)->text().toStdString();
        run([this, name] { form_.StarNameList_Click(name); });
    });
    starNameList_->viewport()->installEventFilter(this);
    connect(starNameList_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const std::string name = item->text().toStdString();
        run([this, name] { form_.StarNameList_Click(name); });
    });
    layout->addWidget(starNameList_, 1);
    lblStarSource_ = new QLabel;
    lblStarSource_->setObjectName("lblStarSource");
    lblStarSource_->setWordWrap(true);
    layout->addWidget(lblStarSource_);
    slideShow_ = new QPushButton("Start Slide Show");
    slideShow_->setObjectName("SlideShow");
    connect(slideShow_, &QPushButton::clicked, this, [this] { run([this] { form_.SlideShow_Click(); }); });
    layout->addWidget(slideShow_);
    lblSlideShow_ = new QLabel;
    lblSlideShow_->setObjectName("lblSlideShow");
    layout->addWidget(lblSlideShow_);
    panel->setFixedWidth(180);
    return panel;
}

void CorvaneWindow::loadLightCurve() {
    if (busy_) {
        return;
    }
    if (!form_.chkError.checked()) {
        run([this] { form_.cmdLoadLight_Click(); });
        return;
    }
    // The model pass draws a frame per observed point: it runs on a copy of the form, off the
    // window's thread, and its result comes back here.
    form_.frameMessage.Visible = true;
    form_.lblMessage.Caption = "Comparing light curves...";
    form_.frmLoadLight.Visible = false;
    form_.Timer1Enabled = false;
    if (!form_.readObservedCurve()) {
        form_.Timer1Enabled = true;
        form_.frameMessage.Visible = false;
        form_.chkError.Value = 0;
        syncFromForm();
        form_.dialogs().message(form_.LastLoadProblems, "Corvane", platform::MessageButtons::Ok);
        return;
    }
    syncFromForm();
    busy_ = true;
    auto dialogs = std::make_shared<platform::ScriptedDialogs>();
    auto worker = std::make_shared<CorvaneForm>(form_);
    worker->setDialogs(*dialogs);
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    auto cancel = cancel_;
    if (worker_.joinable()) {
        worker_.join();
    }
    worker_ = std::thread([this, worker, dialogs, cancel] {
        worker->computeModelAtObs(
            [this](int done, int total) {
                if (done % 10 == 0 || done == total) {
                    QMetaObject::invokeMethod(this, [this, done, total] {
                        lblMessage_->setText(QString("Comparing light curves... %1 of %2").arg(done).arg(total));
                    });
                }
            },
            cancel.get());
        QMetaObject::invokeMethod(this, [this, worker] {
            runWhenIdle([this, worker] {
                busy_ = false;
                form_.ModelAtObs = worker->ModelAtObs;
                form_.ModelAtObsKey = worker->ModelAtObsKey;
                form_.ModelMax = worker->ModelMax;
                form_.ModelMin = worker->ModelMin;
                form_.chkError.Value = 1; // the refresh that finishes the load computes the error
                form_.finishObservedCurve();
            });
        });
    });
}

void CorvaneWindow::toggleGridSearch(bool on) {
    form_.chkDC.Value = on ? 1 : 0;
    if (!on) {
        if (cancel_) {
            *cancel_ = true;
        }
        return;
    }
    if (busy_) {
        form_.chkDC.Value = 0;
        syncFromForm();
        return;
    }
    // Anything the search has to say before it starts is said now, while the person is there; the
    // job itself runs silently and reports in its progress line.
    bool ready = false;
    run([this, &ready] { ready = form_.ensureOutputFolder("RelativeErrors"); });
    if (!ready || form_.Curve.ObsCount < 1) {
        form_.chkDC.Value = 0;
        if (form_.Curve.ObsCount < 1) {
            form_.lblDCProgress.Caption = "Not done: load an observed light curve first";
        }
        syncFromForm();
        return;
    }
    busy_ = true;
    const auto [snapshot, dialogs, cancel, threads] = prepareWorker();
    worker_ = std::thread([this, snapshot, dialogs, cancel, threads] {
        std::string why;
        const auto file = snapshot->runGridSearch(
            threads,
            [this](const fitting::GridProgress& p) {
                const QString text = QString::fromStdString(fitting::progressText(p));
                QMetaObject::invokeMethod(this, [this, text] { lblDCProgress_->setText(text); });
            },
            *cancel, why);
        // A cancelled search keeps what it finished: its caption names the file already.
        const std::string caption = file.empty()       ? "Not done: " + why
                                    : cancel->load() ? snapshot->lblDCProgress.Caption
                                                     : snapshot->lblDCProgress.Caption + " " + file.string();
        QMetaObject::invokeMethod(this, [this, caption, snapshot] {
            runWhenIdle([this, caption, snapshot] {
                busy_ = false;
                form_.lblDCProgress.Caption = caption;
                form_.chkDC.Value = 0;
                form_.LastGridRows = snapshot->LastGridRows;
                form_.LastGridAxis1 = snapshot->LastGridAxis1;
                form_.LastGridAxis2 = snapshot->LastGridAxis2;
                showGridResult();
            });
        });
    });
}

bool CorvaneWindow::mayStartOnObservations(bool running) {
    if (running) {
        // A second click cancels the job.
        if (cancel_) {
            *cancel_ = true;
        }
        return false;
    }
    if (busy_ || inHandler_) {
        return false;
    }
    if (form_.Curve.ObsCount < 1) {
        form_.lblDCProgress.Caption = "Not done: load an observed light curve first";
        syncFromForm();
        return false;
    }
    return true;
}

CorvaneWindow::WorkerStart CorvaneWindow::prepareWorker() {
    WorkerStart w;
    w.snapshot = std::make_shared<CorvaneForm>(form_);
    w.dialogs = std::make_shared<platform::ScriptedDialogs>();
    w.snapshot->setDialogs(*w.dialogs);
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    w.cancel = cancel_;
    w.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (worker_.joinable()) {
        worker_.join();
    }
    return w;
}

void CorvaneWindow::toggleFit() {
    if (!mayStartOnObservations(fitting_)) {
        return;
    }
    busy_ = true;
    fitting_ = true;
    form_.cmdFit.Caption = "Cancel Fit";
    form_.lblDCProgress.Caption = "Fitting...";
    syncFromForm();
    lblDCProgress_->setText("Fitting...");
    const auto [snapshot, dialogs, cancel, threads] = prepareWorker();
    const bool weighted = form_.ObsHasErrors;
    worker_ = std::thread([this, snapshot, dialogs, cancel, threads, weighted] {
        CorvaneForm::FitOutcome outcome;
        std::string why;
        const bool ok = snapshot->runFit(
            threads,
            [this, weighted](int evaluations, double best) {
                const QString text = QString("Fitting: %1 evaluations, best %2 %3")
                                         .arg(evaluations)
                                         .arg(weighted ? "chi-square per point" : "relative error")
                                         .arg(best, 0, 'g', 6);
                QMetaObject::invokeMethod(this, [this, text] { lblDCProgress_->setText(text); });
            },
            *cancel, outcome, why);
        QMetaObject::invokeMethod(this, [this, snapshot, ok, why] {
            runWhenIdle([this, snapshot, ok, why] {
                busy_ = false;
                fitting_ = false;
                form_.cmdFit.Caption = "Fit";
                if (!ok) {
                    form_.lblDCProgress.Caption = "Not done: " + why;
                    return;
                }
                // The fitted values into the boxes, and the model drawn for them.
                for (const auto& c : CorvaneForm::parameterControls()) {
                    const std::string name = c.name;
                    if (name == "txtIota" || name == "Qratio" || name == "txtRadius1" || name == "txtRadius2" ||
                        name == "txtTemp1" || name == "txtTemp2" || name == "txtLimb1" || name == "txtLimb2" ||
                        name == "txtPhaseShift") {
                        (form_.*(c.box)).Text = (snapshot.get()->*(c.box)).Text;
                    }
                }
                form_.Refresh_Click();
                form_.ModelAtObs = snapshot->ModelAtObs;
                form_.ModelLightAtObs = snapshot->ModelLightAtObs;
                form_.ModelAtObsKey = snapshot->ModelAtObsKey;
                form_.ModelMax = snapshot->ModelMax;
                form_.ModelMin = snapshot->ModelMin;
                form_.RelativeError();
                form_.Text1.Text = snapshot->Text1.Text;
                form_.lblDCProgress.Caption = snapshot->lblDCProgress.Caption;
            });
        });
    });
}

void CorvaneWindow::toggleUncertainties() {
    if (!mayStartOnObservations(sampling_)) {
        return;
    }
    busy_ = true;
    sampling_ = true;
    form_.cmdUncertainties.Caption = "Cancel";
    form_.lblDCProgress.Caption = "Fitting first...";
    syncFromForm();
    const auto [snapshot, dialogs, cancel, threads] = prepareWorker();
    const CorvaneForm::McmcRequest request = form_.UncertaintyRequest;
    worker_ = std::thread([this, snapshot, dialogs, cancel, threads, request] {
        CorvaneForm::McmcOutcome outcome;
        std::string why;
        const bool ok = snapshot->runMcmc(
            request, threads,
            [this](const std::string& text) {
                const QString shown = qs(text);
                QMetaObject::invokeMethod(this, [this, shown] { lblDCProgress_->setText(shown); });
            },
            *cancel, outcome, why);
        QMetaObject::invokeMethod(this, [this, snapshot, ok, why] {
            runWhenIdle([this, snapshot, ok, why] {
                busy_ = false;
                sampling_ = false;
                form_.cmdUncertainties.Caption = "Uncertainties...";
                if (!ok) {
                    form_.lblDCProgress.Caption = "Not done: " + why;
                    return;
                }
                form_.Text1.Text = snapshot->Text1.Text;
                form_.Text1.Visible = true;
                form_.lblDCProgress.Caption = snapshot->lblDCProgress.Caption;
                form_.LastMcmc = snapshot->LastMcmc;
                showUncertainties();
            });
        });
    });
}

void CorvaneWindow::showUncertainties() {
    if (!form_.LastMcmc) {
        return;
    }
    if (mcmcResult_ == nullptr) {
        mcmcResult_ = new QDialog(this);
        mcmcResult_->setObjectName("UncertaintyResult");
        mcmcResult_->setWindowTitle("Uncertainties");
        auto* layout = new QVBoxLayout(mcmcResult_);
        layout->setSizeConstraint(QLayout::SetMinimumSize);
        auto* row = new QHBoxLayout;
        cornerPicture_ = new QLabel;
        cornerPicture_->setObjectName("CornerPicture");
        row->addWidget(cornerPicture_);
        mcmcSummary_ = new QLabel;
        mcmcSummary_->setObjectName("lblUncertaintySummary");
        mcmcSummary_->setWordWrap(true);
        mcmcSummary_->setMinimumWidth(300);
        mcmcSummary_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        mcmcSummary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        row->addWidget(mcmcSummary_, 1);
        layout->addLayout(row);
        auto* buttons = new QHBoxLayout;
        auto* savePlot = new QPushButton("Save Plot...");
        savePlot->setObjectName("cmdSaveCornerPlot");
        savePlot->setToolTip("Save the corner plot as PNG or SVG");
        connect(savePlot, &QPushButton::clicked, this, [this] { saveCornerPlot(); });
        auto* saveChainButton = new QPushButton("Save Chain...");
        saveChainButton->setObjectName("cmdSaveChain");
        saveChainButton->setToolTip("Save every walker's every step (step, walker, parameters, log-likelihood) as CSV;\n"
                                    "the batch tool's mcmc --resume continues it");
        connect(saveChainButton, &QPushButton::clicked, this, [this] { saveChain(); });
        auto* close = new QPushButton("Close");
        connect(close, &QPushButton::clicked, mcmcResult_, &QDialog::close);
        buttons->addStretch(1);
        buttons->addWidget(savePlot);
        buttons->addWidget(saveChainButton);
        buttons->addWidget(close);
        layout->addLayout(buttons);
    }
    // Square, as large as the screen leaves room for beside the summary.
    const QScreen* shownOn = screen();
    const QSize available = shownOn != nullptr ? shownOn->availableGeometry().size() : QSize(1280, 800);
    const int side = std::clamp(std::min(available.height() - 120, available.width() - 420), 260, 640);
    QImage image(side, side, QImage::Format_RGB32);
    QPainter painter(&image);
    platform::paintFigure(painter, fitting::cornerPlot(form_.LastMcmc->chain, form_.LastMcmc->burn), side, side);
    painter.end();
    cornerPicture_->setPixmap(QPixmap::fromImage(image));
    cornerPicture_->setFixedSize(side, side);
    QString summary = qs(form_.LastMcmc->report);
    summary.replace("\r\n", "\n");
    mcmcSummary_->setText(summary.trimmed());
    mcmcResult_->layout()->activate();
    mcmcResult_->resize(mcmcResult_->sizeHint().expandedTo(mcmcResult_->minimumSizeHint()));
    mcmcResult_->show();
}

void CorvaneWindow::saveCornerPlot() {
    if (!form_.LastMcmc) {
        return;
    }
    bool ready = false;
    run([this, &ready] { ready = form_.ensureOutputFolder("Plots"); });
    if (!ready) {
        return;
    }
    const QString chosen = chooseFile_(true, "Save Plot", qs((form_.AppFolder / "Plots" / "corner.png").string()),
                                       "PNG pictures (*.png);;SVG drawings (*.svg)");
    if (chosen.isEmpty()) {
        return;
    }
    const int side = fitting::cornerSide(form_.LastMcmc->names.size());
    const std::string problem = platform::saveFigure(fitting::cornerPlot(form_.LastMcmc->chain, form_.LastMcmc->burn),
                                                     chosen.toStdString(), side, side);
    if (!problem.empty()) {
        form_.dialogs().message("The plot could not be saved to " + chosen.toStdString() + ": " + problem + ".",
                                "Corvane", platform::MessageButtons::Ok);
    }
}

void CorvaneWindow::saveChain() {
    if (!form_.LastMcmc) {
        return;
    }
    bool ready = false;
    run([this, &ready] { ready = form_.ensureOutputFolder("Chains"); });
    if (!ready) {
        return;
    }
    const QString chosen = chooseFile_(true, "Save Chain", qs((form_.AppFolder / "Chains" / "chain.csv").string()),
                                       "Comma-separated text (*.csv);;All files (*)");
    if (chosen.isEmpty()) {
        return;
    }
    const std::string problem = platform::writeFileWhole(chosen.toStdString(), fitting::formatChain(form_.LastMcmc->chain));
    if (!problem.empty()) {
        form_.dialogs().message("The chain could not be saved to " + chosen.toStdString() + ": " + problem + ".",
                                "Corvane", platform::MessageButtons::Ok);
    }
}

void CorvaneWindow::showGridResult() {
    const auto best = fitting::bestGridRow(form_.LastGridRows);
    if (form_.LastGridRows.empty()) {
        return;
    }
    if (gridResult_ == nullptr) {
        gridResult_ = new QDialog(this);
        gridResult_->setObjectName("GridResult");
        gridResult_->setWindowTitle("Grid Search");
        auto* layout = new QVBoxLayout(gridResult_);
        gridPicture_ = new QLabel;
        gridPicture_->setObjectName("GridPicture");
        layout->addWidget(gridPicture_);
        gridBest_ = new QLabel;
        gridBest_->setObjectName("lblGridBest");
        gridBest_->setWordWrap(true);
        layout->addWidget(gridBest_);
        auto* buttons = new QHBoxLayout;
        auto* apply = new QPushButton("Apply Best");
        apply->setObjectName("cmdApplyBest");
        apply->setToolTip("Put the best point's two values into their boxes");
        connect(apply, &QPushButton::clicked, this, [this] { run([this] { form_.applyBestGridPoint(); }); });
        auto* close = new QPushButton("Close");
        connect(close, &QPushButton::clicked, gridResult_, &QDialog::close);
        buttons->addStretch(1);
        buttons->addWidget(apply);
        buttons->addWidget(close);
        layout->addLayout(buttons);
    }
    QImage image(640, 440, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        platform::paintPlot(painter, fitting::gridPicture(form_.LastGridAxis1, form_.LastGridAxis2, form_.LastGridRows),
                            image.width(), image.height());
    }
    gridPicture_->setPixmap(QPixmap::fromImage(image));
    gridBest_->setText(best ? QString("Best: %1 = %2, %3 = %4, relative error %5")
                                  .arg(qs(form_.LastGridAxis1.name), qs(platform::GeneralNumber(best->p1)),
                                       qs(form_.LastGridAxis2.name), qs(platform::GeneralNumber(best->p2)),
                                       qs(platform::GeneralNumber(*best->error)))
                            : QString("No point has a relative error."));
    gridResult_->findChild<QPushButton*>("cmdApplyBest")->setEnabled(best.has_value());
    gridResult_->show();
}

void CorvaneWindow::whenIdle(std::function<void()> f) {
    if (inHandler_) {
        QTimer::singleShot(20, this, [this, f = std::move(f)]() mutable { whenIdle(std::move(f)); });
        return;
    }
    f();
}

void CorvaneWindow::findPeriod() {
    if (busy_ || inHandler_) {
        return;
    }
    const QString chosen = chooseFile_(false, "Find Period", qs(form_.txtLCName.Text),
                                       "Time series (*.csv *.txt *.dat *.fits *.fit *.fts);;All files (*)");
    if (chosen.isEmpty()) {
        return;
    }
    const std::string path = chosen.toStdString();
    busy_ = true;
    cmdFindPeriod_->setEnabled(false);
    const QString before = lblObserved_->text();
    lblObserved_->setText("Searching " + chosen + " for its period...");
    if (worker_.joinable()) {
        worker_.join();
    }
    // Closing the window cancels the search (it is joined then).
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    worker_ = std::thread([this, path, before, cancel = cancel_] {
        auto report = std::make_shared<const timing::TimingReport>(CorvaneForm::analyseTimeSeries(path, cancel.get()));
        QMetaObject::invokeMethod(this, [this, report, path, before] {
            whenIdle([this, report, path, before] {
                busy_ = false;
                cmdFindPeriod_->setEnabled(true);
                bool found = false;
                run([this, &found, &report, &path] {
                    found = form_.applyTiming(*report);
                    if (found) {
                        form_.txtLCName.Text = path;
                    }
                });
                if (!found) {
                    lblObserved_->setText(before);
                    form_.dialogs().message("No period was found in " + path + ": " + report->problem + ".", "Corvane",
                                            platform::MessageButtons::Ok);
                    return;
                }
                showTimingResult();
                loadLightCurve();
            });
        });
    });
}

void CorvaneWindow::showTimingResult() {
    if (!form_.LastTiming) {
        return;
    }
    if (timingResult_ == nullptr) {
        timingResult_ = new QDialog(this);
        timingResult_->setObjectName("TimingResult");
        timingResult_->setWindowTitle("Period and Minima");
        auto* layout = new QVBoxLayout(timingResult_);
        // Never smaller than the pictures (a top-level window's own size is capped below the screen's).
        layout->setSizeConstraint(QLayout::SetMinimumSize);
        timingTabs_ = new QTabWidget;
        timingTabs_->setObjectName("TimingTabs");
        periodogramPicture_ = new QLabel;
        periodogramPicture_->setObjectName("PeriodogramPicture");
        oMinusCPicture_ = new QLabel;
        oMinusCPicture_->setObjectName("OMinusCPicture");
        timingTabs_->addTab(periodogramPicture_, "Periodogram");
        timingTabs_->addTab(oMinusCPicture_, "O - C");
        layout->addWidget(timingTabs_);
        timingSummary_ = new QLabel;
        timingSummary_->setObjectName("lblTimingSummary");
        timingSummary_->setWordWrap(true);
        timingSummary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(timingSummary_);
        auto* buttons = new QHBoxLayout;
        auto* savePicture = new QPushButton("Save Plot...");
        savePicture->setObjectName("cmdSaveTimingPlot");
        savePicture->setToolTip("Save the plot on show (periodogram or O - C) as PNG or SVG");
        connect(savePicture, &QPushButton::clicked, this, [this] { saveTimingPicture(); });
        auto* saveMinima = new QPushButton("Save Minima...");
        saveMinima->setObjectName("cmdSaveMinima");
        saveMinima->setToolTip("Save the times of minimum (time, error, type, cycle, O - C) and the ephemeris as text");
        connect(saveMinima, &QPushButton::clicked, this, [this] { saveTimingMinima(); });
        auto* close = new QPushButton("Close");
        connect(close, &QPushButton::clicked, timingResult_, &QDialog::close);
        buttons->addStretch(1);
        buttons->addWidget(savePicture);
        buttons->addWidget(saveMinima);
        buttons->addWidget(close);
        layout->addLayout(buttons);
    }
    // As large as the screen leaves room for under the tabs, the summary and the buttons.
    const QScreen* shownOn = screen();
    const int available = shownOn != nullptr ? shownOn->availableGeometry().height() : 800;
    const int pictureHeight = std::clamp(available - 300, 220, 360);
    auto picture = [this, pictureHeight](bool oMinusC) {
        QImage image(pictureHeight * 2, pictureHeight, QImage::Format_RGB32);
        QPainter painter(&image);
        platform::paintPlot(painter, form_.timingPlotDescription(oMinusC, image.width(), image.height()), image.width(),
                            image.height());
        painter.end();
        return QPixmap::fromImage(image);
    };
    periodogramPicture_->setPixmap(picture(false));
    oMinusCPicture_->setPixmap(picture(true));
    periodogramPicture_->setFixedSize(periodogramPicture_->pixmap().size());
    oMinusCPicture_->setFixedSize(oMinusCPicture_->pixmap().size());
    timingTabs_->setTabEnabled(0, form_.LastTiming->searched);
    timingTabs_->setCurrentIndex(form_.LastTiming->searched ? 0 : 1);
    timingSummary_->setText(qs(form_.timingSummary()));
    // Not adjustSize: it caps a window at two thirds of the screen, below the pictures.
    timingResult_->layout()->activate();
    timingResult_->resize(timingResult_->sizeHint().expandedTo(timingResult_->minimumSizeHint()));
    timingResult_->show();
}

void CorvaneWindow::saveTimingPicture() {
    if (!form_.LastTiming) {
        return;
    }
    bool ready = false;
    run([this, &ready] { ready = form_.ensureOutputFolder("Plots"); });
    if (!ready) {
        return;
    }
    const bool oMinusC = timingTabs_->currentIndex() == 1;
    const QString chosen =
        chooseFile_(true, "Save Plot", qs((form_.AppFolder / "Plots" / (oMinusC ? "o-c.png" : "periodogram.png")).string()),
                    "PNG pictures (*.png);;SVG drawings (*.svg)");
    if (chosen.isEmpty()) {
        return;
    }
    const std::string problem = form_.saveTimingPlot(oMinusC, chosen.toStdString(), 1200, 600);
    if (!problem.empty()) {
        form_.dialogs().message("The plot could not be saved to " + chosen.toStdString() + ": " + problem + ".",
                                "Corvane", platform::MessageButtons::Ok);
    }
}

void CorvaneWindow::saveTimingMinima() {
    if (!form_.LastTiming) {
        return;
    }
    bool ready = false;
    run([this, &ready] { ready = form_.ensureOutputFolder("Minima"); });
    if (!ready) {
        return;
    }
    const QString chosen = chooseFile_(true, "Save Minima", qs((form_.AppFolder / "Minima" / "minima.csv").string()),
                                       "Comma-separated text (*.csv);;All files (*)");
    if (chosen.isEmpty()) {
        return;
    }
    const std::string problem = form_.saveMinima(chosen.toStdString());
    if (!problem.empty()) {
        form_.dialogs().message("The minima could not be saved to " + chosen.toStdString() + ": " + problem + ".",
                                "Corvane", platform::MessageButtons::Ok);
    }
}

void CorvaneWindow::applyStarFilter() {
    const QString wanted = starFilter_->text().trimmed();
    for (int row = 0; row < starNameList_->count(); ++row) {
        QListWidgetItem* item = starNameList_->item(row);
        item->setHidden(!wanted.isEmpty() && !item->text().contains(wanted, Qt::CaseInsensitive));
    }
}

void CorvaneWindow::chooseAndSavePlot() {
    if (inHandler_) {
        return;
    }
    bool ready = false;
    run([this, &ready] { ready = form_.ensureOutputFolder("Plots"); });
    if (!ready) {
        return;
    }
    const QString chosen = chooseFile_(true, "Save Plot", qs((form_.AppFolder / "Plots" / "curve.png").string()),
                                       "PNG pictures (*.png);;SVG drawings (*.svg)");
    if (chosen.isEmpty()) {
        return;
    }
    const QString size = chooseSize_(QString("%1x%2").arg(std::max(picturePlot_->width(), 1200)).arg(600));
    if (size.isEmpty()) {
        return;
    }
    int w = 0, h = 0;
    const QStringList parts = size.toLower().split('x');
    if (parts.size() == 2) {
        w = parts[0].trimmed().toInt();
        h = parts[1].trimmed().toInt();
    }
    std::string problem = w >= 16 && h >= 16 && w <= 10000 && h <= 10000
                              ? form_.savePlot(chosen.toStdString(), w, h)
                              : "the size must be WIDTHxHEIGHT, each from 16 to 10000 pixels";
    if (!problem.empty()) {
        form_.dialogs().message("The plot could not be saved to " + chosen.toStdString() + ": " + problem + ".",
                                    "Corvane", platform::MessageButtons::Ok);
    }
}

void CorvaneWindow::chooseAndSaveAnimation(bool gif) {
    if (busy_ || inHandler_) {
        return;
    }
    bool ready = false;
    run([this, &ready] { ready = form_.ensureOutputFolder("Animation"); });
    if (!ready) {
        return;
    }
    std::filesystem::path target = form_.AppFolder / "Animation";
    if (gif) {
        const QString chosen =
            chooseFile_(true, "Save Animated GIF", qs((target / "orbit.gif").string()), "Animated GIF (*.gif)");
        if (chosen.isEmpty()) {
            return;
        }
        target = chosen.toStdString();
    }
    const double step = platform::Val(form_.txtAnimSpeed.Text);
    if (CorvaneForm::animationFrames(step) < 1) {
        form_.dialogs().message("The animation step must be at least 0.01 degree to save an animation.", "Corvane",
                                    platform::MessageButtons::Ok);
        return;
    }
    // One revolution drawn on a copy of the form, off the window's thread; a click on the wait panel
    // cancels it.
    busy_ = true;
    exporting_ = true;
    form_.frameMessage.Visible = true;
    form_.lblMessage.Caption = "Saving the animation...";
    syncFromForm();
    auto snapshot = std::make_shared<CorvaneForm>(form_);
    auto dialogs = std::make_shared<platform::ScriptedDialogs>();
    snapshot->setDialogs(*dialogs);
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    auto cancel = cancel_;
    if (worker_.joinable()) {
        worker_.join();
    }
    worker_ = std::thread([this, snapshot, dialogs, cancel, target, step, gif] {
        const std::string problem = snapshot->saveAnimation(
            target, step, gif,
            [this](int done, int total) {
                QMetaObject::invokeMethod(this, [this, done, total] {
                    lblMessage_->setText(QString("Saving the animation... frame %1 of %2").arg(done).arg(total));
                });
            },
            cancel.get());
        QMetaObject::invokeMethod(this, [this, problem, target] {
            runWhenIdle([this, problem, target] {
                busy_ = false;
                exporting_ = false;
                form_.frameMessage.Visible = false;
                form_.lblMessage.Caption = "Computing Light Curve";
                const std::string text = problem.empty() ? "The animation was saved to " + target.string() + "."
                                         : problem == "cancelled"
                                             ? std::string("The animation was cancelled; nothing was written.")
                                             : "The animation could not be saved to " + target.string() + ": " + problem + ".";
                lastExportMessage_ = text;
                form_.dialogs().message(text, "Corvane", platform::MessageButtons::Ok);
            });
        });
    });
}

void CorvaneWindow::chooseAndLoadLightCurve() {
    if (busy_ || inHandler_) {
        return;
    }
    run([this] { form_.mnuLoadLightCurve_Click(); });
    form_.frmLoadLight.Visible = false;
    const QString chosen = chooseFile_(false, "Load Light Curve", qs(form_.txtLCName.Text),
                                       "Light curves (*.csv *.txt *.dat *.fits *.fit *.fts);;All files (*)");
    if (chosen.isEmpty()) {
        syncFromForm();
        return;
    }
    form_.txtLCName.Text = chosen.toStdString();
    loadLightCurve();
}

void CorvaneWindow::chooseAndLoadVelocities(int star) {
    if (busy_ || inHandler_) {
        return;
    }
    const QString chosen = chooseFile_(false, QString("Load Velocities of Star %1").arg(star), QString(),
                                       "Radial velocities (*.txt *.csv *.dat *.rv);;All files (*)");
    if (chosen.isEmpty()) {
        return;
    }
    std::string problem;
    run([this, star, &chosen, &problem] { problem = form_.loadVelocities(star, chosen.toStdString()); });
    if (!problem.empty()) {
        QMessageBox::warning(this, "Load Velocities", qs(problem));
        return;
    }
    showVelocityCurves();
}

void CorvaneWindow::chooseAndAddLightCurve() {
    if (busy_ || inHandler_) {
        return;
    }
    if (form_.Curve.ObsCount < 1) {
        QMessageBox::information(this, "Add Light Curve",
                                 "Load a light curve first (File > Load Light Curve...): the curves added are fitted "
                                 "with it.");
        return;
    }
    const QString chosen = chooseFile_(false, "Add Light Curve", QString(),
                                       "Light curves (*.csv *.txt *.dat *.fits *.fit *.fts);;All files (*)");
    if (chosen.isEmpty()) {
        return;
    }
    std::string problem;
    run([this, &chosen, &problem] { problem = form_.addLightCurve(chosen.toStdString(), "", 0); });
    if (!problem.empty()) {
        QMessageBox::warning(this, "Add Light Curve", qs(problem));
        return;
    }
    if (form_.ExtraLight.back().passband.empty()) { // the file does not name its band: ask
        QStringList bands;
        for (const std::string& band : form_.cmbPassband.Items) {
            bands << qs(band);
        }
        bool ok = false;
        const QString band = QInputDialog::getItem(
            this, "Add Light Curve",
            qs("The band " + std::filesystem::path(form_.ExtraLight.back().file).filename().string() + " was taken in:"),
            bands, std::max<qsizetype>(0, bands.indexOf(qs(form_.cmbPassband.Text))), false, &ok);
        if (!ok) {
            form_.ExtraLight.pop_back();
            return;
        }
        form_.ExtraLight.back().passband = band.toStdString();
    }
    const auto& added = form_.ExtraLight.back();
    form_.lblObserved.Caption += " Added " + std::filesystem::path(added.file).filename().string() + " in " +
                                 added.passband + " (" + std::to_string(added.mag.size()) + " points), fitted with it.";
    syncFromForm();
}

void CorvaneWindow::chooseAndLoadFit() {
    if (busy_ || inHandler_) {
        return;
    }
    const QString chosen = chooseFile_(false, "Load Fit", QString(), "Fit files (*.toml);;All files (*)");
    if (chosen.isEmpty()) {
        return;
    }
    std::string why;
    const std::optional<fitting::FitFile> fit = fitting::readFitFile(chosen.toStdString(), why);
    if (!fit) {
        QMessageBox::warning(this, "Load Fit", qs("The fit file cannot be used: " + why));
        return;
    }
    run([this, &fit, &why] { why = form_.applyFitFile(*fit); });
    if (!why.empty()) {
        QMessageBox::warning(this, "Load Fit", qs(why));
    }
}

void CorvaneWindow::chooseAndSaveFit() {
    if (busy_ || inHandler_) {
        return;
    }
    const QString chosen = chooseFile_(true, "Save Fit", qs((form_.AppFolder / "fit.toml").string()),
                                       "Fit files (*.toml);;All files (*)");
    if (chosen.isEmpty()) {
        return;
    }
    const std::filesystem::path target = std::filesystem::absolute(chosen.toStdString());
    const std::string problem =
        platform::writeFileWhole(target, fitting::formatFitFile(form_.currentFitFile(), target.parent_path()));
    if (!problem.empty()) {
        QMessageBox::warning(this, "Save Fit", qs("The fit could not be saved: " + problem));
    }
}

void CorvaneWindow::showVelocityCurves() {
    if (velocityCurves_ == nullptr) {
        velocityCurves_ = new QDialog(this);
        velocityCurves_->setObjectName("VelocityCurves");
        velocityCurves_->setWindowTitle("Velocity Curves");
        auto* layout = new QVBoxLayout(velocityCurves_);
        layout->setSizeConstraint(QLayout::SetMinimumSize);
        velocityPicture_ = new QLabel;
        velocityPicture_->setObjectName("VelocityPicture");
        layout->addWidget(velocityPicture_);
        auto* report = new QLabel;
        report->setObjectName("lblVelocityReport");
        report->setWordWrap(true);
        report->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(report);
        auto* buttons = new QHBoxLayout;
        auto* clear = new QPushButton("Clear Velocities");
        clear->setObjectName("cmdClearVelocities");
        clear->setToolTip("Forget the loaded velocity files");
        connect(clear, &QPushButton::clicked, this, [this] {
            form_.VelocitySets.clear();
            showVelocityCurves();
        });
        auto* close = new QPushButton("Close");
        connect(close, &QPushButton::clicked, velocityCurves_, &QDialog::close);
        buttons->addStretch(1);
        buttons->addWidget(clear);
        buttons->addWidget(close);
        layout->addLayout(buttons);
    }
    const QScreen* shownOn = screen();
    const int available = shownOn != nullptr ? shownOn->availableGeometry().height() : 800;
    const int height = std::clamp(available - 200, 240, 480);
    QImage image(height * 8 / 5, height, QImage::Format_RGB32);
    QPainter painter(&image);
    platform::paintPlot(painter, form_.velocityPlot(image.width(), image.height()), image.width(), image.height());
    painter.end();
    velocityPicture_->setPixmap(QPixmap::fromImage(image));
    velocityPicture_->setFixedSize(image.size());
    std::string tip;
    for (const std::string& line : form_.velocityReport()) {
        tip += (tip.empty() ? "" : "\n") + line;
    }
    if (!(form_.orbitScale().K1 > 0)) {
        tip += (tip.empty() ? "" : "\n") +
               std::string("Give the semi-major axis (Orbit frame) and the period for the orbit's velocities.");
    }
    auto* report = velocityCurves_->findChild<QLabel*>("lblVelocityReport");
    report->setText(qs(tip));
    report->setVisible(!tip.empty());
    velocityCurves_->layout()->activate();
    velocityCurves_->show();
    velocityCurves_->raise();
    syncFromForm();
}

void CorvaneWindow::chooseAndSaveLightCurve() {
    if (inHandler_) {
        return;
    }
    bool ready = false;
    run([this, &ready] { ready = form_.ensureOutputFolder("LightCurves"); });
    if (!ready) {
        return;
    }
    const std::filesystem::path start =
        form_.AppFolder / "LightCurves" / std::filesystem::path(form_.txtFilename.Text).filename();
    const QString chosen =
        chooseFile_(true, "Save Light Curve", qs(start.string()), "Comma-separated light curves (*.csv);;All files (*)");
    if (chosen.isEmpty()) {
        return;
    }
    form_.LightCurveTarget = chosen.toStdString();
    run([this] { form_.mnuSaveLightCurve_Click(); });
}

void CorvaneWindow::chooseForSavePanel(void (CorvaneForm::*menu)(), bool save, const QString& filter) {
    if (inHandler_) {
        return;
    }
    // The form's menu command sets the panel's captions and the described default name; the file
    // dialog stands in for typing the name into the panel.
    bool ready = false;
    CorvaneForm* form = &form_;
    run([form, menu, &ready] {
        (form->*menu)();
        form->frameSaveBMP.Visible = false;
        ready = form->ensureOutputFolder("Stars");
    });
    if (!ready) {
        return;
    }
    const QString chosen = chooseFile_(save, qs(form_.lblSaveAs.Caption).remove(" .").trimmed(),
                                       qs(form_.txtBMPName.Text), filter);
    if (chosen.isEmpty()) {
        run([this] { form_.cmdCancel_Click(); });
        return;
    }
    form_.txtBMPName.Text = chosen.toStdString();
    run([this] { form_.cmbSaveBMP_Click(); });
}

QWidget* CorvaneWindow::buildFileAndGridPanel() {
    auto* frame = new QGroupBox("Differential Corrections");
    frame->setObjectName("FrameDC");
    auto* grid = new QGridLayout(frame);
    chkDC_ = new QCheckBox(qs(form_.chkDC.Caption));
    chkDC_->setObjectName("chkDC");
    connect(chkDC_, &QCheckBox::clicked, this, [this](bool on) { toggleGridSearch(on); });
    grid->addWidget(chkDC_, 0, 0);
    grid->addWidget(new QLabel("Initial"), 0, 2);
    grid->addWidget(new QLabel("Final"), 0, 3);
    grid->addWidget(new QLabel("Steps"), 0, 4);
    cmbParameter_ = new QComboBox;
    cmbParameter_->setObjectName("cmbParameter");
    cmbParameter2_ = new QComboBox;
    cmbParameter2_->setObjectName("cmbParameter2");
    connect(cmbParameter_, &QComboBox::activated, this, [this](int index) {
        run([this, index] { form_.chooseItem("cmbParameter", cmbParameter_->itemText(index).toStdString()); });
    });
    connect(cmbParameter2_, &QComboBox::activated, this, [this](int index) {
        run([this, index] { form_.chooseItem("cmbParameter2", cmbParameter2_->itemText(index).toStdString()); });
    });
    grid->addWidget(new QLabel("Parameter #1 (y)"), 1, 0);
    grid->addWidget(cmbParameter_, 1, 1);
    grid->addWidget(buildParameterRow(parameter("txtInitial")), 1, 2);
    grid->addWidget(buildParameterRow(parameter("txtFinal")), 1, 3);
    grid->addWidget(buildParameterRow(parameter("txtSteps")), 1, 4);
    grid->addWidget(new QLabel("Parameter #2 (x)"), 2, 0);
    grid->addWidget(cmbParameter2_, 2, 1);
    grid->addWidget(buildParameterRow(parameter("txtInitial2")), 2, 2);
    grid->addWidget(buildParameterRow(parameter("txtFinal2")), 2, 3);
    grid->addWidget(buildParameterRow(parameter("txtSteps2")), 2, 4);
    // The fit: the parameters it frees, the phase shift it may move, and its button.
    cmdFit_ = new QPushButton(qs(form_.cmdFit.Caption));
    cmdFit_->setObjectName("cmdFit");
    cmdFit_->setToolTip("Fit the ticked parameters to the loaded observations by Levenberg-Marquardt,\n"
                        "from the values in the boxes (a second click cancels, keeping the best so far).");
    connect(cmdFit_, &QPushButton::clicked, this, [this] { toggleFit(); });
    grid->addWidget(cmdFit_, 3, 0);
    auto* free = new QWidget;
    auto* freeGrid = new QGridLayout(free);
    freeGrid->setContentsMargins(0, 0, 0, 0);
    freeGrid->setHorizontalSpacing(6);
    freeGrid->setVerticalSpacing(0);
    const char* shortNames[] = {"i", "q", "r1", "r2", "T1", "T2", "w1", "w2", "shift", "L3", "e", "\u03c9", "a", "\u03b3", "e cos\u03c9", "e sin\u03c9", "vsini1", "vsini2", "\u03bb1", "\u03bb2"};
    int k = 0;
    for (const char* name : CorvaneForm::fitParameterNames()) {
        auto* box = new QCheckBox(shortNames[k]);
        box->setObjectName(QString("chkFree%1").arg(k));
        box->setToolTip(QString("Fit %1").arg(name));
        const std::string parameterName = name;
        connect(box, &QCheckBox::clicked, this, [this, parameterName](bool on) {
            auto& f = form_.FitFree;
            std::erase(f, parameterName);
            if (on) {
                f.push_back(parameterName);
            }
        });
        freeBoxes_.push_back(box);
        freeGrid->addWidget(box, k / 5, k % 5);
        ++k;
    }
    grid->addWidget(free, 4, 0, 1, 5);
    QWidget* shift = buildParameterRow(parameter("txtPhaseShift"));
    shift->setToolTip("Added to every observed phase before the model is computed there (revolutions, -0.5 to 0.5).");
    auto* shiftRow = new QWidget;
    auto* shiftLayout = new QHBoxLayout(shiftRow);
    shiftLayout->setContentsMargins(0, 0, 0, 0);
    shiftLayout->addWidget(new QLabel("Phase Shift"));
    shiftLayout->addWidget(shift, 1);
    grid->addWidget(shiftRow, 3, 1, 1, 2);
    cmdUncertainties_ = new QPushButton(qs(form_.cmdUncertainties.Caption));
    cmdUncertainties_->setObjectName("cmdUncertainties");
    cmdUncertainties_->setToolTip("How well the ticked parameters are known: fit, then sample their posterior with an\n"
                                  "ensemble of walkers, and show the intervals and the corner plot\n"
                                  "(a second click cancels, keeping the steps made).");
    connect(cmdUncertainties_, &QPushButton::clicked, this, [this] { toggleUncertainties(); });
    grid->addWidget(cmdUncertainties_, 3, 3, 1, 2);
    lblDCProgress_ = new QLabel;
    lblDCProgress_->setObjectName("lblDCProgress");
    lblDCProgress_->setWordWrap(true);
    grid->addWidget(lblDCProgress_, 5, 0, 1, 5);
    return frame;
}

QWidget* CorvaneWindow::buildLowerPanel() {
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* buttons = new QHBoxLayout;
    const std::pair<const char*, const char*> names[] = {{"cmdPlot", "Plot"}, {"cmdExtras", "Extras"}, {"HelpButton", "Help"}};
    for (const auto& [name, caption] : names) {
        auto* button = new QPushButton(caption);
        button->setObjectName(name);
        panelButtons_[name] = button;
        buttons->addWidget(button);
    }
    connect(panelButtons_["cmdPlot"], &QPushButton::clicked, this, [this] { run([this] { form_.cmdPlot_Click(); }); });
    connect(panelButtons_["cmdExtras"], &QPushButton::clicked, this, [this] { run([this] { form_.cmdExtras_Click(); }); });
    connect(panelButtons_["HelpButton"], &QPushButton::clicked, this, [this] { run([this] { form_.HelpButton_Click(); }); });
    buttons->addStretch(1);
    layout->addLayout(buttons);

    lowerPanel_ = new QStackedWidget;
    lowerPanel_->setObjectName("lowerPanel");
    picturePlot_ = new PlotView(form_);
    picturePlot_->setObjectName("PicturePlot");
    picturePlot_->setSaveHandler([this] { chooseAndSavePlot(); });
    lowerPanel_->addWidget(picturePlot_);
    auto* extras = new QScrollArea;
    extras->setObjectName("TestingAreaScroll");
    extras->setWidget(buildExtras());
    extrasScroll_ = extras;
    for (QComboBox* box : extras->widget()->findChildren<QComboBox*>()) {
        box->setFocusPolicy(Qt::StrongFocus);
        box->installEventFilter(this);
    }
    extras->setWidgetResizable(true);
    extras->setFrameShape(QFrame::NoFrame);
    lowerPanel_->addWidget(extras);
    lowerPanel_->addWidget(buildHelp());
    lowerPanel_->setFixedHeight(CorvaneForm::PlotHeight);
    layout->addWidget(lowerPanel_);
    return panel;
}

QWidget* CorvaneWindow::buildExtras() {
    auto* frame = new QGroupBox("Extras");
    frame->setObjectName("TestingAreaFrame");
    auto* grid = new QGridLayout(frame);
    grid->addWidget(new QLabel("Filter"), 0, 0);
    cmbFilter_ = new QComboBox;
    cmbFilter_->setObjectName("cmbFilter");
    connect(cmbFilter_, &QComboBox::activated, this, [this](int index) {
        run([this, index] { form_.chooseItem("cmbFilter", cmbFilter_->itemText(index).toStdString()); });
    });
    grid->addWidget(cmbFilter_, 0, 1);
    for (const auto& c : CorvaneForm::switchControls()) {
        if (std::string(c.name) == "chkSave") {
            grid->addWidget(buildSwitch(c), 1, 0);
        } else if (std::string(c.name) == "chkBMP") {
            grid->addWidget(buildSwitch(c), 2, 0, 1, 2);
        }
    }
    grid->addWidget(buildParameterRow(parameter("txtFilename")), 1, 1);
    for (const auto& c : CorvaneForm::switchControls()) {
        if (std::string(c.name) == "chkError") {
            grid->addWidget(buildSwitch(c), 3, 0, 1, 2);
        }
    }
    lblError_ = new QLabel;
    lblError_->setObjectName("lblError");
    grid->addWidget(lblError_, 4, 0, 1, 2);
    grid->addWidget(new QLabel("Photometry"), 5, 0);
    cmbPhotometry_ = new QComboBox;
    cmbPhotometry_->setObjectName("cmbPhotometry");
    cmbPhotometry_->setToolTip("Pixels: the light of each drawn frame, summed pixel by pixel.\n"
                               "Precise: the same stars integrated over their surfaces, the whole curve at once.");
    connect(cmbPhotometry_, &QComboBox::activated, this, [this](int index) {
        run([this, index] { form_.chooseItem("cmbPhotometry", cmbPhotometry_->itemText(index).toStdString()); });
    });
    grid->addWidget(cmbPhotometry_, 5, 1);
    // Times are folded with these into phases when a time series is loaded.
    grid->addWidget(new QLabel("Period (d)"), 6, 0);
    QWidget* period = buildParameterRow(parameter("txtPeriod"));
    period->setToolTip("The orbital period in days: a file of times (JD, HJD, BJD, BTJD) is folded with it.\n"
                       "Leave it empty for a file of phases.");
    grid->addWidget(period, 6, 1);
    grid->addWidget(new QLabel("Epoch"), 7, 0);
    QWidget* epoch = buildParameterRow(parameter("txtEpoch"));
    epoch->setToolTip("The time of a primary minimum, in the file's own time scale (it falls at phase 0).");
    grid->addWidget(epoch, 7, 1);
    grid->addWidget(new QLabel("Exposure (s)"), 8, 0);
    grid->addWidget(buildParameterRow(parameter("txtExposure")), 8, 1);
    cmdFindPeriod_ = new QPushButton("Find Period");
    cmdFindPeriod_->setObjectName("cmdFindPeriod");
    cmdFindPeriod_->setToolTip("Choose a time series: its period is searched (phase dispersion), the epoch of primary\n"
                               "minimum and every covered eclipse timed (Kwee and van Woerden), the boxes filled,\n"
                               "the series loaded folded with them, and the periodogram and O-C diagram shown.");
    connect(cmdFindPeriod_, &QPushButton::clicked, this, [this] { findPeriod(); });
    grid->addWidget(cmdFindPeriod_, 9, 1);
    lblObserved_ = new QLabel;
    lblObserved_->setObjectName("lblObserved");
    lblObserved_->setWordWrap(true);
    grid->addWidget(lblObserved_, 10, 0, 1, 2);
    lblChiSquare_ = new QLabel;
    lblChiSquare_->setObjectName("lblChiSquare");
    lblChiSquare_->setWordWrap(true);
    grid->addWidget(lblChiSquare_, 11, 0, 1, 2);
    grid->addWidget(buildLightFrame(), 12, 0, 1, 2);
    grid->addWidget(buildOrbitFrame(), 13, 0, 1, 2);
    grid->addWidget(buildFileAndGridPanel(), 0, 2, 15, 1);
    grid->setRowStretch(14, 1);
    grid->setColumnStretch(2, 1);
    return frame;
}

QWidget* CorvaneWindow::buildLightFrame() {
    auto* frame = new QGroupBox("Light");
    frame->setObjectName("frameLight");
    auto* grid = new QGridLayout(frame);
    auto combo = [this](const char* name, QComboBox*& box) {
        box = new QComboBox;
        box->setObjectName(name);
        const std::string n = name;
        connect(box, &QComboBox::activated, this, [this, n, &box](int index) {
            run([this, &n, &box, index] { form_.chooseItem(n, box->itemText(index).toStdString()); });
        });
        return box;
    };
    grid->addWidget(new QLabel("Passband"), 0, 0);
    grid->addWidget(combo("cmbPassband", cmbPassband_), 0, 1, 1, 3);
    grid->addWidget(new QLabel("Limb Law"), 1, 0);
    grid->addWidget(combo("cmbLimbLaw", cmbLimbLaw_), 1, 1, 1, 3);
    grid->addWidget(new QLabel("b, Star 1"), 2, 0);
    grid->addWidget(buildParameterRow(parameter("txtLimb1b")), 2, 1);
    grid->addWidget(new QLabel("Star 2"), 2, 2);
    grid->addWidget(buildParameterRow(parameter("txtLimb2b")), 2, 3);
    grid->addWidget(new QLabel("Gravity, Star 1"), 3, 0);
    grid->addWidget(buildParameterRow(parameter("txtGravity1")), 3, 1);
    grid->addWidget(new QLabel("Star 2"), 3, 2);
    grid->addWidget(buildParameterRow(parameter("txtGravity2")), 3, 3);
    grid->addWidget(new QLabel("Albedo, Star 1"), 4, 0);
    grid->addWidget(buildParameterRow(parameter("txtAlbedo1")), 4, 1);
    grid->addWidget(new QLabel("Star 2"), 4, 2);
    grid->addWidget(buildParameterRow(parameter("txtAlbedo2")), 4, 3);
    grid->addWidget(new QLabel("Third Light"), 5, 0);
    grid->addWidget(buildParameterRow(parameter("txtThirdLight")), 5, 1);
    lblLight_ = new QLabel;
    lblLight_->setObjectName("lblLight");
    lblLight_->setWordWrap(true);
    lblLight_->setStyleSheet("color: #b00000;");
    grid->addWidget(lblLight_, 6, 0, 1, 4);
    lblLightReport_ = new QLabel;
    lblLightReport_->setObjectName("lblLightReport");
    lblLightReport_->setWordWrap(true);
    lblLightReport_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(lblLightReport_, 7, 0, 1, 4);
    return frame;
}

QWidget* CorvaneWindow::buildOrbitFrame() {
    auto* frame = new QGroupBox("Orbit");
    frame->setObjectName("frameOrbit");
    auto* grid = new QGridLayout(frame);
    grid->addWidget(new QLabel("Eccentricity"), 0, 0);
    grid->addWidget(buildParameterRow(parameter("txtEccentricity")), 0, 1);
    grid->addWidget(new QLabel("Periastron (\u00b0)"), 0, 2);
    grid->addWidget(buildParameterRow(parameter("txtOmega")), 0, 3);
    grid->addWidget(new QLabel("Apsidal (\u00b0/cycle)"), 1, 0);
    grid->addWidget(buildParameterRow(parameter("txtApsidal")), 1, 1);
    for (const auto& c : CorvaneForm::switchControls()) {
        if (std::string(c.name) == "chkLightTime") {
            grid->addWidget(buildSwitch(c), 1, 2, 1, 2);
        }
    }
    grid->addWidget(new QLabel("Gamma (km/s)"), 2, 0);
    grid->addWidget(buildParameterRow(parameter("txtGammaVelocity")), 2, 1);
    grid->addWidget(new QLabel("a (R\u2609)"), 2, 2);
    grid->addWidget(buildParameterRow(parameter("txtSemiMajorAxis")), 2, 3);
    grid->addWidget(new QLabel("v sin i #1 (km/s)"), 3, 0);
    grid->addWidget(buildParameterRow(parameter("txtVsini1")), 3, 1);
    grid->addWidget(new QLabel("v sin i #2"), 3, 2);
    grid->addWidget(buildParameterRow(parameter("txtVsini2")), 3, 3);
    grid->addWidget(new QLabel("\u03bb #1 (\u00b0)"), 4, 0);
    grid->addWidget(buildParameterRow(parameter("txtLambda1")), 4, 1);
    grid->addWidget(new QLabel("\u03bb #2"), 4, 2);
    grid->addWidget(buildParameterRow(parameter("txtLambda2")), 4, 3);
    lblOrbit_ = new QLabel;
    lblOrbit_->setObjectName("lblOrbit");
    lblOrbit_->setWordWrap(true);
    lblOrbit_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(lblOrbit_, 5, 0, 1, 4);
    return frame;
}

QWidget* CorvaneWindow::buildHelp() {
    auto* frame = new QWidget;
    frame->setObjectName("HelpAreaFrame");
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    helpList_ = new QListWidget;
    helpList_->setObjectName("HelpList");
    layout->addWidget(helpList_, 1);
    auto* more = new QHBoxLayout;
    more->addWidget(new QLabel("More Details:"));
    auto* link = new QPushButton(qs(form_.Label16.Caption));
    link->setObjectName("Label16");
    link->setFlat(true);
    link->setCursor(Qt::PointingHandCursor);
    connect(link, &QPushButton::clicked, this, [this] { run([this] { form_.Label16_Click(); }); });
    more->addWidget(link);
    more->addStretch(1);
    layout->addLayout(more);
    return frame;
}

void CorvaneWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    QAction* saveCurve = file->addAction("Save &Light Curve...");
    saveCurve->setObjectName("mnuSaveLightCurve");
    saveCurve->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(saveCurve, &QAction::triggered, this, [this] { chooseAndSaveLightCurve(); });
    QAction* saveAnimation = file->addAction("Save &Animation...");
    saveAnimation->setObjectName("mnuSaveAnimation");
    connect(saveAnimation, &QAction::triggered, this, [this] {
        // The Extras page first, drawn before the question is asked, then the series.
        run([this] { form_.cmdExtras_Click(); });
        QCoreApplication::processEvents();
        run([this] { form_.mnuSaveAnimation_Click(); });
    });
    QAction* saveGif = file->addAction("Save Animated &GIF...");
    saveGif->setObjectName("mnuSaveGif");
    connect(saveGif, &QAction::triggered, this, [this] { chooseAndSaveAnimation(true); });
    QAction* savePng = file->addAction("Save &PNG Frames");
    savePng->setObjectName("mnuSavePngFrames");
    connect(savePng, &QAction::triggered, this, [this] { chooseAndSaveAnimation(false); });
    QAction* savePlot = file->addAction("Save &Plot...");
    savePlot->setObjectName("mnuSavePlot");
    connect(savePlot, &QAction::triggered, this, [this] { chooseAndSavePlot(); });
    file->addSeparator();
    QAction* loadCurve = file->addAction("Load Light &Curve...");
    loadCurve->setObjectName("mnuLoadLightCurve");
    loadCurve->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(loadCurve, &QAction::triggered, this, [this] { chooseAndLoadLightCurve(); });
    QAction* addCurve = file->addAction("Add Lig&ht Curve...");
    addCurve->setObjectName("mnuAddLightCurve");
    addCurve->setToolTip("Add a further light curve to fit with the loaded one (another sector or band): in the band "
                         "its file names, or else the one chosen in Passband");
    connect(addCurve, &QAction::triggered, this, [this] { chooseAndAddLightCurve(); });
    for (int star : {1, 2}) {
        QAction* loadVelocities = file->addAction(QString("Load &Velocities of Star %1...").arg(star));
        loadVelocities->setObjectName(QString("mnuLoadVelocities%1").arg(star));
        connect(loadVelocities, &QAction::triggered, this, [this, star] { chooseAndLoadVelocities(star); });
    }
    QAction* loadFit = file->addAction("Load &Fit...");
    loadFit->setObjectName("mnuLoadFit");
    loadFit->setToolTip("Load a fit file: the settings, the observation files, and each parameter's start, bounds, "
                        "prior and free flag");
    connect(loadFit, &QAction::triggered, this, [this] { chooseAndLoadFit(); });
    QAction* saveFit = file->addAction("Save F&it...");
    saveFit->setObjectName("mnuSaveFit");
    connect(saveFit, &QAction::triggered, this, [this] { chooseAndSaveFit(); });
    QAction* saveBitmap = file->addAction("Save &Bitmap...");
    saveBitmap->setObjectName("mnuSaveBitmap");
    connect(saveBitmap, &QAction::triggered, this,
            [this] { chooseForSavePanel(&CorvaneForm::mnuSaveBitmap_Click, true, "Bitmaps (*.bmp *.png)"); });
    QAction* saveStar = file->addAction("Save &Star...");
    saveStar->setObjectName("mnuSaveStar");
    connect(saveStar, &QAction::triggered, this,
            [this] { chooseForSavePanel(&CorvaneForm::mnuSaveStar_Click, true, "Star parameters (*.txt);;All files (*)"); });
    QAction* loadStar = file->addAction("L&oad Star...");
    loadStar->setObjectName("mnuLoadStar");
    connect(loadStar, &QAction::triggered, this,
            [this] { chooseForSavePanel(&CorvaneForm::mnuLoadStar_Click, false, "Star parameters (*.txt);;All files (*)"); });
    file->addSeparator();
    QAction* refresh = file->addAction("&Refresh");
    refresh->setObjectName("mnuRefresh");
    refresh->setShortcut(QKeySequence::Refresh);
    connect(refresh, &QAction::triggered, this, [this] { run([this] { form_.mnuRefresh_Click(); }); });
    QAction* reset = file->addAction("Reset to &Defaults");
    reset->setObjectName("mnuResetDefaults");
    connect(reset, &QAction::triggered, this, [this] {
        if (busy_) {
            return;
        }
        run([this] {
            if (form_.dialogs().message("Put every parameter and switch back to its value at start-up?", "Corvane",
                                        platform::MessageButtons::YesNo) == platform::MessageAnswer::Yes) {
                form_.resetToDefaults();
            }
        });
    });
    file->addSeparator();
    QAction* exitAction = file->addAction("E&xit");
    exitAction->setObjectName("mnuExit");
    exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(exitAction, &QAction::triggered, this, [this] {
        form_.mnuExit_Click();
        close();
    });

    // Space starts and stops the animation wherever the focus is, except in a box being typed into.
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    space->setObjectName("shortcutAnimate");
    connect(space, &QShortcut::activated, this, [this] {
        run([this] {
            form_.AnimCheck.Value = form_.AnimCheck.checked() ? 0 : 1;
            form_.AnimCheck_Click();
        });
    });

    QMenu* special = menuBar()->addMenu("&Special");
    QAction* random = special->addAction("&Random Binary Star");
    random->setObjectName("mnuRandomBinaryStar");
    connect(random, &QAction::triggered, this, [this] { run([this] { form_.mnuRandomBinaryStar_Click(); }); });

    QMenu* tools = menuBar()->addMenu("&Tools");
    QAction* equator = tools->addAction("&Equator Data");
    equator->setObjectName("mnuEquator");
    connect(equator, &QAction::triggered, this, [this] { run([this] { form_.mnuEquator_Click(); }); });
    QAction* findPeriodAction = tools->addAction("&Find Period...");
    findPeriodAction->setObjectName("mnuFindPeriod");
    connect(findPeriodAction, &QAction::triggered, this, [this] { findPeriod(); });
    QAction* velocityCurves = tools->addAction("&Velocity Curves...");
    velocityCurves->setObjectName("mnuVelocityCurves");
    connect(velocityCurves, &QAction::triggered, this, [this] { showVelocityCurves(); });
}

bool CorvaneWindow::eventFilter(QObject* watched, QEvent* event) {
    // A wheel turned over a choice on the scrolled Extras page scrolls the page; it changes the
    // choice only once the box has been clicked or tabbed into.
    if (event->type() == QEvent::Wheel && extrasScroll_ != nullptr) {
        if (auto* box = qobject_cast<QComboBox*>(watched); box != nullptr && !box->hasFocus()) {
            QCoreApplication::sendEvent(extrasScroll_->verticalScrollBar(), event);
            return true;
        }
    }
    if (starNameList_ != nullptr && watched == starNameList_->viewport()) {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
            mousePressing_ = true;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            // The click that follows the release loads the row; later moves are the keyboard's.
            QTimer::singleShot(0, this, [this] { mousePressing_ = false; });
        }
    }
    if (watched == frameMessage_ && event->type() == QEvent::MouseButtonPress) {
        if (exporting_ && cancel_) {
            *cancel_ = true;
        } else {
            run([this] { form_.frameMessage_Click(); });
        }
    }
    if (watched == picture1_ && event->type() == QEvent::Resize) {
        runWhenIdle([this] {
            form_.setPictureSize(picture1_->width(), picture1_->height());
            form_.Form_Resize();
        });
    }
    return QMainWindow::eventFilter(watched, event);
}

void CorvaneWindow::closeEvent(QCloseEvent* event) {
    form_.Form_Unload();
    event->accept();
}

void CorvaneWindow::syncFromForm() {
    syncing_ = true;
    setWindowTitle(qs(form_.Caption));
    for (const auto& c : CorvaneForm::parameterControls()) {
        QLineEdit* edit = textBoxes_.at(c.name);
        const QString text = qs((form_.*(c.box)).Text);
        if (edit->text() != text) {
            edit->setText(text);
        }
    }
    for (auto& [n, spinner] : spinners_) {
        spinner->setValue(app::ScrollBar::Max - form_.VScroll[static_cast<std::size_t>(n)].Value);
    }
    for (const auto& c : CorvaneForm::switchControls()) {
        checkBoxes_.at(c.name)->setChecked((form_.*(c.box)).checked());
    }
    for (const auto& o : CorvaneForm::optionControls()) {
        optionButtons_.at(o.name)->setChecked((form_.*(o.button)).Value);
    }
    if (cmbStarSpot1_->count() != static_cast<int>(form_.cmbStarSpot1.Items.size())) {
        cmbStarSpot1_->clear();
        for (const std::string& item : form_.cmbStarSpot1.Items) {
            cmbStarSpot1_->addItem(qs(item));
        }
    }
    cmbStarSpot1_->setCurrentIndex(form_.cmbStarSpot1.ListIndex);

    for (auto [frame, state] : {std::pair{frameStar1_, &form_.FrameStar1}, std::pair{frameStar2_, &form_.FrameStar2}}) {
        if (frame->title() != qs(state->Caption)) {
            frame->setTitle(qs(state->Caption));
        }
        if (frame->toolTip() != qs(state->ToolTip)) {
            frame->setToolTip(qs(state->ToolTip));
        }
        // Style sheets are costly to apply: only when the colour changes (the animation syncs often).
        const QString sheet =
            QString("QGroupBox#%1::title { color: %2; }").arg(frame->objectName(), colorName(state->ForeColor));
        if (frame->styleSheet() != sheet) {
            frame->setStyleSheet(sheet);
        }
    }
    setListItems(rocheList_, form_.RocheList.Items);
    setListItems(starSizeList_, form_.StarSizeList.Items);
    text1_->setVisible(form_.Text1.Visible);
    if (text1_->toPlainText() != qs(form_.Text1.Text).remove('\r')) {
        text1_->setPlainText(qs(form_.Text1.Text).remove('\r'));
    }
    lblMessage_->setText(qs(form_.lblMessage.Caption));
    frameMessage_->setVisible(form_.frameMessage.Visible);
    picture1_->update();
    picturePlot_->update();

    if (cmbFilter_->count() != static_cast<int>(form_.cmbFilter.Items.size())) {
        cmbFilter_->clear();
        for (const std::string& item : form_.cmbFilter.Items) {
            cmbFilter_->addItem(qs(item));
        }
    }
    cmbFilter_->setCurrentIndex(form_.cmbFilter.ListIndex);
    if (cmbPhotometry_->count() != static_cast<int>(form_.cmbPhotometry.Items.size())) {
        cmbPhotometry_->clear();
        for (const std::string& item : form_.cmbPhotometry.Items) {
            cmbPhotometry_->addItem(qs(item));
        }
    }
    cmbPhotometry_->setCurrentIndex(form_.cmbPhotometry.ListIndex);
    for (const auto& [box, state] : {std::pair{cmbPassband_, &form_.cmbPassband}, std::pair{cmbLimbLaw_, &form_.cmbLimbLaw}}) {
        if (box->count() != static_cast<int>(state->Items.size())) {
            box->clear();
            for (const std::string& item : state->Items) {
                box->addItem(qs(item));
            }
        }
        box->setCurrentIndex(state->ListIndex);
    }
    lblLight_->setText(qs(form_.lblLight.Caption));
    lblLight_->setVisible(!form_.lblLight.Caption.empty());
    std::string orbitText = form_.lblOrbit.Caption;
    if (!form_.VelocitySets.empty()) {
        for (const std::string& line : form_.velocityReport()) {
            orbitText += (orbitText.empty() ? "" : "\n") + line;
        }
    }
    lblOrbit_->setText(qs(orbitText));
    lblOrbit_->setVisible(!orbitText.empty());
    lblLightReport_->setText(qs(form_.lblLightReport.Caption));
    lblLightReport_->setVisible(!form_.lblLightReport.Caption.empty());
    if (helpList_->count() != static_cast<int>(form_.HelpList.Items.size())) {
        setListItems(helpList_, form_.HelpList.Items);
    }
    const std::pair<const char*, const CorvaneForm::PanelButton*> buttons[] = {
        {"cmdPlot", &form_.cmdPlot}, {"cmdExtras", &form_.cmdExtras}, {"HelpButton", &form_.HelpButton}};
    for (const auto& [name, state] : buttons) {
        QPushButton* button = panelButtons_.at(name);
        QFont font = button->font();
        font.setBold(state->Bold);
        font.setPointSize(state->FontSize);
        if (button->font() != font) {
            button->setFont(font);
        }
        const QString sheet = state->BackColor == CorvaneForm::ButtonFace ? QString() : QString("background-color: #808080;");
        if (button->styleSheet() != sheet) {
            button->setStyleSheet(sheet);
        }
    }
    lowerPanel_->setCurrentIndex(form_.TestingAreaFrameVisible ? 1 : form_.HelpAreaFrameVisible ? 2 : 0);

    if (starNameList_->count() != static_cast<int>(form_.StarNameList.Items.size())) {
        setListItems(starNameList_, form_.StarNameList.Items);
        for (int row = 0; row < starNameList_->count() && row < form_.StarCount; ++row) {
            starNameList_->item(row)->setToolTip(
                qs(catalogue::sourceNote(form_.Cat[static_cast<std::size_t>(row) + 1])));
        }
        applyStarFilter();
    }
    if (form_.StarNameListIndex >= 0 && starNameList_->currentRow() != form_.StarNameListIndex) {
        const QSignalBlocker quiet(starNameList_);
        starNameList_->setCurrentRow(form_.StarNameListIndex);
        starNameList_->scrollToItem(starNameList_->currentItem());
    }
    slideShow_->setText(qs(form_.SlideShow.Caption));
    lblSlideShow_->setText(qs(form_.lblSlideShow.Caption));
    lblStarSource_->setText(qs(form_.lblStarSource.Caption));
    lblSlideShow_->setVisible(form_.lblSlideShow.Visible);
    lblError_->setText(qs(form_.lblError.Caption));
    lblObserved_->setText(qs(form_.lblObserved.Caption));
    lblChiSquare_->setText(qs(form_.lblChiSquare.Caption));
    lblChiSquare_->setVisible(form_.lblChiSquare.Visible);
    cmdFit_->setText(qs(form_.cmdFit.Caption));
    cmdUncertainties_->setText(qs(form_.cmdUncertainties.Caption));
    for (std::size_t k = 0; k < freeBoxes_.size(); ++k) {
        const std::string name = CorvaneForm::fitParameterNames()[k];
        const bool on = std::find(form_.FitFree.begin(), form_.FitFree.end(), name) != form_.FitFree.end();
        freeBoxes_[k]->setChecked(on);
    }
    if (!busy_) {
        lblDCProgress_->setText(qs(form_.lblDCProgress.Caption));
    }
    chkDC_->setChecked(form_.chkDC.checked());
    frmLoadLight_->setVisible(form_.frmLoadLight.Visible);
    frameSaveBMP_->setVisible(form_.frameSaveBMP.Visible);
    lblSaveAs_->setText(qs(form_.lblSaveAs.Caption));
    cmbSaveBMP_->setText(qs(form_.cmbSaveBMP.Caption));
    for (auto [widget, state] : {std::pair{cmbParameter_, &form_.cmbParameter}, std::pair{cmbParameter2_, &form_.cmbParameter2}}) {
        if (widget->count() != static_cast<int>(state->Items.size())) {
            widget->clear();
            for (const std::string& item : state->Items) {
                widget->addItem(qs(item));
            }
        }
        widget->setCurrentIndex(state->ListIndex);
    }
    const bool slides = form_.Timer2Enabled && form_.SlideShowOn;
    if (slides != timer2_->isActive()) {
        slides ? timer2_->start() : timer2_->stop();
    }

    const bool animate = form_.Timer1Enabled && form_.AnimCheck.checked();
    if (animate != timer1_->isActive()) {
        animate ? timer1_->start() : timer1_->stop();
    }

    if (!form_.FocusControl.empty()) {
        if (auto it = textBoxes_.find(form_.FocusControl); it != textBoxes_.end()) {
            it->second->setFocus();
        }
        form_.FocusControl.clear();
    }
    syncing_ = false;
}

} // namespace corvane::ui
