// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneWindow.h"

#include "PictureBox.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QStackedWidget>
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
#include <QScrollBar>
#include <QVBoxLayout>

#include <stdexcept>

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
                                               platform::MessageButtons buttons) {
    using platform::MessageAnswer;
    using platform::MessageButtons;
    QMessageBox::StandardButtons qtButtons = QMessageBox::Ok;
    if (buttons == MessageButtons::OkCancel) {
        qtButtons = QMessageBox::Ok | QMessageBox::Cancel;
    } else if (buttons == MessageButtons::YesNo) {
        qtButtons = QMessageBox::Yes | QMessageBox::No;
    }
    QMessageBox box(QMessageBox::NoIcon, qs(title), qs(text), qtButtons, parent_);
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

void WidgetDialogs::openAddress(const std::string& address) {
    QDesktopServices::openUrl(QUrl(qs(address)));
}

CorvaneWindow::CorvaneWindow(CorvaneForm& form, QWidget* parent) : QMainWindow(parent), form_(form) {
    setObjectName("Corvane");

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
    left->setMaximumWidth(470);

    columns->addWidget(left);
    columns->addWidget(buildPictures(), 1);
    setCentralWidget(central);
    buildMenus();

    // The animation timer: it ticks as often as the event loop allows while "Animate" is checked.
    timer1_ = new QTimer(this);
    timer1_->setInterval(1);
    connect(timer1_, &QTimer::timeout, this, [this] { run([this] { form_.Timer1_Timer(); }); });

    // Start-up: the form loads its defaults; the first resize of the picture runs the first refresh.
    form_.Form_Load();
    syncFromForm();
    resize(1034, 760);
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
    if (syncing_) {
        return;
    }
    handler();
    syncFromForm();
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
    connect(edit, &QLineEdit::textEdited, this, [this, name](const QString& text) {
        run([this, &name, &text] { form_.typeText(name, text.toStdString()); });
    });
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
        if (name == "chkSpot1" || name == "chkSave" || name == "chkBMP") {
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
    return frame;
}

QCheckBox* CorvaneWindow::buildSwitch(const CorvaneForm::SwitchControl& control) {
    auto* box = new QCheckBox(qs((form_.*(control.box)).Caption));
    box->setObjectName(control.name);
    checkBoxes_[control.name] = box;
    const std::string name = control.name;
    connect(box, &QCheckBox::clicked, this, [this, name](bool on) {
        run([this, &name, on] { form_.setSwitch(name, on ? 1 : 0); });
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

    layout->addWidget(buildLowerPanel());
    return panel;
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
    picturePlot_ = new PictureBox(form_.PicturePlot);
    picturePlot_->setObjectName("PicturePlot");
    lowerPanel_->addWidget(picturePlot_);
    lowerPanel_->addWidget(buildExtras());
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
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(2, 1);
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
    connect(saveCurve, &QAction::triggered, this, [this] { run([this] { form_.mnuSaveLightCurve_Click(); }); });
    QAction* saveAnimation = file->addAction("Save &Animation...");
    saveAnimation->setObjectName("mnuSaveAnimation");
    connect(saveAnimation, &QAction::triggered, this, [this] { run([this] { form_.mnuSaveAnimation_Click(); }); });
    file->addSeparator();
    QAction* refresh = file->addAction("&Refresh");
    refresh->setObjectName("mnuRefresh");
    refresh->setShortcut(QKeySequence::Refresh);
    connect(refresh, &QAction::triggered, this, [this] { run([this] { form_.mnuRefresh_Click(); }); });
    file->addSeparator();
    QAction* exitAction = file->addAction("E&xit");
    exitAction->setObjectName("mnuExit");
    connect(exitAction, &QAction::triggered, this, [this] {
        form_.mnuExit_Click();
        close();
    });

    QMenu* tools = menuBar()->addMenu("&Tools");
    QAction* equator = tools->addAction("&Equator Data");
    equator->setObjectName("mnuEquator");
    connect(equator, &QAction::triggered, this, [this] { run([this] { form_.mnuEquator_Click(); }); });
}

bool CorvaneWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == frameMessage_ && event->type() == QEvent::MouseButtonPress) {
        run([this] { form_.frameMessage_Click(); });
    }
    if (watched == picture1_ && event->type() == QEvent::Resize) {
        run([this] {
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
        frame->setTitle(qs(state->Caption));
        frame->setStyleSheet(QString("QGroupBox#%1::title { color: %2; }").arg(frame->objectName(), colorName(state->ForeColor)));
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
    picturePlot_->setMarker(form_.Curve.Line1X);
    picturePlot_->update();

    if (cmbFilter_->count() != static_cast<int>(form_.cmbFilter.Items.size())) {
        cmbFilter_->clear();
        for (const std::string& item : form_.cmbFilter.Items) {
            cmbFilter_->addItem(qs(item));
        }
    }
    cmbFilter_->setCurrentIndex(form_.cmbFilter.ListIndex);
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
        button->setFont(font);
        button->setStyleSheet(state->BackColor == CorvaneForm::ButtonFace ? QString()
                                                                           : QString("background-color: #808080;"));
    }
    lowerPanel_->setCurrentIndex(form_.TestingAreaFrameVisible ? 1 : form_.HelpAreaFrameVisible ? 2 : 0);

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
