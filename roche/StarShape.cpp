// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "StarShape.h"

#include "Constants.h"
#include "Roche.h"

#include <algorithm>
#include <cmath>

namespace corvane::roche {

void ShapeCache::resize(int latLines) {
    const int n = std::max(1, latLines);
    // Latitude index 0..N; longitude index up to 3 bands of 4N cells (the southern offset of a
    // contact star's far half); corners 0..5; stars 1 and 2.
    ni_ = n + 1;
    nj_ = 12 * n + 1;
    const std::size_t size = static_cast<std::size_t>(ni_) * static_cast<std::size_t>(nj_) * nk_ * 2;
    entries_.assign(size, Entry{});
    ++generation_;
}

void ShapeCache::clear() {
    std::fill(entries_.begin(), entries_.end(), Entry{});
    ++generation_;
}

bool ShapeCache::getDirection(int i, int j, int k, int star, BodyDirection& out) const {
    if (!inside(i, j, k, star)) {
        return false;
    }
    const std::size_t at = index(i, j, k, star);
    if (!entries_[at].haveDirection) {
        return false;
    }
    out = entries_[at].direction;
    return true;
}

void ShapeCache::putDirection(int i, int j, int k, int star, const BodyDirection& d) {
    if (inside(i, j, k, star)) {
        const std::size_t at = index(i, j, k, star);
        entries_[at].direction = d;
        entries_[at].haveDirection = true;
    }
}

BodyDirection bodyDirection(double Phi, double Theta) {
    const double cosPhi = std::cos(Phi);
    return {std::cos(Theta) * cosPhi, std::sin(Theta) * cosPhi, std::sin(Phi)};
}

ViewTrig ViewTrig::of(double Eta, double Iota, double Gamma) {
    const double e = Eta + HalfPi;
    return {std::cos(e), std::sin(e), std::cos(Iota), std::sin(Iota), std::cos(Gamma), std::sin(Gamma)};
}

bool ShapeCache::inside(int i, int j, int k, int star) const {
    return i >= 0 && i < ni_ && j >= 0 && j < nj_ && k >= 0 && k < nk_ && (star == 1 || star == 2);
}

std::size_t ShapeCache::index(int i, int j, int k, int star) const {
    // Corner fastest, then the cell along its band, then the band, then the star: the order a frame
    // visits them.
    return static_cast<std::size_t>(k) +
           nk_ * (static_cast<std::size_t>(j) +
                  static_cast<std::size_t>(nj_) * (static_cast<std::size_t>(i) +
                                                    static_cast<std::size_t>(ni_) * static_cast<std::size_t>(star - 1)));
}

double ShapeCache::get(int i, int j, int k, int star) const {
    return inside(i, j, k, star) ? entries_[index(i, j, k, star)].radius : 0.0;
}

void ShapeCache::put(int i, int j, int k, int star, double radius) {
    if (inside(i, j, k, star)) {
        entries_[index(i, j, k, star)].radius = radius;
    }
}

double StarShape(ShapeState& s, const ShapeInputs& in, ShapeCache& cache, int P, double Phi, double Theta, int i,
                 int j, int k, bool bForce) {
    if (!bForce) {
        if (const double cached = cache.get(i, j, k, P); cached != 0.0) {
            return cached;
        }
    }
    const double qText = clampMassRatio(in.QText);
    if (P == 1) {
        s.CurRadius = in.Radius1;
        s.ShapeQ = qText;
        s.ShapeOffset = -HalfPi;
    } else {
        s.CurRadius = in.Radius2;
        s.ShapeQ = 1.0 / qText;
        s.ShapeOffset = HalfPi;
    }
    const double limit = P == 1 ? in.LagrangeX : 1.0 - in.LagrangeX;
    const double p = s.ShapePole = s.CurRadius;
    if (!(p > 0.0) || !std::isfinite(p)) {
        s.LastShapeRadius = 0.0;
        return 0.0;
    }
    const double q = s.ShapeQ;
    s.DirX = std::sin(s.ShapeOffset + Theta) * std::cos(Phi);
    s.DirZ = std::sin(Phi);
    const double polePot = 1.0 / p + q / std::sqrt(1.0 + p * p);
    const double spin = 0.5 * (1.0 + q) * (1.0 - s.DirZ * s.DirZ);
    auto next = [&](double r) {
        s.ShapePot = polePot - q / std::sqrt(1.0 - 2.0 * r * s.DirX + r * r);
        s.ShapeInv = s.ShapePot + q * r * s.DirX - spin * r * r;
        return 1.0 / s.ShapeInv;
    };

    double r = next(p);
    s.IterCount = 0;
    do {
        ++s.IterCount;
        s.RadiusPrev = r;
        r = next(r);
        if (!(r > 0.0) || !std::isfinite(r)) {
            s.IterCount = 20; // no closed surface in this direction
        }
        s.RadiusChange = std::fabs(s.RadiusPrev - r) / r;
    } while (!(s.RadiusChange < 0.0005) && s.IterCount < 20);

    if (s.IterCount >= 20) {
        r = limit;
    }
    const double cosPhi = std::cos(Phi);
    if (std::sin(s.ShapeOffset + Theta) > 0.0 && std::fabs(r) > limit && cosPhi > 0.0) {
        r = std::min(std::fabs(r), limit / cosPhi);
    }
    s.LastShapeRadius = r;
    cache.put(i, j, k, P, r);
    return r;
}

double StarSpinRadius(ShapeState& s, double Phi, double RotPeriodSec) {
    constexpr double R = 6.95e8;
    constexpr double G = 6.672e-11;
    constexpr double M = 1.989e30;
    const double T = RotPeriodSec;
    if (!(T > 0.0) || !std::isfinite(T)) {
        return 1.0;
    }
    const double c = std::cos(Phi);
    const double k = (R * R * R * 4.0 * Pi * Pi * c * c) / (T * T * G * M);
    double r = 1.0 / (1.0 - k * 0.5);
    if (!std::isfinite(r) || r <= 0.0) {
        s.SpinUnstable = true;
        return 1.0;
    }
    s.IterCount = 0;
    do {
        ++s.IterCount;
        s.RadiusPrev = r;
        const double candidate = 1.0 / (1.0 - 0.5 * r * r * k);
        // Spin beyond break-up: the iterate leaves the positive radii and would only look settled.
        if (!std::isfinite(candidate) || candidate <= 0.0) {
            s.IterCount = 10;
            break;
        }
        r = candidate;
        s.RadiusChange = std::fabs(s.RadiusPrev - r) / r;
    } while (!(s.RadiusChange < 0.01) && s.IterCount < 10);
    if (s.IterCount >= 10) {
        s.SpinUnstable = true;
    }
    return r;
}

double surfaceRadius(ShapeState& s, const ShapeInputs& in, ShapeCache& cache, const ViewGeometry& view, int P,
                     double Phi, double Theta, int i, int j, int k) {
    s.CurRadius = P == 1 ? in.Radius1 : in.Radius2;
    if (!view.Tidal) {
        return s.CurRadius;
    }
    return view.TwoStars ? StarShape(s, in, cache, P, Phi, Theta, i, j, k, false)
                         : StarSpinRadius(s, Phi, view.RotPeriodSec) / 2.0;
}

ScreenPoint project(const BodyDirection& d, double scale, const ViewTrig& t, const ViewGeometry& view) {
    const double bodyX = d.x * scale;
    const double bodyY = d.y * scale;
    const double bodyZ = d.z * scale;

    const double tiltX = -bodyX * t.cosE + bodyY * t.sinE;
    const double tiltY = bodyX * t.sinE + bodyY * t.cosE;

    ScreenPoint out;
    out.X = bodyZ * t.cosI + tiltX * t.sinI;
    const double z1 = bodyZ * t.sinI - tiltX * t.cosI;
    out.Y = z1 * t.sinG - tiltY * t.cosG;
    out.Z = z1 * t.cosG + tiltY * t.sinG;
    out.Y += static_cast<double>(view.HalfWidth) + view.CentreX;
    out.Z += static_cast<double>(view.HalfHeight) + view.CentreY;
    return out;
}

ScreenPoint CT(ShapeState& s, const ShapeInputs& in, ShapeCache& cache, const ViewGeometry& view, int P, double Phi,
               double Theta, double Eta, double Iota, double Gamma, int i, int j, int k) {
    const double r = surfaceRadius(s, in, cache, view, P, Phi, Theta, i, j, k);
    return project(bodyDirection(Phi, Theta), 2.0 * view.ZoomScale * r, ViewTrig::of(Eta, Iota, Gamma), view);
}

} // namespace corvane::roche
