// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneForm.h"

#include "lightcurve/CurvePlot.h"
#include "platform/GifWriter.h"
#include "platform/NumberFormat.h"
#include "platform/PlotPainter.h"
#include "platform/TextFile.h"
#include "roche/Constants.h"

#include <cmath>

// Exports: the light-curve plot as a picture, the animation as a GIF or as PNG frames.

namespace corvane::app {

lightcurve::CurvePlotInputs CorvaneForm::curvePlotInputs(int width, int height) const {
    lightcurve::CurvePlotInputs in;
    in.magnitudeScale = chkMag.checked();
    in.width = width;
    in.height = height;
    in.comparedChannel = comparedChannel();
    in.band = curvePassband();
    const auto n = static_cast<std::size_t>(std::max<int>(Curve.ObsCount, 0));
    for (std::size_t i = 1; i <= n; ++i) {
        in.obsPhase.push_back(Curve.ObsPhase[i] + observedPhaseShift());
        in.obsMag.push_back(Curve.ObsRaw[i]);
        if (ObsHasErrors) {
            in.obsError.push_back(ObsError[i]);
        }
    }
    // The model at the observed phases, when it was computed for the model on show.
    if (n > 0 && !ModelAtObsKey.empty() && ModelAtObsKey == modelKey()) {
        in.modelLightAtObs.assign(ModelLightAtObs.begin() + 1, ModelLightAtObs.begin() + 1 + static_cast<std::ptrdiff_t>(n));
    }
    // The marker follows the frame on show whenever the photometry measures it, turning or not.
    if (Curve.LCPoints > 0 && chkPhotometry.checked() && PhaseMarkerShown) {
        in.markerPhase = static_cast<double>(Curve.Line1X) / Curve.LCPoints - 0.25;
    }
    return in;
}

platform::PlotDescription CorvaneForm::curvePlotDescription(int width, int height) const {
    return lightcurve::curvePlot(Curve, curvePlotInputs(width, height));
}

std::string CorvaneForm::savePlot(const std::filesystem::path& file, int width, int height) const {
    return platform::savePlot(curvePlotDescription(width, height), file, width, height);
}

int CorvaneForm::animationFrames(double stepDegrees) {
    if (!(stepDegrees >= MinSaveStep) || !std::isfinite(stepDegrees)) {
        return 0;
    }
    return static_cast<int>(std::ceil(360 / stepDegrees - 1e-9));
}

std::string CorvaneForm::saveAnimation(const std::filesystem::path& target, double stepDegrees, bool gif,
                                       const std::function<void(int done, int total)>& progress,
                                       const std::atomic<bool>* cancel) {
    const int frames = animationFrames(stepDegrees);
    if (frames < 1) {
        return "the step must be a number of degrees from " + platform::GeneralNumber(MinSaveStep) + " up";
    }
    const double before = Eta;
    // A degree a centisecond: a revolution lasts 3.6 s (longer when the frames would be too short).
    platform::GifWriter writer(Picture1Width, Picture1Height, static_cast<int>(std::lround(stepDegrees)));
    std::string problem;
    if (!gif) {
        bool created = false;
        if (!platform::ensureFolder(target, created)) {
            return "the folder " + target.string() + " cannot be created";
        }
    }
    for (int k = 0; k < frames && problem.empty(); ++k) {
        if (cancel != nullptr && *cancel) {
            problem = "cancelled";
            break;
        }
        Eta = k * stepDegrees * Pi / 180;
        drawModelFrame();
        if (gif) {
            if (!writer.addFrame(Scene.Picture1)) {
                problem = writer.problem();
            }
        } else {
            const std::filesystem::path file = target / ("frame" + platform::Format(k * stepDegrees, "000") + ".png");
            std::string why;
            if (!Scene.Picture1.save(file, &why)) {
                problem = "the frame " + file.string() + " could not be written (" + why + ")";
            }
        }
        if (progress) {
            progress(k + 1, frames);
        }
    }
    Eta = before;
    drawModelFrame();
    if (problem.empty() && gif) {
        problem = writer.finish(target);
    }
    return problem;
}

} // namespace corvane::app
