// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "lightcurve/VelocityPlot.h"

#include "lightcurve/CurvePlot.h"

#include <algorithm>
#include <cmath>

namespace corvane::lightcurve {

namespace {

constexpr platform::Pixel Star1Colour = 0x66AAFF, Star2Colour = 0xFF8844, GammaColour = 0x888888;

void widen(double& lo, double& hi, double v) {
    if (std::isfinite(v)) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
}

} // namespace

platform::PlotDescription velocityPlot(const VelocityPlotInputs& in) {
    platform::PlotDescription d;
    const double dataWidth = in.width - platform::PlotLayout::LeftMargin - platform::PlotLayout::RightMargin;
    d.x = axisFrom(phaseTicks(dataWidth), -0.25, 0.75, "Phase");
    platform::PlotPanel main;
    double lo = in.gamma, hi = in.gamma;
    for (int star : {1, 2}) {
        platform::PlotSeries s;
        s.name = star == 1 ? "Star 1" : "Star 2";
        s.color = star == 1 ? Star1Colour : Star2Colour;
        s.style = platform::PlotSeries::Style::Line;
        s.x = in.phase;
        s.y = star == 1 ? in.v1 : in.v2;
        for (const double v : s.y) {
            widen(lo, hi, v);
        }
        main.series.push_back(std::move(s));
    }
    platform::PlotSeries g;
    g.color = GammaColour;
    g.style = platform::PlotSeries::Style::Line;
    g.x = {-0.25, 0.75};
    g.y = {in.gamma, in.gamma};
    g.maxGap = 2;
    main.series.insert(main.series.begin(), std::move(g));
    platform::PlotPanel strip;
    strip.share = 0.3;
    strip.zeroLine = true;
    double rlo = 0, rhi = 0;
    for (const VelocityObserved& o : in.observed) {
        platform::PlotSeries s, r;
        s.name = o.star == 1 ? "Star 1 observed" : "Star 2 observed";
        s.color = r.color = o.star == 1 ? Star1Colour : Star2Colour;
        s.style = r.style = platform::PlotSeries::Style::Dots;
        for (std::size_t k = 0; k < o.phase.size(); ++k) {
            const double x = plottedPhase(o.phase[k]);
            const double e = o.error.empty() ? 0.0 : o.error[k];
            s.x.push_back(x);
            s.y.push_back(o.velocity[k]);
            widen(lo, hi, o.velocity[k] - e);
            widen(lo, hi, o.velocity[k] + e);
            if (!o.error.empty()) {
                s.error.push_back(e);
                r.error.push_back(e);
            }
            if (k < o.residual.size()) {
                r.x.push_back(x);
                r.y.push_back(o.residual[k]);
                widen(rlo, rhi, o.residual[k] - e);
                widen(rlo, rhi, o.residual[k] + e);
            }
        }
        main.series.push_back(std::move(s));
        strip.series.push_back(std::move(r));
    }
    const double pad = std::max(1.0, 0.05 * (hi - lo));
    main.y = axisFrom(niceTicks(lo - pad, hi + pad, 10), lo - pad, hi + pad, "Radial velocity (km/s)");
    d.panels.push_back(std::move(main));
    if (!in.observed.empty()) {
        const double span = std::max({std::abs(rlo), std::abs(rhi), 0.5}) * 1.1;
        strip.y = axisFrom(niceTicks(-span, span, 4), -span, span, "O - C");
        d.panels.push_back(std::move(strip));
    }
    return d;
}

} // namespace corvane::lightcurve
