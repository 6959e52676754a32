// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <string>
#include <vector>

// The light of a stellar surface in an observer's passband.
//
// A black body at temperature T radiates, per unit area, solid angle and wavelength (Planck),
//   B_lambda(T) = 2 h c^2 / lambda^5 / (exp(h c / (lambda k T)) - 1)            [W m^-3 sr^-1]
// and a band of response R(lambda) (the tables in passbands/, linear between their rows) sees the
// response-weighted mean of it,
//   S(T) = Int R w B_lambda d lambda / Int R w d lambda,
// with w = lambda for a photon-counting response (throughput times quantum efficiency) and w = 1 for
// an energy response. S is in the units of B_lambda; only ratios of S enter a light curve. The
// intensity of a surface point is S(T) times its limb-darkening law (LimbDarkening.h). A model
// atmosphere would make the intensity a function of T, log g and mu; the callers ask for
// normal(T, logg), which for a black body does not depend on log g.
//
// Constants are CODATA 2018: h = 6.62607015e-34 J s, c = 299792458 m/s, k = 1.380649e-23 J/K,
// sigma = 5.670374419e-8 W m^-2 K^-4.

namespace corvane::light {

enum class Response { Photon, Energy };

struct PassbandTable {
    std::string name;           // as offered to the person: "TESS", "Johnson V", ...
    std::string file;           // the table in passbands/
    Response response = Response::Photon;
    std::vector<double> nm;     // wavelengths, increasing
    std::vector<double> value;  // the response there, >= 0
};

// Every band compiled in, in the order of passbands/bands.csv.
const std::vector<PassbandTable>& passbands();
// The band of that name (exactly as listed), or nothing.
const PassbandTable* findPassband(const std::string& name);

// B_lambda(T) at lambdaNm nanometres, W m^-3 sr^-1; 0 for T or lambda not positive.
double planck(double lambdaNm, double T);

// S(T) by direct integration: each interval of the table by a Gauss-Legendre rule (6 points, 12 for
// rows more than 10 nm apart), exact for the linear response times B_lambda to about 1e-12
// (B_lambda is smooth on a table's spacing). For T not positive, 0.
double bandIntegral(const PassbandTable& band, double T);

// The frequency-integrated ("Bolometric") intensity sigma T^4 / pi, W m^-2 sr^-1.
double bolometricIntensity(double T);

// S(T) tabulated once per band (about 50 ms): ln S on 1024 values of ln T from 1000 to 100000 K,
// a cubic through four neighbours in between, within 1e-9 of S (relative; 1e-10 to 3e-10
// measured, the tests check it against bandIntegral over the whole range); outside the range
// bandIntegral itself.
class BandIntensity {
public:
    explicit BandIntensity(const PassbandTable& band);
    // The normal intensity at temperature T and surface gravity log g (cgs; a black body ignores it).
    double normal(double T, double logg = 4.4) const;
    const PassbandTable& band() const { return *band_; }
    // The table of the named band, built at its first use and shared (thread-safe); nothing for a
    // name no band has.
    static const BandIntensity* of(const std::string& name);

    static constexpr double MinT = 1000, MaxT = 100000;
    static constexpr int Points = 1024;

private:
    const PassbandTable* band_;
    std::vector<double> lnS_;
    double lnT0_ = 0, step_ = 0;
};

} // namespace corvane::light
