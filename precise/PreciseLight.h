// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "render/Scene.h"

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// The light of the system computed from its surfaces, without a picture.
//
// Each star is the surface the drawing approximates with cells, solved to full precision: the
// equipotential through its pole (star 1 in its own frame with q, star 2 in its own with 1/q), a
// sphere of the pole radius with "Tidal Effects" off, the spinning single star's surface with "Star 2
// Active" off, or, for a contact pair (both stars beyond their lobes, with or without the neck drawn),
// the common envelope: star 1's equipotential up to the plane of the inner Lagrangian point, star 2's
// beyond it. Each surface element radiates in
// each channel what the cell shading paints before rounding: the temperature colour (Stefan-Boltzmann
// factor, spot on star 1, the neck's temperature blend and its extra factor) times the linear law
//   I = C (1 - u (1 - mu)),   mu = n . v
// with n the outward normal (the gradient of the potential) and v the unit vector towards the viewer.
// The light settings (SceneInputs::Light) go beyond that: in a passband every channel carries the
// band's intensity of the point's temperature, under the chosen law; with gravity darkening the
// point's temperature is the pole's times (g / g_pole)^beta (g the gradient of the star's potential:
// the Roche one, or the spinning star's own); with reflection a point of a separate star is heated
// to T^4 + A T_c^4 Phi, Phi the flux from the companion taken as the sphere of its volume at its mean
// effective temperature (light::irradiation), in one pass. Each is integrated by the same rules, so
// the bounds below hold for them (tested against integrations of the tests' own: out of eclipse,
// in both eclipses of a close darkened pair, a spinning star, and the power a heated star re-radiates).
// The light of a channel is the integral of I over the visible, uneclipsed projected surface, in the
// picture's units: square pixels of the zoom (a star of radius r covers pi (2 ZoomScale r)^2), so a
// picture large enough to hold the stars sums, pixel by pixel, to this value.
//
// An eccentric orbit (SceneInputs::Orbit) is taken frame by frame: at each phase the system is the
// circular one of that moment's separation and angle (precise/OrbitScene), built and integrated as
// below, so every bound holds for it too; eta is then the mean anomaly's turn 2 pi (phase + 1/4).
//
// Frame: star 1 at the origin, star 2 at (1, 0, 0), z the rotation axis; lengths in units of the
// separation. At the rotation angle Eta and inclination Iota the viewer is in the direction
//   v = (sin Eta sin Iota, cos Eta sin Iota, -cos Iota),
// the direction the drawing looks from (star 2 in front at Eta = pi/2). The axis tilt turns the picture
// in its own plane and changes no light; the picture's edges, which crop the drawing, crop nothing here.
//
// Method (why it is exact to the bound below): every integral is taken on the sky plane in polar
// coordinates (rho, psi) about a body's projected centre. Along a radial line the front surface lies in
// the plane through the centre spanned by v and the line's direction e(psi); it is walked by the angle
// alpha of the body radius in that plane (u = cos alpha e + sin alpha v, rho = r(alpha) cos alpha), so the
// radial integral
//   G(rho, psi) = integral_0^rho I rho' d rho' = integral I rho |d rho / d alpha| d alpha
// has a smooth integrand (it vanishes smoothly at the limb, where d rho / d alpha = 0) and a
// Gauss-Legendre rule in alpha converges geometrically. Where the body hides part of itself (the contact
// envelope seen obliquely) the walk keeps only the stretches of the curve that are the first surface met
// from the viewer, each integrated on its own. A body's light is the trapezoid sum of G(limb, psi) over
// psi, geometrically convergent for a smooth periodic integrand. An eclipse of one detached star by the
// other is taken off by Green's theorem: the light of the overlap of the two projected outlines is the
// line integral of G d psi round its boundary, arcs of each outline between their intersection points,
// each integrated by Gauss-Legendre; outlines and G round the limb are trigonometric interpolants of the
// samples. Radii are solved by safeguarded Newton iteration to 1e-14.
//
// Error bound and its control: the rules' node counts (alpha, psi, the arcs, the walk's samples) all
// scale with `resolution`. For spheres and detached Roche stars every point is within 1e-6 of the
// light out of eclipse of the exact value (tested against exact overlap areas and brute-force
// integrals; halving the resolution changes no point by more than 1e-6). The contact envelope hides
// part of itself, which puts kinks into the integrand round psi that the trapezoid rule only follows
// to second order: there points are within about 3e-4 (halving the resolution changes none by more).
// An envelope beyond its outer critical surface is open; it is cut at 1.4 separations from the inner
// Lagrangian point, which gives a light but not a meaningful one.
// A spot on a detached star is added as the integral over its own patch of the surface, whose edge the
// rule follows; the limb crossing it is a kink and star 2's outline crossing it a step, so what it
// takes off the light is right to about 1% (4e-5 of the light for a 20-degree spot of 4000 K on a star
// of 8200 K). On a contact envelope or a single star the spot's edge is not followed: there its effect
// is right only to about 15%. Granulation (a random texture of the drawing's cells) is not part of
// this model. A single star that overflows its lobe while its companion does not is cut as the drawing
// cuts it, on its facing half at the distance of the inner Lagrangian point from its axis (the cut's
// edge is a kink the rules do not follow: such curves are good to about 1e-3); the drawing's fallback
// radius for directions where its iteration finds no surface has no counterpart here.

namespace corvane::precise {

// Light of one phase in the photometry's channels: 0 luminance (R + G + B), 1 blue, 2 green, 3 red.
using Channels = std::array<double, 4>;

class PreciseLight {
public:
    // The system as the drawing would draw it from in (parameters, switches, zoom); Eta is ignored.
    explicit PreciseLight(const render::SceneInputs& in, int resolution = 1);

    // The light at the rotation angle eta (radians).
    Channels at(double eta) const;
    // The light at each angle; a system without a spot is symmetric (eta and 2 pi - eta give the same
    // light), which the curve uses.
    std::vector<Channels> curve(std::span<const double> etas) const;

    // Whether the model is the contact envelope (else one or two separate bodies).
    bool contact() const;

    // Each star's own light at eta, as if the other were not in front of it (star 1, star 2), without
    // third light; nothing for a contact envelope or a single star, which are one body.
    std::optional<std::array<Channels, 2>> starLights(double eta) const;

    // Each star's flux-weighted line-of-sight velocity of its rotation about its own axis (parallel to
    // the orbit's, the sense of the orbit): the mean over its visible, uneclipsed surface of
    // (Omega z x d) . (-v) weighted by its light in the channel (0 luminance, 1 blue, 2 green, 3 red),
    // in units of Omega times a (the separation of a circular orbit, the semi-major axis of an
    // eccentric one), positive receding. Out of eclipse it is nearly 0; during an eclipse the hidden
    // part of the disc shifts it: the Rossiter-McLaughlin effect. A spot's own light is left out.
    // Nothing for an envelope or a single star, or for a star hidden whole.
    std::optional<std::array<double, 2>> rotationVelocities(double eta, int channel = 0) const;

    // Each star's flux-weighted mean place on the sky relative to its centre, {X, Y} in units of a
    // (as above), over the same surface: X along z x v, the way the star in front at primary eclipse
    // moves, and Y along the sky projection of the orbit's axis. A star spinning with equatorial
    // velocity V sin i about an axis whose sky projection is turned by lambda from the orbit's, towards
    // +X, has the flux-weighted rotational velocity V sin i / R (X cos lambda - Y sin lambda), R its
    // radius in units of a: the synchronous one above is Omega a sin i X. Nothing where
    // rotationVelocities gives nothing.
    std::optional<std::array<std::array<double, 2>, 2>> skyCentroids(double eta, int channel = 0) const;

    // Each star's mean effective temperature, (Int T^4 dA / Int dA)^(1/4) over its whole surface with
    // gravity darkening and reflection (the spot left out); nothing for an envelope or a single star.
    std::optional<std::array<double, 2>> meanTemperatures() const;

    struct Impl;

private:
    // What each point's light is weighted by (PreciseLight.cpp): nothing, the rotation's velocity, or
    // the sky coordinates of skyCentroids.
    enum class Weight { Light, Rotation, SkyX, SkyY };
    // weight: the moments instead of the light; oneFrame: a system seen at
    // one angle only (no series round the orbit).
    PreciseLight(const render::SceneInputs& in, int resolution, Weight weight, bool oneFrame);
    std::optional<std::array<double, 2>> weightedMeans(double eta, int channel, Weight weight) const;
    // The light of one frame of an eccentric orbit (precise/OrbitScene), third light left out.
    PreciseLight frameAt(double eta) const;

    std::shared_ptr<const Impl> impl_; // immutable once built: copies share it, threads may too
    // An eccentric orbit: the system's own inputs, from which each phase's frame is made (impl_ is
    // then the frame of phase 0.25, which the third light and the mean temperatures are taken from).
    std::shared_ptr<const render::SceneInputs> orbit_;
    // The velocity-weighted model of a circular orbit, built once when first asked for.
    struct Weighted;
    std::shared_ptr<Weighted> weighted_;
};

} // namespace corvane::precise
