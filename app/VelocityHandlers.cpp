// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneForm.h"

#include "fitting/Observations.h"
#include "lightcurve/CurvePlot.h"
#include "lightcurve/VelocityPlot.h"
#include "platform/PlotPainter.h"
#include "precise/PreciseLight.h"
#include "roche/Constants.h"
#include "platform/NumberFormat.h"
#include "precise/OrbitScene.h"

#include <cmath>

namespace corvane::app {

using platform::Format;
using platform::Val;

roche::OrbitSize CorvaneForm::orbitScale() const {
    return roche::orbitSize(SemiMajorAxis, Val(txtPeriod.Text), Q, Eccentricity, Iota);
}

std::optional<precise::PreciseLight> CorvaneForm::velocityModel() const {
    if (!precisePhotometry() || LightRefused || !TwoStarsCheck.checked()) {
        return std::nullopt;
    }
    return precise::PreciseLight(sceneInputs());
}

roche::PairVelocity CorvaneForm::velocityAt(double phase, const precise::PreciseLight* model) const {
    const roche::OrbitSize size = orbitScale();
    const roche::OrbitSettings o = orbitSettings();
    const roche::Orbit orbit(o.eccentricity, o.omega, Iota, o.apsidal);
    roche::PairVelocity v = roche::keplerVelocities(orbit, phase, size.K1, size.K2, GammaVelocity);
    if (o.lightTime > 0) {
        // Each star seen as it was when its light left it: star 1 stands q / (1 + q) of the
        // separation's line-of-sight part behind the centre of mass, star 2 1 / (1 + q) in front.
        const roche::OrbitPosition at = orbit.at(phase);
        const double depth = o.lightTime * at.separation * std::sin(at.theta) * std::sin(Iota) / (1 + Q);
        v.v1 = roche::keplerVelocities(orbit, phase - Q * depth, size.K1, size.K2, GammaVelocity).v1;
        v.v2 = roche::keplerVelocities(orbit, phase + depth, size.K1, size.K2, GammaVelocity).v2;
    }
    const double period = Val(txtPeriod.Text);
    if (model != nullptr && size.K1 > 0 && period > 0) {
        const double e = o.eccentricity;
        const double spin = std::sqrt((1 + e) / std::pow(1 - e, 3)); // synchronous at periastron
        const double omegaA = spin * 2 * Pi * SemiMajorAxis * roche::NominalSolarRadiusKm / (period * 86400);
        const double eta = TwoPi * (phase + 0.25);
        if (Vsini1 == 0 && Vsini2 == 0 && Lambda1Deg == 0 && Lambda2Deg == 0) {
            if (const auto rot = model->rotationVelocities(eta, comparedChannel())) {
                v.v1 += omegaA * (*rot)[0];
                v.v2 += omegaA * (*rot)[1];
            }
        } else if (const auto sky = model->skyCentroids(eta, comparedChannel())) {
            for (int star : {1, 2}) {
                const double given = star == 1 ? Vsini1 : Vsini2;
                const double lambda = (star == 1 ? Lambda1Deg : Lambda2Deg) * Pi / 180;
                // V sin i / R, with R in units of a: given, or the synchronous Omega a sin i.
                const double perRadius = given > 0 ? given / volumeRadius(star) : omegaA * std::sin(Iota);
                const auto& c = (*sky)[static_cast<std::size_t>(star - 1)];
                const double rotation = perRadius * (c[0] * std::cos(lambda) - c[1] * std::sin(lambda));
                if (std::isfinite(rotation)) {
                    (star == 1 ? v.v1 : v.v2) += rotation;
                }
            }
        }
    }
    return v;
}

double CorvaneForm::volumeRadius(int star) const {
    const double pole = star == 1 ? Radius1 : Radius2;
    if (!chkSpherical.checked()) {
        return pole;
    }
    const double e = Eccentricity;
    const auto v = precise::detachedVolumeRadius(star == 1 ? Q : 1 / Q, pole / (1 - e));
    return v ? *v * (1 - e) : std::nan("");
}

std::vector<std::string> CorvaneForm::dimensionsReport() const {
    const roche::OrbitSize size = orbitScale();
    if (!(size.mass1 > 0)) {
        return {};
    }
    std::vector<std::string> lines;
    lines.push_back("K1 = " + Format(size.K1, "0.000") + " km/s, K2 = " + Format(size.K2, "0.000") + " km/s");
    lines.push_back("M1 = " + Format(size.mass1, "0.0000") + ", M2 = " + Format(size.mass2, "0.0000") +
                    " (nominal solar masses)");
    // The radius papers quote, the volume-equivalent one; an eccentric orbit's Roche star keeps the
    // volume it has at periastron.
    const double e = Eccentricity;
    std::string radii, gravities;
    std::string rotation;
    const double period = Val(txtPeriod.Text);
    for (int star : {1, 2}) {
        const double r = volumeRadius(star);
        const double radius = r * SemiMajorAxis;
        // The synchronous rotation at the periastron rate, or the one given.
        const double given = star == 1 ? Vsini1 : Vsini2;
        const double spin = std::sqrt((1 + e) / std::pow(1 - e, 3));
        const double vsini = given > 0 ? given : spin * 2 * Pi * radius * roche::NominalSolarRadiusKm * std::sin(Iota) /
                                                     (period * 86400);
        rotation += (star == 1 ? "" : ", ") + ("v sin i" + std::to_string(star) + " = ") +
                    (std::isfinite(vsini) ? Format(vsini, "0.00") : std::string("none")) +
                    (given > 0 ? " (given)" : " (synchronous)");
        const double mass = star == 1 ? size.mass1 : size.mass2;
        const std::string n = std::to_string(star);
        radii += (star == 1 ? "" : ", ") + ("R" + n + " = ") +
                 (std::isfinite(radius) ? Format(radius, "0.0000") : std::string("none (it fills its lobe)"));
        const double g = roche::surfaceGravity(mass, radius);
        gravities += (star == 1 ? "" : ", ") + ("log g" + n + " = ") +
                     (std::isfinite(g) ? Format(g, "0.000") : std::string("none"));
    }
    lines.push_back(radii + " (nominal solar radii, volume-equivalent)");
    lines.push_back(gravities + " (cgs)");
    lines.push_back(rotation + " km/s");
    return lines;
}

std::string CorvaneForm::loadVelocities(int star, const std::string& path) {
    fitting::Observations obs = fitting::readVelocities(path);
    if (!obs.ok()) {
        return obs.problem;
    }
    VelocitySet set;
    set.star = star;
    set.file = path;
    if (obs.abscissa == fitting::Abscissa::Time) {
        const double period = Val(txtPeriod.Text);
        if (!(period > 0)) {
            return "The velocities of " + path + " are in time: give the period (and the epoch of primary minimum) to "
                   "fold them.";
        }
        const double epoch = Val(txtEpoch.Text);
        for (const double t : obs.x) {
            set.phase.push_back((t - epoch) / period);
        }
    } else {
        set.phase = obs.x;
    }
    set.velocity = obs.value;
    set.error = obs.error;
    VelocitySets.push_back(std::move(set));
    return {};
}

std::vector<std::string> CorvaneForm::velocityReport() const {
    std::vector<std::string> lines;
    const std::optional<precise::PreciseLight> model = VelocitySets.empty() ? std::nullopt : velocityModel();
    const bool scaled = orbitScale().K1 > 0;
    for (const VelocitySet& set : VelocitySets) {
        double sum2 = 0, chi2 = 0;
        for (std::size_t k = 0; k < set.phase.size(); ++k) {
            const roche::PairVelocity v = velocityAt(set.phase[k] + observedPhaseShift(), model ? &*model : nullptr);
            const double d = set.velocity[k] - (set.star == 1 ? v.v1 : v.v2);
            sum2 += d * d;
            if (!set.error.empty() && set.error[k] > 0) {
                chi2 += d * d / (set.error[k] * set.error[k]);
            }
        }
        const std::size_t n = set.phase.size();
        std::string line = "Star " + std::to_string(set.star) + " velocities (" + set.file + "): " + std::to_string(n) +
                           " points, RMS residual " + Format(n > 0 ? std::sqrt(sum2 / static_cast<double>(n)) : 0.0, "0.000") +
                           " km/s";
        if (!set.error.empty()) {
            line += ", chi-square " + Format(chi2, "0.00");
        }
        if (!scaled) {
            line += " (no semi-major axis or period: the model is the systemic velocity alone)";
        }
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::array<double, 3>> CorvaneForm::velocityCurve(double stepDegrees) const {
    std::vector<std::array<double, 3>> out;
    if (!(stepDegrees > 0) || !std::isfinite(stepDegrees)) {
        return out;
    }
    const std::optional<precise::PreciseLight> model = velocityModel();
    const int n = static_cast<int>(std::ceil(360 / stepDegrees - 1e-9));
    for (int k = 0; k < n; ++k) {
        const double phase = k * stepDegrees / 360;
        const roche::PairVelocity v = velocityAt(phase, model ? &*model : nullptr);
        out.push_back({phase, v.v1, v.v2});
    }
    return out;
}

platform::PlotDescription CorvaneForm::velocityPlot(int width, int height) const {
    lightcurve::VelocityPlotInputs in;
    in.width = width;
    in.height = height;
    in.gamma = GammaVelocity;
    const std::optional<precise::PreciseLight> model = velocityModel();
    constexpr int Points = 400;
    for (int k = 0; k <= Points; ++k) {
        const double phase = -0.25 + static_cast<double>(k) / Points;
        const roche::PairVelocity v = velocityAt(phase, model ? &*model : nullptr);
        in.phase.push_back(phase);
        in.v1.push_back(v.v1);
        in.v2.push_back(v.v2);
    }
    const double shift = observedPhaseShift();
    for (const VelocitySet& set : VelocitySets) {
        lightcurve::VelocityObserved o;
        o.star = set.star;
        o.error = set.error;
        for (std::size_t k = 0; k < set.phase.size(); ++k) {
            const double phase = set.phase[k] + shift;
            const roche::PairVelocity v = velocityAt(phase, model ? &*model : nullptr);
            o.phase.push_back(phase);
            o.velocity.push_back(set.velocity[k]);
            o.residual.push_back(set.velocity[k] - (set.star == 1 ? v.v1 : v.v2));
        }
        in.observed.push_back(std::move(o));
    }
    return lightcurve::velocityPlot(in);
}

std::string CorvaneForm::saveVelocityPlot(const std::filesystem::path& file, int width, int height) const {
    return platform::savePlot(velocityPlot(width, height), file, width, height);
}

} // namespace corvane::app
