// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A fit described in a plain TOML file a person writes and reads: the system's settings, the
// observation files with their options, every parameter with its start, bounds, prior and free flag,
// the priors on derived quantities and the fit's own options. The batch tool runs it
// (corvane-cli fit FITFILE), the window saves and loads it. For example:
//
//   # CM Dra, TESS sector 24
//   [settings]                       # any box, switch or choice, as --set takes them
//   cmbPhotometry = "Precise"
//   cmbPassband = "TESS"
//   txtTemp1 = 3130
//
//   [fit]
//   period = 1.26839055              # days, to fold time series
//   epoch = 1967.603788
//   clip = 4                         # sigma clipping of the light's outliers (0: none)
//   method = "simplex"               # the downhill simplex, or "lm" (Levenberg-Marquardt, the default)
//   global = "always"                # the global search first: "auto" (when the start is far), "never"
//
//   [[light]]
//   file = "tess.fits"               # relative to the fit file's folder
//   exposure = 120                   # seconds (optional)
//   detrend = 2                      # a polynomial in time, fitted with the model (optional)
//   gap = 0.5                        # days: one polynomial for each stretch between longer gaps
//
//   [[velocities]]
//   file = "rv1.txt"
//   star = 1
//
//   [parameters.txtIota]             # a box's name or a fit parameter's caption
//   value = 89.5
//   free = true
//   lower = 88                       # bounds inside the box's own range (optional)
//   upper = 90
//   prior = [89.55, 0.05]            # a Gaussian prior: value, sigma (optional)
//
//   [priors]                         # on quantities derived from the parameters
//   k = [1.058, 0.02]

namespace corvane::fitting {

struct FitFileParameter {
    std::string name;            // as written: a box's name or a caption
    std::optional<double> value; // the start
    bool free = false;
    std::optional<double> lower, upper;
    std::optional<std::pair<double, double>> prior; // value, sigma
};

struct FitFileLight {
    std::filesystem::path file;
    std::string passband;          // "" for the settings' band
    std::optional<double> exposure; // seconds
    int detrend = -1;               // the degree of a polynomial in time fitted with the model (-1: none)
    double gap = 0;                 // days: one polynomial for each stretch between longer gaps (0: one)
};

inline constexpr int MaxDetrendDegree = 10;

struct FitFileVelocities {
    std::filesystem::path file;
    int star = 1;
};

struct FitFile {
    std::vector<std::pair<std::string, std::string>> settings; // control, value, in the file's order
    std::optional<double> period, epoch;
    double clip = 0;
    std::string method; // "simplex" or "lm"; "" for the default
    std::string global; // "auto", "always" or "never"; "" for the default (auto)
    std::vector<FitFileLight> light;
    std::vector<FitFileVelocities> velocities;
    std::vector<FitFileParameter> parameters;
    std::vector<std::pair<std::string, std::pair<double, double>>> priors; // derived: name, (value, sigma)
};

// Reads a fit file; relative file names are taken from its folder. Nothing, with why (the line where
// the TOML breaks, or the entry that is wrong), when it is not one.
std::optional<FitFile> readFitFile(const std::filesystem::path& path, std::string& why);
// The same from text, relative file names taken from folder.
std::optional<FitFile> parseFitFile(const std::string& text, const std::filesystem::path& folder, std::string& why);

// The TOML text of a fit, file names relative to folder where they lie inside it; parseFitFile reads
// it back to the same fit.
std::string formatFitFile(const FitFile& fit, const std::filesystem::path& folder);

} // namespace corvane::fitting
