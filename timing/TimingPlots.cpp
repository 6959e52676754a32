// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "TimingPlots.h"

#include "lightcurve/CurvePlot.h"
#include "platform/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvane::timing {

namespace {

constexpr platform::Pixel Primary = 0xFFC040, Secondary = 0x60C0FF, Fitted = 0xE0E0E0, Peaks = 0xFF6060;

// [lo, hi] widened by 6 % each side, or by a span of its own when flat.
std::pair<double, double> padded(double lo, double hi) {
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
        return {-1, 1};
    }
    if (hi - lo < 1e-12) {
        const double h = std::max(1e-6, std::fabs(hi) * 0.1);
        return {lo - h, hi + h};
    }
    const double pad = 0.06 * (hi - lo);
    return {lo - pad, hi + pad};
}

} // namespace

platform::PlotDescription periodogramPlot(const PeriodSearch& search, int width, int height) {
    platform::PlotDescription d;
    const double dataWidth = std::max(1.0, width - platform::PlotLayout::LeftMargin - platform::PlotLayout::RightMargin);
    const double dataHeight = std::max(1.0, height - platform::PlotLayout::TopMargin - platform::PlotLayout::BottomMargin);
    double lo = search.minPeriod, hi = search.maxPeriod;
    if (!(lo > 0) || !(hi > lo)) {
        lo = 0.1, hi = 10;
    }
    const double x0 = std::log10(lo), x1 = std::log10(hi);
    // Ticks at 1, 2 and 5 times the powers of ten, or at round periods when less than a decade is shown.
    lightcurve::Ticks xt;
    for (int k = static_cast<int>(std::floor(x0)); k <= static_cast<int>(std::ceil(x1)); ++k) {
        for (const double m : {1.0, 2.0, 5.0}) {
            const double p = m * std::pow(10.0, k);
            if (p >= lo * (1 - 1e-12) && p <= hi * (1 + 1e-12)) {
                xt.at.push_back(std::log10(p));
                xt.text.push_back(platform::GeneralNumber(p));
            }
        }
    }
    if (xt.at.size() < 3) {
        const lightcurve::Ticks round = lightcurve::niceTicks(lo, hi, std::max(2, static_cast<int>(dataWidth / 70)));
        xt = {};
        for (std::size_t k = 0; k < round.at.size(); ++k) {
            if (round.at[k] > 0) {
                xt.at.push_back(std::log10(round.at[k]));
                xt.text.push_back(round.text[k]);
            }
        }
    }
    d.x = lightcurve::axisFrom(xt, x0, x1, "Trial period (days)");

    // The periodogram, as many points as the plot has pixels across (the highest in each column:
    // a peak is never lost between them).
    platform::PlotSeries power;
    power.name = search.method == Method::LombScargle ? "Lomb-Scargle power" : "1 - phase dispersion";
    power.color = 0xC0C0C0;
    power.style = platform::PlotSeries::Style::Line;
    power.maxGap = std::numeric_limits<double>::infinity();
    const auto columns = static_cast<std::size_t>(std::max(2.0, 2 * dataWidth));
    double top = 0;
    std::vector<double> best(columns, -std::numeric_limits<double>::infinity()), at(columns, 0);
    for (std::size_t k = 0; k < search.periods.size() && k < search.power.size(); ++k) {
        if (!(search.periods[k] > 0) || !std::isfinite(search.power[k])) {
            continue;
        }
        const double x = std::log10(search.periods[k]);
        const auto c = static_cast<std::size_t>(std::clamp((x - x0) / (x1 - x0), 0.0, 1.0) * static_cast<double>(columns - 1));
        if (search.power[k] > best[c]) {
            best[c] = search.power[k];
            at[c] = x;
        }
        top = std::max(top, search.power[k]);
    }
    for (std::size_t c = 0; c < columns; ++c) {
        if (std::isfinite(best[c])) {
            power.x.push_back(at[c]);
            power.y.push_back(best[c]);
        }
    }
    platform::PlotSeries peaks;
    peaks.name = "candidates";
    peaks.color = Peaks;
    peaks.style = platform::PlotSeries::Style::Boxes;
    for (const Candidate& c : search.candidates) {
        if (c.period > 0) {
            peaks.x.push_back(std::log10(c.period));
            peaks.y.push_back(c.power);
            top = std::max(top, c.power);
        }
    }
    platform::PlotPanel panel;
    const double yMax = top > 0 ? top * 1.08 : 1;
    double yMin = 0;
    for (const double v : power.y) {
        yMin = std::min(yMin, v);
    }
    panel.y = lightcurve::axisFrom(lightcurve::niceTicks(yMin, yMax, std::max(2, static_cast<int>(dataHeight / 30))), yMin, yMax,
                   search.method == Method::LombScargle ? "Power" : "Power (1 - theta)");
    panel.series.push_back(std::move(power));
    panel.series.push_back(std::move(peaks));
    d.panels.push_back(std::move(panel));
    d.marker = search.period > 0 ? std::log10(search.period) : -1e300;
    return d;
}

bool oMinusCInMinutes(const MinimaResult& minima) {
    return std::all_of(minima.minima.begin(), minima.minima.end(), [](const Minimum& m) {
        return std::fabs(m.oMinusC) + m.at.error < 0.05;
    });
}

platform::PlotDescription oMinusCPlot(const TimingReport& report, bool minutes, int width, int height) {
    platform::PlotDescription d;
    const double dataWidth = std::max(1.0, width - platform::PlotLayout::LeftMargin - platform::PlotLayout::RightMargin);
    const double dataHeight = std::max(1.0, height - platform::PlotLayout::TopMargin - platform::PlotLayout::BottomMargin);
    const double unit = minutes ? 1440 : 1;
    platform::PlotSeries primary, secondary;
    primary.name = "primary";
    primary.color = Primary;
    secondary.name = "secondary";
    secondary.color = Secondary;
    // Two shapes as well as two colours: dots for primaries, boxes for secondaries.
    primary.style = platform::PlotSeries::Style::Dots;
    secondary.style = platform::PlotSeries::Style::Boxes;
    double eMin = std::numeric_limits<double>::infinity(), eMax = -eMin, yLo = eMin, yHi = -eMin;
    for (const Minimum& m : report.minima.minima) {
        platform::PlotSeries& s = m.primary ? primary : secondary;
        s.x.push_back(m.cycle);
        s.y.push_back(m.oMinusC * unit);
        s.error.push_back(m.at.error * unit);
        eMin = std::min(eMin, m.cycle);
        eMax = std::max(eMax, m.cycle);
        yLo = std::min(yLo, (m.oMinusC - m.at.error) * unit);
        yHi = std::max(yHi, (m.oMinusC + m.at.error) * unit);
    }
    if (!std::isfinite(eMin)) {
        eMin = -1, eMax = 1;
    }
    const auto [x0, x1] = padded(eMin, eMax);
    std::vector<platform::PlotSeries> lines;
    if (report.ephemeris) {
        const Ephemeris& e = *report.ephemeris;
        for (const bool primaryLine : {true, false}) {
            if (!primaryLine && !e.hasSecondaryShift) {
                continue;
            }
            platform::PlotSeries line;
            line.name = !primaryLine       ? "ephemeris of the secondaries"
                        : e.hasQuadratic ? "quadratic ephemeris"
                                         : "linear ephemeris";
            line.color = primaryLine ? Fitted : Secondary;
            line.style = platform::PlotSeries::Style::Line;
            line.maxGap = std::numeric_limits<double>::infinity();
            for (int k = 0; k <= 200; ++k) {
                const double cycle = x0 + (x1 - x0) * k / 200.0;
                const double computed = report.epoch + report.period * cycle;
                line.x.push_back(cycle);
                line.y.push_back((e.at(cycle, primaryLine) - computed) * unit);
                yLo = std::min(yLo, line.y.back());
                yHi = std::max(yHi, line.y.back());
            }
            lines.push_back(std::move(line));
        }
    }
    d.x = lightcurve::axisFrom(lightcurve::niceTicks(x0, x1, std::max(2, static_cast<int>(dataWidth / 70))), x0, x1, "Cycle E");
    const auto [y0, y1] = padded(yLo, yHi);
    platform::PlotPanel panel;
    panel.y = lightcurve::axisFrom(lightcurve::niceTicks(y0, y1, std::max(2, static_cast<int>(dataHeight / 30))), y0, y1,
                   minutes ? "O - C (minutes)" : "O - C (days)");
    panel.zeroLine = true;
    for (platform::PlotSeries& line : lines) {
        panel.series.push_back(std::move(line));
    }
    panel.series.push_back(std::move(primary));
    panel.series.push_back(std::move(secondary));
    d.panels.push_back(std::move(panel));
    return d;
}

} // namespace corvane::timing
