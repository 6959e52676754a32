// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "GridPicture.h"

#include "lightcurve/CurvePlot.h"

#include <cmath>
#include <limits>

namespace corvane::fitting {

std::optional<GridRow> bestGridRow(const std::vector<GridRow>& rows) {
    std::optional<GridRow> best;
    for (const GridRow& r : rows) {
        if (r.error && std::isfinite(*r.error) && (!best || *r.error < *best->error)) {
            best = r;
        }
    }
    return best;
}

platform::PlotDescription gridPicture(const GridAxis& a1, const GridAxis& a2, const std::vector<GridRow>& rows) {
    platform::PlotDescription d;
    platform::PlotPanel panel;
    platform::PlotHeatMap& m = panel.map;
    m.rows = std::max(1, a1.steps);
    m.cols = std::max(1, a2.steps);
    m.y0 = a1.initial;
    m.dy = a1.steps > 1 ? (a1.final - a1.initial) / (a1.steps - 1) : 1;
    m.x0 = a2.initial;
    m.dx = a2.steps > 1 ? (a2.final - a2.initial) / (a2.steps - 1) : 1;
    if (m.dy == 0) {
        m.dy = 1;
    }
    if (m.dx == 0) {
        m.dx = 1;
    }
    m.values.assign(static_cast<std::size_t>(m.rows) * static_cast<std::size_t>(m.cols),
                    std::numeric_limits<double>::quiet_NaN());
    m.scaleLabel = "Relative Error";
    double best = std::numeric_limits<double>::infinity();
    for (const GridRow& r : rows) {
        const int row = static_cast<int>(std::lround((r.p1 - m.y0) / m.dy));
        const int col = static_cast<int>(std::lround((r.p2 - m.x0) / m.dx));
        if (row < 0 || row >= m.rows || col < 0 || col >= m.cols || !r.error || !std::isfinite(*r.error)) {
            continue;
        }
        const int index = row * m.cols + col;
        m.values[static_cast<std::size_t>(index)] = *r.error;
        if (*r.error < best) {
            best = *r.error;
            m.best = index;
        }
    }
    auto span = [](double first, double step, int n) {
        const double a = first - step / 2, b = first + (n - 1) * step + step / 2;
        return std::pair{std::min(a, b), std::max(a, b)};
    };
    const auto [x0, x1] = span(m.x0, m.dx, m.cols);
    const auto [y0, y1] = span(m.y0, m.dy, m.rows);
    const lightcurve::Ticks xt = lightcurve::niceTicks(x0, x1, 8);
    const lightcurve::Ticks yt = lightcurve::niceTicks(y0, y1, 6);
    d.x = {x0, x1, false, xt.at, xt.text, a2.name};
    panel.y = {y0, y1, false, yt.at, yt.text, a1.name};
    d.panels.push_back(std::move(panel));
    return d;
}

} // namespace corvane::fitting
