// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Observations.h"

#include <fitsio.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

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

// Walks the headers of every HDU as the FITS standard lays them out (2880-byte blocks of 80-byte
// cards up to END, then the data, padded to whole blocks) and checks what cfitsio trusts without
// checking: every header byte printable ASCII (bytes above 126 in a value once overran a buffer
// inside it), the sizes whole numbers, each HDU's data inside the file. Empty when sound.
std::string headerProblem(std::istream& in, std::uintmax_t bytes) {
    constexpr std::uintmax_t Block = 2880, Card = 80;
    std::uintmax_t offset = 0;
    for (int hdu = 1; offset + Block <= bytes && hdu <= 1000; ++hdu) {
        long long bitpix = 0, naxis = 0, pcount = 0, gcount = 1;
        std::vector<long long> axes;
        bool end = false;
        std::uintmax_t header = 0;
        std::string block(Block, ' ');
        while (!end) {
            if (offset + header + Block > bytes || header > 10000 * Block) {
                return "header " + std::to_string(hdu) + " has no END";
            }
            in.seekg(static_cast<std::streamoff>(offset + header));
            in.read(block.data(), static_cast<std::streamsize>(Block));
            if (static_cast<std::uintmax_t>(in.gcount()) != Block) {
                return "header " + std::to_string(hdu) + " cannot be read";
            }
            header += Block;
            for (std::uintmax_t c = 0; c < Block && !end; c += Card) {
                const std::string card = block.substr(c, Card);
                if (std::any_of(card.begin(), card.end(), [](char ch) { return ch < 32 || ch > 126; })) {
                    return "header " + std::to_string(hdu) + " holds bytes that are not text";
                }
                const std::string key = card.substr(0, 8);
                if (key == "END     ") {
                    end = true;
                    break;
                }
                if (card.compare(8, 2, "= ") != 0) {
                    continue;
                }
                auto integer = [&](long long& v) {
                    const std::string text = card.substr(10, card.find('/', 10) - 10);
                    std::size_t used = 0;
                    try {
                        v = std::stoll(text, &used);
                    } catch (const std::exception&) {
                        return false;
                    }
                    return text.find_first_not_of(' ', used) == std::string::npos;
                };
                bool ok = true;
                long long v = 0;
                if (key == "BITPIX  ") {
                    ok = integer(bitpix);
                } else if (key == "NAXIS   ") {
                    ok = integer(naxis) && naxis >= 0 && naxis <= 999;
                } else if (key.rfind("NAXIS", 0) == 0 && key[5] >= '1' && key[5] <= '9') {
                    ok = integer(v) && v >= 0;
                    axes.push_back(v);
                } else if (key == "PCOUNT  ") {
                    ok = integer(pcount) && pcount >= 0;
                } else if (key == "GCOUNT  ") {
                    ok = integer(gcount) && gcount >= 0;
                }
                if (!ok) {
                    return "header " + std::to_string(hdu) + " has a bad " + key.substr(0, key.find(' '));
                }
            }
        }
        if (bitpix != 8 && bitpix != 16 && bitpix != 32 && bitpix != 64 && bitpix != -32 && bitpix != -64) {
            return "header " + std::to_string(hdu) + " has no valid BITPIX";
        }
        // |BITPIX| / 8 * GCOUNT * (PCOUNT + NAXIS1 * ... * NAXISn), in long double so that nothing wraps.
        long double data = 0;
        if (naxis > 0) {
            long double product = 1;
            for (std::size_t k = 0; k < axes.size() && k < static_cast<std::size_t>(naxis); ++k) {
                product *= static_cast<long double>(axes[k]);
            }
            data = static_cast<long double>(std::llabs(bitpix) / 8) * static_cast<long double>(gcount) *
                   (static_cast<long double>(pcount) + product);
        }
        const std::uintmax_t room = bytes - offset - header;
        if (data > static_cast<long double>(room)) {
            if (naxis == 2 && axes.size() >= 2) {
                return "table " + std::to_string(hdu) + " declares " + std::to_string(axes[1]) + " rows of " +
                       std::to_string(axes[0]) + " bytes, more than the file's " + std::to_string(bytes) +
                       " bytes hold: it is damaged or cut short";
            }
            return "HDU " + std::to_string(hdu) + " declares more data than the file's " + std::to_string(bytes) +
                   " bytes hold: it is damaged or cut short";
        }
        const auto whole = static_cast<std::uintmax_t>(data);
        offset += header + (whole + Block - 1) / Block * Block;
    }
    return {};
}

} // namespace

Observations readFitsObservations(const std::string& path) {
    Observations obs;
    obs.abscissa = Abscissa::Time;
    obs.quantity = Quantity::Flux;
    std::error_code sizeError;
    const auto bytes = std::filesystem::file_size(path, sizeError);
    if (sizeError) {
        obs.problem = "The FITS file " + path + " cannot be read (" + sizeError.message() + ").";
        return obs;
    }
    {
        std::ifstream in(path, std::ios::binary);
        if (const std::string problem = headerProblem(in, bytes); !problem.empty()) {
            obs.problem = "The FITS file " + path + " cannot be read: its " + problem + ".";
            return obs;
        }
    }
    FitsFile file;
    int status = 0;
    // The name is a name: fits_open_file would read "a.fits[1][#row < 10]" as a filtered view of
    // a.fits and "g.fits(made.fits)" as a template that creates made.fits.
    if (fits_open_diskfile(&file.f, path.c_str(), READONLY, &status) != 0) {
        obs.problem = "The FITS file " + path + " cannot be opened (" + fitsMessage(status) + ").";
        return obs;
    }
    // The mission, from the primary header: its light curves are in its one band.
    {
        char telescope[FLEN_VALUE] = {};
        int keyStatus = 0;
        if (fits_read_key(file.f, TSTRING, "TELESCOP", telescope, nullptr, &keyStatus) == 0) {
            const std::string t = telescope;
            obs.band = t == "TESS" ? "TESS" : t == "Kepler" || t == "K2" ? "Kepler" : "";
        }
    }
    // The first table in the file (the light curve of a mission's files).
    int hdus = 0;
    fits_get_num_hdus(file.f, &hdus, &status);
    bool table = false;
    for (int hdu = 1; status == 0 && hdu <= hdus && !table; ++hdu) {
        int type = 0;
        fits_movabs_hdu(file.f, hdu, &type, &status);
        table = status == 0 && (type == BINARY_TBL || type == ASCII_TBL);
    }
    if (!table) {
        obs.problem = "The FITS file " + path + " has no table that can be read" +
                      (status != 0 ? " (" + fitsMessage(status) + ")." : ".");
        return obs;
    }
    // Each point's integration: the cadence (the frames of a time stamp span it, dead time aside).
    {
        double days = 0;
        int keyStatus = 0;
        if (fits_read_key(file.f, TDOUBLE, "TIMEDEL", &days, nullptr, &keyStatus) == 0 && days > 0 && std::isfinite(days)) {
            obs.exposureDays = days;
        } else {
            double frame = 0;
            long frames = 0;
            keyStatus = 0;
            if (fits_read_key(file.f, TDOUBLE, "FRAMETIM", &frame, nullptr, &keyStatus) == 0 &&
                fits_read_key(file.f, TLONG, "NUM_FRM", &frames, nullptr, &keyStatus) == 0 && frame > 0 &&
                std::isfinite(frame) && frames > 0) {
                obs.exposureDays = frame * static_cast<double>(frames) / 86400;
            }
        }
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
    LONGLONG rows = 0, rowBytes = 0;
    fits_get_num_rowsll(file.f, &rows, &status);
    fits_read_key(file.f, TLONGLONG, "NAXIS1", &rowBytes, nullptr, &status);
    if (status != 0 || rows <= 0) {
        obs.problem = "The FITS table has no rows.";
        return obs;
    }
    // The header's size against the file's, before anything is allocated: a damaged or hostile
    // header can declare 2^62 rows in a file of a few kilobytes.
    LONGLONG headStart = 0, dataStart = 0, dataEnd = 0;
    fits_get_hduaddrll(file.f, &headStart, &dataStart, &dataEnd, &status);
    const auto room = bytes > static_cast<std::uintmax_t>(std::max<LONGLONG>(dataStart, 0))
                          ? bytes - static_cast<std::uintmax_t>(dataStart)
                          : std::uintmax_t{0};
    if (status != 0 || rowBytes <= 0 || static_cast<std::uintmax_t>(rows) > room / static_cast<std::uintmax_t>(rowBytes)) {
        obs.problem = "The FITS table declares " + std::to_string(rows) + " rows of " + std::to_string(rowBytes) +
                      " bytes, more than the file's " + std::to_string(bytes) + " bytes hold: it is damaged or cut short.";
        return obs;
    }
    if (rows > MaxFitsRows) {
        obs.problem = "The FITS table has " + std::to_string(rows) + " rows; at most " + std::to_string(MaxFitsRows) +
                      " can be read.";
        return obs;
    }
    obs.xColumn = "TIME";
    obs.valueColumn = fluxName;
    obs.errorColumn = errCol != 0 ? errName : "";
    // In chunks, so that only the usable rows are held.
    constexpr LONGLONG Chunk = 65536;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> t, flux, err;
    std::vector<long> quality;
    for (LONGLONG first = 1; first <= rows; first += Chunk) {
        const LONGLONG n = std::min(Chunk, rows - first + 1);
        const auto size = static_cast<std::size_t>(n);
        t.assign(size, nan);
        flux.assign(size, nan);
        err.assign(size, 0.0);
        quality.assign(size, 0);
        int anyNull = 0;
        fits_read_col(file.f, TDOUBLE, timeCol, first, 1, n, const_cast<double*>(&nan), t.data(), &anyNull, &status);
        fits_read_col(file.f, TDOUBLE, fluxCol, first, 1, n, const_cast<double*>(&nan), flux.data(), &anyNull, &status);
        if (errCol != 0) {
            fits_read_col(file.f, TDOUBLE, errCol, first, 1, n, const_cast<double*>(&nan), err.data(), &anyNull, &status);
        }
        if (qualityCol != 0) {
            long zero = 0;
            fits_read_col(file.f, TLONG, qualityCol, first, 1, n, &zero, quality.data(), &anyNull, &status);
        }
        if (status != 0) {
            obs = Observations{};
            obs.problem = "The FITS table could not be read (" + fitsMessage(status) + ").";
            return obs;
        }
        for (std::size_t i = 0; i < size; ++i) {
            if (quality[i] != 0) {
                ++obs.flagged;
                continue;
            }
            if (!std::isfinite(t[i]) || !std::isfinite(flux[i]) || (errCol != 0 && !(err[i] >= 0))) {
                ++obs.skipped;
                if (obs.firstSkipped == 0) {
                    obs.firstSkipped = static_cast<int>(first + static_cast<LONGLONG>(i));
                }
                continue;
            }
            obs.x.push_back(t[i]);
            obs.value.push_back(flux[i]);
            if (errCol != 0) {
                obs.error.push_back(err[i]);
            }
        }
    }
    if (obs.x.empty()) {
        obs.problem = "The FITS table holds no usable rows (every row is flagged or not a number).";
    }
    return obs;
}

namespace {

Observations readText(const std::string& path, bool velocities);

} // namespace

Observations readVelocities(const std::string& path) { return readText(path, true); }

Observations readObservations(const std::string& path) { return readText(path, false); }

namespace {

Observations readText(const std::string& path, bool velocities) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Observations obs;
        obs.problem = "The file " + path + " cannot be opened.";
        return obs;
    }
    char head[9] = {};
    in.read(head, 9);
    if (in.gcount() == 9 && std::string(head, 9) == "SIMPLE  =") {
        if (velocities) {
            Observations obs;
            obs.problem = "The file " + path + " is a FITS file: velocities are read from text.";
            return obs;
        }
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
    return parseObservations(text, velocities);
}

} // namespace

} // namespace corvane::fitting
