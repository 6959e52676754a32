// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "ToolTips.h"

#include <map>

namespace corvane::ui {

std::string toolTipFor(const std::string& name) {
    static const std::map<std::string, std::string> tips = {
        {"txtIota", "Inclination of the orbit, degrees: 90 for an edge-on orbit, 0 face-on (0 to 90)"},
        {"Qratio", "Mass ratio: the mass of star 2 divided by the mass of star 1 (0.001 to 1000)"},
        {"txtN1", "Latitude lines from the equator to the pole of each star's mesh (1 to 100)"},
        {"txtRadius1", "Pole radius of star 1, in units of the separation (0.01 to 0.99)"},
        {"txtRadius2", "Pole radius of star 2, in units of the separation (0.01 to 0.99)"},
        {"txtLimb1", "Limb-darkening coefficient a of star 1, the linear law's only one (0 to 1)"},
        {"txtLimb1b", "Second limb-darkening coefficient b of star 1 (quadratic, square root, logarithmic; the "
                      "power-2 law's exponent), -1 to 3; the Precise photometry only"},
        {"txtLimb2b", "Second limb-darkening coefficient b of star 2 (quadratic, square root, logarithmic; the "
                      "power-2 law's exponent), -1 to 3; the Precise photometry only"},
        {"txtGravity1", "Gravity-darkening exponent beta of star 1: T = T1 (g / g_pole)^beta, the temperature box "
                        "holding the pole's (0 to 1; 0.25 radiative, 0.08 convective); the Precise photometry only"},
        {"txtGravity2", "Gravity-darkening exponent beta of star 2: T = T2 (g / g_pole)^beta, the temperature box "
                        "holding the pole's (0 to 1; 0.25 radiative, 0.08 convective); the Precise photometry only"},
        {"txtAlbedo1", "Bolometric albedo of star 1: the share of star 2's light falling on it that it radiates "
                       "again, T^4 = T^4 + A F / sigma (0 to 1; 1 radiative, 0.5 convective)"},
        {"txtAlbedo2", "Bolometric albedo of star 2: the share of star 1's light falling on it that it radiates "
                       "again, T^4 = T^4 + A F / sigma (0 to 1; 1 radiative, 0.5 convective)"},
        {"txtEccentricity", "Orbital eccentricity e (0 to 0.95). Above 0 the radii are in units of the semi-major axis "
                            "(a Roche star's pole radius at periastron) and phase 0 is the mid-time of primary eclipse"},
        {"txtOmega", "Argument of periastron omega of star 1's orbit, in degrees: star 1 is behind its companion "
                     "when the true anomaly plus omega is 90"},
        {"txtApsidal", "Apsidal motion: the change of omega in degrees per orbital cycle, counted from the epoch"},
        {"chkLightTime", "Light-time delay across the orbit: each star is seen where it was when its light left it "
                         "(needs the semi-major axis and the period); off by default"},
        {"txtGammaVelocity", "Systemic radial velocity gamma of the pair, in km/s (positive receding)"},
        {"txtVsini1", "Star 1's projected equatorial velocity v sin i in km/s, of the sphere of its volume, for the\n"
                      "Rossiter-McLaughlin effect in the Precise photometry's velocities (0: synchronous rotation)"},
        {"txtVsini2", "Star 2's projected equatorial velocity v sin i in km/s (0: synchronous rotation)"},
        {"txtLambda1", "Star 1's sky-projected spin-orbit angle lambda in degrees, from the orbit's axis towards the\n"
                       "way the star in front at primary eclipse moves (0: aligned)"},
        {"txtLambda2", "Star 2's sky-projected spin-orbit angle lambda in degrees (0: aligned)"},
        {"txtSemiMajorAxis", "Semi-major axis a of the relative orbit in solar radii (0: not known). With the period "
                             "and q it gives the velocities, the masses and the radii"},
        {"txtThirdLight", "Third light L3: the fraction of the total light at quadrature from a third body "
                          "(0 to 0.99); the Precise photometry only"},
        {"cmbPassband", "The light the Precise photometry measures: the screen colours (R, G, B, luminance), "
                        "bolometric (sigma T^4 / pi) or a real band (the Planck function over its response)"},
        {"cmbLimbLaw", "The limb-darkening law of the Precise photometry: linear 1 - a(1 - mu), quadratic "
                       "- b(1 - mu)^2, square root - b(1 - sqrt mu), logarithmic - b mu ln mu, power-2 1 - a(1 - mu^b)"},
        {"txtLimb2", "Limb-darkening coefficient a of star 2, the linear law's only one (0 to 1)"},
        {"txtTemp1", "Temperature of star 1, kelvin (about 3000 to 50 000)"},
        {"txtTemp2", "Temperature of star 2, kelvin (about 3000 to 50 000)"},
        {"txtAnimSpeed", "Degrees the system turns at each step of the animation (0 to 20)"},
        {"txtGamma", "Tilt of the orbit's axis on the sky, degrees"},
        {"txtEta", "Rotation angle of the system, degrees (90 is phase 0, the primary eclipse)"},
        {"txtRotPer", "Rotation period of a single spinning star, days"},
        {"txtZoom", "Size of the drawing, percent (100 fits the separation to the picture)"},
        {"txtTempSpot1", "Temperature of the star spot, kelvin"},
        {"txtSpotLat1", "Latitude of the spot's centre, degrees"},
        {"txtSpotLon1", "Longitude of the spot's centre, degrees"},
        {"txtRadSpot1", "Angular radius of the spot, degrees"},
        {"txtFilename", "Name of the light-curve file written into LightCurves/"},
        {"txtLCName", "The observed light curve to load"},
        {"txtBMPName", "The file to save or load"},
        {"txtInitial", "First value of parameter #1 of the grid search"},
        {"txtFinal", "Last value of parameter #1 of the grid search"},
        {"txtSteps", "Number of values of parameter #1, both ends included (1 to 1000)"},
        {"txtInitial2", "First value of parameter #2 of the grid search"},
        {"txtFinal2", "Last value of parameter #2 of the grid search"},
        {"txtSteps2", "Number of values of parameter #2, both ends included (1 to 1000)"},
        {"txtPeriod", "Orbital period in days: a file of times (JD, HJD, BJD, BTJD) is folded with it; empty "
                      "for a file of phases"},
        {"txtEpoch", "Time of a primary minimum, in the file's own time scale (it falls at phase 0)"},
        {"txtExposure", "Seconds each observed point integrates (0: an instant): with a period the model at each point "
                        "is averaged over it; a TESS or Kepler FITS file gives its cadence"},
        {"txtPhaseShift", "Added to every observed phase before the model is computed there (revolutions, -0.5 "
                          "to 0.5)"},
        {"chkAuto", "Keep star 2 on star 1's surface when the stars touch (a contact pair)"},
        {"chkNeck", "Draw the neck that joins two stars sharing an envelope"},
        {"chkSpherical", "Tidal Effects: stars distorted by each other's gravity; unticked, spheres"},
        {"chkStefan", "Scale each star's brightness by the fourth power of its temperature"},
        {"chkSimAreas", "Cells of similar areas over each star's surface"},
        {"chkMag", "Plot and save the light curve in magnitudes instead of relative light"},
        {"chkGran", "A random granulation texture over the cells"},
        {"TwoStarsCheck", "Draw star 2 (unticked: star 1 alone)"},
        {"AnimCheck", "Turn the system through its orbit (Space starts and stops it)"},
        {"chkPhotometry", "Measure the light of each frame into the light curve"},
        {"chkSpot1", "Put a star spot on the chosen star"},
        {"chkPaint", "Draw the stars as shaded cells"},
        {"chkGrid", "Draw the stars' meshes as lines"},
        {"chkDots", "Draw the stars' cells as dots"},
        {"chkSave", "Save the light curve into LightCurves/ once every channel has been measured"},
        {"chkBMP", "Save one picture per step of a revolution into Animation/"},
        {"chkError", "Draw the model at every observed phase and show the relative error"},
        {"chkDC", "Run the grid search over the two parameters' ranges"},
        {"cmbFilter", "The channels measured: red, green, blue and luminance"},
        {"cmbStarSpot1", "The star that carries the spot"},
        {"cmbParameter", "Parameter #1 of the grid search (rows)"},
        {"cmbParameter2", "Parameter #2 of the grid search (columns)"},
        {"StarNameList", "The catalogue: click a system to load its parameters"},
        {"txtStarFilter", "Type part of a name to show only the systems that match"},
        {"SlideShow", "Show every catalogue system in turn"},
        {"PicturePlot", "The light curve: hover to read a value, right-click to copy or save it"},
        {"Picture1", "The two stars as the photometry sees them"},
    };
    const auto it = tips.find(name);
    return it == tips.end() ? std::string() : it->second;
}

} // namespace corvane::ui
