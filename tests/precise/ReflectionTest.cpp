// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// Reflection: the flux a surface receives from a limb-darkened sphere against a brute-force integral
// over the sphere's own surface, and the power a star re-radiates against the closed-form view
// factor between two spheres.
#include "light/Irradiation.h"
#include "precise/PreciseLight.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace corvane::precise {
namespace {

constexpr double kPi = std::numbers::pi;

double law(light::LimbLaw l, double a, double b, double mu) {
    switch (l) {
    case light::LimbLaw::Linear: return 1 - a * (1 - mu);
    case light::LimbLaw::Quadratic: return 1 - a * (1 - mu) - b * (1 - mu) * (1 - mu);
    case light::LimbLaw::SquareRoot: return 1 - a * (1 - mu) - b * (1 - std::sqrt(mu));
    case light::LimbLaw::Logarithmic: return mu > 0 ? 1 - a * (1 - mu) - b * mu * std::log(mu) : 1 - a;
    case light::LimbLaw::Power2: return 1 - a * (1 - std::pow(mu, b));
    }
    return 1;
}

// The flux on a unit element at the origin with normal n = (sin g, 0, cos g) from a sphere of radius
// R whose centre is at distance 1 on the z axis, in units of the sphere's surface flux: the sum over
// the sphere's surface of I(mu_s) cos(receiver) mu_s / D^2 dA, with I(1) = 1 / (pi F) and F the
// law's disc flux 2 Int I mu d mu (taken here by the midpoint rule too). Midpoint rule over the cap
// the element can see, in the sphere's polar angle about the axis to the element and the azimuth.
double bruteFlux(light::LimbLaw l, double a, double b, double R, double cosG, int nT = 3000, int nP = 3000) {
    const double sinG = std::sqrt(1 - cosG * cosG);
    const int nF = 20000;
    double F = 0;
    for (int k = 0; k < nF; ++k) {
        const double mu = (k + 0.5) / nF;
        F += 2 * mu * law(l, a, b, mu) / nF;
    }
    // Points Q = C + R (cos t (0,0,-1) + sin t (cos p, sin p, 0)) with C = (0,0,1): t from 0 (the
    // point nearest the element) to the edge of what it sees, cos t = R.
    const double tMax = std::acos(R);
    double sum = 0;
    for (int i = 0; i < nT; ++i) {
        const double t = (i + 0.5) * tMax / nT;
        const double st = std::sin(t), ct = std::cos(t);
        for (int j = 0; j < nP; ++j) {
            const double p = (j + 0.5) * 2 * kPi / nP;
            const double nx = st * std::cos(p), ny = st * std::sin(p), nz = -ct; // the sphere's normal
            const double qx = R * nx, qy = R * ny, qz = 1 + R * nz;
            const double D = std::sqrt(qx * qx + qy * qy + qz * qz);
            const double wx = qx / D, wy = qy / D, wz = qz / D; // from the element to Q
            const double cosRec = sinG * wx + cosG * wz;
            const double muS = -(nx * wx + ny * wy + nz * wz);
            if (cosRec <= 0 || muS <= 0) {
                continue;
            }
            const double dA = R * R * st * (tMax / nT) * (2 * kPi / nP);
            sum += law(l, a, b, muS) * cosRec * muS / (D * D) * dA;
        }
    }
    return sum / (kPi * F);
}

struct FluxCase {
    light::LimbLaw law;
    double a, b;
    double R;    // the source's radius at distance 1
    double cosG; // the element's normal from the direction to the source
};

class IrradiationVsSurfaceSum : public ::testing::TestWithParam<FluxCase> {};

TEST_P(IrradiationVsSurfaceSum, AgreesToAMillionthOfTheOverheadFlux) {
    const FluxCase c = GetParam();
    const double got = light::irradiation(c.law, c.a, c.b, c.R, c.cosG);
    const double want = bruteFlux(c.law, c.a, c.b, c.R, c.cosG);
    EXPECT_NEAR(got, want, 2e-6 * c.R * c.R) << "law " << static_cast<int>(c.law) << " a " << c.a << " b " << c.b
                                             << " R " << c.R << " cos gamma " << c.cosG;
}

// Regimes: overhead, oblique, the horizon crossing the disc (cos gamma near 0 and below, down to a
// disc almost set), a large source (R 0.7, as a companion seen from a close star's facing point),
// every law.
INSTANTIATE_TEST_SUITE_P(Regimes, IrradiationVsSurfaceSum,
                         ::testing::Values(FluxCase{light::LimbLaw::Linear, 0, 0, 0.3, 1},
                                           FluxCase{light::LimbLaw::Linear, 0.6, 0, 0.3, 0.5},
                                           FluxCase{light::LimbLaw::Linear, 0.6, 0, 0.3, 0.1},
                                           FluxCase{light::LimbLaw::Linear, 0.6, 0, 0.3, -0.2},
                                           FluxCase{light::LimbLaw::Linear, 0.6, 0, 0.3, -0.28},
                                           FluxCase{light::LimbLaw::Quadratic, 0.4, 0.25, 0.7, 0.8},
                                           FluxCase{light::LimbLaw::Quadratic, 0.4, 0.25, 0.7, -0.5},
                                           FluxCase{light::LimbLaw::SquareRoot, 0.2, 0.5, 0.5, 0.05},
                                           FluxCase{light::LimbLaw::Logarithmic, 0.6, 0.2, 0.4, 0.3},
                                           FluxCase{light::LimbLaw::Power2, 0.7, 0.6, 0.45, -0.1}));

TEST(Irradiation, LimitsOfAFarSourceAndOfOneBelowTheHorizon) {
    // Far and overhead: sin^2 of the angular radius whatever the law; far and oblique: that times cos.
    for (double R : {1e-3, 1e-2}) {
        EXPECT_NEAR(light::irradiation(light::LimbLaw::Linear, 0.6, 0, R, 1), R * R, 1e-9 * R * R) << R;
        EXPECT_NEAR(light::irradiation(light::LimbLaw::Power2, 0.7, 0.6, R, 0.5), 0.5 * R * R, 2e-3 * R * R) << R;
    }
    EXPECT_EQ(light::irradiation(light::LimbLaw::Linear, 0.6, 0, 0.3, -0.31), 0.0);
    EXPECT_GT(light::irradiation(light::LimbLaw::Linear, 0.6, 0, 0.3, -0.29), 0.0);
}

// Two spheres, Lambertian (no limb darkening), in bolometric light; star 1 of radius r1 re-radiates
// the fraction A of the power it intercepts from star 2 (radius r2, at distance 1). The intercepted
// power, independently: the irradiance on star 1's surface is axially symmetric about the line of
// centres; where all of star 2's disc is above the horizon it is exactly sigma T^4 cos(gamma) / H^2
// (a uniform sphere's flux, H the distance in star 2's radii, gamma the angle of the normal from
// star 2's centre), and in the band where the horizon crosses the disc the surface sum above. In
// units of star 2's luminosity (4 pi r2^2 sigma T^4):
//   P / L2 = Int_0^pi E(psi) / (sigma T^4) 2 pi r1^2 sin(psi) d psi / (4 pi r2^2).
double interceptedFraction(double r1, double r2) {
    struct Geometry {
        double cosG, R; // cos gamma and r2 / distance
    };
    auto at = [&](double psi) {
        const double dx = 1 - r1 * std::cos(psi), dy = -r1 * std::sin(psi);
        const double d = std::hypot(dx, dy);
        return Geometry{(std::cos(psi) * dx + std::sin(psi) * dy) / d, r2 / d};
    };
    // How far the disc is above the horizon: + above, - below, 0 at the crossing's ends.
    auto above = [&](double psi, double sign) {
        const Geometry g = at(psi);
        return 0.5 * kPi - std::acos(g.cosG) + sign * std::asin(g.R);
    };
    auto edge = [&](double sign) {
        double lo = 0, hi = kPi;
        for (int k = 0; k < 100; ++k) {
            const double mid = 0.5 * (lo + hi);
            (above(mid, sign) > 0 ? lo : hi) = mid;
        }
        return 0.5 * (lo + hi);
    };
    const double psiFull = edge(-1), psiSet = edge(+1);
    double sum = 0;
    const int nFull = 20000;
    for (int k = 0; k < nFull; ++k) {
        const double psi = (k + 0.5) * psiFull / nFull;
        const Geometry g = at(psi);
        sum += g.cosG * g.R * g.R * std::sin(psi) * psiFull / nFull;
    }
    const int nBand = 60;
    for (int k = 0; k < nBand; ++k) {
        const double psi = psiFull + (k + 0.5) * (psiSet - psiFull) / nBand;
        const Geometry g = at(psi);
        sum += bruteFlux(light::LimbLaw::Linear, 0, 0, g.R, g.cosG, 400, 400) * std::sin(psi) * (psiSet - psiFull) / nBand;
    }
    return sum * 2 * kPi * r1 * r1 / (4 * kPi * r2 * r2);
}

// Each star's luminosity is its free light integrated over all directions of view, 4 pi times the
// mean; at inclination 90 degrees the angle from the line of centres runs through every value as
// the orbit turns, and the light is symmetric about that line.
render::SceneInputs pair(double r1, double r2, double albedo1) {
    render::SceneInputs in;
    in.Shape.QText = 1;
    in.QRatio = 1;
    in.Radius1 = r1;
    in.Radius2 = r2;
    in.Iota = 0.5 * kPi;
    in.Limb1 = 0;
    in.Limb2 = 0;
    in.Temp1 = 4000;
    in.Temp2 = 9000;
    in.View.Tidal = false;
    in.View.ZoomScale = 1;
    in.Light.passband = "Bolometric";
    in.Light.albedo1 = albedo1;
    return in;
}

double luminosity(const PreciseLight& p, int star) {
    // 2 pi Int_{-1}^{1} F(theta) d cos(theta), cos(theta) = v . x = sin(eta).
    const int n = 64;
    double sum = 0;
    for (int k = 0; k < n; ++k) {
        // Gauss-Chebyshev would weight the ends; a fine midpoint in theta keeps it simple and smooth.
        const double theta = (k + 0.5) * kPi / n;
        const double eta = 0.5 * kPi - theta;
        sum += (*p.starLights(eta))[static_cast<std::size_t>(star)][0] * std::sin(theta) * (kPi / n);
    }
    return 2 * kPi * sum;
}

TEST(Reflection, ReradiatedPowerIsTheAlbedoTimesTheInterceptedPower) {
    struct Case {
        double r1, r2, A;
    };
    for (const Case c : {Case{0.2, 0.3, 1.0}, Case{0.35, 0.25, 0.5}, Case{0.45, 0.4, 0.8}}) {
        const PreciseLight cold(pair(c.r1, c.r2, 0), 2), warm(pair(c.r1, c.r2, c.A), 2);
        const double L2 = luminosity(cold, 1);
        const double extra = luminosity(warm, 0) - luminosity(cold, 0);
        const double intercepted = L2 * interceptedFraction(c.r1, c.r2);
        EXPECT_NEAR(extra, c.A * intercepted, 1e-5 * L2) << "r1 " << c.r1 << " r2 " << c.r2 << " A " << c.A;
        // Star 2, with no albedo, is as it was.
        EXPECT_NEAR(luminosity(warm, 1), L2, 1e-9 * L2) << c.r1;
    }
}

TEST(Reflection, HeatsTheFacingHemisphereOnlyAndRaisesTheMeanTemperature) {
    const PreciseLight cold(pair(0.3, 0.3, 0), 1), warm(pair(0.3, 0.3, 1), 1);
    // Seen from beyond star 2 (eta = pi/2) star 1 shows its heated face; from the far side (3 pi / 2)
    // only the fringe the finite companion lights beyond the terminator.
    const double faceOn = (*warm.starLights(0.5 * kPi))[0][0] / (*cold.starLights(0.5 * kPi))[0][0];
    const double backOn = (*warm.starLights(1.5 * kPi))[0][0] / (*cold.starLights(1.5 * kPi))[0][0];
    EXPECT_GT(faceOn, 1.5);
    EXPECT_NEAR(backOn, 1, 1e-3);
    const auto tc = *cold.meanTemperatures(), tw = *warm.meanTemperatures();
    EXPECT_NEAR(tc[0], 4000, 1e-6);
    EXPECT_NEAR(tc[1], 9000, 1e-6);
    EXPECT_GT(tw[0], 4300);
    EXPECT_EQ(tw[1], tc[1]);
}

} // namespace
} // namespace corvane::precise
