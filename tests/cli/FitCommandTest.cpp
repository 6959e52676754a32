// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// The batch tool's fit, on a time series made from a known detached system.
#include "app/CorvaneForm.h"
#include "cli/BatchTool.h"
#include "precise/PreciseLight.h"
#include "roche/Constants.h"

#include <fitsio.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <unistd.h>

namespace corvane::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct ToolResult {
    int status;
    std::string out, err;
};

ToolResult tool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = runBatchTool(args, out, err);
    return {status, out.str(), err.str()};
}

// "NAME = VALUE" lines into a map.
std::map<std::string, double> values(const std::string& out) {
    std::map<std::string, double> v;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (const auto eq = line.find(" = "); eq != std::string::npos) {
            v[line.substr(0, eq)] = std::strtod(line.c_str() + eq + 3, nullptr);
        }
    }
    return v;
}

const std::vector<std::string> kSystem = {"--set", "cmbPhotometry=Precise", "--set", "txtRadius1=0.3",
                                          "--set", "txtRadius2=0.24",        "--set", "txtTemp1=6500",
                                          "--set", "txtTemp2=5000",         "--size", "400x250"};

struct FitCommandFixture : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("corvane-cli-fit-" + std::to_string(::getpid()));
    FitCommandFixture() {
        fs::create_directories(dir);
        // The truth: q = 0.6, i = 84, observed 400 times over 30 days in BJD with 0.002 mag of noise.
        platform::ScriptedDialogs dialogs;
        app::CorvaneForm form(dialogs);
        form.setPictureSize(400, 250);
        form.Form_Load();
        for (std::size_t k = 0; k + 1 < kSystem.size(); k += 2) {
            if (kSystem[k] == "--set") {
                const auto eq = kSystem[k + 1].find('=');
                const std::string name = kSystem[k + 1].substr(0, eq), value = kSystem[k + 1].substr(eq + 1);
                if (!form.typeText(name, value)) {
                    form.chooseItem(name, value);
                }
            }
        }
        form.typeText("Qratio", "0.6");
        form.typeText("txtIota", "84");
        std::mt19937 rng(4);
        std::uniform_real_distribution<double> when(2459000, 2459030);
        std::normal_distribution<double> noise(0, 0.002);
        std::vector<double> etas;
        for (int i = 0; i < 600; ++i) {
            time.push_back(when(rng));
            const double cycles = (time.back() - 2459001.3) / 2.4731;
            etas.push_back(TwoPi * (cycles - std::floor(cycles) + 0.25));
        }
        const auto light = precise::PreciseLight(form.sceneInputs()).curve(etas);
        for (int i = 0; i < 600; ++i) {
            mag.push_back(9 - 2.5 * std::log10(light[static_cast<std::size_t>(i)][static_cast<std::size_t>(
                                  form.comparedChannel())]) +
                          noise(rng));
        }
        std::ofstream text(dir / "series.txt");
        text.precision(15);
        text << "! made by the test\nHJD\tV\tsigma\n";
        for (int i = 0; i < 600; ++i) {
            text << time[static_cast<std::size_t>(i)] << '\t' << mag[static_cast<std::size_t>(i)] << "\t0.002\n";
        }
    }
    ~FitCommandFixture() override { fs::remove_all(dir); }
    std::vector<double> time, mag;

    std::string writeFits() {
        const fs::path file = dir / "series.fits";
        fitsfile* f = nullptr;
        int status = 0;
        const std::string path = "!" + file.string();
        fits_create_file(&f, path.c_str(), &status);
        char* types[] = {const_cast<char*>("TIME"), const_cast<char*>("FLUX"), const_cast<char*>("FLUX_ERR")};
        char* forms[] = {const_cast<char*>("1D"), const_cast<char*>("1D"), const_cast<char*>("1D")};
        fits_create_tbl(f, BINARY_TBL, 0, 3, types, forms, nullptr, "LIGHTCURVE", &status);
        for (std::size_t i = 0; i < time.size(); ++i) {
            double t = time[i];
            double flux = std::pow(10.0, -0.4 * mag[i]);
            double e = flux * 0.002 * std::log(10.0) / 2.5;
            const auto row = static_cast<LONGLONG>(i + 1);
            fits_write_col(f, TDOUBLE, 1, row, 1, 1, &t, &status);
            fits_write_col(f, TDOUBLE, 2, row, 1, 1, &flux, &status);
            fits_write_col(f, TDOUBLE, 3, row, 1, 1, &e, &status);
        }
        fits_close_file(f, &status);
        EXPECT_EQ(status, 0);
        return file.string();
    }
    std::vector<std::string> fitArgs(const std::string& file, std::vector<std::string> extra = {}) {
        std::vector<std::string> a = kSystem;
        for (const char* s : {"--set", "Qratio=0.75", "--set", "txtIota=78", "fit", "--observed"}) {
            a.emplace_back(s);
        }
        a.push_back(file);
        for (const char* s : {"--free", "Inclination,Mass Ratio", "--period", "2.4731", "--epoch", "2459001.3"}) {
            a.emplace_back(s);
        }
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
};

TEST_F(FitCommandFixture, FitsTheTimeSeriesBackToTheTruthAndSavesTheParameterSet) {
    const ToolResult r = tool(fitArgs((dir / "series.txt").string(), {"--out", (dir / "fitted.txt").string()}));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto v = values(r.out);
    ASSERT_EQ(v.size(), 3u) << r.out;
    EXPECT_NEAR(v.at("Inclination"), 84, 1) << r.err;
    EXPECT_NEAR(v.at("Mass Ratio"), 0.6, 0.03) << r.err;
    EXPECT_NEAR(v.at("Chi-Square per Point"), 1, 0.2) << r.err;
    EXPECT_THAT(r.out.substr(0, 14), "Inclination = ") << "one line per free parameter, in the order given";
    EXPECT_THAT(r.err, HasSubstr("Read 600 points: phase from HJD, magnitude from V, errors from sigma."));
    EXPECT_THAT(r.err, HasSubstr("Inclination = ")) << "the report, with its errors";
    EXPECT_THAT(r.err, HasSubstr(" +/- "));

    // The saved set holds the fitted values as the boxes show them.
    std::ifstream saved(dir / "fitted.txt");
    const std::string text((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    const auto eol = r.out.find('\n');
    EXPECT_THAT(text, HasSubstr(r.out.substr(14, eol - 14))) << text;

    // The same points as a FITS light curve of fluxes: the same answer.
    const ToolResult fits = tool(fitArgs(writeFits()));
    ASSERT_EQ(fits.status, 0) << fits.err;
    const auto w = values(fits.out);
    EXPECT_NEAR(w.at("Inclination"), v.at("Inclination"), 0.05);
    EXPECT_NEAR(w.at("Mass Ratio"), v.at("Mass Ratio"), 0.003);
}

TEST_F(FitCommandFixture, BadRequestsAreRefusedWithTheirReason) {
    const std::string series = (dir / "series.txt").string();
    struct Bad {
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const Bad cases[] = {
        {{"fit", "--observed", series, "--free", "Colour"}, 2, "'Colour' cannot be fitted"},
        {{"fit", "--observed", series, "--free", " , "}, 2, "--free names no parameter"},
        {{"fit", "--observed", series, "--free", "Inclination"}, 1, "Type the period in days"},
        {{"fit", "--observed", series, "--free", "Inclination", "--period", "-1"}, 2, "--period expects"},
        {{"fit", "--observed", (dir / "none.txt").string(), "--free", "Inclination"}, 1, "does not exist"},
        {{"fit", "--free", "Inclination"}, 2, "--observed is required"},
        {{"compare", "--observed", series}, 1, "Type the period in days"},
    };
    for (const Bad& c : cases) {
        const ToolResult r = tool(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.back() << ": " << r.err;
        EXPECT_THAT(r.err, HasSubstr(c.says)) << c.args.back();
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST_F(FitCommandFixture, CompareFoldsWithThePeriodAndShowsTheChiSquare) {
    std::vector<std::string> a = kSystem;
    for (const char* s : {"--set", "Qratio=0.6", "--set", "txtIota=84", "compare", "--observed"}) {
        a.emplace_back(s);
    }
    a.push_back((dir / "series.txt").string());
    for (const char* s : {"--period", "2.4731", "--epoch", "2459001.3"}) {
        a.emplace_back(s);
    }
    const ToolResult r = tool(a);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("Relative Error: "));
    EXPECT_THAT(r.out, HasSubstr("Chi-Square per Point: "));
    const auto at = r.out.find("Chi-Square per Point: ");
    EXPECT_NEAR(std::strtod(r.out.c_str() + at + 22, nullptr), 1, 0.2) << r.out;
}

} // namespace
} // namespace corvane::cli
