// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <string>
#include <vector>

// Observations as astronomers have them: a time series (or phases) of magnitudes or fluxes with
// optional errors, read into one table; folding, unit conversion and binning are separate steps on
// that table.

namespace corvane::fitting {

enum class Abscissa { Phase, Time };
enum class Quantity { Magnitude, Flux, Velocity };

struct Observations {
    Abscissa abscissa = Abscissa::Phase;
    Quantity quantity = Quantity::Magnitude;
    std::vector<double> x;     // phase in revolutions, or time in the file's own days
    std::vector<double> value; // magnitude, flux, or radial velocity (km/s, positive receding)
    std::vector<double> error; // one per point, or empty when the file gives none
    std::string xColumn, valueColumn, errorColumn; // the columns read ("column 1" without a header)
    int skipped = 0;        // data lines that could not be read (not numbers, not finite, missing)
    int firstSkipped = 0;   // 1-based line number of the first of them (0: none)
    int comments = 0;       // comment lines (#, %, ;, !) and blank lines
    int flagged = 0;        // FITS rows left out for a non-zero QUALITY flag
    bool fromFlux = false;  // the values were fluxes, turned into magnitudes
    std::string band;       // the passband the file says it was taken in ("TESS", "Kepler"), or empty
    double exposureDays = 0; // how long each point integrates (a FITS file's TIMEDEL), 0: not said
    std::string problem;    // why nothing could be read; empty when read

    bool ok() const { return problem.empty(); }
    std::size_t size() const { return x.size(); }
    bool hasErrors() const { return !error.empty(); }
};

// Text in any of the usual forms: fields separated by commas, tabs or spaces; comment lines starting
// with #, %, ; or !; an optional header line naming the columns in any order and any case (time, jd,
// hjd, bjd, btjd, mjd, date for the time; phase; mag, magnitude, vmag; flux, sap_flux, pdcsap_flux;
// err, error, sigma, e_mag, mag_err, flux_err, magerr, fluxerr, the `_err` form of the value's name).
// Without a header column 1 is the phase (all values within -1..2) or else a time, column 2 a
// magnitude, column 3, when there is one, its error. A header that names no usable time or phase and
// value column is an error. Lines whose fields cannot be read are skipped and counted.
// A header that names a radial velocity (rv, rv1, rv2, vrad, velocity) and no magnitude or flux is
// refused: a velocity file is never read as magnitudes.
// With velocities, the file is read as radial velocities instead: the header must name one (and an
// error: e_rv, rv_err, sigma...), and without a header column 2 is the velocity in km/s.
Observations parseObservations(const std::string& text, bool velocities = false);

// A FITS light curve: the first binary table with a TIME column and a PDCSAP_FLUX, SAP_FLUX or FLUX
// column (in that order of preference, any case), with the flux's _ERR column when there is one.
// Rows with a time, flux or error that is not finite are skipped, rows with a non-zero QUALITY are
// left out (flagged). Times in the file's own days (BTJD for TESS), fluxes as stored; the primary
// header's TELESCOP "TESS" or "Kepler" (K2 too) names the band, the table's TIMEDEL (days; else
// FRAMETIM times NUM_FRM, seconds) the time each point integrates over. The path is
// taken literally (no cfitsio filename syntax: brackets, parentheses, "!", "-", "mem://" are part
// of the name). A table whose header declares more rows than the file holds, or more than
// MaxFitsRows, is refused before anything is allocated; rows are read in chunks.
inline constexpr long long MaxFitsRows = 50'000'000;
Observations readFitsObservations(const std::string& path);

// A file of observations, FITS (it starts with "SIMPLE  =") or text (at most 64 MB).
Observations readObservations(const std::string& path);
// A text file of radial velocities (parseObservations with velocities), at most 64 MB.
Observations readVelocities(const std::string& path);

// Phases from times: phase = frac((t - epoch) / period), in [0, 1), so that the epoch of primary
// minimum falls at phase 0. The period in days must be positive and finite; the table's x become
// phases. Returns false (and leaves the table unchanged) for a bad period or epoch.
bool fold(Observations& obs, double period, double epoch);

// Fluxes to magnitudes, m = -2.5 log10(f), errors sigma_m = (2.5 / ln 10) sigma_f / f. Points with a
// flux that is not positive are dropped and counted in `skipped`. A magnitude table is unchanged.
void toMagnitudes(Observations& obs);

// At most maxPoints points: when there are more, the phases are binned into maxPoints equal bins of
// [0, 1) and each non-empty bin becomes one point at the mean phase of its points, with the mean value
// and the error of that mean (the points' errors combined). A file without errors stays without:
// the scatter within a bin is not its noise. Returns the number of points before binning. Phases
// only.
std::size_t binInPhase(Observations& obs, std::size_t maxPoints);

// What was read, in a sentence or two for the person: how many points, from which columns, folded
// how, binned or not, what was skipped.
std::string describe(const Observations& obs, std::size_t before = 0, double period = 0, double epoch = 0);

} // namespace corvane::fitting
