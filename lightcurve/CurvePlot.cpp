// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CurvePlot.h"

#include "platform/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace corvane::lightcurve {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Magnitudes per unit of the magnitude scale (log base 2.512 of the light): 2.5 log10(2.512).
const double kMagPerScale = 2.5 * std::log10(2.512);

std::string tickLabel(double v, double step) {
    const int decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
    std::string pattern = "0";
    if (decimals > 0) {
        pattern += "." + std::string(static_cast<std::size_t>(decimals), '0');
    }
    std::string t = platform::Format(std::fabs(v) < step * 1e-6 ? 0.0 : v, pattern);
    if (!t.empty() && t.back() == '.') {
        t.pop_back();
    }
    return t;
}

// [min, max] of the finite values (with their errors), padded by 6 % of the span; a flat or empty
// set gets a span of its own.
std::pair<double, double> paddedRange(const std::vector<std::vector<double>>& ys,
                                      const std::vector<std::vector<double>>& errors) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (std::size_t k = 0; k < ys.size(); ++k) {
        for (std::size_t i = 0; i < ys[k].size(); ++i) {
            const double y = ys[k][i];
            if (!std::isfinite(y)) {
                continue;
            }
            const double e = k < errors.size() && i < errors[k].size() && std::isfinite(errors[k][i]) ? errors[k][i] : 0;
            lo = std::min(lo, y - e);
            hi = std::max(hi, y + e);
        }
    }
    if (!std::isfinite(lo)) {
        return {0, 1};
    }
    if (hi - lo < 1e-12) {
        const double h = std::max(1e-3, std::fabs(hi) * 0.05);
        return {lo - h, hi + h};
    }
    const double pad = 0.06 * (hi - lo);
    return {lo - pad, hi + pad};
}

} // namespace

platform::PlotAxis axisFrom(const Ticks& t, double min, double max, std::string label, bool inverted) {
    platform::PlotAxis a;
    a.min = min;
    a.max = max;
    a.ticks = t.at;
    a.tickText = t.text;
    a.label = std::move(label);
    a.inverted = inverted;
    return a;
}

std::string channelTitle(int channel) {
    switch (channel) {
    case 1: return "Blue";
    case 2: return "Green";
    case 3: return "Red";
    default: return "Luminance";
    }
}

Ticks niceTicks(double min, double max, int most) {
    Ticks t;
    if (!std::isfinite(min) || !std::isfinite(max) || !(max > min) || most < 2) {
        return t;
    }
    const double span = max - min;
    double step = std::pow(10.0, std::floor(std::log10(span / most)));
    for (const double m : {1.0, 2.0, 5.0, 10.0, 20.0}) {
        if (span / (step * m) <= most) {
            step *= m;
            break;
        }
    }
    for (double k = std::ceil(min / step - 1e-9); k * step <= max + step * 1e-9; k += 1) {
        const double v = k * step;
        t.at.push_back(v);
        t.text.push_back(tickLabel(v, step));
    }
    return t;
}

Ticks phaseTicks(double widthPixels) {
    Ticks t;
    const bool fine = widthPixels / 20 >= 36;
    const double step = fine ? 0.05 : 0.1;
    const double labelStep = widthPixels / 10 >= 34 ? 0.1 : 0.2;
    // Ticks on the multiples of the step (-0.25, -0.2, ... or -0.2, -0.1, ...).
    for (int k = static_cast<int>(std::ceil(-0.25 / step - 1e-9)); k * step <= 0.75 + 1e-9; ++k) {
        const double v = k * step;
        t.at.push_back(v);
        // Labels on the round phases (-0.2, -0.1, 0, ...): the grid of labels is offset by 0.05.
        const double round = std::round(v / labelStep) * labelStep;
        t.text.push_back(std::fabs(v - round) < 1e-9 ? tickLabel(v, 0.1) : "");
    }
    return t;
}

double plottedPhase(double phase) {
    if (!std::isfinite(phase)) {
        return phase;
    }
    double p = phase - std::floor(phase + 0.25);
    if (p >= 0.75) {
        p -= 1;
    }
    return p;
}

ObservedOnModel observedOnModel(std::span<const double> mag, std::span<const double> error,
                                std::span<const double> modelY, bool magnitudeScale) {
    ObservedOnModel r;
    const std::size_t n = mag.size();
    const bool errors = error.size() == n;
    double sw = 0, swd = 0;
    std::vector<double> modelMag(n, NaN);
    for (std::size_t i = 0; i < n; ++i) {
        const double m = i < modelY.size() ? modelY[i] : NaN;
        modelMag[i] = magnitudeScale ? m : (m > 0 ? -2.5 * std::log10(m) : NaN);
        if (!std::isfinite(modelMag[i]) || !std::isfinite(mag[i])) {
            continue;
        }
        const double w = errors ? (error[i] > 0 ? 1 / (error[i] * error[i]) : 0) : 1;
        sw += w;
        swd += w * (mag[i] - modelMag[i]);
    }
    r.matched = sw > 0;
    if (r.matched) {
        r.zeroPoint = swd / sw;
    } else {
        // Nothing to match: the brightest observation at the top of the axis.
        double brightest = std::numeric_limits<double>::infinity();
        for (double m : mag) {
            if (std::isfinite(m)) {
                brightest = std::min(brightest, m);
            }
        }
        r.zeroPoint = std::isfinite(brightest) ? brightest : 0;
    }
    const double k = std::log(10.0) / 2.5;
    for (std::size_t i = 0; i < n; ++i) {
        const double dm = mag[i] - r.zeroPoint;
        const double y = magnitudeScale ? dm : std::pow(10.0, -0.4 * dm);
        r.y.push_back(y);
        if (errors) {
            r.error.push_back(magnitudeScale ? error[i] : y * error[i] * k);
        }
        const double m = i < modelY.size() ? modelY[i] : NaN;
        r.residual.push_back(r.matched && std::isfinite(m) ? y - m : NaN);
    }
    return r;
}

platform::PlotDescription curvePlot(const LightCurveState& s, const CurvePlotInputs& in) {
    platform::PlotDescription d;
    const bool observed = !in.obsPhase.empty() && in.obsMag.size() == in.obsPhase.size();
    d.panels.push_back({});
    if (observed) {
        d.panels.push_back({});
        d.panels[0].share = 2.6;
        d.panels[1].zeroLine = true;
    }
    const platform::PlotLayout layout = platform::plotLayout(d, in.width, in.height);
    const double dataWidth = layout.panels.front().width;

    const Ticks xt = phaseTicks(dataWidth);
    d.x = axisFrom(xt, -0.25, 0.75, "Phase", false);
    d.marker = in.markerPhase;

    // Each channel over its own brightest point, so no channel is squashed under another.
    std::vector<std::vector<double>> ys, errs;
    const int points = std::clamp(s.LCPoints, 0, MaxPoint);
    double comparedBrightest = NaN;
    std::vector<double> comparedPhase, comparedY;
    const int bandChannel = in.comparedChannel >= s.ChannelFirst && in.comparedChannel <= s.ChannelLast
                                ? in.comparedChannel
                                : s.ChannelFirst;
    for (int c = s.ChannelLast; c >= s.ChannelFirst; --c) {
        if (!in.band.empty() && c != bandChannel) {
            continue; // the same light in every channel: drawn once
        }
        double brightest = -std::numeric_limits<double>::infinity();
        for (int p = 0; p < points; ++p) {
            if (s.measured(c, p)) {
                brightest = std::max(brightest, s.at(c, p));
            }
        }
        platform::PlotSeries series;
        series.name = in.band.empty() ? channelTitle(c) : in.band;
        series.color = plotColor(c);
        series.style = platform::PlotSeries::Style::DotsJoined;
        series.maxGap = 30.0 / std::max(points, 1);
        for (int p = 0; p < points; ++p) {
            if (!s.measured(c, p)) {
                continue;
            }
            const double v = s.at(c, p);
            const double y = in.magnitudeScale ? (brightest - v) * kMagPerScale : (brightest > 0 ? v / brightest : NaN);
            series.x.push_back(static_cast<double>(p) / points - 0.25);
            series.y.push_back(y);
        }
        if (c == in.comparedChannel && !series.x.empty()) {
            comparedBrightest = in.magnitudeScale ? std::pow(2.512, brightest) : brightest;
            comparedPhase = series.x;
            comparedY = series.y;
        }
        if (!series.x.empty()) {
            ys.push_back(series.y);
            errs.push_back({});
            d.panels[0].series.push_back(std::move(series));
        }
    }

    if (observed && comparedPhase.empty() && in.comparedChannel == 0) {
        // Luminance is red + green + blue of one frame: the three channels of a point, measured on
        // three turns of the same model, add up to it.
        std::vector<double> light;
        for (int p = 0; p < points; ++p) {
            if (s.measured(1, p) && s.measured(2, p) && s.measured(3, p)) {
                double sum = 0;
                for (int c = 1; c <= 3; ++c) {
                    sum += in.magnitudeScale ? std::pow(2.512, s.at(c, p)) : s.at(c, p);
                }
                comparedPhase.push_back(static_cast<double>(p) / points - 0.25);
                light.push_back(sum);
            }
        }
        if (!light.empty()) {
            comparedBrightest = *std::max_element(light.begin(), light.end());
            for (double l : light) {
                comparedY.push_back(in.magnitudeScale ? -2.5 * std::log10(l / comparedBrightest) : l / comparedBrightest);
            }
        }
    }
    if (observed) {
        const std::size_t n = in.obsPhase.size();
        std::vector<double> phase(n), modelY(n, NaN);
        for (std::size_t i = 0; i < n; ++i) {
            phase[i] = plottedPhase(in.obsPhase[i]);
        }
        if (in.modelLightAtObs.size() == n) {
            // The model computed at the observed phases themselves.
            double brightest = comparedBrightest;
            if (!(brightest > 0)) {
                brightest = *std::max_element(in.modelLightAtObs.begin(), in.modelLightAtObs.end());
            }
            for (std::size_t i = 0; i < n; ++i) {
                const double l = in.modelLightAtObs[i];
                if (l > 0 && brightest > 0) {
                    modelY[i] = in.magnitudeScale ? -2.5 * std::log10(l / brightest) : l / brightest;
                }
            }
        } else if (comparedPhase.size() >= 2) {
            // The plotted curve, read off between its points (round the cycle at the ends).
            const std::size_t m = comparedPhase.size();
            for (std::size_t i = 0; i < n; ++i) {
                const double x = phase[i];
                const auto it = std::upper_bound(comparedPhase.begin(), comparedPhase.end(), x);
                const std::size_t hi = static_cast<std::size_t>(it - comparedPhase.begin()) % m;
                const std::size_t lo = (hi + m - 1) % m;
                double x0 = comparedPhase[lo], x1 = comparedPhase[hi];
                double xi = x;
                if (x1 <= x0) {
                    x1 += 1;
                    if (xi < x0) {
                        xi += 1;
                    }
                }
                if (x1 - x0 > 0.1) {
                    continue; // too far from a measured point to say
                }
                // Catmull-Rom between the two neighbours, with the points beyond them: eclipses
                // are curved, and a straight line between points a few degrees apart misses their
                // bottoms by more than the noise of good photometry.
                const double t = (xi - x0) / (x1 - x0);
                const double p0 = comparedY[(lo + m - 1) % m], p1 = comparedY[lo], p2 = comparedY[hi],
                             p3 = comparedY[(hi + 1) % m];
                const bool even = m >= 4;
                modelY[i] = even ? p1 + 0.5 * t * (p2 - p0 + t * (2 * p0 - 5 * p1 + 4 * p2 - p3 + t * (3 * (p1 - p2) + p3 - p0)))
                                 : p1 + t * (p2 - p1);
            }
        }
        const std::vector<double> noErrors;
        const ObservedOnModel o = observedOnModel(in.obsMag, in.obsError.size() == n ? in.obsError : noErrors, modelY,
                                                  in.magnitudeScale);
        if (comparedPhase.empty() && in.modelLightAtObs.size() == n) {
            // No curve yet (the pixels are measured while the system turns): the model at the
            // observed phases stands for it.
            std::vector<std::size_t> order(n);
            for (std::size_t i = 0; i < n; ++i) {
                order[i] = i;
            }
            std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return phase[a] < phase[b]; });
            platform::PlotSeries model;
            model.name = "Model";
            model.color = platform::pixelFromRgb(255, 255, 0);
            model.style = platform::PlotSeries::Style::Line;
            model.maxGap = 0.1;
            for (std::size_t i : order) {
                model.x.push_back(phase[i]);
                model.y.push_back(modelY[i]);
            }
            ys.push_back(model.y);
            errs.push_back({});
            d.panels[0].series.push_back(std::move(model));
        }
        platform::PlotSeries obs;
        std::string shift = in.magnitudeScale ? "Observed - " + platform::GeneralNumber(std::round(o.zeroPoint * 1e4) / 1e4) + " mag"
                                              : "Observed";
        obs.name = o.matched ? shift : "Observed (not matched)";
        obs.color = platform::pixelFromRgb(255, 255, 255);
        obs.style = platform::PlotSeries::Style::Boxes;
        obs.x = phase;
        obs.y = o.y;
        obs.error = o.error;
        ys.push_back(o.y);
        errs.push_back(o.error);
        d.panels[0].series.push_back(std::move(obs));

        platform::PlotSeries res;
        res.color = platform::pixelFromRgb(255, 255, 255);
        res.style = platform::PlotSeries::Style::Boxes;
        res.x = phase;
        res.y = o.residual;
        res.error = o.error;
        double extent = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (std::isfinite(o.residual[i])) {
                extent = std::max(extent, std::fabs(o.residual[i]) + (o.error.empty() ? 0 : o.error[i]));
            }
        }
        extent = extent > 0 ? extent * 1.1 : (in.magnitudeScale ? 0.01 : 0.01);
        const platform::PlotRect& strip = layout.panels[1];
        d.panels[1].y = axisFrom(niceTicks(-extent, extent, std::max(3, static_cast<int>(strip.height / 16))), -extent,
                                 extent, in.magnitudeScale ? "O - C (mag)" : "O - C", in.magnitudeScale);
        d.panels[1].series.push_back(std::move(res));
    }
    const auto [lo, hi] = paddedRange(ys, errs);
    const platform::PlotRect& main = layout.panels.front();
    d.panels[0].y = axisFrom(niceTicks(lo, hi, std::max(2, static_cast<int>(main.height / 22))), lo, hi,
                             in.magnitudeScale ? "Magnitude" : "Relative light", in.magnitudeScale);
    return d;
}

} // namespace corvane::lightcurve
