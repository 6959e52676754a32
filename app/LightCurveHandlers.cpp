// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneForm.h"

#include "fitting/LightCurveFile.h"
#include "platform/AppFolder.h"
#include "platform/NumberFormat.h"
#include "platform/TextFile.h"
#include "precise/PreciseLight.h"
#include "roche/Constants.h"

#include <algorithm>
#include <cmath>

// The light curve, the plot panel, the animation and the help texts of the form.

namespace corvane::app {

using platform::MessageButtons;
using platform::Val;

namespace {

const char* kTitle = "Corvane";

// Whole degrees of an angle for display: Int() of the value, forgiving the last bits of a
// degrees -> radians -> degrees round trip (5 degrees must not show as 4).
std::string wholeDegrees(double radians) {
    return platform::GeneralNumber(std::floor(radians * 180 / Pi + 1e-9));
}

} // namespace

void CorvaneForm::cmbFilter_Click() {
    if (const auto f = lightcurve::filterChannels(cmbFilter.Text)) {
        Curve.ChannelFirst = f->first;
        Curve.ChannelLast = f->last;
        Curve.Channel = f->channel;
    }
    Refresh_Click();
}

void CorvaneForm::cmbPhotometry_Click() { Refresh_Click(); }

void CorvaneForm::cmbPassband_Click() {
    PassbandChosen = true;
    Refresh_Click();
}

void CorvaneForm::fillPreciseCurve() {
    if (LightRefused) {
        lblLightReport.Caption.clear();
        return; // lblLight says why: no curve until the coefficients can be used
    }
    const int points = std::clamp(Curve.LCPoints, 1, lightcurve::MaxPoint);
    const double stepDegrees = Val(txtAnimSpeed.Text);
    // The filter only chooses which of the same four channels are stored.
    const std::string key = lightKey() + "|" + txtAnimSpeed.Text + "|" + std::to_string(points);
    if (key != preciseKey_) {
        std::vector<double> etas;
        std::vector<int> slots;
        if (std::isfinite(stepDegrees) && stepDegrees >= MinSaveStep && stepDegrees >= 360.0 / points) {
            // The angles the animation visits from 0, summed as it sums them, so a precise file has
            // the phases of a pixel one.
            const double step = stepDegrees * Pi / 180;
            for (double eta = 0; eta < TwoPi; eta += step) {
                etas.push_back(eta);
                slots.push_back(lightcurve::phaseIndex(Curve.LCPoints, eta));
            }
        } else {
            for (int p = 0; p < points; ++p) {
                etas.push_back(TwoPi * p / points);
                slots.push_back(p);
            }
        }
        const precise::PreciseLight light(sceneInputs());
        preciseValues_ = light.curve(etas);
        std::string report;
        for (const std::string& line : lightReport(light)) {
            report += (report.empty() ? "" : "\n") + line;
        }
        lblLightReport.Caption = report;
        preciseEtas_ = std::move(etas);
        preciseSlots_ = std::move(slots);
        preciseKey_ = key;
    }
    const std::vector<double>& etas = preciseEtas_;
    const std::vector<int>& slots = preciseSlots_;
    const std::vector<precise::Channels>& values = preciseValues_;
    for (std::size_t k = 0; k < etas.size(); ++k) {
        const int slot = slots[k];
        if (slot < 0 || slot > lightcurve::MaxPoint) {
            continue;
        }
        Curve.PhaseAt[static_cast<std::size_t>(slot)] = etas[k];
        for (int channel = Curve.ChannelFirst; channel <= Curve.ChannelLast; ++channel) {
            double v = values[k][static_cast<std::size_t>(channel)];
            if (chkMag.checked()) {
                v = lightcurve::magnitude(v).value_or(0.0);
            }
            Curve.at(channel, slot) = v;
            Curve.Measured[static_cast<std::size_t>(slot)] |= static_cast<std::uint8_t>(1U << channel);
            Curve.LCMax = std::max(Curve.LCMax, v);
            Curve.LCMin = std::min(Curve.LCMin, v);
        }
    }
    Replot();
}

void CorvaneForm::Photometry_Click() {
    if (precisePhotometry()) {
        // The whole curve is already there: the frame only moves the phase marker.
        const int slot = lightcurve::phaseIndex(Curve.LCPoints, Eta);
        if (slot >= 0 && slot < Curve.LCPoints) {
            Curve.Line1X = slot;
        }
        return;
    }
    if (Eta == 0) {
        if (chkSave.checked()) {
            SaveFile();
        }
        Curve.Channel = lightcurve::nextChannel(Curve.Channel, Curve.ChannelFirst, Curve.ChannelLast, cmbFilter.Text, true);
    }
    lightcurve::MeasureFrame(Curve, Scene.Picture1, PicturePlot, Eta, chkMag.checked(), cmbFilter.Text);
}

void CorvaneForm::Replot() { lightcurve::Replot(Curve, PicturePlot); }

std::filesystem::path CorvaneForm::frameFile() const {
    return AppFolder / "Animation" / ("frame" + platform::Format(Eta * 180 / Pi, "000") + ".bmp");
}

void CorvaneForm::Timer1_Timer() {
    if (!AnimCheck.checked()) {
        return;
    }
    const double step = Val(txtAnimSpeed.Text) * Pi / 180;
    if (std::isfinite(step)) {
        Eta += step;
    }
    txtEta.Text = wholeDegrees(Eta) + " ";
    if (Eta >= TwoPi) {
        Eta = 0;
    }
    DrawStar();
    if (chkBMP.checked()) {
        // A missing folder makes the save fail; the series goes on without that frame.
        Scene.Picture1.save(frameFile());
    }
    if (chkBMP.checked() && Eta == 0) {
        chkBMP.Value = 0;
        AnimCheck.Value = 0;
        frameMessage.Visible = false;
        dialogs_->message("All of the Bitmaps have been created.", kTitle, MessageButtons::Ok);
    }
}

void CorvaneForm::chkBMP_Click() {
    if (!chkBMP.checked()) {
        return;
    }
    const std::string question = "A series of Bitmaps images will now be created in the application directory.\n"
                                 "You can then use IrfanView to convert these images to GIF's and then UnFREEz to "
                                 "create an animated GIF.\n"
                                 "Do you want create Bitmap files?";
    if (dialogs_->message(question, "Bitmaps", MessageButtons::YesNo, platform::MessageIcon::Question) !=
        platform::MessageAnswer::Yes) {
        chkBMP.Value = 0;
        return;
    }
    const std::filesystem::path folder = AppFolder / "Animation";
    bool created = false;
    if (!platform::ensureFolder(folder, created)) {
        chkBMP.Value = 0;
        ShowError(75, "The folder " + folder.string() + " could not be created", "chkBMP_Click");
        return;
    }
    if (created) {
        dialogs_->message("An Animation folder has been created at " + folder.string() + ".", kTitle, MessageButtons::Ok);
    }
    txtEta.Text = "0";
    AnimCheck.Value = 1;
    AnimCheck_Click();
    Refresh_Click();
    lblMessage.Caption = "Creating Bitmaps";
    frameMessage.Visible = true;
}

void CorvaneForm::chkSave_Click() {
    if (!chkSave.checked()) {
        // Unticked: the save is over, and so is its wait panel.
        frameMessage.Visible = false;
        SaveRevolutions = 0;
        return;
    }
    if (!(Val(txtAnimSpeed.Text) >= MinSaveStep)) {
        endSave("The light curve cannot be saved: the animation step is " + txtAnimSpeed.Text +
                " degrees, so a revolution never ends. Set \"Animation Step\" to 0.01 or more and save again.");
        return;
    }
    // The animation waits while the person reads what is about to happen.
    AnimCheck.Value = 0;
    std::filesystem::path file = LightCurveTarget;
    if (file.empty()) {
        const std::filesystem::path folder = AppFolder / "LightCurves";
        bool created = false;
        if (platform::ensureFolder(folder, created) && created) {
            dialogs_->message("A 'LightCurves' folder has been created at " + folder.string() + ".", kTitle,
                              MessageButtons::Ok);
        }
        file = folder / std::filesystem::path(txtFilename.Text).filename();
    }
    dialogs_->message("The light curves will be saved to " + file.string() +
                          ".\nPlease wait until the red, green, and blue light curve have been computed before "
                          "opening the output file.",
                      kTitle, MessageButtons::Ok);
    if (!chkSave.checked()) {
        return; // unticked meanwhile
    }
    cmdPlot_Click();
    if (precisePhotometry()) {
        // The curve is computed whole: written at once, the animation left as it was.
        const int animating = AnimCheck.Value;
        chkPhotometry.Value = 1;
        Refresh_Click();
        SaveFile();
        if (!chkSave.checked()) {
            AnimCheck.Value = animating;
        }
        return;
    }
    // Saving needs whole revolutions measured from their start.
    chkPhotometry.Value = 1;
    txtEta.Text = "0";
    AnimCheck.Value = 1;
    AnimCheck_Click();
    Refresh_Click();
    lblMessage.Caption = "Creating Light Curves";
    frameMessage.Visible = chkSave.checked();
}

void CorvaneForm::SaveFile() {
    SavedLines = 0;
    SaveComplete = true;
    std::filesystem::path file = LightCurveTarget;
    if (file.empty()) {
        // Only a plain file name is taken from the box: the file always goes into "LightCurves".
        std::filesystem::path name = std::filesystem::path(txtFilename.Text).filename();
        if (name.empty() || name == "." || name == "..") {
            name = "corvane1.csv";
        }
        file = AppFolder / "LightCurves" / name;
    }
    const fitting::LightCurveText out = fitting::FormatLightCurve(Curve, chkMag.checked(), curvePassband());
    SavedLines = out.SavedLines;
    SaveComplete = out.SaveComplete;
    ++SaveRevolutions;
    if (!SaveComplete) {
        // Called at the start of every revolution: the first call of a save has nothing yet, and a
        // filter of n channels is complete at the start of revolution n + 1. Past that something
        // keeps points from being measured; say so rather than turn for ever.
        const int needed = Curve.ChannelLast - Curve.ChannelFirst + 1;
        if (SaveRevolutions > needed + 2) {
            endSave("The light curve could not be completed after " + std::to_string(SaveRevolutions - 1) +
                    " revolutions: some points were never measured in every channel. Nothing was written.");
        }
        return; // an incomplete curve is never written: the file on disk stays whole
    }
    if (!(Curve.LCMax > 0)) {
        SaveComplete = false;
        endSave("The light curve was not saved: the picture is black at every phase, so there is no light to "
                "measure.");
        return;
    }
    if (const std::string problem = platform::writeFileWhole(file, out.text); !problem.empty()) {
        SaveComplete = false;
        // The described message, then the real cause.
        endSave("The output file is open by another application and cannot be created.\n(" + file.string() + ": " +
                problem + ")");
        return;
    }
    LastSavedFile = file;
    endSave("The light curves have been saved to " + file.string() + ".");
}

void CorvaneForm::showPanel(int which) {
    PanelButton* buttons[] = {&cmdPlot, &cmdExtras, &HelpButton};
    for (int k = 0; k < 3; ++k) {
        PanelButton& b = *buttons[k];
        b.Bold = k == which;
        b.FontSize = k == which ? 10 : 8;
        b.BackColor = k == which ? ButtonFace : 0x808080;
    }
    PicturePlotVisible = which == 0;
    TestingAreaFrameVisible = which == 1;
    HelpAreaFrameVisible = which == 2;
}

void CorvaneForm::cmdPlot_Click() { showPanel(0); }
void CorvaneForm::cmdExtras_Click() { showPanel(1); }
void CorvaneForm::HelpButton_Click() { showPanel(2); }

void CorvaneForm::frameMessage_Click() { frameMessage.Visible = false; }

void CorvaneForm::Label16_Click() {
    // An installed copy opens its documentation in the browser; from a build folder, or when no
    // browser starts, the manual built into the program is shown instead.
    if (!InstalledManual.empty() && dialogs_->openAddress(platform::fileAddress(InstalledManual))) {
        return;
    }
    dialogs_->showManual();
}

void CorvaneForm::mnuSaveLightCurve_Click() {
    cmdExtras_Click();
    chkSave.Value = 1;
    chkSave_Click();
}

void CorvaneForm::mnuSaveAnimation_Click() {
    cmdExtras_Click();
    chkBMP.Value = 1;
    chkBMP_Click();
}

void CorvaneForm::AddHelp() {
    const std::size_t first = HelpList.Items.size();
    for (const char* line : {"Inclinations are between 90\u00b0 for edge-on orbits and 0\u00b0 for face-on orbits.",
                             "The mass ratio is the mass of star 2 divided by the mass of star 1.", "",
                             "Star radii are relative to the stellar separations (0% to 100%).",
                             "'Latitude Lines' are the number of lines from the equator to the pole.",
                             "Limb darkening coefficients range from 0 to 1. ",
                             "Stellar temperatures range from about 3000 K to 50,000 K.", "",
                             "Orbit animation steps should be between 0\u00b0 and 20\u00b0.",
                             "If 'Tidal Effects' is unchecked then the stars will be assumed to be spherical.",
                             "When the Stefan-Boltzmann Law is applied some stars may not be visible",
                             "if the temperature differences between the two stars is too great.",
                             "", "and can be read with a spread sheet application or text viewer.", ""}) {
        HelpList.AddItem(line);
    }
    // Where the file goes: the application directory, unless the program is installed (or its folder
    // is read-only), when the line names the per-user folder it really goes to.
    std::error_code ec;
    const std::filesystem::path program = platform::executableFolder();
    std::string& where = HelpList.Items[first + 12];
    if (!program.empty() && std::filesystem::equivalent(AppFolder, program, ec)) {
        where = "The comma delimited output data file is saved to the application directory.";
    } else {
        where = "The comma delimited output data file is saved to " + (AppFolder / "LightCurves").string() + ".";
    }
}

std::string CorvaneForm::errorText(int eNumber, const std::string& eDesc, const std::string& LastOP) {
    return eDesc + " (Error " + std::to_string(eNumber) + ") occured in procedure " + LastOP + ". \r\n\r\n";
}

void CorvaneForm::ShowError(int eNumber, const std::string& eDesc, const std::string& LastOP) {
    dialogs_->message(errorText(eNumber, eDesc, LastOP), "Notice", MessageButtons::OkCancel);
}

} // namespace corvane::app
