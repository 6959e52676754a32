// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Observations.h"

#include <fitsio.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>

namespace corvane::fitting {

namespace {

// The FITS file closed on every way out.
struct FitsFile {
    fitsfile* f = nullptr;
    ~FitsFile() {
        if (f != nullptr) {
            int status = 0;
            fits_close_file(f, &status);
        }
    }
};

std::string fitsMessage(int status) {
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    return text;
}

int column(fitsfile* f, const char* name) {
    int status = 0, col = 0;
    fits_get_colnum(f, CASEINSEN, const_cast<char*>(name), &col, &status);
    return status == 0 ? col : 0;
}

} // namespace

Observations readFitsObservations(const std::string& path) {
    Observations obs;
    obs.abscissa = Abscissa::Time;
    obs.quantity = Quantity::Flux;
    FitsFile file;
    int status = 0;
    // The first table in the file (the light curve of a mission's files).
    if (fits_open_table(&file.f, path.c_str(), READONLY, &status) != 0) {
        obs.problem = "The FITS file " + path + " has no table that can be read (" + fitsMessage(status) + ").";
        return obs;
    }
    const int timeCol = column(file.f, "TIME");
    int fluxCol = 0;
    const char* fluxName = nullptr;
    for (const char* name : {"PDCSAP_FLUX", "SAP_FLUX", "FLUX"}) {
        if ((fluxCol = column(file.f, name)) != 0) {
            fluxName = name;
            break;
        }
    }
    if (timeCol == 0 || fluxCol == 0) {
        obs.problem = std::string("The FITS table has no ") + (timeCol == 0 ? "TIME" : "PDCSAP_FLUX, SAP_FLUX or FLUX") +
                      " column.";
        return obs;
    }
    const std::string errName = std::string(fluxName) + "_ERR";
    const int errCol = column(file.f, errName.c_str());
    const int qualityCol = column(file.f, "QUALITY");
    long rows = 0;
    fits_get_num_rows(file.f, &rows, &status);
    if (status != 0 || rows <= 0) {
        obs.problem = "The FITS table has no rows.";
        return obs;
    }
    const auto n = static_cast<std::size_t>(rows);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> t(n), flux(n), err(n, 0.0);
    std::vector<long> quality(n, 0);
    int anyNull = 0;
    fits_read_col(file.f, TDOUBLE, timeCol, 1, 1, rows, const_cast<double*>(&nan), t.data(), &anyNull, &status);
    fits_read_col(file.f, TDOUBLE, fluxCol, 1, 1, rows, const_cast<double*>(&nan), flux.data(), &anyNull, &status);
    if (errCol != 0) {
        fits_read_col(file.f, TDOUBLE, errCol, 1, 1, rows, const_cast<double*>(&nan), err.data(), &anyNull, &status);
    }
    if (qualityCol != 0) {
        long zero = 0;
        fits_read_col(file.f, TLONG, qualityCol, 1, 1, rows, &zero, quality.data(), &anyNull, &status);
    }
    if (status != 0) {
        obs.problem = "The FITS table could not be read (" + fitsMessage(status) + ").";
        return obs;
    }
    obs.xColumn = "TIME";
    obs.valueColumn = fluxName;
    obs.errorColumn = errCol != 0 ? errName : "";
    for (std::size_t i = 0; i < n; ++i) {
        if (quality[i] != 0) {
            ++obs.flagged;
            continue;
        }
        if (!std::isfinite(t[i]) || !std::isfinite(flux[i]) || (errCol != 0 && !(err[i] >= 0))) {
            ++obs.skipped;
            if (obs.firstSkipped == 0) {
                obs.firstSkipped = static_cast<int>(i) + 1;
            }
            continue;
        }
        obs.x.push_back(t[i]);
        obs.value.push_back(flux[i]);
        if (errCol != 0) {
            obs.error.push_back(err[i]);
        }
    }
    if (obs.x.empty()) {
        obs.problem = "The FITS table holds no usable rows (every row is flagged or not a number).";
    }
    return obs;
}

Observations readObservations(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Observations obs;
        obs.problem = "The file " + path + " cannot be opened.";
        return obs;
    }
    char head[9] = {};
    in.read(head, 9);
    if (in.gcount() == 9 && std::string(head, 9) == "SIMPLE  =") {
        return readFitsObservations(path);
    }
    in.clear();
    in.seekg(0);
    constexpr std::size_t limit = 64u << 20;
    std::string text;
    text.resize(limit + 1);
    in.read(text.data(), static_cast<std::streamsize>(limit + 1));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > limit) {
        Observations obs;
        obs.problem = "The file " + path + " is larger than 64 MB.";
        return obs;
    }
    if (text.find('\0') != std::string::npos) {
        Observations obs;
        obs.problem = "The file " + path + " is neither text nor FITS.";
        return obs;
    }
    return parseObservations(text);
}

} // namespace corvane::fitting
