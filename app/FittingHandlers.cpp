// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneForm.h"


#include "fitting/Ranks.h"
#include "fitting/Fit.h"
#include "fitting/GridPicture.h"
#include "fitting/Observations.h"
#include "platform/PlotPainter.h"
#include "fitting/RelativeError.h"
#include "fitting/StarParameters.h"
#include "platform/NumberFormat.h"
#include "platform/TextFile.h"
#include "fitting/Exposure.h"
#include "precise/PreciseLight.h"
#include "roche/Constants.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <fstream>
#include <iterator>

// The catalogue and slide show, the observed curve and its relative error, the parameter and
// picture files, and the grid search.

namespace corvane::app {

using platform::Format;
using platform::GeneralNumber;
using platform::MessageButtons;
using platform::Val;

namespace {

const char* kTitle = "Corvane";

std::string timeStamp(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[64];
    std::strftime(buf, sizeof buf, format, &local);
    return buf;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Catalogue and slide show

void CorvaneForm::AddStars() {
    const auto entries = catalogue::entries();
    Cat.assign(1001, catalogue::CatalogueEntry{});
    std::copy(entries.begin(), entries.end(), Cat.begin() + 1);
    StarCount = static_cast<int>(entries.size());
    StarNameList.Clear();
    for (int index = 1; index <= StarCount; ++index) {
        StarNameList.AddItem(Cat[static_cast<std::size_t>(index)].Name);
    }
}

void CorvaneForm::loadCatalogueEntry(int index) {
    if (index < 1 || index > StarCount) {
        return;
    }
    const catalogue::CatalogueEntry& e = Cat[static_cast<std::size_t>(index)];
    lblStarSource.Caption = catalogue::sourceNote(e);
    // A catalogue system is a binary: "Star 2 Active" back on (no click action: the caller's refresh
    // follows). Granulation and the rotation ratio are the person's own settings and stay.
    TwoStarsCheck.Value = 1;
    Qratio.Text = GeneralNumber(e.Q);
    txtIota.Text = GeneralNumber(e.Iota);
    txtTemp1.Text = GeneralNumber(e.Temp1);
    txtTemp2.Text = GeneralNumber(e.Temp2);
    txtRadius1.Text = GeneralNumber(e.Radius1);
    txtRadius2.Text = GeneralNumber(e.Radius2);
}

void CorvaneForm::StarNameList_Click(const std::string& selected) {
    for (int index = 1; index <= StarCount; ++index) {
        if (selected == Cat[static_cast<std::size_t>(index)].Name) {
            loadCatalogueEntry(index);
            StarNameListIndex = index - 1;
        }
    }
    Refresh_Click();
}

void CorvaneForm::SlideShow_Click() {
    if (SlideShow.Caption == "Start Slide Show") {
        SlideShowBefore = {AnimCheck.Value, chkPhotometry.Value, chkSpherical.Value, txtN1.Text};
        txtN1.Text = "15";
        SlideShow.Caption = "Stop Slide Show";
        lblSlideShow.Visible = true;
        SlideShowOn = true;
        AnimCheck.Value = 0;
        AnimCheck_Click();
        chkPhotometry.Value = 0;
        chkPhotometry_Click();
        chkSpherical.Value = 1;
        chkSpherical_Click();
        Eta = 0;
        txtEta.Text = " 0";
        Timer2Enabled = true;
        Refresh_Click();
    } else {
        Timer2Enabled = false;
        SlideShow.Caption = "Start Slide Show";
        SlideShowOn = false;
        // The system on show stays named and selected; what the show switched goes back.
        txtN1.Text = SlideShowBefore.txtN1;
        chkPhotometry.Value = SlideShowBefore.chkPhotometry;
        chkSpherical.Value = SlideShowBefore.chkSpherical;
        AnimCheck.Value = SlideShowBefore.AnimCheck;
        AnimCheck_Click();
        Refresh_Click();
    }
}

void CorvaneForm::Timer2_Timer() {
    if (!SlideShowOn) {
        return;
    }
    ++SlideIndex;
    if (SlideIndex > StarCount) {
        SlideIndex = 1;
    }
    loadCatalogueEntry(SlideIndex);
    StarNameListIndex = SlideIndex - 1; // the list follows the show
    Refresh_Click();
    lblSlideShow.Caption = Cat[static_cast<std::size_t>(SlideIndex)].Name;
}

void CorvaneForm::mnuRandomBinaryStar_Click() {
    RandomIndex = catalogue::randomIndex(Random.next(), StarCount);
    Caption = "Corvane Pro " + versionText() + " - Eclipsing Binary Stars " + std::to_string(RandomIndex);
    loadCatalogueEntry(RandomIndex);
    Refresh_Click();
}

void CorvaneForm::Command2_Click() {
    cmdExtras_Click();
    txtRotPer.Text = "0.21";
    txtN1.Text = "15";
    chkGran.Value = 1;
    chkGran_Click();
    TwoStarsCheck.Value = 0;
    TwoStarsCheck_Click();
}

// ---------------------------------------------------------------------------------------------
// The observed light curve

void CorvaneForm::mnuLoadLightCurve_Click() {
    txtLCName.Text = (AppFolder / "NGC188_V3_L2.csv").string();
    frmLoadLight.Visible = true;
}

void CorvaneForm::Command1_Click() { frmLoadLight.Visible = false; }

bool CorvaneForm::readObservedCurve() {
    const std::string path = txtLCName.Text;
    auto refuse = [&](const std::string& why) {
        LastLoadProblems = "The light curve " + path + " cannot be loaded: " + why;
        return false;
    };
    if (const std::string problem = platform::regularFileProblem(path); !problem.empty()) {
        return refuse(problem + ".");
    }
    fitting::Observations obs = fitting::readObservations(path);
    if (!obs.ok()) {
        return refuse(obs.problem);
    }
    double period = 0;
    const double epoch = Val(txtEpoch.Text);
    if (obs.abscissa == fitting::Abscissa::Time) {
        period = Val(txtPeriod.Text);
        if (!(period > 0) || !std::isfinite(period) || !std::isfinite(epoch)) {
            return refuse("it holds times (" + obs.xColumn + "), not phases. Type the period in days into \"Period\" and "
                          "the time of primary minimum into \"Epoch\" (on the Extras page), then load it again.");
        }
    }
    fitting::toMagnitudes(obs);
    if (obs.size() == 0) {
        return refuse("no flux in it is positive, so none can be a magnitude.");
    }
    TimedLight kept = foldKeepingPoints(obs, period, epoch);
    const std::size_t before = fitting::binInPhase(obs, static_cast<std::size_t>(lightcurve::MaxPoint));
    // The tables change only now, all together.
    auto& c = Curve;
    c.ObsCount = static_cast<std::int16_t>(obs.size());
    c.ObsMax = -1e14;
    c.ObsMin = 1e14;
    ObsHasErrors = obs.hasErrors();
    std::fill(ObsClipped.begin(), ObsClipped.end(), 0);
    ExtraLight.clear(); // a new first curve starts a new set of observations
    kept.degree = ObsTimed.degree; // the detrending chosen stays with the next file
    kept.gap = ObsTimed.gap;
    ObsTimed = std::move(kept);
    for (std::size_t k = 0; k < obs.size(); ++k) {
        c.ObsPhase[k + 1] = obs.x[k];
        c.ObsRaw[k + 1] = obs.value[k];
        ObsError[k + 1] = ObsHasErrors ? obs.error[k] : 0.0;
        c.ObsMax = std::max(c.ObsMax, obs.value[k]);
        c.ObsMin = std::min(c.ObsMin, obs.value[k]);
    }
    for (int i = 1; i <= c.ObsCount; ++i) {
        c.ObsValue[static_cast<std::size_t>(i)] = c.ObsMax + c.ObsMin - c.ObsRaw[static_cast<std::size_t>(i)];
    }
    lblObserved.Caption = fitting::describe(obs, before, period, epoch);
    // A mission's file says how long each point integrates: the model is averaged over it unless the
    // person chose an exposure.
    if (!ExposureChosen && ExposureFromFile) {
        txtExposure.Text = "0"; // the last file's cadence is not this one's
        ExposureFromFile = false;
    }
    if (Val(txtExposure.Text) > 0 && !(period > 0) && !(Val(txtPeriod.Text) > 0)) {
        lblObserved.Caption += " The exposure is not averaged over without a period (days) to make it a phase.";
    } else if (obs.exposureDays > 0 && !ExposureChosen) {
        const std::string seconds = GeneralNumber(std::round(obs.exposureDays * 86400 * 1000) / 1000);
        if (obs.exposureDays * 86400 >= AutoExposureSeconds) {
            txtExposure.Text = seconds;
            ExposureFromFile = true;
            lblObserved.Caption += " Each point integrates " + seconds + " s (the file's cadence): the model is "
                                   "averaged over it.";
        } else {
            lblObserved.Caption += " Each point integrates " + seconds + " s (the file's cadence): type it into "
                                   "Exposure (s) to average the model over it.";
        }
    }
    // A mission's file is in its band: taken unless the person chose one.
    if (!obs.band.empty() && !PassbandChosen && cmbPassband.Text != obs.band && cmbPassband.select(obs.band)) {
        lblObserved.Caption += " The file is from " + obs.band + ": the passband is now " + obs.band +
                               (precisePhotometry() ? "." : " (for the Precise photometry).");
        checkLight();
    }
    // A message only when the person must know something was changed or left out.
    LastLoadProblems = before > obs.size() || obs.skipped > 0 || obs.flagged > 0 ? lblObserved.Caption : "";
    ModelMax = -1e14;
    ModelMin = 1e14;
    std::fill(ModelAtObs.begin(), ModelAtObs.end(), 0.0);
    std::fill(ModelLightAtObs.begin(), ModelLightAtObs.end(), 0.0);
    lblChiSquare.Caption.clear();
    lblChiSquare.Visible = false;
    chiCaption_.clear();
    chkPhotometry.Value = 1;
    Text1.Visible = true;
    return true;
}

double CorvaneForm::observedPhaseShift() const {
    const double s = Val(txtPhaseShift.Text);
    return std::isfinite(s) ? std::clamp(s, -0.5, 0.5) : 0.0;
}

void CorvaneForm::computeModelAtObs(const std::function<void(int done, int total)>& progress,
                                    const std::atomic<bool>* cancel) {
    // Every frame is measured in one fixed channel, whatever channel the colour stepping of the
    // animation has reached, so one system and one file always give one error.
    const int channel = comparedChannel();
    const double shift = observedPhaseShift();
    ModelAtObsKey = modelKey();
    ModelMax = -1e14;
    ModelMin = 1e14;
    if (precisePhotometry() && LightRefused) {
        // Coefficients the law cannot use (lblLight says why): no model, so no error or fit either.
        std::fill(ModelAtObs.begin(), ModelAtObs.end(), 0.0);
        std::fill(ModelLightAtObs.begin(), ModelLightAtObs.end(), 0.0);
        ModelAtObsKey.clear();
        return;
    }
    // The light at each observed phase, or its average over the exposure.
    const double width = exposureWidth();
    ExposureReport.clear();
    std::vector<double> phases;
    for (int i = 1; i <= Curve.ObsCount; ++i) {
        phases.push_back(Curve.ObsPhase[static_cast<std::size_t>(i)] + shift + 0.25);
    }
    std::function<std::vector<double>(const std::vector<double>&)> lightsAt;
    std::optional<precise::PreciseLight> model;
    if (precisePhotometry()) {
        model.emplace(sceneInputs());
        lightsAt = [&](const std::vector<double>& at) {
            std::vector<double> etas;
            etas.reserve(at.size());
            for (const double phase : at) {
                etas.push_back(TwoPi * phase);
            }
            const std::vector<precise::Channels> values = model->curve(etas);
            std::vector<double> out;
            out.reserve(values.size());
            for (const precise::Channels& v : values) {
                out.push_back(v[static_cast<std::size_t>(channel)]);
            }
            return out;
        };
    } else {
        lightsAt = [&](const std::vector<double>& at) {
            std::vector<double> out;
            out.reserve(at.size());
            for (const double phase : at) {
                if (cancel != nullptr && *cancel) {
                    out.push_back(0);
                    continue;
                }
                Eta = TwoPi * phase;
                txtEta.Text = GeneralNumber(std::floor(Eta * 180 / Pi)) + " ";
                drawModelFrame();
                out.push_back(static_cast<double>(lightcurve::channelSum(Scene.Picture1, channel)));
                if (progress && width <= 0) {
                    progress(static_cast<int>(out.size()), Curve.ObsCount);
                }
            }
            return out;
        };
    }
    std::vector<double> lights;
    if (width > 0) {
        const fitting::ExposureAverage a = fitting::averageOverExposure(phases, width, ExposureTolerance, lightsAt);
        lights = a.light;
        ExposureReport = "Each model point is its light averaged over the " + GeneralNumber(Val(txtExposure.Text)) +
                         " s exposure (up to " + std::to_string(a.largest) + " points in it, " +
                         GeneralNumber(std::round(a.mean * 10) / 10) + " on average).";
    } else {
        lights = lightsAt(phases);
    }
    for (int i = 1; i <= Curve.ObsCount; ++i) {
        if (cancel != nullptr && *cancel) {
            break;
        }
        double value = lights[static_cast<std::size_t>(i - 1)];
        ModelLightAtObs[static_cast<std::size_t>(i)] = value;
        if (chkMag.checked()) {
            // A black frame has no magnitude; its 0 stays, as in the photometry.
            value = lightcurve::magnitude(value).value_or(value);
        }
        Curve.FrameSum = value;
        ModelAtObs[static_cast<std::size_t>(i)] = value;
        ModelMax = std::max(ModelMax, value);
        ModelMin = std::min(ModelMin, value);
        if (progress && (precisePhotometry() || width > 0)) {
            progress(i, Curve.ObsCount);
        }
    }
}

double CorvaneForm::exposureWidth() const {
    const double seconds = Val(txtExposure.Text);
    const double period = Val(txtPeriod.Text);
    if (!(seconds > 0) || !std::isfinite(seconds) || !(period > 0) || !std::isfinite(period)) {
        return 0;
    }
    return std::min(0.5, seconds / (period * 86400));
}

void CorvaneForm::txtExposure_KeyUp() { ExposureChosen = true; }

void CorvaneForm::finishObservedCurve() {
    if (!LastLoadProblems.empty()) {
        dialogs_->message(LastLoadProblems, kTitle, MessageButtons::Ok);
    }
    Refresh_Click();
    Timer1Enabled = true;
    frameMessage.Visible = false;
}

void CorvaneForm::cmdLoadLight_Click() {
    frameMessage.Visible = true;
    lblMessage.Caption = "Comparing light curves...";
    frmLoadLight.Visible = false;
    Timer1Enabled = false;
    if (!readObservedCurve()) {
        dialogs_->message(LastLoadProblems, kTitle, MessageButtons::Ok);
        Timer1Enabled = true;
        frameMessage.Visible = false;
        chkError.Value = 0;
        return;
    }
    if (chkError.checked()) {
        computeModelAtObs();
    }
    finishObservedCurve();
}

void CorvaneForm::chkError_Click() {
    if (Curve.ObsCount < 1 || !chkError.checked()) {
        return;
    }
    cmdLoadLight_Click();
}

std::optional<fitting::ChiSquare> CorvaneForm::chiSquareAtObs() const {
    const auto n = static_cast<std::size_t>(std::max<int>(Curve.ObsCount, 0));
    const std::vector<double> model = fitting::lightToMagnitudes(std::span(ModelLightAtObs).subspan(1, n));
    if (clippedCount() > 0) {
        // A point left out by the fit's clipping weighs nothing.
        std::vector<double> error(ObsError.begin() + 1, ObsError.begin() + 1 + static_cast<std::ptrdiff_t>(n));
        for (std::size_t k = 0; k < n; ++k) {
            error[k] = ObsClipped[k + 1] != 0 ? 0.0 : error[k];
        }
        return fitting::chiSquare(std::span(Curve.ObsRaw).subspan(1, n), error, model);
    }
    return fitting::chiSquare(std::span(Curve.ObsRaw).subspan(1, n), std::span(ObsError).subspan(1, n), model);
}

std::optional<fitting::ChiSquare> CorvaneForm::residualsAtObs() const {
    const auto n = static_cast<std::size_t>(std::max<int>(Curve.ObsCount, 0));
    const std::vector<double> model = fitting::lightToMagnitudes(std::span(ModelLightAtObs).subspan(1, n));
    std::vector<double> unit(n, 1.0);
    for (std::size_t k = 0; k < n; ++k) {
        unit[k] = ObsClipped[k + 1] != 0 ? 0.0 : 1.0;
    }
    return fitting::chiSquare(std::span(Curve.ObsRaw).subspan(1, n), unit, model);
}

void CorvaneForm::RelativeError() {
    Text1.Text.clear();
    Text1.Visible = true;
    lblError.Caption = "Relative Error: Loading...";
    const auto n = static_cast<std::size_t>(std::max<int>(Curve.ObsCount, 0));
    const fitting::RelativeErrorResult r = fitting::computeRelativeError(
        std::span(Curve.ObsPhase).subspan(1, n), std::span(Curve.ObsValue).subspan(1, n),
        std::span(ModelAtObs).subspan(1, n));
    Text1.Text = r.listing + "Channel compared: " + channelName(comparedChannel()) + "\r\n";
    lblError.Caption = fitting::relativeErrorCaption(r);
    lblError.Visible = true;
    lblChiSquare.Caption.clear();
    lblChiSquare.Visible = false;
    if (ObsHasErrors) {
        const auto chi = chiSquareAtObs();
        lblChiSquare.Caption = chi ? "Chi-Square per Point: " + Format(chi->perPoint(), "0.####") + " (" +
                                         std::to_string(chi->points) + " points, zero point " +
                                         Format(chi->zeroPoint, "0.####") + " mag)"
                                   : "Chi-Square per Point: none (no point has a usable error)";
        lblChiSquare.Visible = true;
        Text1.Text += lblChiSquare.Caption + "\r\n";
    }
    errorKey_ = ModelAtObsKey.empty() ? modelKey() : ModelAtObsKey;
    errorCaption_ = lblError.Caption;
    chiCaption_ = lblChiSquare.Caption;
}

// ---------------------------------------------------------------------------------------------
// Parameter sets and pictures

void CorvaneForm::mnuSaveBitmap_Click() {
    cmbSaveBMP.Caption = "Save";
    lblSaveAs.Caption = "Save Bitmap As . . . ";
    txtBMPName.Text = (AppFolder / "Stars" / "Star1.bmp").string();
    frameSaveBMP.Visible = true;
}

void CorvaneForm::mnuSaveStar_Click() {
    cmbSaveBMP.Caption = "Save";
    lblSaveAs.Caption = "Save Star Parameters As . . . ";
    txtBMPName.Text = (AppFolder / "Stars" / "Star1.txt").string();
    frameSaveBMP.Visible = true;
}

void CorvaneForm::mnuLoadStar_Click() {
    cmbSaveBMP.Caption = "Load";
    lblSaveAs.Caption = "Load Star Parameters . . . ";
    txtBMPName.Text = (AppFolder / "Stars" / "Star1.txt").string();
    frameSaveBMP.Visible = true;
}

void CorvaneForm::cmdCancel_Click() { frameSaveBMP.Visible = false; }

void CorvaneForm::cmbSaveBMP_Click() {
    const std::filesystem::path stars = AppFolder / "Stars";
    bool created = false;
    if (platform::ensureFolder(stars, created) && created) {
        dialogs_->message("A 'Stars' folder has been created at " + stars.string() + ".", kTitle, MessageButtons::Ok);
    }
    const std::filesystem::path file = txtBMPName.Text;
    if (lblSaveAs.Caption == "Save Bitmap As . . . ") {
        if (!Scene.Picture1.save(file)) {
            ShowError(75, "The picture could not be written to " + file.string(), "FileSave");
        }
    } else if (lblSaveAs.Caption == "Load Star Parameters . . . ") {
        std::ifstream in;
        const std::string problem = platform::regularFileProblem(file);
        if (problem.empty()) {
            in.open(file, std::ios::binary);
        }
        if (!problem.empty()) {
            ShowError(53, "The file " + file.string() + " cannot be opened: " + problem, "FileSave");
        } else if (!in) {
            ShowError(53, "The file " + file.string() + " cannot be opened", "FileSave");
        } else {
            std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::string why;
            if (text.find('\0') != std::string::npos) {
                ShowError(13, "The file " + file.string() + " is not a star-parameter file", "FileSave");
            } else if (const auto values = fitting::parseStarParameters(text, why)) {
                TextBox* boxes[] = {&Qratio, &txtIota, &txtRadius1, &txtRadius2, &txtTemp1, &txtTemp2, &txtLimb1, &txtLimb2};
                for (std::size_t k = 0; k < 8; ++k) {
                    boxes[k]->Text = (*values)[k];
                }
                Refresh_Click();
            } else {
                ShowError(13, "The file " + file.string() + " cannot be used: " + why, "FileSave");
            }
        }
    } else {
        const fitting::StarParameters texts{Qratio.Text, txtIota.Text, txtRadius1.Text, txtRadius2.Text,
                                            txtTemp1.Text, txtTemp2.Text, txtLimb1.Text, txtLimb2.Text};
        if (const std::string problem = platform::writeFileWhole(file, fitting::formatStarParameters(texts));
            !problem.empty()) {
            ShowError(75, "The star parameters could not be written to " + file.string() + " (" + problem + ")",
                      "FileSave");
        }
    }
    frameSaveBMP.Visible = false;
}

// ---------------------------------------------------------------------------------------------
// Grid search

namespace {

struct ParameterDefaults {
    const char* name;
    const char* initial;
    const char* final;
    const char* steps;
};

constexpr ParameterDefaults kDefaults[] = {
    {"Inclination", "80", "85", "10"},     {"Mass Ratio", "0.3", "0.5", "10"},
    {"Pole Radius #1", "0.200", "0.300", "10"}, {"Temperature #1", "4500", "5000", "10"},
    {"Temperature #2", "4500", "5000", "10"},
};

} // namespace

bool CorvaneForm::ensureOutputFolder(const std::string& name) {
    const std::filesystem::path folder = AppFolder / name;
    bool created = false;
    if (!platform::ensureFolder(folder, created)) {
        ShowError(75, "The folder " + folder.string() + " could not be created", "ensureOutputFolder");
        return false;
    }
    if (created) {
        dialogs_->message("A '" + name + "' folder has been created at " + folder.string() + ".", kTitle,
                          MessageButtons::Ok);
    }
    return true;
}

TextBox* CorvaneForm::parameterBox(const std::string& name) {
    if (name == "Inclination") {
        return &txtIota;
    }
    if (name == "Mass Ratio") {
        return &Qratio;
    }
    if (name == "Pole Radius #1") {
        return &txtRadius1;
    }
    if (name == "Temperature #1") {
        return &txtTemp1;
    }
    if (name == "Temperature #2") {
        return &txtTemp2;
    }
    return nullptr;
}

void CorvaneForm::cmbParameter_Click() {
    for (const ParameterDefaults& d : kDefaults) {
        if (cmbParameter.Text == d.name) {
            txtInitial.Text = d.initial;
            txtFinal.Text = d.final;
            txtSteps.Text = d.steps;
        }
    }
}

void CorvaneForm::cmbParameter2_Click() {
    for (const ParameterDefaults& d : kDefaults) {
        if (cmbParameter2.Text == d.name) {
            txtInitial2.Text = d.initial;
            txtFinal2.Text = d.final;
            txtSteps2.Text = d.steps;
        }
    }
}

std::filesystem::path CorvaneForm::runGridSearch(int threads,
                                                 const std::function<void(const fitting::GridProgress&)>& progress,
                                                 const std::atomic<bool>& cancel, std::string& why,
                                                 const std::filesystem::path& folderIn) {
    if (Curve.ObsCount < 1) {
        why = "load an observed light curve first";
        return {};
    }
    if (parameterBox(cmbParameter.Text) == nullptr || parameterBox(cmbParameter2.Text) == nullptr) {
        why = "choose the two parameters to vary";
        return {};
    }
    if (cmbParameter.Text == cmbParameter2.Text) {
        why = "the two parameters are the same (" + cmbParameter.Text + "): choose two different ones";
        return {};
    }
    auto steps = [](const TextBox& box) { return static_cast<int>(std::clamp(std::floor(Val(box.Text)), 0.0, 1000.0)); };
    const fitting::GridAxis a1{cmbParameter.Text, Val(txtInitial.Text), Val(txtFinal.Text), steps(txtSteps)};
    const fitting::GridAxis a2{cmbParameter2.Text, Val(txtInitial2.Text), Val(txtFinal2.Text), steps(txtSteps2)};
    if (a1.steps < 1 || a2.steps < 1) {
        why = "the number of steps must be at least 1 for both parameters";
        return {};
    }
    const std::filesystem::path folder = folderIn.empty() ? AppFolder / "RelativeErrors" : folderIn;
    bool created = false;
    if (!platform::ensureFolder(folder, created)) {
        why = "the folder " + folder.string() + " cannot be created";
        return {};
    }
    if (created && folderIn.empty()) {
        dialogs_->message("A 'RelativeErrors' folder has been created at " + folder.string() + ".", kTitle,
                          MessageButtons::Ok);
    }

    // The file is named by the moment the run starts.
    const std::string started = timeStamp("%Y%m%d%H%M%S");
    // Every grid point starts from this form as it is now, so no point depends on another or on
    // the thread that computes it.
    const CorvaneForm base = modelPassBase();

    auto makeEvaluator = [&base]() -> fitting::GridEvaluator {
        auto dialogs = std::make_shared<platform::ScriptedDialogs>();
        return [&base, dialogs](double p1, double p2) {
            CorvaneForm worker(base);
            worker.setDialogs(*dialogs);
            worker.parameterBox(worker.cmbParameter.Text)->Text = GeneralNumber(p1);
            worker.parameterBox(worker.cmbParameter2.Text)->Text = GeneralNumber(p2);
            worker.Refresh_Click();
            worker.computeModelAtObs();
            const auto n = static_cast<std::size_t>(worker.Curve.ObsCount);
            const fitting::RelativeErrorResult r = fitting::computeRelativeError(
                std::span(worker.Curve.ObsPhase).subspan(1, n), std::span(worker.Curve.ObsValue).subspan(1, n),
                std::span(worker.ModelAtObs).subspan(1, n));
            fitting::GridRow row;
            row.parameters = {worker.Qratio.Text,   worker.txtIota.Text,  worker.txtRadius1.Text,
                              worker.txtRadius2.Text, worker.txtTemp1.Text, worker.txtTemp2.Text,
                              worker.txtLimb1.Text,  worker.txtLimb2.Text};
            for (std::string& t : row.parameters) {
                t.erase(std::remove(t.begin(), t.end(), ','), t.end());
            }
            row.N = worker.LatLines;
            row.p1 = p1;
            row.p2 = p2;
            row.error = r.value;
            row.reason = r.reason;
            return row;
        };
    };
    std::vector<fitting::GridRow> rows = fitting::runGrid(a1, a2, threads, makeEvaluator, progress, cancel);
    const bool complete = !cancel;
    if (!complete) {
        // Keep what was finished: the points computed so far, in a file that says it is incomplete.
        std::erase_if(rows, [](const fitting::GridRow& r) { return r.reason == "cancelled"; });
        if (rows.empty()) {
            why = "the grid search was cancelled before any point was finished";
            return {};
        }
    }
    // Two runs finishing in the same second must not take one name: the file is created exclusively,
    // with a suffix when the name is taken.
    const std::string stamp = started + (complete ? "" : "-incomplete");
    LastGridRows = rows;
    LastGridAxis1 = a1;
    LastGridAxis2 = a2;
    if (!fitting::ranks::root()) {
        // One process of an MPI run writes the file; the others have the same rows.
        lblDCProgress.Caption = "Completed At " + timeStamp("%H:%M:%S") + ". Done!";
        return folder;
    }
    const std::string text = fitting::formatGridFile(rows);
    std::filesystem::path file;
    for (int k = 0; k < 1000; ++k) {
        file = folder / (stamp + (k == 0 ? "" : "-" + std::to_string(k)) + ".csv");
        bool existed = false;
        const std::string problem = platform::writeNewFile(file, text, existed);
        if (problem.empty()) {
            break;
        }
        if (!existed) {
            why = "the file " + file.string() + " could not be written (" + problem + ")";
            return {};
        }
        file.clear();
    }
    if (file.empty()) {
        why = "no free file name was found in " + folder.string();
        return {};
    }
    // The error map beside the table, under the same name.
    std::filesystem::path picture = file;
    picture.replace_extension(".png");
    if (const std::string problem = platform::savePlot(fitting::gridPicture(a1, a2, rows), picture, 800, 600);
        !problem.empty()) {
        picture.clear();
    }
    if (!complete) {
        why = "the grid search was cancelled; the " + std::to_string(rows.size()) + " points finished were written to " +
              file.string();
        lblDCProgress.Caption = "Cancelled: " + std::to_string(rows.size()) + " points written to " + file.string();
        return file;
    }
    lblDCProgress.Caption = "Completed At " + timeStamp("%H:%M:%S") + ". Done!";
    return file;
}

CorvaneForm CorvaneForm::modelPassBase() const {
    CorvaneForm base(*this);
    base.chkError.Value = 0;
    base.chkSave.Value = 0;
    base.chkBMP.Value = 0;
    base.AnimCheck.Value = 0;
    base.SlideShowOn = false;
    // An evaluation needs the model at the observed phases only: with precise photometry the refresh
    // would also compute the whole plotted curve, which nobody sees.
    base.chkPhotometry.Value = precisePhotometry() ? 0 : 1;
    return base;
}

bool CorvaneForm::applyBestGridPoint() {
    const auto best = fitting::bestGridRow(LastGridRows);
    TextBox* b1 = parameterBox(LastGridAxis1.name);
    TextBox* b2 = parameterBox(LastGridAxis2.name);
    if (!best || b1 == nullptr || b2 == nullptr) {
        return false;
    }
    b1->Text = GeneralNumber(best->p1);
    b2->Text = GeneralNumber(best->p2);
    Refresh_Click();
    return true;
}

} // namespace corvane::app
