// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Observations.h"

#include "platform/NumberFormat.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>
#include <sstream>

namespace corvane::fitting {

namespace {

std::string trim(const std::string& s) {
    const auto a = s.find_first_not_of(" \t");
    if (a == std::string::npos) {
        return {};
    }
    const auto b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

// Fields split at commas when the line has any (each trimmed, empty ones kept: a missing value),
// else at runs of tabs and spaces.
std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> out;
    if (line.find(',') != std::string::npos) {
        std::size_t start = 0;
        for (;;) {
            const auto comma = line.find(',', start);
            out.push_back(trim(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
            if (comma == std::string::npos) {
                break;
            }
            start = comma + 1;
        }
        return out;
    }
    std::string field;
    for (char c : line) {
        if (c == ' ' || c == '\t') {
            if (!field.empty()) {
                out.push_back(field);
                field.clear();
            }
        } else {
            field += c;
        }
    }
    if (!field.empty()) {
        out.push_back(field);
    }
    return out;
}

bool number(const std::string& s, double& v) {
    if (s.empty()) {
        return false;
    }
    char* end = nullptr;
    v = platform::strtodC(s.c_str(), &end);
    return end != nullptr && *end == '\0' && std::isfinite(v);
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // Units in brackets ("BJD (days)", "mag[V]") do not change the name.
    if (const auto p = s.find_first_of("([{"); p != std::string::npos && p > 0) {
        s.erase(p);
    }
    return trim(s);
}

enum class Role { None, Time, Phase, Magnitude, Flux, Velocity, Error };

Role roleOf(const std::string& nameIn) {
    const std::string n = lower(nameIn);
    for (const char* t : {"time", "jd", "hjd", "bjd", "btjd", "mjd", "rjd", "date", "t", "bjd_tdb", "hjd_utc"}) {
        if (n == t) {
            return Role::Time;
        }
    }
    if (n == "phase" || n == "ph") {
        return Role::Phase;
    }
    for (const char* m : {"mag", "magnitude", "vmag", "v", "dmag", "delta_mag", "rmag", "imag", "bmag"}) {
        if (n == m) {
            return Role::Magnitude;
        }
    }
    // Corvane's own light-curve files name their channels: relative light, a flux.
    for (const char* f : {"flux", "sap_flux", "pdcsap_flux", "rel_flux", "norm_flux", "intensity", "red", "green",
                          "blue", "luminance", "light"}) {
        if (n == f) {
            return Role::Flux;
        }
    }
    for (const char* r : {"rv", "rv1", "rv2", "vrad", "v_rad", "vr", "velocity", "radial_velocity", "rv_kms"}) {
        if (n == r) {
            return Role::Velocity;
        }
    }
    for (const char* e : {"err", "error", "sigma", "e_mag", "e_rv", "rv_err", "rverr", "sigma_rv", "e_vrad", "mag_err", "magerr", "flux_err", "fluxerr", "e_flux",
                          "sap_flux_err", "pdcsap_flux_err", "uncertainty", "dy", "e"}) {
        if (n == e) {
            return Role::Error;
        }
    }
    return Role::None;
}

bool isComment(const std::string& line) {
    const auto p = line.find_first_not_of(" \t");
    if (p == std::string::npos) {
        return true; // blank
    }
    const char c = line[p];
    return c == '#' || c == '%' || c == ';' || c == '!';
}

} // namespace

Observations parseObservations(const std::string& textIn, bool velocities) {
    Observations obs;
    std::string text = textIn;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
        text.erase(0, 3);
    }
    std::vector<std::string> lines;
    {
        std::string line;
        for (std::size_t k = 0; k < text.size(); ++k) {
            const char c = text[k];
            if (c == '\n' || c == '\r') {
                lines.push_back(line);
                line.clear();
                if (c == '\r' && k + 1 < text.size() && text[k + 1] == '\n') {
                    ++k;
                }
            } else {
                line += c;
            }
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    int xCol = -1, vCol = -1, eCol = -1;
    std::vector<int> fluxCols; // every column the header names as a flux, in order
    std::vector<std::string> header;
    bool headerSeen = false;
    std::vector<std::vector<std::string>> rows;
    std::vector<int> rowLines;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const std::string& line = lines[k];
        if (isComment(line)) {
            ++obs.comments;
            continue;
        }
        std::vector<std::string> f = splitFields(line);
        double first = 0;
        if (!headerSeen && rows.empty() && !f.empty() && !number(f[0], first)) {
            // The first line that does not start with a number is a header when it names the columns.
            headerSeen = true;
            header = f;
            int timeCol = -1, phaseCol = -1, magCol = -1, fluxCol = -1, velCol = -1, errCol = -1;
            for (std::size_t i = 0; i < f.size(); ++i) {
                const int col = static_cast<int>(i);
                switch (roleOf(f[i])) {
                case Role::Time: timeCol = timeCol < 0 ? col : timeCol; break;
                case Role::Phase: phaseCol = phaseCol < 0 ? col : phaseCol; break;
                case Role::Magnitude: magCol = magCol < 0 ? col : magCol; break;
                case Role::Flux:
                    fluxCol = fluxCol < 0 ? col : fluxCol;
                    fluxCols.push_back(col);
                    break;
                case Role::Velocity: velCol = velCol < 0 ? col : velCol; break;
                case Role::Error: errCol = errCol < 0 ? col : errCol; break;
                case Role::None: break;
                }
            }
            xCol = phaseCol >= 0 ? phaseCol : timeCol;
            obs.abscissa = phaseCol >= 0 ? Abscissa::Phase : Abscissa::Time;
            vCol = magCol >= 0 ? magCol : fluxCol;
            obs.quantity = magCol >= 0 ? Quantity::Magnitude : Quantity::Flux;
            if (velocities) {
                vCol = velCol;
                obs.quantity = Quantity::Velocity;
                fluxCols.clear();
            } else if (vCol < 0 && velCol >= 0) {
                obs.problem = "The header \"" + trim(line) + "\" names a radial velocity (" +
                              trim(f[static_cast<std::size_t>(velCol)]) +
                              "): a velocity file is read as velocities of star 1 or star 2, never as magnitudes.";
                return obs;
            }
            if (errCol < 0 && vCol >= 0) {
                // The `_err` form of the value's own name ("pdcsap_flux_err").
                const std::string want = lower(f[static_cast<std::size_t>(vCol)]) + "_err";
                for (std::size_t i = 0; i < f.size(); ++i) {
                    if (lower(f[i]) == want) {
                        errCol = static_cast<int>(i);
                    }
                }
            }
            eCol = errCol;
            if (xCol < 0 || vCol < 0) {
                obs.problem = "The header \"" + trim(line) + "\" names no " +
                              (xCol < 0 ? "time or phase" : velocities ? "velocity" : "magnitude or flux") +
                              (velocities ? " column (for example: time, BJD; rv, vrad; err)."
                                          : " column (for example: time, BJD, phase; mag, flux; err).");
                return obs;
            }
            obs.xColumn = trim(f[static_cast<std::size_t>(xCol)]);
            obs.valueColumn = trim(f[static_cast<std::size_t>(vCol)]);
            obs.errorColumn = eCol >= 0 ? trim(f[static_cast<std::size_t>(eCol)]) : "";
            continue;
        }
        rows.push_back(std::move(f));
        rowLines.push_back(static_cast<int>(k) + 1);
    }
    if (headerSeen && obs.quantity == Quantity::Flux && fluxCols.size() > 1) {
        // Several flux columns (a light-curve file of the program's own, "Phase, Red, Green, Blue,
        // Luminance", keeps only its filter's channels): the first one that holds numbers.
        auto holdsNumbers = [&](int col) {
            double v = 0;
            return std::any_of(rows.begin(), rows.end(), [&](const auto& r) {
                return static_cast<std::size_t>(col) < r.size() && number(r[static_cast<std::size_t>(col)], v);
            });
        };
        if (!holdsNumbers(vCol)) {
            for (const int col : fluxCols) {
                if (holdsNumbers(col)) {
                    vCol = col;
                    break;
                }
            }
        }
        obs.valueColumn = trim(header[static_cast<std::size_t>(vCol)]);
    }
    if (!headerSeen) {
        obs.quantity = velocities ? Quantity::Velocity : Quantity::Magnitude;
        xCol = 0;
        vCol = 1;
        // A third column is the error only when every row has a number there.
        double e = 0;
        const bool third = !rows.empty() && std::all_of(rows.begin(), rows.end(), [&](const auto& r) {
            return r.size() >= 3 && number(r[2], e);
        });
        eCol = third ? 2 : -1;
        obs.xColumn = "column 1";
        obs.valueColumn = "column 2";
        obs.errorColumn = third ? "column 3" : "";
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::vector<std::string>& f = rows[r];
        auto field = [&](int col, double& v) { return col >= 0 && static_cast<std::size_t>(col) < f.size() && number(f[static_cast<std::size_t>(col)], v); };
        double x = 0, v = 0, e = 0;
        if (!field(xCol, x) || !field(vCol, v) || (eCol >= 0 && (!field(eCol, e) || !(e >= 0)))) {
            ++obs.skipped;
            if (obs.firstSkipped == 0) {
                obs.firstSkipped = rowLines[r];
            }
            continue;
        }
        obs.x.push_back(x);
        obs.value.push_back(v);
        if (eCol >= 0) {
            obs.error.push_back(e);
        }
    }
    if (!headerSeen) {
        const bool phases = std::all_of(obs.x.begin(), obs.x.end(), [](double x) { return x >= -1 && x <= 2; });
        obs.abscissa = phases ? Abscissa::Phase : Abscissa::Time;
    }
    if (obs.x.empty()) {
        obs.problem = rows.empty() ? "No observations could be read: every line is a comment, blank or not numbers."
                                   : "No observations could be read: no line has numbers in the " + obs.xColumn +
                                         " and " + obs.valueColumn + " columns" +
                                         (eCol >= 0 ? " and a non-negative " + obs.errorColumn : std::string()) + ".";
    }
    return obs;
}

bool fold(Observations& obs, double period, double epoch) {
    if (!(period > 0) || !std::isfinite(period) || !std::isfinite(epoch)) {
        return false;
    }
    for (double& x : obs.x) {
        const double cycles = (x - epoch) / period;
        double phase = cycles - std::floor(cycles);
        if (phase >= 1) {
            phase = 0; // a rounding of -tiny up to 1
        }
        x = phase;
    }
    obs.abscissa = Abscissa::Phase;
    return true;
}

void toMagnitudes(Observations& obs) {
    if (obs.quantity == Quantity::Magnitude) {
        return;
    }
    const double k = 2.5 / std::numbers::ln10;
    std::size_t to = 0;
    for (std::size_t i = 0; i < obs.x.size(); ++i) {
        const double f = obs.value[i];
        if (!(f > 0)) {
            ++obs.skipped;
            continue;
        }
        obs.x[to] = obs.x[i];
        obs.value[to] = -2.5 * std::log10(f);
        if (obs.hasErrors()) {
            obs.error[to] = k * obs.error[i] / f;
        }
        ++to;
    }
    obs.x.resize(to);
    obs.value.resize(to);
    if (obs.hasErrors()) {
        obs.error.resize(to);
    }
    obs.quantity = Quantity::Magnitude;
    obs.fromFlux = true;
}

std::size_t binInPhase(Observations& obs, std::size_t maxPoints) {
    const std::size_t before = obs.size();
    if (before <= maxPoints || maxPoints == 0 || obs.abscissa != Abscissa::Phase) {
        return before;
    }
    struct Bin {
        double n = 0, x = 0, v = 0, var = 0;
    };
    std::vector<Bin> bins(maxPoints);
    for (std::size_t i = 0; i < before; ++i) {
        const double phase = obs.x[i] - std::floor(obs.x[i]);
        auto b = static_cast<std::size_t>(phase * static_cast<double>(maxPoints));
        b = std::min(b, maxPoints - 1);
        Bin& bin = bins[b];
        bin.n += 1;
        bin.x += obs.x[i];
        bin.v += obs.value[i];
        if (obs.hasErrors()) {
            bin.var += obs.error[i] * obs.error[i];
        }
    }
    // Only real errors are combined: a file without them gets none from its scatter, which in a
    // bin of a few points says nothing about the noise (a noise-free curve's slope would read as
    // scatter and give weights that swing by orders of magnitude).
    const bool errors = obs.hasErrors();
    obs.x.clear();
    obs.value.clear();
    obs.error.clear();
    for (const Bin& b : bins) {
        if (b.n == 0) {
            continue;
        }
        obs.x.push_back(b.x / b.n);
        obs.value.push_back(b.v / b.n);
        if (errors) {
            obs.error.push_back(std::sqrt(b.var) / b.n);
        }
    }
    return before;
}

std::string describe(const Observations& obs, std::size_t before, double period, double epoch) {
    std::ostringstream s;
    s << "Read " << (before > 0 ? before : obs.size()) << " points: "
      << (obs.abscissa == Abscissa::Time && period <= 0 ? "time" : "phase") << " from " << obs.xColumn << ", "
      << (obs.quantity == Quantity::Flux || obs.fromFlux ? "flux" : "magnitude") << " from " << obs.valueColumn
      << (obs.fromFlux ? " (as magnitudes, -2.5 log10 flux)" : "");
    if (!obs.errorColumn.empty()) {
        s << ", errors from " << obs.errorColumn;
    }
    s << ".";
    if (period > 0) {
        s << " Folded with period " << platform::GeneralNumber(period) << " d and epoch " << platform::GeneralNumber(epoch)
          << ".";
    }
    if (before > obs.size()) {
        s << " Binned in phase into " << obs.size() << " points ("
          << (obs.hasErrors() ? "mean value, error of the mean" : "mean value; no errors, as in the file") << ").";
    }
    if (obs.flagged > 0) {
        s << " Left out " << obs.flagged << " row" << (obs.flagged == 1 ? "" : "s") << " flagged by QUALITY.";
    }
    if (obs.skipped > 0) {
        s << " Skipped " << obs.skipped << " line" << (obs.skipped == 1 ? "" : "s")
          << " that could not be read (the first is line " << obs.firstSkipped << ").";
    }
    return s.str();
}

} // namespace corvane::fitting
