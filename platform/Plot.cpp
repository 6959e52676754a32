// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Plot.h"

#include <algorithm>
#include <cmath>

namespace corvane::platform {

PlotLayout plotLayout(const PlotDescription& d, int width, int height) {
    PlotLayout l;
    const double left = PlotLayout::LeftMargin;
    const double w = std::max(1.0, width - PlotLayout::LeftMargin - PlotLayout::RightMargin);
    const double gaps = d.panels.empty() ? 0 : PlotLayout::Gap * static_cast<double>(d.panels.size() - 1);
    const double h = std::max(1.0, height - PlotLayout::TopMargin - PlotLayout::BottomMargin - gaps);
    double shares = 0;
    for (const PlotPanel& p : d.panels) {
        shares += std::max(0.0, p.share);
    }
    double top = PlotLayout::TopMargin;
    for (const PlotPanel& p : d.panels) {
        const double ph = shares > 0 ? h * std::max(0.0, p.share) / shares : h;
        l.panels.push_back({left, top, w, ph});
        top += ph + PlotLayout::Gap;
    }
    return l;
}

double plotPixelX(const PlotDescription& d, const PlotLayout& l, double x) {
    if (l.panels.empty()) {
        return 0;
    }
    const PlotRect& r = l.panels.front();
    return r.left + (x - d.x.min) / (d.x.max - d.x.min) * r.width;
}

double plotDataX(const PlotDescription& d, const PlotLayout& l, double px) {
    if (l.panels.empty()) {
        return d.x.min;
    }
    const PlotRect& r = l.panels.front();
    return d.x.min + (px - r.left) / r.width * (d.x.max - d.x.min);
}

double plotPixelY(const PlotDescription& d, const PlotLayout& l, std::size_t panel, double y) {
    const PlotRect& r = l.panels.at(panel);
    const PlotAxis& a = d.panels.at(panel).y;
    const double t = (y - a.min) / (a.max - a.min); // 0 at min, 1 at max
    return a.inverted ? r.top + t * r.height : r.top + (1 - t) * r.height;
}

double plotDataY(const PlotDescription& d, const PlotLayout& l, std::size_t panel, double py) {
    const PlotRect& r = l.panels.at(panel);
    const PlotAxis& a = d.panels.at(panel).y;
    const double t = a.inverted ? (py - r.top) / r.height : 1 - (py - r.top) / r.height;
    return a.min + t * (a.max - a.min);
}

int plotPanelAt(const PlotLayout& l, double px, double py) {
    for (std::size_t k = 0; k < l.panels.size(); ++k) {
        const PlotRect& r = l.panels[k];
        if (px >= r.left && px <= r.left + r.width && py >= r.top && py <= r.top + r.height) {
            return static_cast<int>(k);
        }
    }
    return -1;
}

Pixel heatColor(double t) {
    // A few stops of a perceptually even scale, joined linearly.
    static const double stops[][3] = {{68, 1, 84}, {59, 82, 139}, {33, 145, 140}, {94, 201, 98}, {253, 231, 37}};
    const double u = std::clamp(std::isfinite(t) ? t : 0.0, 0.0, 1.0) * 4;
    const int k = std::min(3, static_cast<int>(u));
    const double f = u - k;
    auto mix = [&](int c) { return static_cast<int>(std::lround(stops[k][c] + f * (stops[k + 1][c] - stops[k][c]))); };
    return pixelFromRgb(mix(0), mix(1), mix(2));
}

} // namespace corvane::platform
