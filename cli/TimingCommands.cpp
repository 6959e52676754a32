// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "TimingCommands.h"

#include "fitting/Observations.h"
#include "platform/NumberFormat.h"
#include "timing/Minima.h"
#include "timing/PeriodSearch.h"

#include <cmath>

namespace corvane::cli {

namespace {

using platform::GeneralNumber;

struct Joined {
    std::vector<double> t, m;
    bool ok = false;
};

// The files' times and magnitudes, one after another.
Joined readSeries(const std::vector<std::string>& files, std::ostream& err) {
    Joined j;
    for (const std::string& file : files) {
        fitting::Observations o = fitting::readObservations(file);
        if (!o.ok()) {
            err << "corvane-cli: " << file << ": " << o.problem << '\n';
            return j;
        }
        if (o.abscissa != fitting::Abscissa::Time) {
            err << "corvane-cli: " << file << " holds phases, not times: a period needs the times of the observations\n";
            return j;
        }
        fitting::toMagnitudes(o);
        err << "corvane-cli: " << file << ": " << fitting::describe(o) << '\n';
        j.t.insert(j.t.end(), o.x.begin(), o.x.end());
        j.m.insert(j.m.end(), o.value.begin(), o.value.end());
    }
    j.ok = true;
    return j;
}

// Digits enough for a period known to 1e-8 of itself.
std::string precise(double v) {
    const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(v))) - 9);
    return GeneralNumber(std::round(v / unit) * unit);
}

} // namespace

int runPeriodCommand(const std::vector<std::string>& files, double minPeriod, double maxPeriod, bool lombScargle,
                     std::ostream& out, std::ostream& err) {
    const Joined s = readSeries(files, err);
    if (!s.ok) {
        return 1;
    }
    const timing::PeriodSearch r = timing::searchPeriod(s.t, s.m, minPeriod, maxPeriod,
                                                         lombScargle ? timing::Method::LombScargle : timing::Method::Dispersion);
    if (!r.ok()) {
        err << "corvane-cli: no period: " << r.why << '\n';
        return 1;
    }
    const auto epoch = timing::primaryEpoch(s.t, s.m, r.period);
    err << "corvane-cli: searched " << GeneralNumber(r.minPeriod) << " to " << GeneralNumber(r.maxPeriod) << " d ("
        << r.periods.size() << " trial periods); chosen: " << r.why << '\n';
    out << "Period = " << precise(r.period) << '\n';
    if (epoch) {
        out << "Epoch = " << precise(epoch->time) << '\n';
    } else {
        err << "corvane-cli: no primary minimum is covered well enough to time the epoch\n";
    }
    for (std::size_t k = 0; k < r.candidates.size(); ++k) {
        out << "Candidate " << k + 1 << ": " << precise(r.candidates[k].period) << " d, power "
            << GeneralNumber(std::round(r.candidates[k].power * 1e6) / 1e6) << '\n';
    }
    return epoch ? 0 : 1;
}

int runMinimaCommand(const std::vector<std::string>& files, double period, double epoch, bool epochGiven,
                     bool quadratic, std::ostream& out, std::ostream& err) {
    const Joined s = readSeries(files, err);
    if (!s.ok) {
        return 1;
    }
    if (!(period > 0)) {
        const timing::PeriodSearch r = timing::searchPeriod(s.t, s.m);
        if (!r.ok()) {
            err << "corvane-cli: no period: " << r.why << '\n';
            return 1;
        }
        period = r.period;
        err << "corvane-cli: period found: " << precise(period) << " d (" << r.why << ")\n";
    }
    if (!epochGiven) {
        const auto e = timing::primaryEpoch(s.t, s.m, period);
        if (!e) {
            err << "corvane-cli: no primary minimum is covered well enough to time the epoch\n";
            return 1;
        }
        epoch = e->time;
    }
    const timing::MinimaResult r = timing::findMinima(s.t, s.m, period, epoch);
    out << "time,error,type,cycle,o_c\n";
    for (const timing::Minimum& mi : r.minima) {
        out << precise(mi.at.time) << ',' << GeneralNumber(std::round(mi.at.error * 1e8) / 1e8) << ','
            << (mi.primary ? "primary" : "secondary") << ',' << GeneralNumber(mi.cycle) << ','
            << GeneralNumber(std::round(mi.oMinusC * 1e8) / 1e8) << '\n';
    }
    if (r.skipped > 0) {
        err << "corvane-cli: " << r.skipped << " eclipse" << (r.skipped == 1 ? "" : "s")
            << " skipped: a branch has too few points\n";
    }
    const auto e = timing::fitEphemeris(r.minima, quadratic);
    if (!e) {
        err << "corvane-cli: too few minima for an ephemeris (" << r.minima.size() << ")\n";
        return 1;
    }
    out << "Ephemeris: T0 = " << precise(e->t0) << " +- " << GeneralNumber(e->t0Error) << ", P = " << precise(e->period)
        << " +- " << GeneralNumber(e->periodError);
    if (quadratic) {
        out << ", Q = " << GeneralNumber(e->quadratic) << " +- " << GeneralNumber(e->quadraticError)
            << " (dP/dE = 2Q)";
    }
    out << '\n';
    return 0;
}

} // namespace corvane::cli
