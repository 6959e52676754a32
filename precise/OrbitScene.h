// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "render/Scene.h"

#include <optional>
#include <string>

// A system in an eccentric orbit, frame by frame, as the circular system of the moment.
//
// The inputs of an eccentric system give the radii in units of the semi-major axis a: a sphere's
// radius, or a Roche star's pole radius at periastron (separation 1 - e). Their Eta is the turn of
// the mean anomaly, Eta = 2 pi (phase + 1/4), phase 0 the mid-time of primary eclipse (roche/Orbit),
// which is the rotation angle of the circular orbit. At a phase the stars stand at the separation
// delta and the angle theta of roche::Orbit::at, and the frame is the circular system with
//   Eta = theta,  ZoomScale = delta ZoomScale,  radius = R / delta
// (lengths in units of the separation of the moment; the picture's scale and the light's units,
// square pixels of the zoom, stay those of a). A sphere keeps its radius R. A Roche star keeps its
// volume: its pole radius at delta is the one whose volume-equivalent radius (precise/VolumeRadius)
// times delta equals that at periastron, each equipotential of the synchronous potential of its own
// separation (the tidal shape follows the companion's distance; the rotation is taken as
// synchronous at each separation, a simpler approximation than a fixed spin).

namespace corvane::precise {

// The volume-equivalent radius of a detached star (units of the separation; q its companion's mass
// over its own) by the rule of precise/VolumeRadius, each radius by Newton's method from the pole
// (within 1e-12 of volumeEquivalentRadius, fifty times faster); nothing for a star that reaches its lobe.
std::optional<double> detachedVolumeRadius(double q, double rPole);

// Why the orbit of the inputs cannot be modelled, or "": a single star or a circular orbit always
// can; an eccentric pair cannot when the stars are a contact envelope (that orbit is circular) or
// when a Roche star fills its lobe at periastron.
std::string orbitProblem(const render::SceneInputs& in);

// The inputs of the frame at the mean anomaly's turn eta, as above; the inputs themselves (orbit
// and all) for a circular orbit, a single star, or an orbit orbitProblem refuses. The returned
// inputs' orbit is circular.
render::SceneInputs sceneAtOrbitAngle(const render::SceneInputs& in, double eta);

} // namespace corvane::precise
