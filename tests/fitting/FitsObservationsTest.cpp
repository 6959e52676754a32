// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "fitting/Observations.h"

#include <fitsio.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <unistd.h>

namespace corvane::fitting {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct FitsFixture : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("corvane-fits-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    FitsFixture() { fs::create_directories(dir); }
    ~FitsFixture() override { fs::remove_all(dir); }

    // A light-curve table as a mission writes one: TIME, the flux column named, its _ERR, QUALITY.
    fs::path write(const char* fluxName, int rows, bool withQuality = true) {
        const fs::path file = dir / (std::string(fluxName) + ".fits");
        fitsfile* f = nullptr;
        int status = 0;
        const std::string name = "!" + file.string();
        fits_create_file(&f, name.c_str(), &status);
        const std::string err = std::string(fluxName) + "_ERR";
        char* types[] = {const_cast<char*>("TIME"), const_cast<char*>(fluxName), const_cast<char*>(err.c_str()),
                         const_cast<char*>("QUALITY")};
        char* forms[] = {const_cast<char*>("1D"), const_cast<char*>("1E"), const_cast<char*>("1E"),
                         const_cast<char*>("1J")};
        fits_create_tbl(f, BINARY_TBL, 0, withQuality ? 4 : 3, types, forms, nullptr, "LIGHTCURVE", &status);
        const double nan = std::numeric_limits<double>::quiet_NaN();
        for (int i = 0; i < rows; ++i) {
            double t = 1900 + 0.01 * i;
            double flux = 1000 + i;
            double e = 2;
            int q = 0;
            if (i % 10 == 3) {
                flux = nan; // a gap the pipeline left
            }
            if (i % 10 == 7) {
                q = 128; // flagged (a cosmic ray, a momentum dump)
            }
            if (i == 5) {
                t = nan;
            }
            fits_write_col(f, TDOUBLE, 1, i + 1, 1, 1, &t, &status);
            fits_write_col(f, TDOUBLE, 2, i + 1, 1, 1, &flux, &status);
            fits_write_col(f, TDOUBLE, 3, i + 1, 1, 1, &e, &status);
            if (withQuality) {
                fits_write_col(f, TINT, 4, i + 1, 1, 1, &q, &status);
            }
        }
        fits_close_file(f, &status);
        EXPECT_EQ(status, 0);
        return file;
    }
};

TEST_F(FitsFixture, RowsWithANanOrAQualityFlagAreLeftOut) {
    const fs::path file = write("PDCSAP_FLUX", 100);
    const Observations o = readObservations(file.string()); // found to be FITS by its first bytes
    ASSERT_TRUE(o.ok()) << o.problem;
    EXPECT_EQ(o.flagged, 10);
    EXPECT_EQ(o.skipped, 11) << "ten NaN fluxes and one NaN time";
    ASSERT_EQ(o.size(), 79u);
    EXPECT_EQ(o.abscissa, Abscissa::Time);
    EXPECT_EQ(o.quantity, Quantity::Flux);
    EXPECT_EQ(o.valueColumn, "PDCSAP_FLUX");
    EXPECT_EQ(o.errorColumn, "PDCSAP_FLUX_ERR");
    ASSERT_TRUE(o.hasErrors());
    EXPECT_DOUBLE_EQ(o.error[0], 2.0);
    EXPECT_TRUE(std::all_of(o.value.begin(), o.value.end(), [](double v) { return std::isfinite(v); }));
    EXPECT_THAT(describe(o), HasSubstr("Left out 10 rows flagged by QUALITY"));
}

TEST_F(FitsFixture, TheOtherFluxColumnsAndMissingOnes) {
    const Observations sap = readFitsObservations(write("SAP_FLUX", 20, false).string());
    ASSERT_TRUE(sap.ok()) << sap.problem;
    EXPECT_EQ(sap.valueColumn, "SAP_FLUX");
    EXPECT_EQ(sap.flagged, 0) << "no QUALITY column: nothing flagged";
    EXPECT_EQ(sap.band, "") << "no TELESCOP: no band";
    EXPECT_EQ(sap.exposureDays, 0) << "no TIMEDEL: no exposure";
    const Observations none = readFitsObservations(write("COUNTS", 5).string());
    EXPECT_FALSE(none.ok());
    EXPECT_THAT(none.problem, HasSubstr("PDCSAP_FLUX, SAP_FLUX or FLUX"));
    std::FILE* junk = std::fopen((dir / "junk.fits").c_str(), "w");
    std::fputs("SIMPLE  = not really", junk);
    std::fclose(junk);
    EXPECT_FALSE(readObservations((dir / "junk.fits").string()).ok());
    EXPECT_FALSE(readObservations((dir / "missing.fits").string()).ok());
}

// A name is a name: cfitsio's extended syntax once read "g.fits(made.fits)" as g.fits (creating
// made.fits beside it) and "h.fits[1][#row < 10]" as five rows of h.fits.
TEST_F(FitsFixture, HostileNamesAreOpenedLiterallyAndNothingIsCreated) {
    const fs::path decoy = write("PDCSAP_FLUX", 10); // another file, the one the syntax would name
    const fs::path real = write("SAP_FLUX", 40);
    const auto previous = fs::current_path();
    fs::current_path(dir);
    fs::rename(decoy, "g.fits");
    fs::copy_file("g.fits", "h.fits");
    for (const std::string name : {"g.fits(made.fits)", "h.fits[1][#row < 10]", "!bang.fits", "-dash.fits",
                                   "mem://x.fits", "http://y.fits", "file://z.fits", "stdin", "a b;c.fits"}) {
        const fs::path where = fs::path(name).parent_path();
        if (!where.empty()) {
            fs::create_directories(where);
        }
        fs::copy_file(real, name);
        const Observations o = readObservations(name);
        EXPECT_TRUE(o.ok()) << name << ": " << o.problem;
        EXPECT_EQ(o.valueColumn, "SAP_FLUX") << name << ": the file named, not another";
        EXPECT_EQ(o.size() + static_cast<std::size_t>(o.flagged + o.skipped), 40u) << name;
    }
    EXPECT_FALSE(fs::exists("made.fits")) << "reading never writes";
    fs::current_path(previous);
}

// The header's row count against the file's size: 2^40 and 2^62 rows once aborted every command
// (bad_alloc, a vector longer than max_size), 10^9 ran past a minute.
class DeclaredRows : public FitsFixture, public ::testing::WithParamInterface<long long> {};

TEST_P(DeclaredRows, MoreRowsThanTheFileHoldsAreRefusedBeforeAnythingIsRead) {
    const long long rows = GetParam();
    const fs::path file = write("PDCSAP_FLUX", 100);
    std::string bytes;
    {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // The table's NAXIS2 card (the second header's), its value right-justified in columns 11-30.
    const auto card = bytes.find("NAXIS2  =", 2880);
    ASSERT_NE(card, std::string::npos);
    char value[21];
    std::snprintf(value, sizeof value, "%20lld", rows);
    bytes.replace(card + 10, 20, value);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    const Observations o = readObservations(file.string());
    EXPECT_FALSE(o.ok()) << rows;
    EXPECT_THAT(o.problem, HasSubstr("declares " + std::to_string(rows) + " rows of")) << o.problem;
    EXPECT_EQ(o.size(), 0u);
}

TEST_F(FitsFixture, AHeaderThatIsNotTextIsRefusedBeforeTheLibrarySeesIt) {
    // Bytes above 126 in a column's name overran a buffer inside cfitsio and aborted the process
    // (found by the fuzzer; the seed is fuzz/corpus/fits/nontext-value.fits).
    const fs::path file = write("PDCSAP_FLUX", 20);
    std::string bytes;
    {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const auto card = bytes.find("TTYPE2  = ");
    ASSERT_NE(card, std::string::npos);
    bytes.replace(card + 10, 190, std::string(190, '\xff'));
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    const Observations o = readObservations(file.string());
    EXPECT_FALSE(o.ok());
    EXPECT_THAT(o.problem, HasSubstr("holds bytes that are not text")) << o.problem;
}

INSTANTIATE_TEST_SUITE_P(Hostile, DeclaredRows,
                         ::testing::Values(200LL, 1000000000LL, 1LL << 40, 1LL << 62, 9223372036854775807LL));

// The mission's own file: what was read, and the eclipses where the ephemeris puts them.
TEST(RealFits, TheTessLightCurveOfCmDraconisFoldsOntoItsEphemeris) {
    Observations o = readObservations(CORVANE_TEST_DATA "/tess2020106103520-s0024-0000000199574208-0180-s_lc.fits");
    ASSERT_TRUE(o.ok()) << o.problem;
    EXPECT_EQ(o.size(), 16087u);
    EXPECT_EQ(o.valueColumn, "PDCSAP_FLUX");
    EXPECT_EQ(o.band, "TESS") << "the primary header's TELESCOP";
    EXPECT_DOUBLE_EQ(o.exposureDays * 86400, 120) << "the table's TIMEDEL: two-minute cadence";
    EXPECT_NEAR(*std::min_element(o.x.begin(), o.x.end()), 1955.79, 0.01);
    EXPECT_NEAR(*std::max_element(o.x.begin(), o.x.end()), 1982.28, 0.01);
    std::vector<double> sorted = o.value;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    ASSERT_TRUE(fold(o, 1.26838924, 1739.92927));
    toMagnitudes(o);
    // The faintest points lie at the primary minimum, about 0.73 mag (0.51 of the median) down.
    std::size_t faintest = 0;
    for (std::size_t i = 0; i < o.size(); ++i) {
        if (o.value[i] > o.value[faintest]) {
            faintest = i;
        }
    }
    EXPECT_NEAR(std::remainder(o.x[faintest], 1.0), 0.0, 0.01);
    EXPECT_NEAR(std::pow(10, -0.4 * o.value[faintest]) / median, 0.51, 0.03);
    const std::size_t before = binInPhase(o, 5000);
    EXPECT_EQ(before, 16087u);
    EXPECT_LE(o.size(), 5000u);
}

} // namespace
} // namespace corvane::fitting
