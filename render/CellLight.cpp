// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CellLight.h"

#include "light/Irradiation.h"
#include "light/Passband.h"
#include "roche/LobeRadius.h"
#include "roche/Roche.h"

#include <algorithm>
#include <cmath>

namespace corvane::render {

namespace {

// |grad Omega| of a star's own potential (the star at the origin, its companion of mass ratio q at
// x = 1) at p.
double gravity(double q, double x, double y, double z) {
    const double d1 = std::sqrt(x * x + y * y + z * z);
    const double dx = x - 1;
    const double d2 = std::sqrt(dx * dx + y * y + z * z);
    const double i13 = 1 / (d1 * d1 * d1), i23 = 1 / (d2 * d2 * d2);
    const double gx = -x * i13 - q * dx * i23 - q + (1 + q) * x;
    const double gy = -y * i13 - q * y * i23 + (1 + q) * y;
    const double gz = -z * i13 - q * z * i23;
    return std::sqrt(gx * gx + gy * gy + gz * gz);
}

// The outward normal (unnormalised) of the same potential at p.
void normal(double q, double x, double y, double z, double n[3]) {
    const double d1 = std::sqrt(x * x + y * y + z * z);
    const double dx = x - 1;
    const double d2 = std::sqrt(dx * dx + y * y + z * z);
    const double i13 = 1 / (d1 * d1 * d1), i23 = 1 / (d2 * d2 * d2);
    n[0] = -(-x * i13 - q * dx * i23 - q + (1 + q) * x);
    n[1] = -(-y * i13 - q * y * i23 + (1 + q) * y);
    n[2] = -(-z * i13 - q * z * i23);
}

struct StarFrame {
    bool roche = false;
    double q = 1, omega = 0, pole = 0;
};

StarFrame frameOf(const SceneInputs& in, int star) {
    StarFrame f;
    const double q = roche::clampMassRatio(in.Shape.QText);
    f.q = star == 1 ? q : 1 / q;
    f.pole = star == 1 ? in.Radius1 : in.Radius2;
    f.roche = in.View.Tidal && in.TwoStars;
    f.omega = 1 / f.pole + f.q / std::sqrt(1 + f.pole * f.pole);
    return f;
}

double radiusAt(const StarFrame& f, double lambda, double nu) {
    return f.roche ? roche::EquipotentialRadius(f.q, f.omega, lambda, nu).radius : f.pole;
}

// The companion as the irradiation's source: the radius of the sphere of its volume and its mean
// T^4 over its surface (darkened by gravity), by a small quadrature over directions (the midpoint
// rule, 8 cosines a hemisphere by 16 azimuths), kept for the last system asked about.
struct Source {
    double radius = 0, t4 = 0;
};

Source sourceOf(const SceneInputs& in, int star) {
    const StarFrame f = frameOf(in, star);
    const double T = star == 1 ? in.Temp1 : in.Temp2;
    const double beta = f.roche ? (star == 1 ? in.Light.gravity1 : in.Light.gravity2) : 0.0;
    struct Key {
        double q, omega, pole, T, beta;
        bool roche;
        bool operator==(const Key&) const = default;
    };
    thread_local Key lastKey{};
    thread_local Source last{};
    const Key key{f.q, f.omega, f.pole, T, beta, f.roche};
    if (key == lastKey && last.radius > 0) {
        return last;
    }
    Source s;
    if (!f.roche) {
        s = {f.pole, T * T * T * T};
    } else {
        const double gp = gravity(f.q, 0, 0, f.pole);
        double area = 0, volume = 0, t4 = 0;
        constexpr int nNu = 8, nAz = 16;
        for (int i = 0; i < nNu; ++i) {
            const double nu = (i + 0.5) / nNu;
            const double c = std::sqrt(1 - nu * nu);
            for (int j = 0; j < nAz; ++j) {
                const double az = 2 * 3.141592653589793 * (j + 0.5) / nAz;
                const double lx = c * std::cos(az), ly = c * std::sin(az);
                const double r = radiusAt(f, lx, nu);
                double n[3];
                normal(f.q, r * lx, r * ly, r * nu, n);
                const double nn = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
                const double cosn = nn > 0 ? (n[0] * lx + n[1] * ly + n[2] * nu) / nn : 1.0;
                const double dA = r * r / std::max(cosn, 1e-6);
                const double g = gravity(f.q, r * lx, r * ly, r * nu);
                const double factor = beta != 0 && gp > 0 && g > 0 ? std::pow(g / gp, 4 * beta) : 1.0;
                area += dA;
                volume += r * r * r;
                t4 += factor * dA;
            }
        }
        s.radius = std::cbrt(volume / (nNu * nAz));
        s.t4 = T * T * T * T * t4 / area;
    }
    lastKey = key;
    last = s;
    return s;
}

} // namespace

bool lightShadesCells(const light::LightSettings& l) {
    return !l.screenColour() || l.law != light::LimbLaw::Linear || l.gravity1 != 0 || l.gravity2 != 0 ||
           l.albedo1 != 0 || l.albedo2 != 0;
}

double cellDarkening(const SceneInputs& in, int StarNum, double cosView) {
    const bool one = StarNum == 1;
    // Coefficients a law cannot use (refused for the Precise photometry) paint no negative light.
    return std::max(0.0, light::limbProfile(in.Light.law, one ? in.Limb1 : in.Limb2,
                                            one ? in.Light.limb1b : in.Light.limb2b, std::min(1.0, std::fabs(cosView))));
}

Rgb temperatureColour(const SceneInputs& in, double T) {
    if (in.Light.screenColour()) {
        return StarColorTemp(T, in.Colour);
    }
    const light::BandIntensity* band = light::BandIntensity::of(in.Light.passband);
    auto S = [&](double t) { return band != nullptr ? band->normal(t) : light::bolometricIntensity(t); };
    const double top = in.Colour.TempMax > 0 ? in.Colour.TempMax : std::max(in.Temp1, in.Temp2);
    const double v = T > 0 ? 255 * S(T) / S(top) : 0.0;
    return {v, v, v};
}

Rgb cellColour(const SceneInputs& in, int StarNum, double Phi, double Theta, double T, double* spotDist) {
    const int star = StarNum == 1 ? 1 : 2;
    double own = T;
    if (star == 1 && in.Colour.SpotActive) {
        double dist = 0;
        StarColor(T, 1, Phi, Theta, in.Colour, &dist);
        if (spotDist != nullptr) {
            *spotDist = dist;
        }
        if (dist < in.Colour.SpotRadius) {
            own = in.Colour.SpotTemp;
        }
    }
    if (!in.TwoStars) {
        // The spinning star: its surface 1/rho + K rho^2 cos^2(Phi) / 2 = 1 (polar radius 1), its
        // gravity that potential's gradient, 1 at the pole.
        const double P = in.View.RotPeriodSec;
        if (in.View.Tidal && in.Light.gravity1 != 0 && P > 0 && std::isfinite(P)) {
            constexpr double R = 6.95e8, G = 6.672e-11, M = 1.989e30, Pi = 3.141592653589793;
            const double K = R * R * R * 4 * Pi * Pi / (P * P * G * M);
            const double c2 = std::cos(Phi) * std::cos(Phi);
            double rho = 1;
            for (int k = 0; k < 60; ++k) {
                const double next = 1 / (1 - 0.5 * K * rho * rho * c2);
                if (!(next > 0) || !std::isfinite(next) || std::fabs(next - rho) < 1e-12) {
                    rho = next > 0 && std::isfinite(next) ? next : rho;
                    break;
                }
                rho = next;
            }
            const double gr = K * rho * c2 - 1 / (rho * rho);
            const double gt = K * rho * std::sqrt(c2 * (1 - c2));
            const double g = std::sqrt(gr * gr + gt * gt);
            if (g > 0) {
                own *= std::pow(g, in.Light.gravity1);
            }
        }
        return temperatureColour(in, own);
    }
    // The direction in the star's own frame, x towards the companion: the mesh's Theta = 0 points
    // away from it on star 1, towards it on star 2.
    const double toward = star == 1 ? -std::cos(Theta) : std::cos(Theta);
    const double lambda = toward * std::cos(Phi), nu = std::sin(Phi);
    const double side = -std::sin(Theta) * std::cos(Phi);
    const StarFrame f = frameOf(in, star);
    const double r = radiusAt(f, lambda, nu);
    const double x = r * lambda, y = r * side, z = r * nu;
    const double beta = star == 1 ? in.Light.gravity1 : in.Light.gravity2;
    if (beta != 0 && f.roche) {
        const double gp = gravity(f.q, 0, 0, f.pole);
        const double g = gravity(f.q, x, y, z);
        if (gp > 0 && g > 0) {
            own *= std::pow(g / gp, beta);
        }
    }
    const double albedo = star == 1 ? in.Light.albedo1 : in.Light.albedo2;
    if (albedo > 0) {
        const int other = 3 - star;
        const Source c = sourceOf(in, other);
        double n[3] = {x, y, z};
        if (f.roche) {
            normal(f.q, x, y, z, n);
        }
        const double nn = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        const double dx = 1 - x, dy = -y, dz = -z;
        const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
        if (nn > 0 && d > 0) {
            const double phi = light::irradiation(in.Light.law, other == 1 ? in.Limb1 : in.Limb2,
                                                  other == 1 ? in.Light.limb1b : in.Light.limb2b, c.radius / d,
                                                  (n[0] * dx + n[1] * dy + n[2] * dz) / (nn * d), 6);
            const double o2 = own * own;
            own = std::pow(o2 * o2 + std::min(albedo, 1.0) * c.t4 * phi, 0.25);
        }
    }
    return temperatureColour(in, own);
}

} // namespace corvane::render
