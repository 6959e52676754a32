// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneForm.h"
#include "TimeSeries.h"

#include "fitting/Observations.h"
#include "platform/NumberFormat.h"
#include "platform/PlotPainter.h"
#include "platform/TextFile.h"
#include "timing/TimingPlots.h"

#include <algorithm>
#include <cmath>

// A raw time series to its period, epoch, times of minimum and O-C diagram ("Find Period").

namespace corvane::app {

TimeSeries readTimeSeries(const std::vector<std::string>& files) {
    TimeSeries s;
    for (const std::string& file : files) {
        if (const std::string problem = platform::regularFileProblem(file); !problem.empty()) {
            s.problem = file + ": " + problem;
            return s;
        }
        fitting::Observations o = fitting::readObservations(file);
        if (!o.ok()) {
            s.problem = file + ": " + o.problem;
            return s;
        }
        if (o.abscissa != fitting::Abscissa::Time) {
            s.problem = file + " holds phases, not times: a period needs the times of the observations";
            return s;
        }
        fitting::toMagnitudes(o);
        if (o.value.empty()) {
            s.problem = file + ": no flux in it is positive, so none can be a magnitude";
            return s;
        }
        s.notes.push_back(file + ": " + fitting::describe(o));
        if (files.size() > 1) {
            std::vector<double> sorted = o.value;
            std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
            const double level = sorted[sorted.size() / 2];
            for (double& v : o.value) {
                v -= level;
            }
        }
        s.t.insert(s.t.end(), o.x.begin(), o.x.end());
        s.m.insert(s.m.end(), o.value.begin(), o.value.end());
    }
    if (files.empty()) {
        s.problem = "no file given";
    }
    return s;
}

timing::TimingReport CorvaneForm::analyseTimeSeries(const std::string& path, const std::atomic<bool>* cancel) {
    const TimeSeries s = readTimeSeries({path});
    timing::TimingReport r;
    if (!s.ok()) {
        r.problem = s.problem;
        return r;
    }
    timing::TimingRequest request;
    request.cancel = cancel;
    r = timing::analyseTiming(s.t, s.m, request);
    r.source = path;
    r.sourceNote = s.notes.empty() ? "" : s.notes.front();
    return r;
}

bool CorvaneForm::applyTiming(const timing::TimingReport& r) {
    if (!r.ok()) {
        return false;
    }
    txtPeriod.Text = timing::periodText(r.period);
    txtEpoch.Text = timing::timeText(r.epoch);
    LastTiming = std::make_shared<const timing::TimingReport>(r);
    return true;
}

std::string CorvaneForm::timingSummary() const {
    if (!LastTiming) {
        return "";
    }
    const timing::TimingReport& r = *LastTiming;
    using platform::GeneralNumber;
    std::string text = "Period " + timing::periodText(r.period) + " d";
    if (r.searched) {
        text += " (" + r.search.why + ")";
    }
    text += ", epoch of primary minimum " + timing::timeText(r.epoch) + ". ";
    const std::size_t n = r.minima.minima.size();
    text += std::to_string(n) + (n == 1 ? " minimum" : " minima") + " timed";
    if (r.minima.skipped > 0) {
        text += ", " + std::to_string(r.minima.skipped) + " skipped (a branch has too few points)";
    }
    text += ". ";
    text += r.ephemeris ? timing::ephemerisText(*r.ephemeris) + "." : std::string("Too few minima for an ephemeris.");
    if (r.ephemeris && r.ephemeris->hasSecondaryShift) {
        text += " " + timing::secondaryShiftText(*r.ephemeris) + ".";
    }
    if (r.searched && !r.search.candidates.empty()) {
        text += " Candidates:";
        for (std::size_t k = 0; k < r.search.candidates.size(); ++k) {
            text += (k ? ", " : " ") + timing::periodText(r.search.candidates[k].period) + " d (" +
                    GeneralNumber(std::round(r.search.candidates[k].power * 1e4) / 1e4) + ")";
        }
        text += ".";
    }
    return text;
}

platform::PlotDescription CorvaneForm::timingPlotDescription(bool oMinusC, int width, int height) const {
    if (!LastTiming) {
        return {};
    }
    return oMinusC ? timing::oMinusCPlot(*LastTiming, timing::oMinusCInMinutes(LastTiming->minima), width, height)
                   : timing::periodogramPlot(LastTiming->search, width, height);
}

std::string CorvaneForm::saveTimingPlot(bool oMinusC, const std::filesystem::path& file, int width, int height) const {
    if (!LastTiming) {
        return "no period has been found yet";
    }
    return platform::savePlot(timingPlotDescription(oMinusC, width, height), file, width, height);
}

std::string CorvaneForm::saveMinima(const std::filesystem::path& file) const {
    if (!LastTiming) {
        return "no period has been found yet";
    }
    std::string text = timing::minimaCsv(LastTiming->minima);
    if (LastTiming->ephemeris) {
        text += timing::ephemerisText(*LastTiming->ephemeris) + '\n';
        if (LastTiming->ephemeris->hasSecondaryShift) {
            text += timing::secondaryShiftText(*LastTiming->ephemeris) + '\n';
        }
    }
    return platform::writeFileWhole(file, text);
}

} // namespace corvane::app
