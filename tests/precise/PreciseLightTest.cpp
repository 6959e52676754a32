// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "precise/PreciseLight.h"
#include "precise/Quadrature.h"
#include "render/StarColor.h"
#include "roche/LobeRadius.h"
#include "roche/NeckShape.h"
#include "roche/Roche.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace corvane::precise {
namespace {

constexpr double kPi = std::numbers::pi;

double degrees(double d) { return d * kPi / 180; }

render::SceneInputs system(double q, double r1, double r2, double incl, double u, bool tidal) {
    render::SceneInputs in;
    in.Shape.QText = q;
    in.QRatio = q;
    in.Radius1 = r1;
    in.Radius2 = r2;
    in.Iota = degrees(incl);
    in.Limb1 = u;
    in.Limb2 = u;
    in.View.Tidal = tidal;
    in.View.ZoomScale = 1;
    return in;
}

// The separation of the two centres on the sky, with the viewer along
// (sin eta sin i, cos eta sin i, -cos i) and the line of centres along x.
double skySeparation(double eta, double incl) {
    const double x = std::sin(eta) * std::sin(incl);
    return std::sqrt(std::max(0.0, 1 - x * x));
}

// The red channel of the colour the cells of a star of T are painted with.
double red(double T) { return render::StarColorTemp(T, render::ColourSettings{}).R; }

// ---------------------------------------------------------------------------------------------
// Quadrature

TEST(GaussLegendre, IntegratesPolynomialsToTheirDegree) {
    for (int n : {1, 2, 5, 10, 16, 33}) {
        const GaussRule rule = gaussLegendre(n);
        for (int degree = 0; degree <= 2 * n - 1; ++degree) {
            double sum = 0;
            for (std::size_t k = 0; k < rule.x.size(); ++k) {
                sum += rule.w[k] * std::pow(rule.x[k], degree);
            }
            const double exact = degree % 2 == 1 ? 0.0 : 2.0 / (degree + 1);
            EXPECT_NEAR(sum, exact, 1e-13) << "n " << n << " degree " << degree;
        }
    }
}

TEST(TrigInterpolant, PassesThroughItsSamplesAndFollowsASmoothFunction) {
    auto f = [](double t) { return 1 / (1.2 - std::cos(t)) + 0.3 * std::sin(3 * t); };
    for (int n : {16, 32, 64}) {
        std::vector<double> s(static_cast<std::size_t>(n));
        for (int j = 0; j < n; ++j) {
            s[static_cast<std::size_t>(j)] = f(2 * kPi * j / n);
        }
        TrigInterpolant t;
        t.fit(s);
        for (int j = 0; j < n; ++j) {
            EXPECT_NEAR(t.value(2 * kPi * j / n), s[static_cast<std::size_t>(j)], 1e-12) << "n " << n;
        }
        double worst = 0;
        for (int k = 0; k < 500; ++k) {
            worst = std::max(worst, std::fabs(t.value(0.0127 * k) - f(0.0127 * k)));
        }
        // The error falls geometrically with the harmonics kept, as e^{-(n/2) acosh(1.2)}.
        EXPECT_LT(worst, 30 * std::exp(-0.5 * n * std::acosh(1.2))) << "n " << n;
    }
}

// ---------------------------------------------------------------------------------------------
// Two uniform spheres: the exact overlap area of two circles

double overlapArea(double d, double a, double b) {
    if (d >= a + b) {
        return 0;
    }
    if (d <= std::fabs(a - b)) {
        return kPi * std::min(a, b) * std::min(a, b);
    }
    const double x = (d * d + a * a - b * b) / (2 * d * a);
    const double y = (d * d + b * b - a * a) / (2 * d * b);
    return a * a * std::acos(x) + b * b * std::acos(y) - 0.5 * std::sqrt((-d + a + b) * (d + a - b) * (d - a + b) * (d + a + b));
}

struct SphereCase {
    const char* name;
    double r1, r2, incl;
};

class UniformSpheres : public ::testing::TestWithParam<SphereCase> {};

TEST_P(UniformSpheres, EveryPhaseIsTheExactOverlapAreaCurve) {
    const SphereCase c = GetParam();
    render::SceneInputs in = system(1, c.r1, c.r2, c.incl, 0, false);
    in.Temp1 = 9000; // unequal temperatures: the eclipsed star's own colour must be taken off
    in.Temp2 = 5000;
    const PreciseLight light(in);
    const double c1 = red(in.Temp1), c2 = red(in.Temp2);
    const double outside = 4 * (kPi * c.r1 * c.r1 * c1 + kPi * c.r2 * c.r2 * c2);
    for (int k = 0; k < 360; ++k) {
        const double eta = degrees(k);
        const double d = skySeparation(eta, in.Iota);
        const bool secondInFront = std::sin(eta) * std::sin(in.Iota) > 0;
        const double lost = overlapArea(d, c.r1, c.r2) * (secondInFront ? c1 : c2);
        const double exact = outside - 4 * lost;
        EXPECT_NEAR(light.at(eta)[3], exact, 1e-5 * outside) << c.name << " at " << k << " degrees";
    }
}

INSTANTIATE_TEST_SUITE_P(EclipseKinds, UniformSpheres,
                         ::testing::Values(SphereCase{"partial", 0.3, 0.2, 75},
                                           SphereCase{"annular and total", 0.3, 0.12, 89},
                                           SphereCase{"grazing", 0.25, 0.2, 65.5},
                                           SphereCase{"equal, central", 0.25, 0.25, 90}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             std::replace_if(n.begin(), n.end(), [](char ch) { return !std::isalnum(ch); }, '_');
                             return n;
                         });

// ---------------------------------------------------------------------------------------------
// Limb-darkened spheres: the hidden light as a one-dimensional integral over the eclipsed disc's
// rings (the ring of radius s about its centre loses the arc inside the occulting circle), taken by
// a fine composite rule after s = R sin t takes the square root off the limb.

double hiddenByRings(double d, double R, double Ro, double u) {
    const int n = 200000;
    double sum = 0;
    for (int k = 0; k < n; ++k) {
        const double t = (k + 0.5) * (kPi / 2) / n;
        const double s = R * std::sin(t);
        const double mu = std::cos(t);
        double half = 0; // half the angle of the ring inside the occulter
        if (d <= 0) {
            half = s < Ro ? kPi : 0;
        } else {
            const double c = (s * s + d * d - Ro * Ro) / (2 * s * d);
            half = c <= -1 ? kPi : c >= 1 ? 0 : std::acos(c);
        }
        sum += (1 - u * (1 - mu)) * 2 * half * s * R * mu * (kPi / 2) / n;
    }
    return sum;
}

TEST(LimbDarkenedSpheres, EclipsesEqualTheRingIntegral) {
    const double r1 = 0.3, r2 = 0.2;
    for (double u : {0.3, 0.6, 1.0}) {
        for (double incl : {80.0, 88.0}) {
            const render::SceneInputs in = system(1, r1, r2, incl, u, false);
            const PreciseLight light(in);
            const double c = red(in.Temp1);
            const double outside = 4 * kPi * (r1 * r1 + r2 * r2) * c * (1 - u / 3);
            for (int k : {0, 70, 80, 85, 88, 90, 250, 265, 270, 275}) {
                const double eta = degrees(k);
                const double d = skySeparation(eta, in.Iota);
                const bool secondInFront = std::sin(eta) > 0;
                const double lost = secondInFront ? hiddenByRings(d, r1, r2, u) : hiddenByRings(d, r2, r1, u);
                EXPECT_NEAR(light.at(eta)[3], outside - 4 * c * lost, 1e-5 * outside)
                    << "u " << u << " i " << incl << " at " << k << " degrees";
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Roche stars out of eclipse: a brute-force integral over the true equipotential, as a fine mesh of
// flat cells on a latitude-longitude grid (radii from the lobe solver), extrapolated in the cell size.

struct MeshLight {
    double q, pole, u;
    int star; // 1 or 2
};

// The star's surface on a latitude-longitude grid (nLat bands, 2 nLat columns), in the orbital frame.
struct Mesh {
    int nLat = 0, nLon = 0;
    double u = 0;
    bool mirrored = false;
    std::vector<double> P; // (nLat + 1) x (nLon + 1) points, x y z
    const double* at(int i, int j) const { return &P[static_cast<std::size_t>((i * (nLon + 1) + j) * 3)]; }
};

Mesh buildMesh(const MeshLight& m, int nLat) {
    Mesh mesh;
    mesh.nLat = nLat;
    mesh.nLon = 2 * nLat;
    mesh.u = m.u;
    mesh.mirrored = m.star == 2;
    const double qs = m.star == 1 ? m.q : 1 / m.q;
    const double omega = 1 / m.pole + qs / std::sqrt(1 + m.pole * m.pole);
    mesh.P.resize(static_cast<std::size_t>((nLat + 1) * (mesh.nLon + 1) * 3));
    for (int i = 0; i <= nLat / 2; ++i) {
        const double phi = -kPi / 2 + kPi * i / nLat;
        for (int j = 0; j <= mesh.nLon; ++j) {
            const double th = 2 * kPi * j / mesh.nLon;
            const double d[3] = {std::cos(phi) * std::cos(th), std::cos(phi) * std::sin(th), std::sin(phi)};
            const double r = roche::EquipotentialRadius(qs, omega, d[0], d[2]).radius;
            // The surface is even in z: the northern row is the southern one mirrored.
            for (int row : {i, nLat - i}) {
                double* p = &mesh.P[static_cast<std::size_t>((row * (mesh.nLon + 1) + j) * 3)];
                p[0] = m.star == 1 ? r * d[0] : 1 - r * d[0];
                p[1] = r * d[1];
                p[2] = row == i ? r * d[2] : -r * d[2];
            }
        }
    }
    return mesh;
}

double meshLight(const Mesh& mesh, double incl, double eta) {
    const double si = std::sin(degrees(incl)), ci = std::cos(degrees(incl));
    const double v[3] = {std::sin(eta) * si, std::cos(eta) * si, -ci};
    double sum = 0;
    for (int i = 0; i < mesh.nLat; ++i) {
        for (int j = 0; j < mesh.nLon; ++j) {
            const double* a = mesh.at(i, j);
            const double* b = mesh.at(i, j + 1);
            const double* c = mesh.at(i + 1, j + 1);
            const double* e = mesh.at(i + 1, j);
            const double d1[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
            const double d2[3] = {e[0] - b[0], e[1] - b[1], e[2] - b[2]};
            double A[3] = {0.5 * (d1[1] * d2[2] - d1[2] * d2[1]), 0.5 * (d1[2] * d2[0] - d1[0] * d2[2]),
                           0.5 * (d1[0] * d2[1] - d1[1] * d2[0])};
            if (mesh.mirrored) {
                for (double& x : A) {
                    x = -x; // the mirror turned the cells over
                }
            }
            const double area = std::sqrt(A[0] * A[0] + A[1] * A[1] + A[2] * A[2]);
            const double mu = (A[0] * v[0] + A[1] * v[1] + A[2] * v[2]) / area;
            if (mu > 0) {
                sum += area * mu * (1 - mesh.u * (1 - mu));
            }
        }
    }
    return sum;
}

TEST(RocheStars, OutOfEclipseLightIsTheIntegralOverTheEquipotential) {
    // A detached pair well apart on the sky at these phases (inclination 40: no eclipses at all).
    const double q = 0.7, r1 = 0.30, r2 = 0.26, u = 0.5;
    render::SceneInputs in = system(q, r1, r2, 40, u, true);
    const PreciseLight light(in);
    const double c = red(in.Temp1);
    std::vector<Mesh> coarse, fine;
    for (int star : {1, 2}) {
        const MeshLight m{q, star == 1 ? r1 : r2, u, star};
        coarse.push_back(buildMesh(m, 160));
        fine.push_back(buildMesh(m, 320));
    }
    for (double eta : {0.0, 0.7, 1.9, 3.0}) {
        double brute = 0;
        for (std::size_t k = 0; k < 2; ++k) {
            // Flat cells: an error of the square of their size, taken off by extrapolation.
            brute += (4 * meshLight(fine[k], 40, eta) - meshLight(coarse[k], 40, eta)) / 3;
        }
        const double precise = light.at(eta)[3] / (4 * c);
        EXPECT_NEAR(precise, brute, 1e-5 * brute) << "eta " << eta;
    }
}

// ---------------------------------------------------------------------------------------------
// Halving the resolution

struct RocheCase {
    const char* name;
    double q, r1, incl, u;
    double r2; // 0: on star 1's surface (a contact pair, drawn with its neck)
    double bound;
};

class Resolution : public ::testing::TestWithParam<RocheCase> {};

TEST_P(Resolution, HalvingItMovesNoPointBeyondTheBound) {
    const RocheCase c = GetParam();
    const bool contact = c.r2 == 0;
    render::SceneInputs in = system(c.q, c.r1, contact ? roche::RecommendedRadius2(c.q, c.r1) : c.r2, c.incl, c.u, true);
    in.Neck = contact;
    const PreciseLight coarse(in, 1), fine(in, 2);
    ASSERT_EQ(coarse.contact(), contact) << c.name;
    std::vector<double> etas;
    for (int k = 0; k < 360; k += 3) {
        etas.push_back(degrees(k));
    }
    const auto a = coarse.curve(etas), b = fine.curve(etas);
    double top = 0;
    for (const auto& x : b) {
        top = std::max(top, x[0]);
    }
    for (std::size_t k = 0; k < etas.size(); ++k) {
        EXPECT_NEAR(a[k][0], b[k][0], c.bound * top) << c.name << " at " << 3 * k << " degrees";
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, Resolution,
                         ::testing::Values(RocheCase{"detached", 1.0, 0.25, 82, 0.5, 0.2, 1e-6},
                                           RocheCase{"unequal", 2.4, 0.25, 86, 0.6, 0.35, 1e-6},
                                           RocheCase{"near contact", 1.0, 0.33, 80, 0.3, 0.30, 1e-5},
                                           RocheCase{"contact", 1.0, 0.37, 80, 0.5, 0, 3e-4},
                                           RocheCase{"contact, low q", 0.3, 0.47, 85, 0.5, 0, 3e-4}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             std::replace_if(n.begin(), n.end(), [](char ch) { return !std::isalnum(ch); }, '_');
                             return n;
                         });

// ---------------------------------------------------------------------------------------------
// Invariants

TEST(Invariants, NoPhaseIsBrighterThanTheStarsOutOfEclipseAndTheCurveIsSymmetric) {
    render::SceneInputs in = system(0.6, 0.32, 0.22, 87, 0.4, true);
    in.Temp2 = 6000;
    const PreciseLight light(in);
    for (int k = 0; k < 180; k += 5) {
        const Channels a = light.at(degrees(90 + k)), b = light.at(degrees(90 - k));
        for (int ch = 0; ch < 4; ++ch) {
            EXPECT_NEAR(a[static_cast<std::size_t>(ch)], b[static_cast<std::size_t>(ch)], 1e-7 * a[0])
                << "channel " << ch << " at 90 +- " << k;
        }
        EXPECT_NEAR(a[0], a[1] + a[2] + a[3], 1e-9 * a[0]);
    }
    // Seen from the pole nothing is ever eclipsed and nothing changes round the orbit.
    in.Iota = 0;
    const PreciseLight pole(in);
    const double first = pole.at(0)[0];
    for (int k = 0; k < 360; k += 30) {
        EXPECT_NEAR(pole.at(degrees(k))[0], first, 1e-9 * first) << k;
    }
}

TEST(Invariants, TheSpotDimsOnlyTheSideThatCarriesIt) {
    render::SceneInputs in = system(1, 0.3, 0.25, 60, 0.5, true);
    const PreciseLight plain(in);
    in.Colour.SpotActive = true;
    in.Colour.SpotTemp = 4000;
    in.Colour.SpotLat = degrees(30);
    in.Colour.SpotLon = degrees(180);
    in.Colour.SpotRadius = degrees(20);
    const PreciseLight spotted(in);
    double darkest = 0;
    for (int k = 0; k < 360; k += 10) {
        const double a = plain.at(degrees(k))[0], b = spotted.at(degrees(k))[0];
        EXPECT_LE(b, a * (1 + 1e-7)) << k;
        darkest = std::max(darkest, (a - b) / a);
    }
    EXPECT_GT(darkest, 1e-3);
}

TEST(Spot, ItsEffectConvergesWithTheResolution) {
    render::SceneInputs in = system(1, 0.3, 0.25, 80, 0.5, true);
    const PreciseLight plain(in);
    in.Colour.SpotActive = true;
    in.Colour.SpotTemp = 4000;
    in.Colour.SpotLat = degrees(20);
    in.Colour.SpotLon = degrees(200);
    in.Colour.SpotRadius = degrees(20);
    const PreciseLight coarse(in, 1), fine(in, 3);
    double largest = 0, worst = 0;
    for (int k = 0; k < 360; k += 5) {
        const double eta = degrees(k);
        const double effect = plain.at(eta)[0] - fine.at(eta)[0];
        largest = std::max(largest, effect);
        worst = std::max(worst, std::fabs(coarse.at(eta)[0] - fine.at(eta)[0]));
    }
    EXPECT_GT(largest, 1e-3 * plain.at(0)[0]);
    EXPECT_LT(worst, 0.03 * largest) << "largest effect " << largest;
}

} // namespace
} // namespace corvane::precise
