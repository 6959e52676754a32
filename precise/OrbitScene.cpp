// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "precise/OrbitScene.h"

#include "precise/Quadrature.h"
#include "precise/VolumeRadius.h"
#include "roche/LobeRadius.h"
#include "roche/Roche.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace corvane::precise {
namespace {

bool applies(const render::SceneInputs& in) { return in.Orbit.framed() && in.TwoStars; }

double massRatioOf(const render::SceneInputs& in, int star) {
    const double q = roche::clampMassRatio(in.Shape.QText);
    return star == 1 ? q : 1 / q;
}

} // namespace

// The rule of precise/VolumeRadius (24 Gauss-Legendre nodes in nu, 48 trapezoid steps round the half
// azimuth), each radius by Newton's method on
//   f(r) = 1/r + q (1/sqrt(1 - 2 lambda r + r^2) - lambda r) + (1 + q)/2 (1 - nu^2) r^2 - Omega_pole
// from the pole radius, the surface's nearest point: f falls and is convex inside the lobe, so the
// iterates climb to the root from below. Nothing for a star that reaches its lobe.
std::optional<double> detachedVolumeRadius(double q, double rPole) {
    if (!(rPole > 0) || !std::isfinite(rPole)) {
        return std::nullopt;
    }
    const double omega = 1 / rPole + q / std::sqrt(1 + rPole * rPole);
    const double critical = roche::RochePotentialAt(q, roche::InnerLagrangianPoint(q), 1.0, 0.0);
    if (!(omega > critical)) {
        return std::nullopt;
    }
    constexpr int NuNodes = 24, PhiNodes = 48;
    static const GaussRule rule = gaussLegendre(NuNodes);
    double sum = 0;
    for (int i = 0; i < NuNodes; ++i) {
        const double nu = 0.5 * (1 + rule.x[static_cast<std::size_t>(i)]);
        const double across = std::sqrt(std::max(0.0, 1 - nu * nu));
        double ring = 0;
        for (int k = 0; k <= PhiNodes; ++k) {
            const double lambda = across * std::cos(std::numbers::pi * k / PhiNodes);
            const double c = (1 + q) / 2 * (1 - nu * nu);
            double r = rPole;
            for (int pass = 0; pass < 60; ++pass) {
                const double d2 = 1 - 2 * lambda * r + r * r;
                const double id = 1 / std::sqrt(d2);
                const double f = 1 / r + q * (id - lambda * r) + c * r * r - omega;
                const double fp = -1 / (r * r) + q * ((lambda - r) * id * id * id - lambda) + 2 * c * r;
                const double step = f / fp;
                if (!std::isfinite(step) || fp >= 0) {
                    return std::nullopt; // past the lobe's neck: not a detached star
                }
                r -= step;
                if (std::abs(step) <= 1e-15 * r) {
                    break;
                }
            }
            ring += (k == 0 || k == PhiNodes ? 0.5 : 1.0) * r * r * r;
        }
        sum += 0.5 * rule.w[static_cast<std::size_t>(i)] * ring * std::numbers::pi / PhiNodes;
    }
    return std::cbrt(sum / std::numbers::pi); // (3 V / 4 pi)^(1/3) with V = (4/3) sum
}

namespace {

// The pole radius (units of the separation of the moment delta) of the star whose pole radius at
// periastron is pole (units of a): the root of rv(rho) delta = rv(pole / (1 - e)) (1 - e), rv the
// volume-equivalent radius in units of the separation. rv grows with rho, so the secant steps stay
// inside a bracket that only shrinks.
std::optional<double> rocheRadiusAt(double q, double pole, double e, double delta) {
    const double near = 1 - e;
    const std::optional<double> v0 = detachedVolumeRadius(q, pole / near);
    if (!v0) {
        return std::nullopt;
    }
    const double target = *v0 * near / delta;
    auto f = [&](double rho) -> std::optional<double> {
        const std::optional<double> v = detachedVolumeRadius(q, rho);
        if (!v) {
            return std::nullopt;
        }
        return *v - target;
    };
    // The pole is a little inside the volume radius: start from the periastron shape scaled.
    double a = pole / delta * 0.98, b = pole / delta * 1.02;
    std::optional<double> fa = f(a), fb = f(b);
    for (int k = 0; k < 40 && fa && *fa > 0; ++k) {
        a *= 0.9;
        fa = f(a);
    }
    for (int k = 0; k < 40 && fb && *fb < 0; ++k) {
        b *= 1.1;
        fb = f(b);
    }
    if (!fa || !fb || *fa > 0 || *fb < 0) {
        return std::nullopt;
    }
    // The secant from the bracket's ends, kept inside it; rv is nearly proportional to rho, so a few
    // steps reach the rounding of the volume's quadrature.
    double x = b;
    for (int pass = 0; pass < 60; ++pass) {
        const double next = *fb - *fa != 0 ? b - *fb * (b - a) / (*fb - *fa) : (a + b) / 2;
        const double step = std::abs(next - x);
        x = next > a && next < b ? next : (a + b) / 2;
        const std::optional<double> fx = f(x);
        if (!fx) {
            return std::nullopt;
        }
        if (*fx == 0 || step <= 1e-14 * x) {
            break;
        }
        // Illinois: halve the stale end's value so the bracket closes from both sides.
        if (*fx > 0) {
            b = x;
            fb = fx;
            *fa /= 2;
        } else {
            a = x;
            fa = fx;
            *fb /= 2;
        }
    }
    return x;
}

} // namespace

std::string orbitProblem(const render::SceneInputs& in) {
    if (!applies(in) || !in.View.Tidal || !in.Orbit.eccentric()) {
        return {};
    }
    const double e = std::min(in.Orbit.eccentricity, roche::MaxEccentricity);
    for (int star : {1, 2}) {
        const double pole = star == 1 ? in.Radius1 : in.Radius2;
        if (!detachedVolumeRadius(massRatioOf(in, star), pole / (1 - e))) {
            return "Star " + std::to_string(star) +
                   " fills its Roche lobe at periastron: an eccentric orbit needs two detached stars.";
        }
    }
    return {};
}

render::SceneInputs sceneAtOrbitAngle(const render::SceneInputs& in, double eta) {
    if (!applies(in) || !orbitProblem(in).empty()) {
        return in;
    }
    const roche::Orbit orbit(in.Orbit.eccentricity, in.Orbit.omega, in.Iota, in.Orbit.apsidal);
    const double seen = eta / (2 * std::numbers::pi) - 0.25;
    const double phase = roche::retardedPhase(orbit, in.Orbit, seen, in.Iota, roche::clampMassRatio(in.Shape.QText));
    const roche::OrbitPosition at = orbit.at(phase);
    const double delta = at.separation;
    render::SceneInputs frame = in;
    frame.Orbit = {};
    frame.Eta = at.theta;
    frame.View.ZoomScale = in.View.ZoomScale * delta;
    for (int star : {1, 2}) {
        if (!in.Orbit.eccentric()) {
            break; // a circular orbit seen with its light time: the stars as they are
        }
        const double pole = star == 1 ? in.Radius1 : in.Radius2;
        double radius = pole / delta;
        if (in.View.Tidal) {
            radius = rocheRadiusAt(massRatioOf(in, star), pole, orbit.eccentricity(), delta).value_or(radius);
        }
        (star == 1 ? frame.Radius1 : frame.Radius2) = radius;
        (star == 1 ? frame.Shape.Radius1 : frame.Shape.Radius2) = radius;
    }
    return frame;
}

} // namespace corvane::precise
