// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// What papers quote of a model's light: the light ratio, the central and mean surface-brightness
// ratios and the stars' mean effective temperatures.
#include "CorvaneForm.h"

#include "light/Passband.h"
#include "platform/NumberFormat.h"
#include "precise/PreciseLight.h"
#include "precise/VolumeRadius.h"
#include "render/StarColor.h"

#include <numbers>
#include <optional>

namespace corvane::app {

std::vector<std::string> CorvaneForm::lightReport(const precise::PreciseLight& model) const {
    std::vector<std::string> lines;
    // In the model's light: the band with a passband, else the compared screen channel.
    const render::SceneInputs scene = sceneInputs();
    const int channel = comparedChannel();
    const auto c = static_cast<std::size_t>(channel);
    const std::string band = scene.Light.screenColour() ? channelName(channel) : scene.Light.passband;
    std::optional<double> lightRatio;
    if (const auto stars = model.starLights(std::numbers::pi); stars && (*stars)[0][c] > 0) {
        lightRatio = (*stars)[1][c] / (*stars)[0][c];
        lines.push_back("Light Ratio L2/L1 = " + platform::Format(*lightRatio, "0.#####") + " (" + band +
                        ", at phase 0.25)");
    }
    auto centre = [&](double T) {
        if (const light::BandIntensity* b = light::BandIntensity::of(scene.Light.passband)) {
            return b->normal(T);
        }
        if (scene.Light.passband == light::kBolometric) {
            return light::bolometricIntensity(T);
        }
        const render::Rgb rgb = render::StarColorTemp(T, scene.Colour);
        const double channels[4] = {rgb.R + rgb.G + rgb.B, rgb.B, rgb.G, rgb.R};
        return channels[c];
    };
    if (const double c1 = centre(Temp1); c1 > 0) {
        lines.push_back("Central Surface-Brightness Ratio J = " + platform::Format(centre(Temp2) / c1, "0.#####") + " (" +
                        band + ")");
    }
    // The mean surface brightness: the light ratio over the ratio of the discs of the stars' volumes
    // (spheres: their radii), L2/L1 (r1/r2)^2, as light-curve solutions give it.
    const auto r1 = scene.View.Tidal ? precise::volumeEquivalentRadius(Q, Radius1) : std::optional(Radius1);
    const auto r2 = scene.View.Tidal ? precise::volumeEquivalentRadius(1 / Q, Radius2) : std::optional(Radius2);
    if (lightRatio && r1 && r2 && *r2 > 0) {
        lines.push_back("Mean Surface-Brightness Ratio = " + platform::Format(*lightRatio * (*r1 / *r2) * (*r1 / *r2), "0.#####") +
                        " (" + band + ", at phase 0.25)");
    }
    if (const auto t = model.meanTemperatures()) {
        lines.push_back("Mean Effective Temperatures T1 = " + platform::Format((*t)[0], "0") + " K, T2 = " +
                        platform::Format((*t)[1], "0") + " K (over each surface, with gravity darkening and reflection)");
    }
    return lines;
}

} // namespace corvane::app
