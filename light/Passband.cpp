// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Passband.h"

#include "PassbandText.h"
#include "precise/Quadrature.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>
#include <sstream>

namespace corvane::light {

namespace {

constexpr double H = 6.62607015e-34, C = 299792458.0, K = 1.380649e-23, Sigma = 5.670374419e-8;

std::vector<PassbandTable> readAll() {
    std::vector<PassbandTable> out;
    for (const auto& t : generated::kPassbands) {
        PassbandTable p;
        p.name = t.name;
        p.file = t.file;
        p.response = std::string(t.response) == "energy" ? Response::Energy : Response::Photon;
        std::istringstream in(t.csv);
        std::string line;
        std::getline(in, line); // wavelength_nm,response
        while (std::getline(in, line)) {
            const auto comma = line.find(',');
            if (comma == std::string::npos) {
                continue;
            }
            // The tables are the program's own and checked by the tests; the C locale's strtod is
            // not used on them, as elsewhere, so that a decimal comma never reads them wrong.
            std::istringstream a(line.substr(0, comma)), b(line.substr(comma + 1));
            a.imbue(std::locale::classic());
            b.imbue(std::locale::classic());
            double x = 0, y = 0;
            if (a >> x && b >> y) {
                p.nm.push_back(x);
                p.value.push_back(y);
            }
        }
        out.push_back(std::move(p));
    }
    return out;
}

} // namespace

const std::vector<PassbandTable>& passbands() {
    static const std::vector<PassbandTable> all = readAll();
    return all;
}

const PassbandTable* findPassband(const std::string& name) {
    for (const PassbandTable& p : passbands()) {
        if (p.name == name) {
            return &p;
        }
    }
    return nullptr;
}

double planck(double lambdaNm, double T) {
    if (!(lambdaNm > 0) || !(T > 0)) {
        return 0;
    }
    const double lambda = lambdaNm * 1e-9;
    const double x = H * C / (lambda * K * T);
    return 2 * H * C * C / std::pow(lambda, 5) / std::expm1(x);
}

double bandIntegral(const PassbandTable& band, double T) {
    if (!(T > 0) || band.nm.size() < 2) {
        return 0;
    }
    // Six points for the few-nanometre rows of most tables, twelve for the 50 nm steps of some.
    static const precise::GaussRule fine = precise::gaussLegendre(6), wide = precise::gaussLegendre(12);
    const bool photon = band.response == Response::Photon;
    double signal = 0, weight = 0;
    for (std::size_t i = 0; i + 1 < band.nm.size(); ++i) {
        const double a = band.nm[i], b = band.nm[i + 1];
        const double ra = band.value[i], rb = band.value[i + 1];
        if (ra == 0 && rb == 0) {
            continue;
        }
        const double half = 0.5 * (b - a), mid = 0.5 * (a + b);
        const precise::GaussRule& rule = b - a > 10 ? wide : fine;
        for (std::size_t k = 0; k < rule.x.size(); ++k) {
            const double l = mid + half * rule.x[k];
            const double r = ra + (rb - ra) * (l - a) / (b - a);
            const double w = rule.w[k] * half * r * (photon ? l : 1.0);
            signal += w * planck(l, T);
            weight += w;
        }
    }
    return weight > 0 ? signal / weight : 0;
}

double bolometricIntensity(double T) { return T > 0 ? Sigma * T * T * T * T / std::numbers::pi : 0; }

BandIntensity::BandIntensity(const PassbandTable& band) : band_(&band) {
    lnT0_ = std::log(MinT);
    step_ = (std::log(MaxT) - lnT0_) / (Points - 1);
    lnS_.resize(Points);
    for (int i = 0; i < Points; ++i) {
        lnS_[static_cast<std::size_t>(i)] = std::log(bandIntegral(band, std::exp(lnT0_ + step_ * i)));
    }
}

double BandIntensity::normal(double T, double /*logg*/) const {
    if (!(T >= MinT && T <= MaxT)) {
        return bandIntegral(*band_, T);
    }
    // Lagrange's cubic through the four nodes about ln T (two at an end of the table).
    const double u = (std::log(T) - lnT0_) / step_;
    const int i = std::clamp(static_cast<int>(std::floor(u)) - 1, 0, Points - 4);
    const double t = u - i;
    const double* y = &lnS_[static_cast<std::size_t>(i)];
    const double l0 = -(t - 1) * (t - 2) * (t - 3) / 6, l1 = t * (t - 2) * (t - 3) / 2;
    const double l2 = -t * (t - 1) * (t - 3) / 2, l3 = t * (t - 1) * (t - 2) / 6;
    return std::exp(l0 * y[0] + l1 * y[1] + l2 * y[2] + l3 * y[3]);
}

const BandIntensity* BandIntensity::of(const std::string& name) {
    static std::mutex lock;
    static std::map<std::string, std::unique_ptr<const BandIntensity>> built;
    const PassbandTable* band = findPassband(name);
    if (band == nullptr) {
        return nullptr;
    }
    const std::lock_guard<std::mutex> guard(lock);
    auto& slot = built[name];
    if (!slot) {
        slot = std::make_unique<const BandIntensity>(*band);
    }
    return slot.get();
}

} // namespace corvane::light
