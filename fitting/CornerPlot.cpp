// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CornerPlot.h"

#include "lightcurve/CurvePlot.h"

#include <algorithm>
#include <cmath>

namespace corvane::fitting {

namespace {

constexpr platform::Pixel Samples = 0x70A8FF, Histogram = 0xFFC040, Quantiles = 0xC0C0C0;
constexpr int Bins = 30;

platform::PlotSeries line(std::vector<double> x, std::vector<double> y, platform::Pixel colour) {
    platform::PlotSeries s;
    s.style = platform::PlotSeries::Style::Line;
    s.color = colour;
    s.x = std::move(x);
    s.y = std::move(y);
    s.maxGap = 1e300;
    return s;
}

} // namespace

int cornerSide(std::size_t parameters) {
    return std::clamp(static_cast<int>(parameters) * 230, 480, 2070);
}

platform::PlotFigure cornerPlot(const Chain& chain, int burn) {
    platform::PlotFigure f;
    const std::size_t n = chain.dimension();
    f.rows = f.cols = static_cast<int>(std::max<std::size_t>(n, 1));
    const int first = std::clamp(burn, 0, std::max(0, chain.steps() - 1));
    const long long count = static_cast<long long>(chain.steps() - first) * chain.walkers;
    if (n == 0 || count <= 0) {
        return f;
    }
    const long long stride = std::max<long long>(1, (count + 2999) / 3000);

    std::vector<std::vector<double>> all(n), shown(n);
    for (int s = first; s < chain.steps(); ++s) {
        for (int w = 0; w < chain.walkers; ++w) {
            const long long index = static_cast<long long>(s - first) * chain.walkers + w;
            for (std::size_t j = 0; j < n; ++j) {
                all[j].push_back(chain.at(s, w, j));
                if (index % stride == 0) {
                    shown[j].push_back(chain.at(s, w, j));
                }
            }
        }
    }
    std::vector<double> lo(n), hi(n);
    std::vector<Interval> intervals(n);
    for (std::size_t j = 0; j < n; ++j) {
        lo[j] = quantile(all[j], 0.005);
        hi[j] = quantile(all[j], 0.995);
        if (!(hi[j] - lo[j] > 1e-12 * std::max(1.0, std::fabs(hi[j])))) {
            const double h = std::max(1e-9, std::fabs(hi[j]) * 1e-6);
            lo[j] -= h;
            hi[j] += h;
        }
        const double pad = 0.05 * (hi[j] - lo[j]);
        lo[j] -= pad;
        hi[j] += pad;
        intervals[j] = credibleInterval(chain, j, first);
    }
    auto axis = [&](std::size_t j, const std::string& label) {
        return lightcurve::axisFrom(lightcurve::niceTicks(lo[j], hi[j], 3), lo[j], hi[j], label);
    };

    for (std::size_t row = 0; row < n; ++row) {
        for (std::size_t col = 0; col <= row; ++col) {
            platform::PlotFigure::Cell cell;
            cell.row = static_cast<int>(row);
            cell.col = static_cast<int>(col);
            platform::PlotDescription& d = cell.plot;
            d.x = axis(col, row + 1 == n ? chain.names[col] : "");
            d.panels.resize(1);
            platform::PlotPanel& panel = d.panels[0];
            if (row == col) {
                // The histogram as a staircase, the quantiles as upright lines.
                std::vector<double> counts(Bins, 0);
                const double width = (hi[col] - lo[col]) / Bins;
                for (const double v : all[col]) {
                    const int b = static_cast<int>(std::floor((v - lo[col]) / width));
                    if (b >= 0 && b < Bins) {
                        counts[static_cast<std::size_t>(b)] += 1;
                    }
                }
                const double top = std::max(1.0, *std::max_element(counts.begin(), counts.end())) * 1.1;
                std::vector<double> x, y;
                for (int b = 0; b < Bins; ++b) {
                    x.push_back(lo[col] + b * width);
                    y.push_back(counts[static_cast<std::size_t>(b)]);
                    x.push_back(lo[col] + (b + 1) * width);
                    y.push_back(counts[static_cast<std::size_t>(b)]);
                }
                panel.y.min = 0;
                panel.y.max = top;
                panel.y.label = col == 0 ? "Samples" : "";
                panel.series.push_back(line(std::move(x), std::move(y), Histogram));
                for (const double q : {intervals[col].low, intervals[col].high}) {
                    panel.series.push_back(line({q, q}, {0, top}, Quantiles));
                }
                d.marker = intervals[col].median;
            } else {
                panel.y = axis(row, col == 0 ? chain.names[row] : "");
                platform::PlotSeries dots;
                dots.style = platform::PlotSeries::Style::Dots;
                dots.color = Samples;
                dots.x = shown[col];
                dots.y = shown[row];
                panel.series.push_back(std::move(dots));
                panel.series.push_back(
                    line({lo[col], hi[col]}, {intervals[row].median, intervals[row].median}, Histogram));
                d.marker = intervals[col].median;
            }
            f.cells.push_back(std::move(cell));
        }
    }
    return f;
}

} // namespace corvane::fitting
