// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "BatchTool.h"
#include "InterruptWatcher.h"
#include "Posterior.h"
#include "TimingCommands.h"

#include "app/CorvaneForm.h"
#include "app/Version.h"
#include "platform/Dialogs.h"
#include "platform/Interrupt.h"
#include "platform/NumberFormat.h"
#include "platform/TextFile.h"
#include "fitting/Evaluate.h"
#include "fitting/Ranks.h"
#include "fitting/StarParameters.h"
#include "light/Passband.h"
#include "precise/PreciseLight.h"
#include "precise/VolumeRadius.h"
#include "render/StarColor.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iterator>
#include <thread>
#include <tuple>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <unistd.h>
#include <cmath>
#include <ostream>
#include <iomanip>
#include <sstream>

namespace corvane::cli {

namespace {

const char* kDescription =
    "corvane-cli: the Corvane eclipsing-binary model without a window.\n"
    "It starts the model exactly as the window does (default system, 10 latitude lines), applies the\n"
    "--set values in the order given, recomputes once and runs the command.";

const char* kFooter =
    "\nControls for --set NAME=VALUE:\n"
    "  text boxes  txtIota (inclination, degrees), Qratio (mass ratio M2/M1), txtN1 (latitude lines),\n"
    "              txtRadius1, txtRadius2 (pole radii of star 1, the star eclipsed at phase 0, and of\n"
    "              star 2, in units of the separation; lists adds their volume-equivalent radii, the\n"
    "              ones papers quote), txtLimb1, txtLimb2\n"
    "              (limb darkening), txtTemp1, txtTemp2 (kelvin), txtAnimSpeed (degrees per step),\n"
    "              txtGamma (axis tilt), txtEta (rotation angle, degrees), txtRotPer (rotation ratio,\n"
    "              days), txtZoom (percent), txtTempSpot1, txtSpotLat1, txtSpotLon1, txtRadSpot1 (spot)\n"
    "              VALUE is taken as typed text: out-of-range values are clamped as in the window.\n"
    "  check boxes chkAuto, chkNeck, chkSpherical (tidal effects), chkStefan, chkSimAreas, chkMag,\n"
    "              chkGran, TwoStarsCheck, AnimCheck, chkPhotometry, chkSpot1: VALUE is 0 or 1\n"
    "  options     chkPaint, chkGrid, chkDots: VALUE 1 selects the drawing mode\n"
    "  combo boxes cmbStarSpot1 (1 or 2), cmbFilter (RGB, LRGB, L, R, G, B), cmbPhotometry (Pixels:\n"
    "              the picture's pixels, as the window measures them; Precise: the exact integral)\n"
    "  light       cmbPassband (Screen colour, Bolometric, TESS, Kepler, Johnson U B V, Cousins R I,\n"
    "              Gaia G BP RP, SDSS u g r i z, 2MASS J H Ks and more: see the README), cmbLimbLaw\n"
    "              (Linear, Quadratic, Square root, Logarithmic, Power-2), txtLimb1b, txtLimb2b (the laws'\n"
    "              second coefficients), txtGravity1, txtGravity2 (gravity-darkening exponents, 0 to 1),\n"
    "              txtAlbedo1, txtAlbedo2 (bolometric albedos, 0 to 1), txtThirdLight (L3, 0 to 0.99)\n"
    "  orbit       txtEccentricity (0 to 0.95; above 0 the radii are in units of the semi-major axis,\n"
    "              a Roche star's pole radius at periastron, and phase 0 is mid primary eclipse),\n"
    "              txtOmega (star 1's argument of periastron, degrees), txtApsidal (degrees per\n"
    "              cycle), txtGammaVelocity (km/s), txtSemiMajorAxis (solar radii); txtVsini1, txtVsini2\n"
    "              (km/s, 0: synchronous) and txtLambda1, txtLambda2 (spin-orbit angles, degrees) for\n"
    "              the Rossiter-McLaughlin effect of the Precise velocities; chkLightTime\n"
    "              (the light-time delay across the orbit, with a and the period)\n"
    "  observations txtPeriod (days), txtEpoch (time of primary minimum), txtPhaseShift (revolutions),\n"
    "              txtExposure (seconds each point integrates); --period, --epoch and --exposure on\n"
    "              compare, grid, fit, mcmc and plot set them\n"
    "  other       txtFilename (light-curve file name: lightcurve without --out writes it into\n"
    "              LightCurves/ in the output folder); chkSave and chkBMP belong to the window (use\n"
    "              the lightcurve and render commands: a command writes only the file it is given)\n"
    "\nFiles:\n"
    "  A command writes the file given to its --out. Without one, lightcurve and grid write into the\n"
    "  output folder: beside the program when it runs from its build folder, otherwise (installed)\n"
    "  $XDG_DATA_HOME/corvane, by default ~/.local/share/corvane.\n"
    "\nExamples:\n"
    "  corvane-cli --set Qratio=1 lists\n"
    "  corvane-cli --set Qratio=0.3 --set txtRadius1=0.48 --set chkAuto=1 lists\n"
    "  corvane-cli --set txtN1=5 equator\n"
    "  corvane-cli --set chkSpherical=0 --set txtIota=90 render --out a.png\n"
    "  corvane-cli render --eta 90 --size 1024x640 --out quarter.bmp\n"
    "  corvane-cli --set cmbFilter=LRGB lightcurve --step 1 --out lc.csv\n"
    "  corvane-cli --star \"FZ Ori (Ravik)\" lists\n"
    "  corvane-cli catalogue\n"
    "  corvane-cli --set chkMag=1 compare --observed curve.csv --listing\n"
    "  corvane-cli grid --observed curve.csv --p1 Inclination --from 80 --to 85 --steps 5 \\\n"
    "              --p2 \"Mass Ratio\" --from2 0.3 --to2 0.5 --steps2 5 --out results\n"
    "  corvane-cli --size 1200x600 plot --out curve.svg --observed curve.csv\n"
    "  corvane-cli animate --out orbit.gif --step 10\n"
    "  corvane-cli --set cmbPhotometry=Precise fit --observed series.txt --period 2.4731 \\\n"
    "              --epoch 2459001.3 --free \"Inclination,Mass Ratio\" --out fitted.txt\n"
    "  corvane-cli --set cmbPhotometry=Precise mcmc --observed series.txt --period 2.4731 \\\n"
    "              --epoch 2459001.3 --free \"Inclination,Mass Ratio\" --chain chain.csv --corner corner.png\n"
    "  mpirun -np 4 corvane-cli grid ...      (any of grid, fit and mcmc: the same result, shared out)\n"
    "  corvane-cli fit --list curves.txt --free Inclination --task-index 0 --task-count 8\n"
    "  corvane-cli merge fit-task-*-of-8.csv --out fits.csv\n"
    "\nExit status: 0 done, 1 failed, 2 bad command line (unknown control or value), 130 interrupted\n"
    "(long commands keep what they finished).\n";

// Applies one NAME=VALUE; returns an error text, empty when it was taken.
std::string applySetting(app::CorvaneForm& form, const std::string& setting) {
    const auto eq = setting.find('=');
    if (eq == std::string::npos || eq == 0) {
        return "--set expects NAME=VALUE, got '" + setting + "'";
    }
    const std::string name = setting.substr(0, eq);
    if (name == "chkSave" || name == "chkBMP") {
        // In the window these start writing files beside the program; a batch command writes only
        // the file it is asked for.
        return "control '" + name + "' cannot be set here: use '" + (name == "chkSave" ? "lightcurve" : "render") +
               " --out FILE' to write that file";
    }
    return form.applySetting(name, setting.substr(eq + 1));
}

// Runs the animation from Eta = 0 with "Photometry" and "Save Light Curve" on, exactly as the
// window would, until the curve is complete; the form then writes it straight to outFile (whole, or
// not at all), so nothing is left behind anywhere if the run is interrupted.
int saveLightCurve(app::CorvaneForm& form, platform::ScriptedDialogs& dialogs, const std::string& outFile,
                   std::ostream& err) {
    const double step = platform::Val(form.txtAnimSpeed.Text);
    if (!(step > 0)) {
        err << "corvane-cli: the animation step is " << form.txtAnimSpeed.Text
            << " degrees: the system never turns, so no light curve can be measured\n";
        return 1;
    }
    if (step < app::CorvaneForm::MinSaveStep) {
        err << "corvane-cli: the animation step " << form.txtAnimSpeed.Text << " degrees is below "
            << app::CorvaneForm::MinSaveStep << " degree: a revolution would take too many frames\n";
        return 2;
    }
    form.LightCurveTarget = outFile;
    const int channels = form.Curve.ChannelLast - form.Curve.ChannelFirst + 1;
    const int revolutions = channels + 3;
    const bool progress = ::isatty(2) != 0;
    const std::size_t messagesBefore = dialogs.shown.size();
    form.chkSave.Value = 1;
    form.chkSave_Click();

    int done = 0;
    const long long ticksPerRevolution = static_cast<long long>(std::ceil(360.0 / std::min(step, 20.0))) + 2;
    for (long long tick = 0; form.chkSave.checked() && done < revolutions && tick < ticksPerRevolution * revolutions;
         ++tick) {
        if (platform::interrupted()) {
            err << "\ncorvane-cli: interrupted; no light curve was written\n";
            return 130;
        }
        form.Timer1_Timer();
        if (form.Eta == 0) {
            ++done;
        }
        if (progress && tick % 10 == 0) {
            err << "\rcorvane-cli: revolution " << (done + 1) << " of at most " << revolutions << ", "
                << static_cast<int>(form.Eta * 180 / 3.14159265358979) << " degrees   " << std::flush;
        }
    }
    if (progress) {
        err << "\n";
    }
    const bool saved = !form.LastSavedFile.empty() && !form.chkSave.checked();
    for (std::size_t k = messagesBefore; k < dialogs.shown.size(); ++k) {
        const std::string& text = dialogs.shown[k].text;
        if (!saved && text.find("will be saved") == std::string::npos) {
            err << "corvane-cli: " << text << '\n';
        }
    }
    if (!saved) {
        if (form.chkSave.checked()) {
            err << "corvane-cli: the light curve was not complete after " << revolutions << " revolutions\n";
        }
        return 1;
    }
    // The curve keeps one point per column of the plot: a finer step draws more frames, not more points.
    const int columns = std::min(form.Curve.LCPoints, lightcurve::MaxPoint);
    if (columns > 0 && std::min(step, 20.0) < 360.0 / columns) {
        err << "corvane-cli: " << form.SavedLines / (form.curvePassband().empty() ? 2 : 1) << " points a revolution were written, not "
            << static_cast<long long>(std::ceil(360.0 / step)) << ": the curve keeps one point per plot column (" << columns
            << " at this --size), so a step finer than " << platform::GeneralNumber(360.0 / columns)
            << " degrees only draws more frames; a wider --size (up to " << lightcurve::MaxPoint
            << " columns) keeps more\n";
    }
    return 0;
}

std::string withoutCarriageReturns(const std::string& text) {
    std::string plain;
    for (char c : text) {
        if (c != '\r') {
            plain.push_back(c);
        }
    }
    return plain;
}

// "fit": loads the curve, frees the named parameters and runs the optimiser; prints NAME = VALUE per
// parameter and the error line, the report on standard error. An interrupt cancels the fit, which
// still prints (and saves) its best point, then exits 130.
int runFitCommand(app::CorvaneForm& form, const std::string& observed, const std::string& freeList,
                const std::string& outFile, const std::string& saveFit, const std::string& tableFile,
                const std::string& plotFile, int threads, std::ostream& out, std::ostream& err) {
    std::vector<std::string> names;
    if (!freeList.empty() || form.FitFree.empty()) {
        if (const int status = parseFreeList(freeList, names, err); status != 0) {
            return status;
        }
        form.FitFree = names;
    } else {
        names = form.FitFree; // the fit file's
    }
    if (!observed.empty()) { // else a fit file loaded the curve
        form.txtLCName.Text = observed;
        if (!form.readObservedCurve()) {
            err << "corvane-cli: " << form.LastLoadProblems << '\n';
            return 1;
        }
    }
    err << "corvane-cli: " << form.lblObserved.Caption << '\n';
    const bool terminal = ::isatty(2) != 0;
    std::atomic<bool> cancel{false};
    InterruptWatcher watcher(cancel);
    int lastReported = 0;
    app::CorvaneForm::FitOutcome outcome;
    std::string why;
    const bool weighted = form.ObsHasErrors;
    const bool ok = form.runFit(
        threads > 0 ? threads : fitting::defaultThreads(),
        [&](int evaluations, double best) {
            if (terminal) {
                err << "\rcorvane-cli: fit: " << evaluations << " evaluations, best "
                    << (weighted ? "chi-square per point " : "RMS residual (mag) ") << platform::GeneralNumber(best) << "   "
                    << std::flush;
            } else if (evaluations - lastReported >= 25) {
                lastReported = evaluations;
                err << "corvane-cli: fit: " << evaluations << " evaluations, best "
                    << (weighted ? "chi-square per point " : "RMS residual (mag) ") << platform::GeneralNumber(best) << '\n';
            }
        },
        cancel, outcome, why);
    watcher.stop();
    if (terminal) {
        err << '\n';
    }
    if (!ok) {
        err << "corvane-cli: " << why << '\n';
        return 1;
    }
    err << withoutCarriageReturns(outcome.report);
    for (std::size_t k = 0; k < outcome.names.size(); ++k) {
        out << outcome.names[k] << " = " << platform::GeneralNumber(outcome.values[k]) << '\n';
    }
    out << (outcome.weighted ? "Chi-Square per Point = " : "RMS Residual = ") << platform::GeneralNumber(outcome.objective)
        << '\n';
    if (!tableFile.empty() && fitting::ranks::root()) {
        // Numbers in full: the table is for reading into other programs; the report rounds them.
        auto number = [](double v) {
            std::ostringstream text;
            text.imbue(std::locale::classic());
            text << std::setprecision(10) << v;
            return std::isfinite(v) ? text.str() : std::string();
        };
        std::string text = "quantity,value,error,unit\n";
        for (std::size_t k = 0; k < outcome.names.size(); ++k) {
            const auto& e = outcome.errors[k];
            text += "\"" + outcome.names[k] + "\"," + number(outcome.values[k]) + "," + (e ? number(*e) : std::string()) +
                    ",\n";
        }
        for (const auto& d : outcome.derived) {
            text += "\"" + d.name + "\"," + number(d.value) + "," + number(d.sigma) + ",\"" + d.unit + "\"\n";
        }
        if (const std::string problem = platform::writeFileWhole(tableFile, text); !problem.empty()) {
            err << "corvane-cli: the table could not be saved to '" << tableFile << "': " << problem << '\n';
            return 1;
        }
    }
    if (!plotFile.empty() && fitting::ranks::root()) {
        // The fitted model over the observations as the fit left them (detrended, clipped points out).
        // The model drawn at a fine step, so the line follows the eclipses' ingress; on a copy, so the
        // fit's own settings stay as they are for what is saved next.
        platform::ScriptedDialogs quiet;
        app::CorvaneForm drawn(form);
        drawn.setDialogs(quiet);
        drawn.PhaseMarkerShown = false;
        if (drawn.precisePhotometry() && platform::Val(drawn.txtAnimSpeed.Text) > 0.5) {
            drawn.txtAnimSpeed.Text = "0.5";
            drawn.Refresh_Click();
            drawn.computeModelAtObs();
        }
        if (const std::string problem = drawn.savePlot(plotFile, 1200, 700); !problem.empty()) {
            err << "corvane-cli: the plot could not be written to '" << plotFile << "': " << problem << '\n';
            return 1;
        }
    }
    if (!saveFit.empty() && fitting::ranks::root()) {
        const std::filesystem::path target = std::filesystem::absolute(saveFit);
        if (const std::string problem =
                platform::writeFileWhole(target, fitting::formatFitFile(form.currentFitFile(), target.parent_path()));
            !problem.empty()) {
            err << "corvane-cli: the fit file could not be saved to '" << saveFit << "': " << problem << '\n';
            return 1;
        }
    }
    if (!outFile.empty() && fitting::ranks::root()) {
        const fitting::StarParameters texts{form.Qratio.Text,   form.txtIota.Text,  form.txtRadius1.Text,
                                            form.txtRadius2.Text, form.txtTemp1.Text, form.txtTemp2.Text,
                                            form.txtLimb1.Text,  form.txtLimb2.Text};
        std::string text = fitting::formatStarParameters(texts);
        // The phase shift is not a star parameter, but the fit is not whole without it: a comment
        // line after the eight values, which Load Star passes over.
        if (const double shift = form.observedPhaseShift(); shift != 0 || std::find(names.begin(), names.end(), "Phase Shift") != names.end()) {
            text += "# Phase Shift = " + platform::GeneralNumber(shift) +
                    " revolutions (added to every observed phase: --set txtPhaseShift=" + platform::GeneralNumber(shift) +
                    ")\n";
        }
        if (const std::string problem = platform::writeFileWhole(outFile, text);
            !problem.empty()) {
            err << "corvane-cli: the fitted parameters could not be written to '" << outFile << "' (" << problem << ")\n";
            return 1;
        }
    }
    if (outcome.cancelled) {
        err << "corvane-cli: interrupted: the best point so far is printed\n";
        return 130;
    }
    return 0;
}

// "rv": the model's velocity curves written as a table and/or plotted, with the velocities of any
// --rv1 and --rv2 files compared.
int runVelocityCommand(app::CorvaneForm& form, const std::string& outFile, const std::string& plotFile, double step,
                       int width, int height, std::ostream& out, std::ostream& err) {
    if (outFile.empty() && plotFile.empty()) {
        err << "corvane-cli: rv needs --out FILE or --plot FILE\n";
        return 2;
    }
    if (!(form.orbitScale().K1 > 0)) {
        err << "corvane-cli: rv needs the orbit's size: the semi-major axis (--set txtSemiMajorAxis=SOLAR_RADII) and "
               "the period (--period DAYS)\n";
        return 2;
    }
    if (!(step >= app::CorvaneForm::MinSaveStep) || !std::isfinite(step)) {
        err << "corvane-cli: --step expects degrees from " << app::CorvaneForm::MinSaveStep << " up\n";
        return 2;
    }
    if (!outFile.empty()) {
        std::string text = "phase,rv1,rv2\n";
        for (const auto& [phase, v1, v2] : form.velocityCurve(step)) {
            text += platform::Format(phase, "0.##########") + "," + platform::Format(v1, "0.000000") + "," +
                    platform::Format(v2, "0.000000") + "\n";
        }
        if (const std::string problem = platform::writeFileWhole(outFile, text); !problem.empty()) {
            err << "corvane-cli: the velocities could not be written to '" << outFile << "': " << problem << '\n';
            return 1;
        }
    }
    if (!plotFile.empty()) {
        if (const std::string problem = form.saveVelocityPlot(plotFile, width, height); !problem.empty()) {
            err << "corvane-cli: the velocity plot could not be written to '" << plotFile << "': " << problem << '\n';
            return 1;
        }
    }
    for (const std::string& line : form.velocityReport()) {
        out << line << '\n';
    }
    return 0;
}

// "plot": the curve as the window would show it once the system has turned (the precise curve at
// once, the pixel one over one revolution per channel), the observations on its axis, written to a
// picture of the tool's --size.
int runPlotCommand(app::CorvaneForm& form, const std::string& outFile, const std::string& observed, int width,
                   int height, std::ostream& err) {
    form.PhaseMarkerShown = false;
    if (!form.precisePhotometry()) {
        const double step = platform::Val(form.txtAnimSpeed.Text);
        if (!(step > 0)) {
            err << "corvane-cli: the animation step is " << form.txtAnimSpeed.Text
                << " degrees: the system never turns, so no light curve can be measured\n";
            return 1;
        }
        form.chkPhotometry.Value = 1;
        form.AnimCheck.Value = 1;
        const int channels = form.Curve.ChannelLast - form.Curve.ChannelFirst + 1;
        const long long ticks = (static_cast<long long>(std::ceil(360.0 / std::min(step, 20.0))) + 1) * (channels + 1);
        for (long long t = 0; t < ticks; ++t) {
            if (platform::interrupted()) {
                err << "corvane-cli: interrupted; no plot was written\n";
                return 130;
            }
            form.Timer1_Timer();
        }
        form.AnimCheck.Value = 0;
    }
    if (!observed.empty()) {
        form.txtLCName.Text = observed;
        if (!form.readObservedCurve()) {
            err << "corvane-cli: " << form.LastLoadProblems << '\n';
            return 1;
        }
        err << "corvane-cli: " << form.lblObserved.Caption << '\n';
        form.computeModelAtObs();
    }
    if (const std::string problem = form.savePlot(outFile, width, height); !problem.empty()) {
        err << "corvane-cli: the plot could not be written to '" << outFile << "': " << problem << '\n';
        return 1;
    }
    return 0;
}

void printList(std::ostream& out, const char* heading, const app::ListBox& list) {
    out << heading << '\n';
    for (const std::string& item : list.Items) {
        out << item << '\n';
    }
}

} // namespace

int runBatchTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CLI::App cliApp{kDescription, "corvane-cli"};
    cliApp.footer(kFooter);
    cliApp.require_subcommand(1);
    cliApp.set_version_flag("--version", std::string("corvane-cli ") + CORVANE_VERSION, "Print the version and exit");

    std::vector<std::string> settings;
    cliApp.add_option("--set", settings, "Set a control as if edited in the window (repeatable)")
        ->type_name("NAME=VALUE")
        ->take_all();

    std::string size = "800x500";
    cliApp.add_option("--size", size, "Picture size in pixels, WIDTHxHEIGHT (default 800x500)")->type_name("WxH");

    CLI::App* lists = cliApp.add_subcommand("lists", "Print the \"Roche Lobe\" and \"Current Parameters\" lists");
    CLI::App* equator = cliApp.add_subcommand("equator", "Run \"Equator Data\" and print its table");
    CLI::App* render = cliApp.add_subcommand("render", "Draw the current frame and write it as PNG (or BMP for .bmp)");
    std::string outFile;
    double etaDegrees = 0;
    render->add_option("--out", outFile, "The picture file to write")->required()->type_name("FILE");
    CLI::Option* etaOption =
        render->add_option("--eta", etaDegrees, "Rotation angle in degrees, set before drawing")->type_name("DEGREES");
    CLI::App* lightcurve =
        cliApp.add_subcommand("lightcurve", "Turn the system through its orbit with photometry on and save the light curve");
    std::string curveFile;
    double stepDegrees = 0;
    lightcurve
        ->add_option("--out", curveFile,
                     "The light-curve file to write (comma-separated; default: txtFilename in LightCurves/ in "
                     "the output folder, whose path is printed)")
        ->type_name("FILE");
    CLI::Option* stepOption =
        lightcurve->add_option("--step", stepDegrees, "Animation step in degrees (default: the control's value)")
            ->type_name("DEGREES");
    std::string starName;
    cliApp.add_option("--star", starName, "Start from this catalogue system (before the --set values)")
        ->type_name("NAME");

    CLI::App* catalogueCommand =
        cliApp.add_subcommand("catalogue", "List the catalogue: index, name, q, i, r1, r2, T1, T2, source");

    CLI::App* compare = cliApp.add_subcommand("compare", "Load an observed curve, draw the model at its phases and "
                                                         "print the relative error");
    std::string observedFile;
    bool listing = false;
    compare->add_option("--observed", observedFile, "Observed light curve: lines of phase, magnitude")
        ->required()
        ->type_name("FILE");
    compare->add_flag("--listing", listing, "Also print the point-by-point comparison");
    // A time series is folded with a period and an epoch; a file of phases needs neither.
    std::string periodText, epochText, exposureText;
    auto addEphemeris = [&](CLI::App* sub) {
        sub->add_option("--period", periodText, "Orbital period in days, to fold a time series")->type_name("DAYS");
        sub->add_option("--epoch", epochText, "Time of primary minimum, in the file's own time scale")->type_name("TIME");
        sub->add_option("--exposure", exposureText,
                        "Seconds each observed point integrates: the model is averaged over it (needs the period; "
                        "a TESS or Kepler FITS file gives its cadence)")
            ->type_name("SECONDS")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    };
    addEphemeris(compare);

    CLI::App* grid = cliApp.add_subcommand("grid", "Grid search: the relative error over two parameters' ranges");
    std::string gridObserved, p1Name, p2Name, gridOut;
    double from1 = 0, to1 = 0, from2 = 0, to2 = 0;
    int steps1 = 0, steps2 = 0;
    int threads = 0;
    grid->add_option("--observed", gridObserved, "Observed light curve")->required()->type_name("FILE");
    grid->add_option("--p1", p1Name, "Parameter #1 (rows): Inclination, \"Mass Ratio\", \"Pole Radius #1\", "
                                     "\"Temperature #1\" or \"Temperature #2\"")
        ->required();
    grid->add_option("--from", from1, "First value of parameter #1")->required();
    grid->add_option("--to", to1, "Last value of parameter #1")->required();
    grid->add_option("--steps", steps1, "Number of values of parameter #1 (first and last included)")->required();
    grid->add_option("--p2", p2Name, "Parameter #2 (columns)")->required();
    grid->add_option("--from2", from2, "First value of parameter #2")->required();
    grid->add_option("--to2", to2, "Last value of parameter #2")->required();
    grid->add_option("--steps2", steps2, "Number of values of parameter #2")->required();
    grid->add_option("--out", gridOut, "Folder for the result (default: RelativeErrors in the output folder)")
        ->type_name("DIR");
    grid->add_option("--threads", threads, "Worker threads (default: every core)");
    addEphemeris(grid);

    CLI::App* fit = cliApp.add_subcommand("fit", "Fit parameters to observed curves by Levenberg-Marquardt (or the simplex) and print "
                                                 "them as NAME = VALUE");
    std::string fitObserved, freeList, fitOut;
    std::vector<std::string> fitObservedAll, mcmcObservedAll;
    fit->add_option("--observed", fitObservedAll,
                    "Observed light curve (text or FITS); repeat it to fit several together, each with the "
                    "--passband and --exposure that follow it")
        ->type_name("FILE");
    fit->add_option("--free", freeList,
                    "The parameters to fit, comma-separated, by caption or box name: Inclination (txtIota), Mass "
                    "Ratio (Qratio), Pole Radius #1, Pole Radius #2, Temperature #1, Temperature #2, Limb Darkening "
                    "#1, Limb Darkening #2, Phase Shift, Third Light (Precise), Eccentricity, Periastron, e "
                    "cos(omega), e sin(omega); with --rv1 or --rv2 also Semi-major Axis, Systemic Velocity, v sin i "
                    "#1, v sin i #2, Spin-Orbit Angle #1, Spin-Orbit Angle #2")
        ->type_name("\"NAME,NAME,...\"");
    fit->add_option("--out", fitOut, "Also save the fitted parameter set (parameter-file format)")->type_name("FILE");
    std::string saveFitFile;
    fit->add_option("--save-fit", saveFitFile, "Also save the fit as a fit file, the fitted values as its starts")
        ->type_name("FITFILE");
    std::string tableFile;
    fit->add_option("--table", tableFile,
                    "Also write the table of results: each fitted and derived quantity with its error (CSV: "
                    "quantity,value,error,unit)")
        ->type_name("FILE");
    std::string fitPlot;
    fit->add_option("--plot", fitPlot,
                    "Also draw the fitted curve over the observations as the fit prepared them (PNG or SVG, "
                    "1200x700)")
        ->type_name("FILE");
    fit->add_option("--threads", threads, "Worker threads (default: every core, shared by the MPI processes on it)");
    addEphemeris(fit);

    CLI::App* mcmc = cliApp.add_subcommand(
        "mcmc", "Fit, then sample the posterior of the free parameters (affine-invariant ensemble sampler); print "
                "NAME = MEDIAN -LOW +HIGH (16th and 84th percentiles) and the acceptance fraction");
    std::string mcmcObserved, mcmcFree;
    PosteriorOptions posterior;
    mcmc->add_option("--observed", mcmcObservedAll, "Observed light curve (text or FITS); repeatable, as for fit")
        ->type_name("FILE");
    mcmc->add_option("--free", mcmcFree, "The parameters to sample, comma-separated (as for fit)")
        ->type_name("\"NAME,NAME,...\"");
    mcmc->add_option("--error-scale", posterior.errorScale,
                     "free (the default): each file's errors scaled by a factor of its own, marginalised, so the "
                     "intervals widen with the residuals; fixed: the errors as given")
        ->check(CLI::IsMember({"free", "fixed"}))
        ->type_name("free|fixed");
    mcmc->add_option("--walkers", posterior.walkers, "Walkers: even, at least twice the parameters (default 32)");
    mcmc->add_option("--steps", posterior.steps, "Steps in all, counting the start (default 2000)");
    mcmc->add_option("--burn", posterior.burn, "Steps left out of the summary (default: a quarter)");
    mcmc->add_option("--seed", posterior.seed, "Seed of the random numbers (default 1): the same seed, the same chain");
    mcmc->add_option("--chain", posterior.chainFile, "Write the chain here as CSV (step, walker, parameters, "
                                                     "log-likelihood)")
        ->type_name("FILE");
    mcmc->add_flag("--resume", posterior.resume, "Continue the chain in --chain until it has --steps steps");
    mcmc->add_option("--corner", posterior.cornerFile, "Write the corner plot (PNG or SVG; square unless --size is given)")
        ->type_name("FILE");
    mcmc->add_option("--threads", threads, "Worker threads (default: every core, shared by the MPI processes on it)");
    addEphemeris(mcmc);

    // Array tasks of a batch scheduler: a share of a list of files each.
    ListJob listJob;
    std::optional<int> taskIndex, taskCount;
    for (CLI::App* sub : {fit, mcmc}) {
        sub->add_option("--list", listJob.listFile, "A list of observed files, one a line: FILE [PERIOD EPOCH]")
            ->type_name("FILE");
        sub->add_option("--task-index", taskIndex, "This task's index, 0 .. count - 1 (default $SLURM_ARRAY_TASK_ID)");
        sub->add_option("--task-count", taskCount, "The tasks the list is shared among (default $SLURM_ARRAY_TASK_COUNT)");
        sub->add_option("--results", listJob.resultFile, "This task's result file (default KIND-task-I-of-N.csv)")
            ->type_name("FILE");
    }

    CLI::App* merge = cliApp.add_subcommand("merge", "Gather the result files of a list's tasks into one table");
    std::vector<std::string> mergeFiles;
    std::string mergeOut;
    merge->add_option("files", mergeFiles, "The tasks' result files")->required()->type_name("FILE...");
    merge->add_option("--out", mergeOut, "Write the table here (default: standard output)")->type_name("FILE");

    CLI::App* plot = cliApp.add_subcommand("plot", "Compute the light curve and write its plot (axes, legend, observations "
                                                   "and residuals) as PNG or SVG at --size");
    std::string plotOut, plotObserved;
    plot->add_option("--out", plotOut, "The picture to write: FILE.png or FILE.svg")->required()->type_name("FILE");
    plot->add_option("--observed", plotObserved, "An observed curve drawn on the model's axis, with residuals")
        ->type_name("FILE");
    addEphemeris(plot);
    CLI::App* animate = cliApp.add_subcommand("animate", "Write one revolution as an animated GIF that loops (or, for an "
                                                         "--out without .gif, PNG frames into that folder)");
    std::string animateOut;
    double animateStep = 0;
    animate->add_option("--out", animateOut, "orbit.gif, or a folder for frame000.png ...")->required()->type_name("FILE");
    CLI::Option* animateStepOption =
        animate->add_option("--step", animateStep, "Degrees between frames (default: the animation step)")->type_name("DEG");

    CLI::App* periodCommand = cliApp.add_subcommand("period", "Search a time series for its period and epoch of "
                                                               "primary minimum");
    std::vector<std::string> timingFiles;
    double minDays = 0, maxDays = 0;
    bool lomb = false;
    periodCommand->add_option("--observed", timingFiles, "A time series (repeat to join files of one time scale)")
        ->required()
        ->type_name("FILE");
    periodCommand->add_option("--min", minDays, "Shortest trial period (default: 3 median samplings, at least 0.05 d)")
        ->type_name("DAYS");
    periodCommand->add_option("--max", maxDays, "Longest trial period (default: half the time span)")->type_name("DAYS");
    periodCommand->add_flag("--lomb-scargle", lomb, "Lomb-Scargle instead of phase dispersion (contact, ellipsoidal)");
    std::string timingPlot;
    periodCommand->add_option("--plot", timingPlot, "Write the periodogram as PNG or SVG at --size")->type_name("FILE");
    CLI::App* minimaCommand = cliApp.add_subcommand("minima", "Time every covered eclipse (Kwee and van Woerden) and fit "
                                                              "the ephemeris");
    double minimaPeriod = 0, minimaEpoch = 0;
    bool quadratic = false;
    minimaCommand->add_option("--observed", timingFiles, "A time series (repeatable)")->required()->type_name("FILE");
    minimaCommand->add_option("--period", minimaPeriod, "Period in days (default: searched)")->type_name("DAYS");
    CLI::Option* minimaEpochOption =
        minimaCommand->add_option("--epoch", minimaEpoch, "Epoch of primary minimum (default: timed)")->type_name("TIME");
    minimaCommand->add_flag("--quadratic", quadratic, "Fit a quadratic ephemeris (dP/dt) too");
    minimaCommand->add_option("--plot", timingPlot, "Write the O-C diagram as PNG or SVG at --size")->type_name("FILE");

    CLI::App* rvCommand = cliApp.add_subcommand("rv", "Write the model's radial-velocity curves as phase,rv1,rv2 (km/s, "
                                                       "positive receding), from txtSemiMajorAxis, the period and q");
    std::string rvOut, rvPlot;
    double rvStep = 1;
    rvCommand->add_option("--out", rvOut, "The file to write (comma-separated: phase,rv1,rv2)")->type_name("FILE");
    rvCommand->add_option("--step", rvStep, "Degrees of the mean anomaly between points (default 1)")->type_name("DEG");
    rvCommand->add_option("--plot", rvPlot, "Write the velocity curves (with any --rv1, --rv2 observations and their "
                                            "residuals) as PNG or SVG at --size")
        ->type_name("FILE");
    addEphemeris(rvCommand);
    // Radial velocities of either star: compared with the model (compare, rv) and drawn (plot, rv).
    std::vector<std::string> rv1Files, rv2Files;
    for (CLI::App* sub : {compare, plot, rvCommand, fit, mcmc}) {
        sub->add_option("--rv1", rv1Files, "Radial velocities of star 1: time (or phase), km/s[, error] (repeatable)")
            ->type_name("FILE");
        sub->add_option("--rv2", rv2Files, "Radial velocities of star 2 (repeatable)")->type_name("FILE");
    }

    std::string fitMethod;
    for (CLI::App* sub : {fit, mcmc}) {
        sub->add_option("--method", fitMethod,
                        "The optimiser: lm (Levenberg-Marquardt, the default) or simplex (the downhill simplex)")
            ->check(CLI::IsMember({"simplex", "lm"}))
            ->type_name("simplex|lm");
    }
    std::string fitGlobal;
    for (CLI::App* sub : {fit, mcmc}) {
        sub->add_option("--global", fitGlobal,
                        "The global search (differential evolution) before the optimiser: auto (when the local fit "
                        "misses an eclipse's depth or ends at a reduced chi-square above 10, the default), always, "
                        "never")
            ->check(CLI::IsMember({"auto", "always", "never"}))
            ->type_name("auto|always|never");
    }
    // A fit file (TOML: settings, files, parameters with starts, bounds, priors; see the README).
    std::string fitFileName;
    for (CLI::App* sub : {fit, mcmc}) {
        sub->add_option("fitfile", fitFileName, "A fit file describing the whole fit; the command line's --set, "
                                                "--free, --prior, --clip and velocity files apply on top of it")
            ->type_name("FITFILE");
    }
    // What a fit weighs beside the observations, and the points it leaves out.
    std::vector<std::string> priorTexts;
    double clipSigma = 0;
    for (CLI::App* sub : {fit, mcmc}) {
        sub->add_option("--prior", priorTexts,
                        "A Gaussian prior, NAME=VALUE+-SIGMA (repeatable): a fit parameter (caption or box name) or "
                        "k (r2/r1 of the volume radii), r1+r2, Light Ratio (L2/L1 at phase 0.25)")
            ->type_name("\"NAME=VALUE+-SIGMA\"");
        sub->add_option("--clip", clipSigma,
                        "Leave out observed points more than SIGMA robust standard deviations from the fitted model "
                        "(flares), fitting again until none is added")
            ->type_name("SIGMA");
    }

    // A polynomial trend in time for each light curve, fitted with the model.
    std::string detrendText, gapText;
    for (CLI::App* sub : {fit, mcmc}) {
        sub->add_option("--detrend", detrendText,
                        "Fit a polynomial of this degree in time to the light curve before it (the first when "
                        "given before any --observed), alternately with the model")
            ->type_name("DEGREE")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        sub->add_option("--gap", gapText,
                        "With --detrend: a polynomial for each stretch of the series between gaps longer than DAYS "
                        "(default: one for the file)")
            ->type_name("DAYS")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }

    // The band of a text file's observations (a mission's FITS file names its own): the passband
    // the model is computed in, as --set cmbPassband=NAME.
    std::string passbandName;
    for (CLI::App* sub : {compare, fit, mcmc, plot}) {
        sub->add_option("--passband", passbandName, "The observations' band: the precise model is computed in it "
                                                    "(as --set cmbPassband=NAME)")
            ->type_name("NAME")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast); // fit, mcmc: one a file
    }
    for (CLI::App* sub : {lists, equator, render, lightcurve, catalogueCommand, compare, grid, fit, plot, animate,
                          periodCommand, minimaCommand, mcmc, merge, rvCommand}) {
        sub->fallthrough();
    }

    // Name a mistyped command rather than just asking for one.
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--set") {
            ++i;
        } else if (a == "--size" || a == "--out" || a == "--eta" || a == "--step" || a == "--star" ||
                   a == "--observed" || a == "--p1" || a == "--p2" || a == "--from" || a == "--to" ||
                   a == "--steps" || a == "--from2" || a == "--to2" || a == "--steps2" || a == "--threads" ||
                   a == "--period" || a == "--epoch" || a == "--free" || a == "--min" || a == "--max" || a == "--plot" ||
                   a == "--walkers" || a == "--burn" || a == "--seed" || a == "--chain" || a == "--corner" ||
                   a == "--list" || a == "--task-index" || a == "--task-count" || a == "--results" ||
                   a == "--passband" || a == "--rv1" || a == "--rv2" || a == "--prior" || a == "--clip" ||
                   a == "--method" || a == "--save-fit" || a == "--table" || a == "--detrend" || a == "--gap" ||
                   a == "--global" || a == "--error-scale") {
            ++i;
        } else if (!a.empty() && a[0] != '-') {
            static const char* commands[] = {"lists", "equator", "render", "lightcurve", "catalogue", "compare",
                                             "grid",  "fit",     "plot",   "animate",    "period",    "minima",
                                             "mcmc",  "merge",   "rv"};
            if (std::none_of(std::begin(commands), std::end(commands), [&](const char* c) { return a == c; })) {
                err << "corvane-cli: unknown command '" << a
                    << "' (commands: lists, equator, render, lightcurve, catalogue, compare, grid, fit, plot, animate, period, minima, "
                       "mcmc, merge, rv)\n";
                return 2;
            }
            break;
        }
    }

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        cliApp.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << cliApp.help();
        return 0;
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << '\n';
        return 0;
    } catch (const CLI::ParseError& e) {
        err << "corvane-cli: " << e.what() << "\nRun 'corvane-cli --help' for the commands and controls.\n";
        return 2;
    }

    // Several light curves to fit together: each takes the --passband and --exposure that follow it
    // (the first file's are the settings', as with one file).
    struct ObservedFile {
        std::string file, passband, exposure, detrend, gap;
    };
    std::vector<ObservedFile> observedFiles;
    ObservedFile leading; // given before any --observed: the first file's (or a fit file's first)
    if (fit->parsed() || mcmc->parsed()) {
        for (std::size_t i = 0; i + 1 < args.size(); ++i) {
            const std::string& a = args[i];
            if (a == "--observed") {
                observedFiles.push_back({args[i + 1], {}, {}, {}, {}});
            } else if (a == "--passband" || a == "--exposure" || a == "--detrend" || a == "--gap") {
                ObservedFile& to = observedFiles.empty() ? leading : observedFiles.back();
                (a == "--passband" ? to.passband : a == "--exposure" ? to.exposure : a == "--detrend" ? to.detrend : to.gap) =
                    args[i + 1];
            }
        }
        if (!observedFiles.empty()) {
            for (auto [mine, lead] : {std::pair{&observedFiles.front().passband, &leading.passband},
                                      std::pair{&observedFiles.front().exposure, &leading.exposure},
                                      std::pair{&observedFiles.front().detrend, &leading.detrend},
                                      std::pair{&observedFiles.front().gap, &leading.gap}}) {
                if (mine->empty()) {
                    *mine = *lead;
                }
            }
        }
        const std::vector<std::string>& all = fit->parsed() ? fitObservedAll : mcmcObservedAll;
        (fit->parsed() ? fitObserved : mcmcObserved) = all.empty() ? std::string() : all.front();
        if (observedFiles.size() != all.size()) {
            observedFiles.clear(); // written as --observed=FILE: one file, the settings' band
            for (const std::string& f : all) {
                observedFiles.push_back({f, {}, {}, {}, {}});
            }
        }
        if (observedFiles.size() > 1) {
            passbandName = observedFiles.front().passband;
            exposureText = observedFiles.front().exposure;
        }
        if (!observedFiles.empty()) {
            leading.detrend = observedFiles.front().detrend;
            leading.gap = observedFiles.front().gap;
        }
        if (leading.detrend.empty() && leading.gap.empty() && std::none_of(observedFiles.begin(), observedFiles.end(), [](const ObservedFile& f) {
                return !f.detrend.empty() || !f.gap.empty();
            })) {
            leading.detrend = detrendText; // written as --detrend=DEGREE
            leading.gap = gapText;
        }
    }
    // A degree of detrending and its gap as typed: the degree, or why not.
    auto detrendOf = [](const std::string& degree, const std::string& gap, int& d, double& g) -> std::string {
        d = -1;
        g = 0;
        if (!degree.empty()) {
            const double v = platform::Val(degree);
            if (!(v >= 0) || v > fitting::MaxDetrendDegree || v != std::floor(v)) {
                return "--detrend expects a whole degree, 0 to " + std::to_string(fitting::MaxDetrendDegree) + ", got '" +
                       degree + "'";
            }
            d = static_cast<int>(v);
        }
        if (!gap.empty()) {
            g = platform::Val(gap);
            if (!(g >= 0) || !std::isfinite(g)) {
                return "--gap expects days, 0 or more, got '" + gap + "'";
            }
            if (degree.empty()) {
                return "--gap splits the series for --detrend: give the degree too";
            }
        }
        return {};
    };

    int width = 0;
    int height = 0;
    char x = 0;
    std::istringstream sizeText(size);
    if (!(sizeText >> width >> x >> height) || (x != 'x' && x != 'X') || width < 16 || height < 16 || width > 10000 ||
        height > 10000 || sizeText.peek() != EOF) {
        err << "corvane-cli: --size expects WIDTHxHEIGHT between 16 and 10000 pixels, got '" << size << "'\n";
        return 2;
    }

    platform::ScriptedDialogs dialogs;
    app::CorvaneForm form(dialogs);
    form.setPictureSize(width, height);
    form.Form_Load();
    if (!starName.empty()) {
        const auto& names = form.StarNameList.Items;
        if (std::find(names.begin(), names.end(), starName) == names.end()) {
            err << "corvane-cli: no catalogue system is called '" << starName
                << "' (corvane-cli catalogue lists them)\n";
            return 2;
        }
        form.StarNameList_Click(starName);
    }
    const bool stepGiven = lightcurve->parsed() && stepOption->count() > 0;
    if (stepGiven && std::isfinite(stepDegrees) && stepDegrees >= app::CorvaneForm::MinSaveStep) {
        // The step first as well: a precise curve computed while the settings apply is then the one
        // the command saves, not one at the default step thrown away.
        form.typeText("txtAnimSpeed", platform::GeneralNumber(stepDegrees));
    }
    for (const std::string& setting : settings) {
        if (const std::string problem = applySetting(form, setting); !problem.empty()) {
            err << "corvane-cli: " << problem << '\n';
            return 2;
        }
    }
    if (!passbandName.empty() && !form.chooseItem("cmbPassband", passbandName)) {
        err << "corvane-cli: no passband is called '" << passbandName << "' (the bands: Screen colour, Bolometric";
        for (const light::PassbandTable& band : light::passbands()) {
            err << ", " << band.name;
        }
        err << ")\n";
        return 2;
    }
    if (etaOption->count() > 0) {
        if (!std::isfinite(etaDegrees)) {
            err << "corvane-cli: --eta expects a number of degrees\n";
            return 2;
        }
        form.txtEta.Text = platform::GeneralNumber(etaDegrees);
        form.txtEta_KeyUp();
    }
    form.Refresh_Click();
    for (const auto& shown : dialogs.shown) {
        err << "corvane-cli: message: " << shown.text << '\n';
    }
    if (form.LightRefused) {
        err << "corvane-cli: " << form.lblLight.Caption << '\n';
        return 2;
    }
    if (!form.lblLight.Caption.empty()) {
        err << "corvane-cli: note: " << form.lblLight.Caption << '\n';
    }

    if (!periodText.empty() || !epochText.empty()) {
        const double p = platform::Val(periodText);
        if (!periodText.empty() && !(p > 0 && std::isfinite(p))) {
            err << "corvane-cli: --period expects a positive number of days, got '" << periodText << "'\n";
            return 2;
        }
        form.txtPeriod.Text = periodText;
        form.txtEpoch.Text = epochText.empty() ? "0" : epochText;
    }
    if (!exposureText.empty()) {
        const double s = platform::Val(exposureText);
        if (!(s >= 0 && std::isfinite(s))) {
            err << "corvane-cli: --exposure expects seconds (0 or more), got '" << exposureText << "'\n";
            return 2;
        }
        if (s > 0 && !(platform::Val(form.txtPeriod.Text) > 0) && fitFileName.empty()) { // a fit file gives its own
            err << "corvane-cli: --exposure needs --period: the exposure is averaged over as a fraction of the orbit\n";
            return 2;
        }
        form.txtExposure.Text = exposureText;
        form.ExposureChosen = true;
    }

    for (const auto& [star, files] : {std::pair{1, &rv1Files}, std::pair{2, &rv2Files}}) {
        for (const std::string& file : *files) {
            if (const std::string problem = form.loadVelocities(star, file); !problem.empty()) {
                err << "corvane-cli: " << problem << '\n';
                return 1;
            }
        }
    }
    if (form.Eccentricity > 0 && !form.lblOrbit.Caption.empty() &&
        form.lblOrbit.Caption.find("taken as circular") != std::string::npos) {
        err << "corvane-cli: note: " << form.lblOrbit.Caption.substr(0, form.lblOrbit.Caption.find('\n')) << '\n';
    }

    if (lists->parsed()) {
        printList(out, "Roche Lobe", form.RocheList);
        printList(out, "Current Parameters", form.StarSizeList);
        // Papers quote the radius of the sphere of the star's volume; the lists give pole radii.
        out << "Volume-Equivalent Radii\n";
        const double q = form.Q;
        for (const auto& [name, radius, ratio] :
             {std::tuple{"r1", form.Radius1, q}, std::tuple{"r2", form.Radius2, 1 / q}}) {
            // An eccentric orbit's radii are in units of a, a Roche star keeping its periastron volume.
            const double near = 1 - form.Eccentricity;
            auto r = precise::volumeEquivalentRadius(ratio, radius / near);
            if (r) {
                *r *= near;
            }
            out << name << "(vol) = " << (r ? platform::Format(*r, "0.####") : std::string("none (it fills its lobe)"))
                << '\n';
        }
        // The light ratio, the surface-brightness ratios and the mean temperatures, what papers quote.
        for (const std::string& line : form.lightReport(precise::PreciseLight(form.sceneInputs()))) {
            out << line << '\n';
        }
        if (form.Eccentricity > 0 && !form.lblOrbit.Caption.empty()) {
            out << "Orbit\n" << form.lblOrbit.Caption.substr(0, form.lblOrbit.Caption.find('\n')) << '\n';
        }
        const std::vector<std::string> dimensions = form.dimensionsReport();
        if (!dimensions.empty()) {
            out << "Absolute Dimensions\n";
            for (const std::string& line : dimensions) {
                out << line << '\n';
            }
        }
        out << "Star 1 is the star eclipsed at phase 0; Qratio is M2/M1; radii are in units of the "
            << (form.Eccentricity > 0 ? "semi-major axis" : "separation") << " (pole radii unless named)\n";
    } else if (equator->parsed()) {
        form.mnuEquator_Click();
        std::string text = form.Text1.Text;
        std::string plain;
        for (char c : text) {
            if (c != '\r') {
                plain.push_back(c);
            }
        }
        out << plain;
    } else if (render->parsed()) {
        std::string why;
        if (!form.Scene.Picture1.save(outFile, &why)) {
            err << "corvane-cli: could not write the picture to '" << outFile << "': " << why << "\n";
            return 1;
        }
    } else if (catalogueCommand->parsed()) {
        for (int index = 1; index <= form.StarCount; ++index) {
            const auto& e = form.Cat[static_cast<std::size_t>(index)];
            out << index << ',' << e.Name << ',' << platform::GeneralNumber(e.Q) << ','
                << platform::GeneralNumber(e.Iota) << ',' << platform::GeneralNumber(e.Radius1) << ','
                << platform::GeneralNumber(e.Radius2) << ',' << platform::GeneralNumber(e.Temp1) << ','
                << platform::GeneralNumber(e.Temp2) << ',' << e.Source << '\n';
        }
    } else if (compare->parsed()) {
        form.txtLCName.Text = observedFile;
        form.chkError.Value = 1;
        const std::size_t before = dialogs.shown.size();
        form.cmdLoadLight_Click();
        bool describedRead = false; // the message of a binned or trimmed file is the caption itself
        for (std::size_t k = before; k < dialogs.shown.size(); ++k) {
            err << "corvane-cli: " << dialogs.shown[k].text << '\n';
            describedRead = describedRead || dialogs.shown[k].text == form.lblObserved.Caption;
        }
        if (form.Curve.ObsCount < 1 || form.lblError.Caption == "Relative Error:") {
            return 1;
        }
        if (listing) {
            std::string plain;
            for (char ch : form.Text1.Text) {
                if (ch != '\r') {
                    plain.push_back(ch);
                }
            }
            out << plain;
        }
        if (!describedRead) {
            err << "corvane-cli: " << form.lblObserved.Caption << '\n';
        }
        out << form.lblError.Caption << '\n';
        if (form.lblChiSquare.Visible) {
            out << form.lblChiSquare.Caption << '\n';
        }
        if (!form.ExposureReport.empty()) {
            err << "corvane-cli: " << form.ExposureReport << '\n';
        }
        for (const std::string& line : form.velocityReport()) {
            out << line << '\n';
        }
    } else if (periodCommand->parsed()) {
        return runPeriodCommand(timingFiles, minDays, maxDays, lomb, timingPlot, {width, height}, out, err);
    } else if (minimaCommand->parsed()) {
        return runMinimaCommand(timingFiles, minimaPeriod, minimaEpoch, minimaEpochOption->count() > 0, quadratic,
                                timingPlot, {width, height}, out, err);
    } else if (plot->parsed()) {
        const int status = runPlotCommand(form, plotOut, plotObserved, width, height, err);
        if (status != 0 || form.VelocitySets.empty()) {
            return status;
        }
        // The velocities beside the light: FILE-rv.png next to FILE.png.
        std::filesystem::path rvPath(plotOut);
        rvPath.replace_filename(rvPath.stem().string() + "-rv" + rvPath.extension().string());
        if (const std::string problem = form.saveVelocityPlot(rvPath, width, height); !problem.empty()) {
            err << "corvane-cli: the velocity plot could not be written to '" << rvPath.string() << "': " << problem
                << '\n';
            return 1;
        }
        err << "corvane-cli: the velocities are plotted in " << rvPath.string() << '\n';
        return 0;
    } else if (rvCommand->parsed()) {
        return runVelocityCommand(form, rvOut, rvPlot, rvStep, width, height, out, err);
    } else if (animate->parsed()) {
        const double step = animateStepOption->count() > 0 ? animateStep : platform::Val(form.txtAnimSpeed.Text);
        if (app::CorvaneForm::animationFrames(step) < 1) {
            err << "corvane-cli: --step expects a number of degrees from " << app::CorvaneForm::MinSaveStep << " up, got "
                << platform::GeneralNumber(step) << "\n";
            return 2;
        }
        std::filesystem::path target(animateOut);
        std::string ext = target.extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        std::atomic<bool> cancel{false};
        const bool terminal = ::isatty(2) != 0;
        const std::string problem = form.saveAnimation(
            target, step, ext == ".gif",
            [&](int done, int total) {
                if (platform::interrupted()) {
                    cancel = true;
                }
                if (terminal) {
                    err << "\rcorvane-cli: frame " << done << " of " << total << "   " << std::flush;
                }
            },
            &cancel);
        if (terminal) {
            err << '\n';
        }
        if (cancel) {
            err << "corvane-cli: interrupted; no animation was written\n";
            return 130;
        }
        if (!problem.empty()) {
            err << "corvane-cli: the animation could not be written to '" << animateOut << "': " << problem << '\n';
            return 1;
        }
        err << "corvane-cli: " << app::CorvaneForm::animationFrames(step) << " frames written to " << animateOut << '\n';
    } else if (fit->parsed() || mcmc->parsed()) {
        const bool sampling = mcmc->parsed();
        const std::string& observed = sampling ? mcmcObserved : fitObserved;
        const std::string& freeGiven = sampling ? mcmcFree : freeList;
        if (!fitFileName.empty()) {
            if (!observed.empty() || !listJob.listFile.empty()) {
                err << "corvane-cli: a fit file names its own observations: give it or --observed/--list, not both\n";
                return 2;
            }
            std::string why;
            const std::optional<fitting::FitFile> described = fitting::readFitFile(fitFileName, why);
            if (!described) {
                err << "corvane-cli: the fit file '" << fitFileName << "' cannot be used: " << why << '\n';
                return 2;
            }
            // The command line's velocity files and settings go on top of the file's.
            const auto velocities = form.VelocitySets;
            if (const std::string problem = form.applyFitFile(*described); !problem.empty()) {
                err << "corvane-cli: the fit file '" << fitFileName << "': " << problem << '\n';
                return 1;
            }
            form.VelocitySets.insert(form.VelocitySets.end(), velocities.begin(), velocities.end());
            if (!exposureText.empty()) { // the command line's exposure over the file's first curve's
                if (platform::Val(exposureText) > 0 && !(platform::Val(form.txtPeriod.Text) > 0)) {
                    err << "corvane-cli: --exposure needs a period: the fit file gives none\n";
                    return 2;
                }
                form.txtExposure.Text = exposureText;
                form.ExposureChosen = true;
            }
            for (const std::string& setting : settings) {
                if (const std::string problem = applySetting(form, setting); !problem.empty()) {
                    err << "corvane-cli: " << problem << '\n';
                    return 2;
                }
            }
            if (!freeGiven.empty()) {
                form.FitFree.clear();
            } else if (form.FitFree.empty()) {
                err << "corvane-cli: the fit file frees no parameter (free = true) and --free names none\n";
                return 2;
            }
        } else if (freeGiven.empty()) {
            err << "corvane-cli: --free is required (or a fit file that frees its parameters)\n";
            return 2;
        }
        for (const std::string& text : priorTexts) {
            app::CorvaneForm::FitPrior prior;
            if (const std::string problem = app::CorvaneForm::parsePrior(text, prior); !problem.empty()) {
                err << "corvane-cli: --prior: " << problem << '\n';
                return 2;
            }
            form.FitPriors.push_back(prior);
        }
        if (!(clipSigma >= 0) || (clipSigma > 0 && clipSigma < 1)) {
            err << "corvane-cli: --clip expects a number of sigma from 1 up (0: no clipping), got "
                << platform::GeneralNumber(clipSigma) << '\n';
            return 2;
        }
        if (clipSigma > 0 || fitFileName.empty()) {
            form.FitClipSigma = clipSigma;
        }
        if (!fitMethod.empty()) {
            form.FitMethod = fitMethod;
        }
        if (!fitGlobal.empty()) {
            form.FitGlobal = fitGlobal;
        }
        // The first curve's trend (it is fitted when the fit runs, so it can be chosen now).
        if (!leading.detrend.empty() || !leading.gap.empty()) {
            int degree = -1;
            double gap = 0;
            if (const std::string problem = detrendOf(leading.detrend, leading.gap, degree, gap); !problem.empty()) {
                err << "corvane-cli: " << problem << '\n';
                return 2;
            }
            form.ObsTimed.degree = degree;
            form.ObsTimed.gap = gap;
        }
        bool curvesLoaded = false;
        if (observedFiles.size() > 1) {
            if (!listJob.listFile.empty()) {
                err << "corvane-cli: give either --observed FILE or --list FILE, not both\n";
                return 2;
            }
            // The first curve as with one file, then the others beside it, each in its band.
            form.txtLCName.Text = observedFiles.front().file;
            if (!form.readObservedCurve()) {
                err << "corvane-cli: " << form.LastLoadProblems << '\n';
                return 1;
            }
            for (std::size_t k = 1; k < observedFiles.size(); ++k) {
                const ObservedFile& f = observedFiles[k];
                const auto& bands = form.cmbPassband.Items;
                if (!f.passband.empty() && std::find(bands.begin(), bands.end(), f.passband) == bands.end()) {
                    err << "corvane-cli: no passband is called '" << f.passband << "' (for " << f.file << ")\n";
                    return 2;
                }
                const double seconds = f.exposure.empty() ? 0.0 : platform::Val(f.exposure);
                if (!(seconds >= 0) || !std::isfinite(seconds)) {
                    err << "corvane-cli: --exposure expects seconds (0 or more), got '" << f.exposure << "'\n";
                    return 2;
                }
                int degree = -1;
                double gap = 0;
                if (const std::string problem = detrendOf(f.detrend, f.gap, degree, gap); !problem.empty()) {
                    err << "corvane-cli: " << problem << " (for " << f.file << ")\n";
                    return 2;
                }
                if (const std::string problem = form.addLightCurve(f.file, f.passband, seconds, degree, gap);
                    !problem.empty()) {
                    err << "corvane-cli: " << problem << '\n';
                    return 1;
                }
                err << "corvane-cli: " << f.file << ": " << form.ExtraLight.back().description << '\n';
            }
            curvesLoaded = true;
        }
        if (listJob.listFile.empty() && observed.empty() && fitFileName.empty()) {
            err << "corvane-cli: --observed is required (or --list FILE for many curves)\n";
            return 2;
        }
        if (!listJob.listFile.empty() && !observed.empty()) {
            err << "corvane-cli: give either --observed FILE or --list FILE, not both\n";
            return 2;
        }
        if (listJob.listFile.empty() && (taskIndex || taskCount)) {
            err << "corvane-cli: --task-index and --task-count share out a --list\n";
            return 2;
        }
        if (!listJob.listFile.empty()) {
            std::vector<std::string> names;
            if (const int status = parseFreeList(sampling ? mcmcFree : freeList, names, err); status != 0) {
                return status;
            }
            // A scheduler's array names the task in the environment.
            auto fromEnvironment = [](const char* name, int fallback) {
                const char* v = std::getenv(name);
                return v != nullptr && *v != '\0' ? std::atoi(v) : fallback;
            };
            listJob.taskIndex = taskIndex ? *taskIndex : fromEnvironment("SLURM_ARRAY_TASK_ID", 0);
            listJob.taskCount = taskCount ? *taskCount : fromEnvironment("SLURM_ARRAY_TASK_COUNT", 1);
            listJob.posterior = sampling;
            return runListCommand(form, names, listJob, posterior, threads > 0 ? threads : fitting::defaultThreads(),
                                  out, err);
        }
        if (!sampling) {
            return runFitCommand(form, curvesLoaded ? std::string() : fitObserved, freeList, fitOut, saveFitFile,
                                 tableFile, fitPlot, threads, out, err);
        }
        std::vector<std::string> names;
        if (!mcmcFree.empty()) {
            if (const int status = parseFreeList(mcmcFree, names, err); status != 0) {
                return status;
            }
        }
        return runMcmcCommand(form, curvesLoaded ? std::string() : mcmcObserved, names, posterior, threads, {width, height},
                              cliApp.get_option("--size")->count() > 0, out, err);
    } else if (merge->parsed()) {
        return runMergeCommand(mergeFiles, mergeOut, out, err);
    } else if (grid->parsed()) {
        form.txtLCName.Text = gridObserved;
        if (!form.readObservedCurve()) {
            err << "corvane-cli: " << form.LastLoadProblems << '\n';
            return 1;
        }
        err << "corvane-cli: " << form.lblObserved.Caption << '\n';
        for (const auto& [box, name] : {std::pair{&form.cmbParameter, p1Name}, std::pair{&form.cmbParameter2, p2Name}}) {
            if (!box->select(name)) {
                err << "corvane-cli: '" << name << "' is not a grid parameter (Inclination, Mass Ratio, Pole Radius #1, "
                    << "Temperature #1, Temperature #2)\n";
                return 2;
            }
        }
        if (p1Name == p2Name) {
            err << "corvane-cli: --p1 and --p2 are both '" << p1Name << "': choose two different parameters\n";
            return 2;
        }
        for (const auto& [value, option] : {std::pair{from1, "--from"}, std::pair{to1, "--to"},
                                            std::pair{from2, "--from2"}, std::pair{to2, "--to2"}}) {
            if (!std::isfinite(value)) {
                err << "corvane-cli: " << option << " must be a finite number\n";
                return 2;
            }
        }
        if (steps1 < 1 || steps2 < 1 || steps1 > 1000 || steps2 > 1000) {
            err << "corvane-cli: --steps and --steps2 must be between 1 and 1000\n";
            return 2;
        }
        form.txtInitial.Text = platform::GeneralNumber(from1);
        form.txtFinal.Text = platform::GeneralNumber(to1);
        form.txtSteps.Text = std::to_string(steps1);
        form.txtInitial2.Text = platform::GeneralNumber(from2);
        form.txtFinal2.Text = platform::GeneralNumber(to2);
        form.txtSteps2.Text = std::to_string(steps2);
        const int asked = threads > 0 ? threads : fitting::defaultThreads();
        const int workers = fitting::threadCount(asked, steps1 * steps2);
        if (threads > 0 && workers < std::min(threads, steps1 * steps2)) {
            err << "corvane-cli: " << threads << " threads asked for; running " << workers << " ("
                << fitting::MaxThreadsPerCore << " per core at most)\n";
        }
        const bool progress = ::isatty(2) != 0;
        std::atomic<bool> cancel{false};
        // The points finished when a signal comes are written, marked incomplete.
        InterruptWatcher watcher(cancel);
        std::string why;
        const auto file = form.runGridSearch(
            workers,
            [&](const fitting::GridProgress& p) {
                // On a terminal one line kept current; elsewhere a line per finished row.
                if (progress) {
                    err << "\rcorvane-cli: " << fitting::progressText(p) << "   " << std::flush;
                } else if (p.cols == 0 || p.done == p.total) {
                    err << "corvane-cli: " << fitting::progressText(p) << '\n';
                }
            },
            cancel, why, gridOut.empty() ? std::filesystem::path{} : std::filesystem::path(gridOut));
        watcher.stop();
        if (progress) {
            err << "\n";
        }
        if (cancel) {
            err << "corvane-cli: interrupted: " << why << '\n';
            if (!file.empty()) {
                out << file.string() << '\n';
            }
            return 130;
        }
        if (file.empty()) {
            err << "corvane-cli: " << why << '\n';
            return 1;
        }
        err << "corvane-cli: " << form.lblDCProgress.Caption << '\n';
        out << file.string() << '\n';
    } else if (lightcurve->parsed()) {
        if (stepOption->count() > 0) {
            if (!std::isfinite(stepDegrees) || stepDegrees < app::CorvaneForm::MinSaveStep) {
                err << "corvane-cli: --step expects a number of degrees from " << app::CorvaneForm::MinSaveStep
                    << " up (above 20 counts as 20), got " << stepDegrees << "\n";
                return 2;
            }
            form.typeText("txtAnimSpeed", platform::GeneralNumber(stepDegrees));
        }
        const int status = saveLightCurve(form, dialogs, curveFile, err);
        if (status == 0 && curveFile.empty()) {
            out << form.LastSavedFile.string() << '\n'; // where the output folder put it
        }
        return status;
    }
    return 0;
}

} // namespace corvane::cli
