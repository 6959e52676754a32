// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// The precise photometry in a passband, with each limb-darkening law and with third light, against
// integrations of the test's own that share no code with it.
#include "light/Passband.h"
#include "precise/PreciseLight.h"
#include "precise/Quadrature.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace corvane::precise {
namespace {

constexpr double kPi = std::numbers::pi;

// The laws written out again, as the literature gives them.
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

// The light of a sphere's disc of radius r (law l) with the part behind a disc of radius rf at sky
// distance d taken away: Int_0^r I(mu(rho)) (2 pi - covered arc) rho d rho, with rho = r sin t (so
// mu = cos t), by the midpoint rule on 400000 panels.
double discLight(light::LimbLaw l, double a, double b, double r, double rf = 0, double d = 1e9) {
    const int n = 400000;
    double sum = 0;
    for (int k = 0; k < n; ++k) {
        const double t = (k + 0.5) * 0.5 * kPi / n;
        const double rho = r * std::sin(t), mu = std::cos(t);
        double covered = 0;
        if (rf > 0) {
            if (rho + d <= rf) {
                covered = 2 * kPi;
            } else if (std::fabs(rho - d) < rf && rf < rho + d) {
                covered = 2 * std::acos(std::clamp((rho * rho + d * d - rf * rf) / (2 * rho * d), -1.0, 1.0));
            }
        }
        sum += law(l, a, b, mu) * (2 * kPi - covered) * rho * r * mu * (0.5 * kPi / n);
    }
    return sum;
}

render::SceneInputs spheres(double r1, double r2, double incl, double a, double b, light::LimbLaw l) {
    render::SceneInputs in;
    in.Shape.QText = 1;
    in.QRatio = 1;
    in.Radius1 = r1;
    in.Radius2 = r2;
    in.Iota = incl * kPi / 180;
    in.Limb1 = a;
    in.Limb2 = a;
    in.Temp1 = 6000;
    in.Temp2 = 4500;
    in.View.Tidal = false;
    in.View.ZoomScale = 1; // 4 square pixels per square separation
    in.Light.passband = "Bolometric";
    in.Light.law = l;
    in.Light.limb1b = b;
    in.Light.limb2b = b;
    return in;
}

// sigma T^4 / pi scaled to 255 at 5772 K.
double bolometric(double T) { return 255 * std::pow(T / 5772, 4); }

struct LawCase {
    light::LimbLaw law;
    double a, b;
};

class BolometricSpheres : public ::testing::TestWithParam<LawCase> {};

TEST_P(BolometricSpheres, OutOfEclipseAndInPartialAndTotalEclipseAsTheDiscsIntegrate) {
    const LawCase c = GetParam();
    SCOPED_TRACE(std::string(light::kLimbLawNames[static_cast<std::size_t>(c.law)]) + " a " + std::to_string(c.a) +
                 " b " + std::to_string(c.b));
    const double r1 = 0.3, r2 = 0.2;
    const PreciseLight light(spheres(r1, r2, 90, c.a, c.b, c.law));
    const double full1 = bolometric(6000) * discLight(c.law, c.a, c.b, r1);
    const double full2 = bolometric(4500) * discLight(c.law, c.a, c.b, r2);
    const double out = 4 * (full1 + full2);
    EXPECT_NEAR(light.at(0)[3] / out, 1, 1e-5) << "quadrature";
    // Star 2 in front of star 1 at eta = pi/2: the sky distance of the centres is |cos(eta)|.
    for (const double eta : {0.5 * kPi + 0.35, 0.5 * kPi + 0.2, 0.5 * kPi + 0.05, 0.5 * kPi}) {
        const double d = std::fabs(std::cos(eta));
        const double expected = 4 * (bolometric(6000) * discLight(c.law, c.a, c.b, r1, r2, d) + full2);
        EXPECT_NEAR(light.at(eta)[3], expected, 1e-5 * out) << "eta " << eta << ", sky distance " << d;
    }
    // Star 1 in front: star 2 wholly behind it at conjunction.
    EXPECT_NEAR(light.at(1.5 * kPi)[3], 4 * full1, 1e-5 * out) << "total eclipse of star 2";
}

INSTANTIATE_TEST_SUITE_P(EveryLaw, BolometricSpheres,
                         ::testing::Values(LawCase{light::LimbLaw::Linear, 0.6, 0},
                                           LawCase{light::LimbLaw::Quadratic, 0.4, 0.25},
                                           LawCase{light::LimbLaw::SquareRoot, 0.1, 0.7},
                                           LawCase{light::LimbLaw::Logarithmic, 0.7, 0.2},
                                           LawCase{light::LimbLaw::Power2, 0.65, 0.6}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(PassbandLight, ASphereInTessRadiatesTheBandsSurfaceBrightness) {
    // One star alone: its light in a band scales as the band's S(T); the passband collection's own
    // script gives S(6561) / S(6839) = 0.881653 in TESS.
    auto single = [](double T) {
        render::SceneInputs in = spheres(0.3, 0.2, 90, 0.5, 0, light::LimbLaw::Linear);
        in.TwoStars = false;
        in.View.TwoStars = false;
        in.Temp1 = T;
        in.Light.passband = "TESS";
        return PreciseLight(in).at(0)[3];
    };
    EXPECT_NEAR(single(6561) / single(6839), 0.881653, 1e-6);
    // 255 at 5772 K at the disc's centre: a linear law's disc of radius 0.3 at zoom 1.
    EXPECT_NEAR(single(5772), 255 * 4 * kPi * 0.09 * (1 - 0.5 / 3), 1e-6 * single(5772));
}

TEST(ThirdLight, IsTheFractionAskedOfTheLightAtQuadrature) {
    render::SceneInputs in = spheres(0.3, 0.2, 88, 0.5, 0, light::LimbLaw::Linear);
    const PreciseLight plain(in);
    for (const double l3 : {0.0, 0.1, 0.5, 0.9}) {
        in.Light.thirdLight = l3;
        const PreciseLight lit(in);
        const double q = plain.at(kPi)[3];
        EXPECT_NEAR((lit.at(kPi)[3] - q) / lit.at(kPi)[3], l3, 1e-12) << "L3 " << l3;
        // A constant: the eclipse is as deep in light, shallower as a fraction.
        const double third = l3 / (1 - l3) * q;
        for (const double eta : {0.0, 0.5 * kPi, 1.5 * kPi, 2.0}) {
            EXPECT_NEAR(lit.at(eta)[3], plain.at(eta)[3] + third, 1e-9 * q) << "L3 " << l3 << " eta " << eta;
        }
        const double etas[] = {0.5 * kPi, 1.0};
        const auto curve = lit.curve(etas);
        EXPECT_NEAR(curve[0][3], lit.at(0.5 * kPi)[3], 1e-9 * q);
    }
}

} // namespace
} // namespace corvane::precise

namespace corvane::precise {
namespace {

// A Roche star in its own frame (companion of mass ratio q at x = 1), solved by the test alone: the
// potential, its gradient by central differences, the radius by bisection.
struct TestStar {
    double q, rPole, omega;
    TestStar(double qIn, double r) : q(qIn), rPole(r), omega(pot(0, 0, r)) {}
    double pot(double x, double y, double z) const {
        return 1 / std::sqrt(x * x + y * y + z * z) + q * (1 / std::sqrt((x - 1) * (x - 1) + y * y + z * z) - x) +
               0.5 * (1 + q) * (x * x + y * y);
    }
    double gravity(double x, double y, double z, double n[3]) const {
        const double h = 1e-6;
        n[0] = (pot(x + h, y, z) - pot(x - h, y, z)) / (2 * h);
        n[1] = (pot(x, y + h, z) - pot(x, y - h, z)) / (2 * h);
        n[2] = (pot(x, y, z + h) - pot(x, y, z - h)) / (2 * h);
        const double g = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        for (int k = 0; k < 3; ++k) {
            n[k] = -n[k] / g; // outward
        }
        return g;
    }
    double radius(const double u[3]) const {
        double lo = 0.2 * rPole, hi = 0.2 * rPole;
        while (pot(hi * u[0], hi * u[1], hi * u[2]) > omega) {
            lo = hi;
            hi *= 1.05;
        }
        for (int k = 0; k < 60; ++k) {
            const double mid = 0.5 * (lo + hi);
            (pot(mid * u[0], mid * u[1], mid * u[2]) > omega ? lo : hi) = mid;
        }
        return 0.5 * (lo + hi);
    }
    // The bolometric light towards +y of the star at polar temperature T, gravity-darkened with beta
    // and linearly limb-darkened with a: Int I mu r^2 / (n . u) d(solid angle) over mu = n . y > 0, by
    // the midpoint rule in the angle theta from +y and in the azimuth about it. The star is symmetric
    // about the plane y = 0, so its limb seen from +y is that plane, theta = pi/2: the integrand is
    // smooth up to it and the rule converges as its step squared.
    double light(double T, double beta, double a) const {
        double n[3];
        const double gPole = gravity(0, 0, rPole, n);
        const int nt = 1000, np = 256;
        double sum = 0;
        for (int i = 0; i < nt; ++i) {
            const double t = (i + 0.5) * 0.5 * kPi / nt;
            for (int j = 0; j < np; ++j) {
                const double p = (j + 0.5) * 2 * kPi / np;
                const double u[3] = {std::sin(t) * std::cos(p), std::cos(t), std::sin(t) * std::sin(p)};
                const double r = radius(u);
                const double g = gravity(r * u[0], r * u[1], r * u[2], n);
                const double mu = n[1];
                if (mu <= 0) {
                    continue;
                }
                const double Tp = T * std::pow(g / gPole, beta);
                const double I = 255 * std::pow(Tp / 5772, 4) * (1 - a * (1 - mu));
                const double cosRadial = n[0] * u[0] + n[1] * u[1] + n[2] * u[2];
                sum += I * mu * r * r / cosRadial * std::sin(t) * (0.5 * kPi / nt) * (2 * kPi / np);
            }
        }
        return sum;
    }
};

class GravityDarkening : public ::testing::TestWithParam<double> {};

// The close pair of these tests: q 1.2, pole radii 0.33 and 0.30, 7000 and 6000 K, linear law 0.5,
// both stars darkened with beta, at the inclination incl (degrees).
render::SceneInputs closePair(double beta, double incl) {
    render::SceneInputs in = spheres(0.33, 0.30, incl, 0.5, 0, light::LimbLaw::Linear);
    in.View.Tidal = true;
    in.Shape.QText = 1.2;
    in.QRatio = 1.2;
    in.Temp1 = 7000;
    in.Temp2 = 6000;
    in.Light.gravity1 = beta;
    in.Light.gravity2 = beta;
    return in;
}

// A close pair seen at quadrature (side by side: neither eclipses the other), each star against the
// test's own surface quadrature (itself good to about 4e-7). At twice the default resolution: at the
// default the rules leave 2.6e-5 of the light for a pair this close to its lobes (star 1 at 0.33 of a
// lobe pole of 0.35), with or without gravity darkening; twice and four times the resolution agree to
// 5e-8.
TEST_P(GravityDarkening, ACloseRochePairAtQuadratureIsTheSurfaceIntegral) {
    const double beta = GetParam();
    const render::SceneInputs in = closePair(beta, 90);
    const PreciseLight light(in, 2);
    const double expected =
        4 * (TestStar(1.2, 0.33).light(7000, beta, 0.5) + TestStar(1 / 1.2, 0.30).light(6000, beta, 0.5));
    EXPECT_NEAR(light.at(0)[3] / expected, 1, 1e-6) << "beta " << beta;
}

INSTANTIATE_TEST_SUITE_P(Exponents, GravityDarkening, ::testing::Values(0.0, 0.02, 0.08, 0.25),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

// The light of the part of the farther star that the nearer one hides, by the test's own sky-plane
// integral: polar coordinates about the nearer star's projected centre (which here lies inside the
// farther star's outline, so that each ray from it is covered by the farther star from 0 to that
// star's outline rho_b and by the nearer one to its own outline rho_f); the radial integral to
// min(rho_f, rho_b) by Gauss-Legendre in rho = rho_u sin(theta) (smooth where the farther star's
// limb makes the intensity a square root), the angular one by Gauss-Legendre on each arc between the
// two angles where the outlines cross. Lines of sight are the test's own: the potential's maximum
// along the line (golden section) says whether it meets a star, bisection where it enters.
struct Eclipse {
    // Orbital frame: star 1 at the origin, star 2 at (1, 0, 0).
    TestStar s1, s2;
    double reach1, reach2; // a little beyond each star's farthest point
    double v[3], e1[3], e2[3];

    Eclipse(double q, double r1, double r2, double incl, double eta) : s1(q, r1), s2(1 / q, r2) {
        const double ux[3] = {1, 0, 0};
        reach1 = 1.02 * s1.radius(ux);
        reach2 = 1.02 * s2.radius(ux);
        v[0] = std::sin(eta) * std::sin(incl);
        v[1] = std::cos(eta) * std::sin(incl);
        v[2] = -std::cos(incl);
        // e1 = z x v normalised, e2 = v x e1.
        const double n = std::hypot(v[0], v[1]);
        e1[0] = -v[1] / n;
        e1[1] = v[0] / n;
        e1[2] = 0;
        e2[0] = v[1] * e1[2] - v[2] * e1[1];
        e2[1] = v[2] * e1[0] - v[0] * e1[2];
        e2[2] = v[0] * e1[1] - v[1] * e1[0];
    }
    // Star k's potential at the orbital point p (in its own frame), or -inf beyond its reach.
    double pot(int k, const double p[3]) const {
        const double x = k == 1 ? p[0] : 1 - p[0];
        const double reach = k == 1 ? reach1 : reach2;
        if (x * x + p[1] * p[1] + p[2] * p[2] > reach * reach) {
            return -1e300;
        }
        return (k == 1 ? s1 : s2).pot(x, p[1], p[2]);
    }
    double omega(int k) const { return (k == 1 ? s1 : s2).omega; }
    // The line s + t v: the t of its highest potential of star k, within the star's reach.
    double peak(int k, const double s[3], double& best) const {
        const double cx = k == 1 ? 0 : 1;
        const double tc = (cx - s[0]) * v[0] - s[1] * v[1] - s[2] * v[2];
        const double reach = k == 1 ? reach1 : reach2;
        double a = tc - reach, b = tc + reach;
        const double g = 0.5 * (std::sqrt(5.0) - 1);
        auto f = [&](double t) {
            const double p[3] = {s[0] + t * v[0], s[1] + t * v[1], s[2] + t * v[2]};
            return pot(k, p);
        };
        double c = b - g * (b - a), d = a + g * (b - a), fc = f(c), fd = f(d);
        for (int it = 0; it < 80; ++it) {
            if (fc > fd) {
                b = d;
                d = c;
                fd = fc;
                c = b - g * (b - a);
                fc = f(c);
            } else {
                a = c;
                c = d;
                fc = fd;
                d = a + g * (b - a);
                fd = f(d);
            }
        }
        best = std::max(fc, fd);
        return 0.5 * (a + b);
    }
    bool hits(int k, const double s[3]) const {
        double best = 0;
        peak(k, s, best);
        return best > omega(k);
    }
    void skyPoint(int front, double rho, double psi, double s[3]) const {
        const double cx = front == 1 ? 0 : 1;
        for (int i = 0; i < 3; ++i) {
            s[i] = (i == 0 ? cx : 0) + rho * (std::cos(psi) * e1[i] + std::sin(psi) * e2[i]);
        }
    }
    // The outline of star k along the ray at psi from the front star's projected centre (covered from 0).
    double outline(int k, int front, double psi) const {
        double lo = 0, hi = 0.6;
        for (int it = 0; it < 60; ++it) {
            const double mid = 0.5 * (lo + hi);
            double s[3];
            skyPoint(front, mid, psi, s);
            (hits(k, s) ? lo : hi) = mid;
        }
        return 0.5 * (lo + hi);
    }
    // What star k radiates towards the viewer along the line through s (bolometric, linear law a,
    // gravity darkening beta, polar temperature T); 0 if the line misses it.
    double intensity(int k, const double s[3], double T, double beta, double a) const {
        double best = 0;
        const double tPeak = peak(k, s, best);
        if (best <= omega(k)) {
            return 0;
        }
        const double reach = k == 1 ? reach1 : reach2;
        double lo = tPeak, hi = tPeak + 2 * reach; // inside, outside (towards the viewer)
        auto at = [&](double t, double p[3]) {
            for (int i = 0; i < 3; ++i) {
                p[i] = s[i] + t * v[i];
            }
        };
        for (int it = 0; it < 60; ++it) {
            const double mid = 0.5 * (lo + hi);
            double p[3];
            at(mid, p);
            (pot(k, p) > omega(k) ? lo : hi) = mid;
        }
        double p[3];
        at(0.5 * (lo + hi), p);
        const TestStar& st = k == 1 ? s1 : s2;
        const double x = k == 1 ? p[0] : 1 - p[0];
        double n[3];
        const double g = st.gravity(x, p[1], p[2], n);
        if (k == 2) {
            n[0] = -n[0]; // back to the orbital frame
        }
        const double mu = std::max(0.0, n[0] * v[0] + n[1] * v[1] + n[2] * v[2]);
        double np[3];
        const double gPole = st.gravity(0, 0, st.rPole, np);
        const double Tp = T * std::pow(g / gPole, beta);
        return 255 * std::pow(Tp / 5772, 4) * (1 - a * (1 - mu));
    }
    // The hidden light of the back star, in the picture's units (4 per square separation).
    double hidden(int front, double Tback, double beta, double a) const {
        const int back = 3 - front;
        const int nScan = 720;
        std::vector<double> cross;
        auto gap = [&](double psi) { return outline(front, front, psi) - outline(back, front, psi); };
        double prev = gap(0);
        for (int j = 1; j <= nScan; ++j) {
            const double psi1 = 2 * kPi * j / nScan, psi0 = 2 * kPi * (j - 1) / nScan;
            const double now = gap(psi1);
            if ((now > 0) != (prev > 0)) {
                double lo = psi0, hi = psi1;
                for (int it = 0; it < 50; ++it) {
                    const double mid = 0.5 * (lo + hi);
                    ((gap(mid) > 0) == (prev > 0) ? lo : hi) = mid;
                }
                cross.push_back(0.5 * (lo + hi));
            }
            prev = now;
        }
        if (cross.empty()) {
            cross.push_back(0);
        }
        const GaussRule rule = gaussLegendre(48);
        double sum = 0;
        for (std::size_t c = 0; c < cross.size(); ++c) {
            const double a0 = cross[c];
            const double a1 = c + 1 < cross.size() ? cross[c + 1] : cross[0] + 2 * kPi;
            for (std::size_t i = 0; i < rule.x.size(); ++i) {
                const double psi = 0.5 * (a0 + a1) + 0.5 * (a1 - a0) * rule.x[i];
                const double rhoU = std::min(outline(front, front, psi), outline(back, front, psi));
                double radial = 0;
                for (std::size_t j = 0; j < rule.x.size(); ++j) {
                    const double th = 0.25 * kPi * (rule.x[j] + 1);
                    const double rho = rhoU * std::sin(th);
                    double s[3];
                    skyPoint(front, rho, psi, s);
                    radial += intensity(back, s, Tback, beta, a) * rho * rhoU * std::cos(th) * 0.25 * kPi * rule.w[j];
                }
                sum += radial * 0.5 * (a1 - a0) * rule.w[i];
            }
        }
        return 4 * sum;
    }
};

// The same close pair in both eclipses (partial, the nearer star's centre inside the farther star's
// outline): what the eclipse takes off the two stars' own light against the sky-plane integral
// above, within 1e-5 of the light at quadrature, at twice the default resolution.
TEST_P(GravityDarkening, ACloseRochePairInEclipseHidesWhatTheSkyIntegralSays) {
    const double beta = GetParam();
    const render::SceneInputs in = closePair(beta, 80);
    const PreciseLight light(in, 2);
    const double quadrature = light.at(0)[3];
    for (const double eta : {0.5 * kPi - 0.1, 1.5 * kPi + 0.15}) {
        const auto own = *light.starLights(eta);
        const double taken = own[0][3] + own[1][3] - light.at(eta)[3];
        const int front = std::sin(eta) > 0 ? 2 : 1;
        const double expected = Eclipse(1.2, 0.33, 0.30, 80 * kPi / 180, eta).hidden(front, front == 2 ? 7000 : 6000, beta, 0.5);
        EXPECT_GT(expected, 0.05 * quadrature) << "an eclipse of some depth";
        EXPECT_NEAR(taken, expected, 1e-5 * quadrature) << "beta " << beta << " eta " << eta;
    }
}

// A single star flattened by its rotation: the surface 1/rho + K rho^2 cos^2(lat) / 2 = 1 in units of
// its polar radius (1/2 a separation in the drawing's units), the test's own radius by bisection
// and gravity by central differences of that potential. Its bolometric light towards v, by the
// midpoint rule over every direction (the angle from v and the azimuth about it) where the surface
// faces v: seen along or across the axis the star's limb is the plane at right angles to v, elsewhere
// it is not, and the facing points reach beyond that plane; the rule then follows the limb only to its
// step squared, which 2000 steps make small enough.
double spinLight(double K, double incl, double T, double beta, double a) {
    auto pot = [&](double x, double y, double z) {
        return 1 / std::sqrt(x * x + y * y + z * z) + 0.5 * K * (x * x + y * y);
    };
    auto radius = [&](const double u[3]) {
        double lo = 0.5, hi = 2;
        for (int k = 0; k < 60; ++k) {
            const double mid = 0.5 * (lo + hi);
            (pot(mid * u[0], mid * u[1], mid * u[2]) > 1 ? lo : hi) = mid;
        }
        return 0.5 * (lo + hi);
    };
    const double v[3] = {0, std::sin(incl), -std::cos(incl)};
    // Two unit vectors at right angles to v.
    const double p1[3] = {1, 0, 0};
    const double p2[3] = {v[1] * p1[2] - v[2] * p1[1], v[2] * p1[0] - v[0] * p1[2], v[0] * p1[1] - v[1] * p1[0]};
    const int nt = 2000, np = 128;
    const double h = 1e-6;
    double sum = 0;
    for (int i = 0; i < nt; ++i) {
        const double t = (i + 0.5) * kPi / nt;
        for (int j = 0; j < np; ++j) {
            const double ph = (j + 0.5) * 2 * kPi / np;
            double u[3];
            for (int c = 0; c < 3; ++c) {
                u[c] = std::cos(t) * v[c] + std::sin(t) * (std::cos(ph) * p1[c] + std::sin(ph) * p2[c]);
            }
            const double r = radius(u);
            const double x = r * u[0], y = r * u[1], z = r * u[2];
            double n[3] = {-(pot(x + h, y, z) - pot(x - h, y, z)) / (2 * h),
                           -(pot(x, y + h, z) - pot(x, y - h, z)) / (2 * h),
                           -(pot(x, y, z + h) - pot(x, y, z - h)) / (2 * h)};
            const double g = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            for (double& c : n) {
                c /= g;
            }
            const double mu = n[0] * v[0] + n[1] * v[1] + n[2] * v[2];
            if (mu <= 0) {
                continue;
            }
            const double Tp = T * std::pow(g, beta); // the pole's gravity is 1
            const double I = 255 * std::pow(Tp / 5772, 4) * (1 - a * (1 - mu));
            const double cosRadial = n[0] * u[0] + n[1] * u[1] + n[2] * u[2];
            // In separations: the polar radius is 1/2.
            sum += I * mu * 0.25 * r * r / cosRadial * std::sin(t) * (kPi / nt) * (2 * kPi / np);
        }
    }
    return sum;
}

TEST_P(GravityDarkening, ASpinningStarIsTheSurfaceIntegral) {
    const double beta = GetParam();
    constexpr double K = 0.25; // equatorial radius about 1.2 of the polar; break-up is at 8/27
    // The rotation period that gives K = R^3 4 pi^2 / (T^2 G M).
    const double R = 6.95e8, G = 6.672e-11, M = 1.989e30;
    render::SceneInputs in = spheres(0.3, 0.3, 0, 0.5, 0, light::LimbLaw::Linear);
    in.TwoStars = false;
    in.View.TwoStars = false;
    in.View.Tidal = true;
    in.View.RotPeriodSec = std::sqrt(R * R * R * 4 * kPi * kPi / (K * G * M));
    in.Temp1 = 9000;
    in.Light.gravity1 = beta;
    for (const double incl : {0.0, 50.0, 90.0}) {
        in.Iota = incl * kPi / 180;
        const double expected = 4 * spinLight(K, in.Iota, 9000, beta, 0.5);
        EXPECT_NEAR(PreciseLight(in).at(0.3)[3] / expected, 1, 1e-5) << "beta " << beta << " inclination " << incl;
    }
}

TEST(GravityDarkening, DarkensTheEquatorOfADistortedStarAndLeavesSpheresAlone) {
    render::SceneInputs in = spheres(0.33, 0.30, 90, 0.5, 0, light::LimbLaw::Linear);
    const double sphere = PreciseLight(in).at(0)[3];
    in.Light.gravity1 = in.Light.gravity2 = 0.25;
    EXPECT_EQ(PreciseLight(in).at(0)[3], sphere) << "a sphere's gravity is its pole's everywhere";
    in.View.Tidal = true;
    const double plain = [&] {
        render::SceneInputs p = in;
        p.Light.gravity1 = p.Light.gravity2 = 0;
        return PreciseLight(p).at(0)[3];
    }();
    EXPECT_LT(PreciseLight(in).at(0)[3], plain) << "the pole is the hottest point: every other is darker";
}

} // namespace
} // namespace corvane::precise
