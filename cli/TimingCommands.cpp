// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "TimingCommands.h"
#include "InterruptWatcher.h"

#include "app/TimeSeries.h"
#include "platform/NumberFormat.h"
#include "platform/PlotPainter.h"
#include "timing/Report.h"
#include "timing/TimingPlots.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace corvane::cli {

namespace {

using platform::GeneralNumber;

// The files' times and magnitudes, or nothing with the reason on standard error.
app::TimeSeries readSeries(const std::vector<std::string>& files, std::ostream& err) {
    app::TimeSeries s = app::readTimeSeries(files);
    for (const std::string& note : s.notes) {
        err << "corvane-cli: " << note << '\n';
    }
    if (!s.ok()) {
        err << "corvane-cli: " << s.problem << '\n';
    }
    return s;
}

bool writePlot(const platform::PlotDescription& d, const std::string& file, const PlotSize& size, std::ostream& err) {
    if (file.empty()) {
        return true;
    }
    const std::string problem = platform::savePlot(d, file, size.width, size.height);
    if (!problem.empty()) {
        err << "corvane-cli: the plot could not be written to " << file << ": " << problem << '\n';
        return false;
    }
    err << "corvane-cli: plot written to " << file << '\n';
    return true;
}

} // namespace

int runPeriodCommand(const std::vector<std::string>& files, double minPeriod, double maxPeriod, bool lombScargle,
                     const std::string& plotFile, const PlotSize& size, std::ostream& out, std::ostream& err) {
    const app::TimeSeries s = readSeries(files, err);
    if (!s.ok()) {
        return 1;
    }
    timing::TimingRequest request;
    request.minPeriod = minPeriod;
    request.maxPeriod = maxPeriod;
    request.method = lombScargle ? timing::Method::LombScargle : timing::Method::Dispersion;
    std::atomic<bool> cancel{false};
    InterruptWatcher watcher(cancel);
    request.cancel = &cancel;
    const timing::TimingReport r = timing::analyseTiming(s.t, s.m, request);
    watcher.stop();
    if (r.search.cancelled) {
        err << "corvane-cli: interrupted; no period was found\n";
        return 130;
    }
    if (!r.search.ok()) {
        err << "corvane-cli: " << r.problem << '\n';
        return 1;
    }
    err << "corvane-cli: searched " << GeneralNumber(r.search.minPeriod) << " to " << GeneralNumber(r.search.maxPeriod)
        << " d (" << r.search.periods.size() << " trial periods); chosen: " << r.search.why << '\n';
    out << "Period = " << timing::periodText(r.period) << '\n';
    if (r.ok()) {
        out << "Epoch = " << timing::timeText(r.epoch) << '\n';
    } else {
        err << "corvane-cli: " << r.problem << '\n';
    }
    for (std::size_t k = 0; k < r.search.candidates.size(); ++k) {
        out << "Candidate " << k + 1 << ": " << timing::periodText(r.search.candidates[k].period) << " d, power "
            << GeneralNumber(std::round(r.search.candidates[k].power * 1e6) / 1e6) << '\n';
    }
    const bool plotted = writePlot(timing::periodogramPlot(r.search, size.width, size.height), plotFile, size, err);
    return r.ok() && plotted ? 0 : 1;
}

int runMinimaCommand(const std::vector<std::string>& files, double period, double epoch, bool epochGiven,
                     bool quadratic, const std::string& plotFile, const PlotSize& size, std::ostream& out,
                     std::ostream& err) {
    const app::TimeSeries s = readSeries(files, err);
    if (!s.ok()) {
        return 1;
    }
    timing::TimingRequest request;
    request.period = period;
    if (epochGiven) {
        request.epoch = epoch;
    }
    request.quadratic = quadratic;
    std::atomic<bool> cancel{false};
    InterruptWatcher watcher(cancel);
    request.cancel = &cancel;
    const timing::TimingReport r = timing::analyseTiming(s.t, s.m, request);
    watcher.stop();
    if (r.search.cancelled) {
        err << "corvane-cli: interrupted; no period was found\n";
        return 130;
    }
    if (r.searched && r.search.ok()) {
        err << "corvane-cli: period found: " << timing::periodText(r.period) << " d (" << r.search.why << ")\n";
    }
    if (!r.ok()) {
        err << "corvane-cli: " << r.problem << '\n';
        return 1;
    }
    out << timing::minimaCsv(r.minima);
    if (r.minima.skipped > 0) {
        err << "corvane-cli: " << r.minima.skipped << " eclipse" << (r.minima.skipped == 1 ? "" : "s")
            << " skipped: a branch has too few points\n";
    }
    if (!r.ephemeris) {
        err << "corvane-cli: too few minima for an ephemeris (" << r.minima.minima.size() << ")\n";
        return 1;
    }
    out << timing::ephemerisText(*r.ephemeris) << '\n';
    if (r.ephemeris->hasSecondaryShift) {
        out << timing::secondaryShiftText(*r.ephemeris) << '\n';
    }
    const bool minutes = timing::oMinusCInMinutes(r.minima);
    return writePlot(timing::oMinusCPlot(r, minutes, size.width, size.height), plotFile, size, err) ? 0 : 1;
}

} // namespace corvane::cli
