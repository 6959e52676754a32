// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

// The relative orbit of the two stars: Kepler's equation and where the stars stand at a phase.
//
// Units: lengths in the semi-major axis a, angles in radians, time in orbital periods (phases).
// The orbit has eccentricity e (0 <= e <= MaxEccentricity) and argument of periastron omega of
// star 1's orbit, measured so that star 1 stands behind its companion (farthest from the viewer) when
//   theta = nu + omega = pi / 2,
// nu the true anomaly. theta is the angle the pictures and the photometry turn the line of centres
// by: it is the rotation angle Eta of a circular orbit, whose primary eclipse is at Eta = pi / 2.
//
// Phase 0 is the mid-time of primary eclipse: the time of least projected separation
//   s^2 = delta^2 (1 - sin^2 i sin^2 theta),  delta = 1 - e cos E  (the separation in units of a)
// while star 1 is behind (0 < theta < pi), the T0 of general codes. The mean anomaly is then
//   M = M0 + 2 pi phase,  E - e sin E = M,  tan(nu / 2) = sqrt((1 + e) / (1 - e)) tan(E / 2),
// M0 the mean anomaly at phase 0. With e = 0 and i = 90 degrees, M0 = pi / 2 - omega and theta =
// 2 pi phase + pi / 2 exactly as the circular orbit turns.

namespace corvane::roche {

inline constexpr double MaxEccentricity = 0.95;

// The orbit a system is drawn and measured in. The default is the circular orbit.
struct OrbitSettings {
    double eccentricity = 0;            // e, 0 to MaxEccentricity
    double omega = 1.5707963267948966;  // star 1's argument of periastron, radians
    double apsidal = 0;                 // d omega / d phase, radians per cycle
    // The light-time delay across the orbit: a / (c P), the time light takes over the semi-major axis
    // in cycles (0: none). The configuration seen at phase p is then the orbit's at p - tau, with
    //   tau = -lightTime delta sin(theta) sin(i) (1 - q) / (1 + q)
    // (first order in v/c: star 2's light left it when it stood delta sin(theta) sin(i) nearer the
    // viewer than star 1, each star at its own distance from the centre of mass), which puts a
    // circular orbit's secondary eclipse 2 a sin(i) (1 - q) / ((1 + q) c) late.
    double lightTime = 0;
    bool eccentric() const { return eccentricity > 0; }
    // Whether the system is drawn and measured frame by frame (precise/OrbitScene).
    bool framed() const { return eccentricity > 0 || lightTime > 0; }
};


// The eccentric anomaly E of the mean anomaly M (any real) for 0 <= e < 1: the root of
//   f(E) = E - e sin E - M,
// by Newton's method from Danby's starting value, safeguarded by bisection in the
// bracket [M' - e, M' + e] around the reduced anomaly M' in [-pi, pi); |f| <= 1e-12 on return (and E
// exact to a few ulps of pi for e < 0.95). The returned E lies in the same turn as M. An e outside
// [0, 1) or a non-finite argument gives NaN.
double eccentricAnomaly(double M, double e);

// Where the stars stand at one phase.
struct OrbitPosition {
    double meanAnomaly = 0; // M, reduced to [0, 2 pi)
    double trueAnomaly = 0; // nu, in [0, 2 pi)
    double theta = 0;       // nu + omega: the angle of the line of centres (the rotation angle)
    double separation = 1;  // delta = 1 - e cos E, in units of a
};

class Orbit {
public:
    // e is clamped to [0, MaxEccentricity]; omega and the inclination iota in radians. apsidal is
    // d omega / d phase (radians per cycle): omega at phase p is omega + apsidal floor(p) (the turn
    // of the cycle the phase lies in, so a phase within [0, 1) sees omega itself).
    Orbit(double e, double omega, double iota, double apsidal = 0);

    double eccentricity() const { return e_; }
    double omega(double phase = 0) const;

    // Where the stars stand at the phase (any real).
    OrbitPosition at(double phase) const;

    // The mean anomaly at phase 0 of the cycle whose omega is omega (its mid primary eclipse).
    double meanAnomalyAtPrimary(double omega) const;
    // Mid-time of the secondary eclipse (least projected separation while star 1 is in front,
    // pi < theta < 2 pi), in [0, 1).
    double secondaryPhase() const;
    // The phase of periastron passage, in [0, 1).
    double periastronPhase() const;

private:
    double e_, omega_, sinI_, apsidal_;
    double m0_; // meanAnomalyAtPrimary(omega_)
};

// The phase whose orbital configuration is seen at phase (with o.lightTime, as above; the phase
// itself without). q = M2 / M1.
double retardedPhase(const Orbit& orbit, const OrbitSettings& o, double phase, double iota, double q);

// Estimates of e cos(omega) and e sin(omega) from the eclipse timing, to start a fit:
//   e cos(omega) ~ pi (phase2 - 1/2) / (1 + 1 / sin^2 i)   (Sterne's first-order relation; at
//                                                           i = 90 degrees (pi / 2) (phase2 - 1/2))
//   e sin(omega) ~ (w2 - w1) / (w2 + w1)                    (each duration goes as the separation)
// phase2 the secondary's phase after the primary, w1 and w2 the durations of primary and secondary
// eclipse. Good to first order in e.
struct EccentricityEstimate {
    double eCosOmega = 0, eSinOmega = 0;
};
EccentricityEstimate estimateEccentricity(double phase2, double width1, double width2, double iota);

} // namespace corvane::roche
