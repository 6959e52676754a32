// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// What the batch tool prints and writes, read back: tables that agree with themselves, the tool's own
// light curves as observations, the fitted parameter set whole, one line for one fact.
#include "cli/BatchTool.h"
#include "cli/Posterior.h"
#include "fitting/StarParameters.h"
#include "roche/LobeRadius.h"

#include <fitsio.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <set>
#include <sstream>
#include <unistd.h>

namespace corvane::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

struct ToolRun {
    int status;
    std::string out, err;
};

ToolRun run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = runBatchTool(args, out, err);
    return ToolRun{status, out.str(), err.str()};
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) {
        ++n;
    }
    return n;
}

struct ReadBack : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("corvane-read-back-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    ReadBack() { fs::create_directories(dir); }
    ~ReadBack() override { fs::remove_all(dir); }
    std::string file(const std::string& name) const { return (dir / name).string(); }
};

// The header's inner Lagrangian point and the row towards the companion are one point: for q < 1 the
// search once stopped after one pass (q = 0.1 printed 0.72062 over a row of 0.7175, q = 0.0625 was
// 0.006 out).
class EquatorAgrees : public ::testing::TestWithParam<double> {};

TEST_P(EquatorAgrees, TheLagrangianPointOfTheHeadIsTheRowTowardsTheCompanion) {
    const double q = GetParam();
    const ToolRun r = run({"--set", "Qratio=" + std::to_string(q), "equator"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto l = lines(r.out);
    ASSERT_GT(l.size(), 4u) << r.out;
    const double head = std::strtod(l[1].c_str(), nullptr);
    EXPECT_NEAR(head, roche::InnerLagrangianPoint(q), 1e-6) << "q = " << q;
    double towards = -1;
    for (std::size_t k = 3; k < l.size(); ++k) {
        if (l[k].find(",90.,") != std::string::npos) {
            towards = std::strtod(l[k].c_str() + l[k].rfind(',') + 1, nullptr);
        }
    }
    ASSERT_GT(towards, 0) << "no row at 90 degrees: " << r.out;
    EXPECT_NEAR(towards, head, 0.6e-4) << "q = " << q << ": the row is printed to four places\n" << r.out;
}

INSTANTIATE_TEST_SUITE_P(MassRatios, EquatorAgrees, ::testing::Values(0.0625, 0.1, 0.5, 0.9, 1.0, 2.4, 21.0));

// The tool's own light curve in every filter comes back as observations of the filter's channel,
// and the model compares with it as with itself.
class OwnCurve : public ReadBack, public ::testing::WithParamInterface<const char*> {};

TEST_P(OwnCurve, LoadsBackAsObservationsOfItsChannel) {
    const std::string filter = GetParam();
    const std::string curve = file("own.csv");
    const std::vector<std::string> system = {"--set", "cmbPhotometry=Precise", "--set", "cmbFilter=" + filter,
                                             "--set", "chkMag=0"};
    std::vector<std::string> write = system;
    write.insert(write.end(), {"lightcurve", "--step", "2", "--out", curve});
    const ToolRun w = run(write);
    ASSERT_EQ(w.status, 0) << w.err;
    // Relative light is read as a flux and turned into magnitudes: compared on the magnitude scale.
    std::vector<std::string> compare = system;
    compare.insert(compare.end(), {"--set", "chkMag=1", "compare", "--observed", curve});
    const ToolRun c = run(compare);
    ASSERT_EQ(c.status, 0) << filter << ": " << c.err;
    EXPECT_THAT(c.err, HasSubstr("Read 360 points")) << filter;
    EXPECT_EQ(count(c.err, "Read 360 points"), 1u) << "one line for one read: " << c.err;
    const auto at = c.out.find("Relative Error: ");
    ASSERT_NE(at, std::string::npos) << c.out;
    EXPECT_LT(std::strtod(c.out.c_str() + at + 16, nullptr), 0.01) << filter << ": the model against itself\n" << c.out;
}

INSTANTIATE_TEST_SUITE_P(Filters, OwnCurve, ::testing::Values("L", "R", "G", "B"));

TEST_F(ReadBack, ACurveHasEachPhaseOnceAndSaysWhenItHoldsFewerPointsThanTheStepAsks) {
    const ToolRun a = run({"--set", "cmbPhotometry=Precise", "lightcurve", "--step", "1", "--out", file("one.csv")});
    ASSERT_EQ(a.status, 0) << a.err;
    std::ifstream in(file("one.csv"));
    std::string line;
    std::getline(in, line);
    std::set<long long> phases;
    int rows = 0;
    while (std::getline(in, line)) {
        const double phase = std::strtod(line.c_str(), nullptr);
        if (phase < 0.75 - 1e-9) { // the first of the two copies
            ++rows;
            phases.insert(std::llround(phase * 1e6));
        }
    }
    EXPECT_EQ(rows, 360) << "one row a degree, the closing frame (phase 0 again) left out";
    EXPECT_EQ(phases.size(), 360u);
    EXPECT_THAT(a.err, Not(HasSubstr("points a revolution were written")));

    const ToolRun b = run({"--set", "cmbPhotometry=Precise", "--size", "400x250", "lightcurve", "--step", "0.5", "--out",
                       file("fine.csv")});
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_THAT(b.err, HasSubstr("400 points a revolution were written, not 720"));
}

TEST_F(ReadBack, TheFittedParameterSetKeepsThePhaseShiftAndLoadsAsAStar) {
    // A curve of the tool's own, observed 0.02 of a cycle late: the fit finds the shift, and the
    // parameter file says it.
    const std::string curve = file("late.csv");
    const ToolRun w = run({"--set", "cmbPhotometry=Precise", "--set", "cmbFilter=L", "--size", "400x250",
                           "lightcurve", "--step", "4", "--out", curve});
    ASSERT_EQ(w.status, 0) << w.err;
    std::ifstream in(curve);
    std::ostringstream late;
    late << "phase,flux\n";
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        const double phase = std::strtod(line.c_str(), nullptr) - 0.02;
        late << phase << "," << line.substr(line.rfind(',') + 1) << '\n';
    }
    std::ofstream(file("late-obs.csv")) << late.str();
    const ToolRun f = run({"--set", "cmbPhotometry=Precise", "--set", "cmbFilter=L", "--size", "400x250", "fit", "--observed",
                       file("late-obs.csv"), "--free", "Phase Shift", "--out", file("fitted.txt")});
    ASSERT_EQ(f.status, 0) << f.err;
    std::ifstream saved(file("fitted.txt"));
    const std::string text((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    const auto at = text.find("# Phase Shift = ");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_NEAR(std::strtod(text.c_str() + at + 16, nullptr), 0.02, 0.002) << text << f.err;
    EXPECT_THAT(f.err, Not(HasSubstr("+/- 0\n"))) << f.err;
    // The file is still a star-parameter file, which Load Star reads.
    std::string why;
    EXPECT_TRUE(fitting::parseStarParameters(text, why)) << why << "\n" << text;
}

TEST_F(ReadBack, ACurveInABandIsPhaseAndFluxAndComparesBackAsItself) {
    const std::vector<std::string> system = {"--set", "cmbPhotometry=Precise", "--set", "cmbPassband=TESS",
                                             "--set", "cmbLimbLaw=Quadratic", "--set", "txtLimb1b=0.2",
                                             "--set", "txtLimb2b=0.2", "--set", "txtThirdLight=0.05"};
    std::vector<std::string> write = system;
    write.insert(write.end(), {"lightcurve", "--step", "2", "--out", file("tess.csv")});
    const ToolRun w = run(write);
    ASSERT_EQ(w.status, 0) << w.err;
    std::ifstream in(file("tess.csv"));
    std::string header, first;
    std::getline(in, header);
    std::getline(in, first);
    EXPECT_EQ(header, "phase,flux");
    EXPECT_EQ(first.substr(0, 6), "-0.25,");
    std::vector<std::string> compare = system;
    compare.insert(compare.end(), {"--set", "chkMag=1", "compare", "--observed", file("tess.csv")});
    const ToolRun c = run(compare);
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_THAT(c.err, HasSubstr("Read 180 points"));
    EXPECT_LT(std::strtod(c.out.c_str() + c.out.find("Relative Error: ") + 16, nullptr), 1e-6) << c.out;
    // The same curve in another band is another curve.
    std::vector<std::string> other = system;
    other[3] = "cmbPassband=Johnson U";
    other.insert(other.end(), {"--set", "chkMag=1", "--set", "txtTemp2=4000", "compare", "--observed", file("tess.csv")});
    const ToolRun o = run(other);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_GT(std::strtod(o.out.c_str() + o.out.find("Relative Error: ") + 16, nullptr), 1e-3) << o.out;
}

TEST_F(ReadBack, CoefficientsALawCannotUseAreRefusedAndThePixelsSayWhatTheyLeaveOut) {
    const ToolRun bad = run({"--set", "cmbPhotometry=Precise", "--set", "cmbLimbLaw=Quadratic", "--set", "txtLimb1=0.9",
                             "--set", "txtLimb1b=0.5", "lists"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_THAT(bad.err, HasSubstr("Star 1: with these coefficients (0.9, 0.5) the Quadratic law's intensity is negative"));
    const ToolRun edge = run({"--set", "cmbPhotometry=Precise", "--set", "cmbLimbLaw=Quadratic", "--set", "txtLimb1=0.5",
                              "--set", "txtLimb1b=0.5", "lists"});
    EXPECT_EQ(edge.status, 0) << "zero at the limb is allowed: " << edge.err;
    const ToolRun pixels = run({"--set", "cmbPassband=TESS", "lists"});
    EXPECT_EQ(pixels.status, 0);
    EXPECT_THAT(pixels.err, HasSubstr("note: The Pixels photometry measures the picture shaded with these settings"));
    const ToolRun plain = run({"lists"});
    EXPECT_THAT(plain.err, Not(HasSubstr("note:"))) << "the defaults need no note";
}

TEST_F(ReadBack, TheListingGivesTheLightAndSurfaceBrightnessRatiosPapersQuote) {
    // Spheres of radii 0.3 and 0.24 with one law: L2/L1 = (r2 / r1)^2 J exactly, and in TESS
    // J = S(6561) / S(6839) = 0.881653 (the passband collection's own figure).
    const ToolRun r = run({"--set", "chkSpherical=0", "--set", "txtRadius1=0.3", "--set", "txtRadius2=0.24", "--set",
                           "txtTemp1=6839", "--set", "txtTemp2=6561", "--set", "cmbPhotometry=Precise", "--set",
                           "cmbPassband=TESS", "lists"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto number = [&](const std::string& label) {
        const auto at = r.out.find(label);
        EXPECT_NE(at, std::string::npos) << label << "\n" << r.out;
        return at == std::string::npos ? 0.0 : std::strtod(r.out.c_str() + at + label.size(), nullptr);
    };
    const double J = number("Central Surface-Brightness Ratio J = ");
    EXPECT_NEAR(J, 0.881653, 1e-5);
    EXPECT_NEAR(number("Light Ratio L2/L1 = "), 0.64 * J, 2e-5);
    EXPECT_NEAR(number("Mean Surface-Brightness Ratio = "), J, 2e-5) << "one law: the mean is the centre's";
    EXPECT_THAT(r.out, HasSubstr("(TESS, at phase 0.25)"));
    EXPECT_THAT(r.out, HasSubstr("Mean Effective Temperatures T1 = 6839 K, T2 = 6561 K"));
    // Gravity darkening of a close Roche pair: the mean lies below the polar temperature, by about
    // beta times the mean fall of the gravity from the pole (some 18 per cent for a star this near its
    // lobe, whose gravity vanishes at the inner Lagrangian point); reflection raises it.
    const std::vector<std::string> close = {"--set", "txtRadius1=0.33", "--set", "txtRadius2=0.3", "--set",
                                            "Qratio=1", "--set", "txtTemp1=8000", "--set", "txtTemp2=6000",
                                            "--set", "txtGravity1=0.25", "--set", "cmbPassband=TESS", "lists"};
    const ToolRun dark = run(close);
    ASSERT_EQ(dark.status, 0) << dark.err;
    const auto at = dark.out.find("Mean Effective Temperatures T1 = ");
    ASSERT_NE(at, std::string::npos) << dark.out;
    const double t1 = std::strtod(dark.out.c_str() + at + 33, nullptr);
    EXPECT_LT(t1, 7950) << dark.out;
    EXPECT_GT(t1, 7500) << dark.out;
    EXPECT_THAT(dark.out, HasSubstr("K, T2 = 6000 K")) << "star 2 is not darkened";
    std::vector<std::string> heated = close;
    heated.insert(heated.begin(), {"--set", "txtAlbedo2=1"});
    const ToolRun warm = run(heated);
    const auto at2 = warm.out.find(", T2 = ");
    ASSERT_NE(at2, std::string::npos) << warm.out;
    EXPECT_GT(std::strtod(warm.out.c_str() + at2 + 7, nullptr), 6100) << warm.out;
}

TEST_F(ReadBack, AMissionsFileSetsItsBandUnlessOneWasChosen) {
    // A small light curve as TESS writes one: TELESCOP in the primary header, then the table.
    const std::string tess = file("tess.fits");
    {
        fitsfile* f = nullptr;
        int status = 0;
        fits_create_file(&f, ("!" + tess).c_str(), &status);
        fits_create_img(f, 8, 0, nullptr, &status);
        fits_update_key(f, TSTRING, "TELESCOP", const_cast<char*>("TESS"), nullptr, &status);
        char* types[] = {const_cast<char*>("TIME"), const_cast<char*>("PDCSAP_FLUX")};
        char* forms[] = {const_cast<char*>("1D"), const_cast<char*>("1D")};
        fits_create_tbl(f, BINARY_TBL, 0, 2, types, forms, nullptr, "LIGHTCURVE", &status);
        for (int i = 0; i < 60; ++i) {
            double t = 1900 + i / 30.0, flux = 1000 * (1 - 0.3 * std::exp(-std::pow(std::remainder(t, 1.0) / 0.05, 2)));
            fits_write_col(f, TDOUBLE, 1, i + 1, 1, 1, &t, &status);
            fits_write_col(f, TDOUBLE, 2, i + 1, 1, 1, &flux, &status);
        }
        fits_close_file(f, &status);
        ASSERT_EQ(status, 0);
    }
    const std::vector<std::string> plain = {"--set", "cmbPhotometry=Precise", "compare", "--observed", tess,
                                            "--period", "1", "--epoch", "0"};
    const ToolRun a = run(plain);
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_THAT(a.err, HasSubstr("The file is from TESS: the passband is now TESS."));
    std::vector<std::string> chosen = plain;
    chosen.insert(chosen.end(), {"--passband", "Johnson U"});
    const ToolRun b = run(chosen);
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_THAT(b.err, Not(HasSubstr("passband is now"))) << "the person's band stays";
    EXPECT_NE(a.out, b.out) << "two bands, two models";
    const ToolRun bad = run({"compare", "--observed", tess, "--passband", "Johnson Q"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_THAT(bad.err, HasSubstr("no passband is called 'Johnson Q'"));
}

TEST_F(ReadBack, AMissionsLongCadenceIsAveragedOverAndAShortOneOffered) {
    auto write = [&](const std::string& name, double cadenceSeconds) {
        const std::string path = file(name);
        fitsfile* f = nullptr;
        int status = 0;
        fits_create_file(&f, ("!" + path).c_str(), &status);
        fits_create_img(f, 8, 0, nullptr, &status);
        char* types[] = {const_cast<char*>("TIME"), const_cast<char*>("PDCSAP_FLUX")};
        char* forms[] = {const_cast<char*>("1D"), const_cast<char*>("1D")};
        fits_create_tbl(f, BINARY_TBL, 0, 2, types, forms, nullptr, "LIGHTCURVE", &status);
        double days = cadenceSeconds / 86400;
        fits_update_key(f, TDOUBLE, "TIMEDEL", &days, nullptr, &status);
        for (int i = 0; i < 60; ++i) {
            double t = 1900 + i / 30.0, flux = 1000 * (1 - 0.3 * std::exp(-std::pow(std::remainder(t, 1.0) / 0.05, 2)));
            fits_write_col(f, TDOUBLE, 1, i + 1, 1, 1, &t, &status);
            fits_write_col(f, TDOUBLE, 2, i + 1, 1, 1, &flux, &status);
        }
        fits_close_file(f, &status);
        EXPECT_EQ(status, 0);
        return path;
    };
    const std::string kepler = write("long.fits", 1765.5), tess = write("short.fits", 120);
    auto compare = [&](const std::string& path, std::vector<std::string> extra) {
        std::vector<std::string> args = {"--set", "cmbPhotometry=Precise", "compare", "--observed", path,
                                         "--period", "1", "--epoch", "0"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run(args);
    };
    const ToolRun longRun = compare(kepler, {});
    ASSERT_EQ(longRun.status, 0) << longRun.err;
    EXPECT_THAT(longRun.err, HasSubstr("Each point integrates 1765.5 s (the file's cadence): the model is averaged over it."));
    EXPECT_THAT(longRun.err, HasSubstr("averaged over the 1765.5 s exposure (up to "));
    const ToolRun shortRun = compare(tess, {});
    ASSERT_EQ(shortRun.status, 0) << shortRun.err;
    EXPECT_THAT(shortRun.err, HasSubstr("Each point integrates 120 s (the file's cadence): type it into Exposure (s)"));
    EXPECT_THAT(shortRun.err, Not(HasSubstr("exposure (up to")));
    const ToolRun typed = compare(tess, {"--exposure", "120"});
    EXPECT_THAT(typed.err, HasSubstr("averaged over the 120 s exposure")) << typed.err;
    const ToolRun off = compare(kepler, {"--exposure", "0"});
    EXPECT_THAT(off.err, Not(HasSubstr("exposure (up to"))) << "the person's choice stands";
    EXPECT_NE(off.out, longRun.out) << "a half-hour exposure changes the comparison";
    const ToolRun phases = run({"compare", "--observed", file("tess.csv"), "--exposure", "60"});
    EXPECT_EQ(phases.status, 2);
    EXPECT_THAT(phases.err, HasSubstr("--exposure needs --period"));
}

TEST_F(ReadBack, ListsOfFilesKeepTheirNamesLiterally) {
    // A job array's list hands each name to the readers as written: brackets, parentheses, "!",
    // "-" and addresses are part of the name (the FITS reader no longer parses them).
    std::ofstream(file("list.txt")) << "\"h.fits[1][#row < 10]\" 2.5 2459000.1\n"
                                    << "g.fits(made.fits)\n!bang.fits 1 2\n-dash.fits\nmem://x.fits\n";
    std::vector<ListEntry> entries;
    std::string why;
    ASSERT_TRUE(readList(file("list.txt"), entries, why)) << why;
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].file, "h.fits[1][#row < 10]");
    EXPECT_EQ(entries[0].period, "2.5");
    EXPECT_EQ(entries[1].file, "g.fits(made.fits)");
    EXPECT_EQ(entries[2].file, "!bang.fits");
    EXPECT_EQ(entries[3].file, "-dash.fits");
    EXPECT_EQ(entries[4].file, "mem://x.fits");
}

// The velocity curves: a circular orbit's are sines of K = 2 pi a_k sin i / P (the test's own sum
// with the nominal solar radius); an eccentric one keeps the momentum (v1 - gamma = -q (v2 - gamma));
// and a file made from the curve with noise compares back at the noise, in time with the ephemeris.
TEST_F(ReadBack, TheVelocityCurvesAreKeplersAndTheirFilesCompareBackAtTheirNoise) {
    const std::vector<std::string> system = {"--set", "chkSpherical=0", "--set", "txtRadius1=0.12", "--set",
                                             "txtRadius2=0.08", "--set", "Qratio=0.7", "--set", "txtIota=86",
                                             "--set", "txtGammaVelocity=-12"};
    auto withSystem = [&](std::vector<std::string> more) {
        std::vector<std::string> a = system;
        a.insert(a.end(), more.begin(), more.end());
        return a;
    };
    const ToolRun none = run(withSystem({"rv", "--out", file("rv.csv")}));
    EXPECT_EQ(none.status, 2);
    EXPECT_THAT(none.err, HasSubstr("semi-major axis"));

    const ToolRun circular = run(withSystem({"--set", "txtSemiMajorAxis=15", "rv", "--period", "4.5", "--step", "2",
                                             "--out", file("rv.csv")}));
    ASSERT_EQ(circular.status, 0) << circular.err;
    std::ifstream in(file("rv.csv"));
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "phase,rv1,rv2");
    const double Pi = 3.141592653589793;
    const double k = 2 * Pi * 15 * 695700 * std::sin(86 * Pi / 180) / (4.5 * 86400);
    int rows = 0;
    while (std::getline(in, line)) {
        double phase = 0, v1 = 0, v2 = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf", &phase, &v1, &v2), 3) << line;
        // Star 1 recedes fastest a quarter turn before it is behind (phase -0.25), comes towards us after.
        EXPECT_NEAR(v1, -12 - k * 0.7 / 1.7 * std::sin(2 * Pi * phase), 1e-5) << line;
        EXPECT_NEAR(v2, -12 + k / 1.7 * std::sin(2 * Pi * phase), 1e-5) << line;
        ++rows;
    }
    EXPECT_EQ(rows, 180);

    const std::vector<std::string> eccentric = {"--set", "txtSemiMajorAxis=15", "--set", "txtEccentricity=0.3",
                                                "--set", "txtOmega=60"};
    std::vector<std::string> write = withSystem(eccentric);
    write.insert(write.end(), {"rv", "--period", "4.5", "--out", file("rv.csv")});
    ASSERT_EQ(run(write).status, 0);
    std::ifstream again(file("rv.csv"));
    std::getline(again, line);
    std::ofstream observed(file("rv1.txt"));
    observed << "BJD rv1 e_rv\n";
    int k2 = 0;
    double spread = 0;
    while (std::getline(again, line)) {
        double phase = 0, v1 = 0, v2 = 0;
        std::sscanf(line.c_str(), "%lf,%lf,%lf", &phase, &v1, &v2);
        EXPECT_NEAR(v1 + 12, -0.7 * (v2 + 12), 1e-5) << line;
        spread = std::max(spread, std::abs(v1 + 12));
        if (k2++ % 9 == 0) {
            const double noise = (k2 % 2 == 0 ? 0.5 : -0.5); // +-0.5 km/s: an RMS of 0.5
            observed << std::setprecision(12) << 2458000 + 4.5 * (phase + 3) << ' ' << v1 + noise << " 0.5\n";
        }
    }
    observed.close();
    EXPECT_GT(spread, 60) << "the eccentric curve has its amplitude";
    std::vector<std::string> compare = withSystem(eccentric);
    compare.insert(compare.end(), {"rv", "--period", "4.5", "--epoch", "2458000", "--rv1", file("rv1.txt"), "--plot",
                                   file("rv.png")});
    const ToolRun c = run(compare);
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_THAT(c.out, HasSubstr("40 points, RMS residual 0.500 km/s, chi-square 40.00")) << c.out;
    EXPECT_TRUE(fs::exists(file("rv.png")));
    // The same file against a circular model is far off.
    const ToolRun off = run(withSystem({"--set", "txtSemiMajorAxis=15", "rv", "--period", "4.5", "--epoch", "2458000",
                                        "--rv1", file("rv1.txt"), "--out", file("rv0.csv")}));
    ASSERT_EQ(off.status, 0) << off.err;
    EXPECT_THAT(off.out, Not(HasSubstr("RMS residual 0.500"))) << off.out;
    // A velocity file is never a light curve.
    const ToolRun asLight = run(withSystem({"compare", "--observed", file("rv1.txt")}));
    EXPECT_NE(asLight.status, 0);
    EXPECT_THAT(asLight.err, HasSubstr("never as magnitudes")) << asLight.err;
}

} // namespace
} // namespace corvane::cli
