// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "cli/BatchTool.h"
#include "catalogue/Catalogue.h"
#include "platform/NumberFormat.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace corvane::cli {
namespace {

using ::testing::HasSubstr;

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

ToolRun run(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = runBatchTool(args, out, err);
    return {status, out.str(), err.str()};
}

double platform_val(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

TEST(BatchToolLists, EqualMassesPrintOmegaThreeAndThreeQuarters) {
    const ToolRun r = run({"--set", "Qratio=1", "lists"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto l = lines(r.out);
    ASSERT_GE(l.size(), 4u);
    EXPECT_EQ(l[0], "Roche Lobe");
    EXPECT_EQ(l[1], "r1(pole) = 0.3561");
    EXPECT_EQ(l[2], "r2(pole) = 0.3561");
    EXPECT_EQ(l[3], "Omega = 3.75");
    EXPECT_EQ(l[4], "Current Parameters");
    // Then the volume-equivalent radii (none for star 1, which overflows its lobe), the light and
    // central surface-brightness ratios, the mean temperatures and the conventions (no mean surface
    // brightness without star 1's volume).
    ASSERT_EQ(l.size(), 4u + 1u + 13u + 7u);
    EXPECT_EQ(l[18], "Volume-Equivalent Radii");
    EXPECT_EQ(l[19], "r1(vol) = none (it fills its lobe)");
    EXPECT_THAT(l[21], HasSubstr("Light Ratio L2/L1 = "));
    EXPECT_THAT(l[22], HasSubstr("Central Surface-Brightness Ratio J = "));
    EXPECT_THAT(l[23], HasSubstr("Mean Effective Temperatures T1 = "));
    EXPECT_THAT(l[24], HasSubstr("Star 1 is the star eclipsed at phase 0; Qratio is M2/M1"));
}

TEST(BatchToolLists, SettingsApplyInOrder) {
    const ToolRun r = run({"--set", "Qratio=5", "--set", "Qratio=2.4", "lists"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("Omega = 5.809\n"));
    const ToolRun after = run({"lists", "--set", "Qratio=1"});
    ASSERT_EQ(after.status, 0) << after.err;
    EXPECT_THAT(after.out, HasSubstr("Omega = 3.75\n")) << "--set after the command is taken too";
}

TEST(BatchToolLists, SwitchesAndCombosTakeTheirValues) {
    const ToolRun r = run({"--set", "chkAuto=1", "--set", "Qratio=0.3", "--set", "txtRadius1=0.48", "--set",
                       "cmbStarSpot1=2", "--set", "chkGrid=1", "lists"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr(" Recommended\n"));
}

struct BadCase {
    std::vector<std::string> args;
    const char* mentions;
};

void PrintTo(const BadCase& c, std::ostream* os) {
    for (const auto& a : c.args) {
        *os << a << ' ';
    }
}

class BatchToolRefuses : public ::testing::TestWithParam<BadCase> {};

TEST_P(BatchToolRefuses, WithStatusTwoAndTheName) {
    const ToolRun r = run(GetParam().args);
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr(GetParam().mentions));
    EXPECT_TRUE(r.out.empty());
}

INSTANTIATE_TEST_SUITE_P(
    BadSettings, BatchToolRefuses,
    ::testing::Values(BadCase{{"--set", "txtNothing=3", "lists"}, "txtNothing"},
                      BadCase{{"--set", "chkAuto=yes", "lists"}, "chkAuto"},
                      BadCase{{"--set", "chkAuto=2", "lists"}, "chkAuto"},
                      BadCase{{"--set", "chkPaint=0", "lists"}, "chkPaint"},
                      BadCase{{"--set", "cmbStarSpot1=3", "lists"}, "cmbStarSpot1"},
                      BadCase{{"--set", "Qratio", "lists"}, "NAME=VALUE"},
                      BadCase{{"--set", "=4", "lists"}, "NAME=VALUE"}, BadCase{{"lists", "extra"}, "extra"},
                      BadCase{{}, "subcommand"}, BadCase{{"frobnicate"}, "frobnicate"}));

TEST(BatchToolEquator, PrintsTheTable) {
    const ToolRun r = run({"--set", "Qratio=1", "equator"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto l = lines(r.out);
    ASSERT_GE(l.size(), 3u);
    EXPECT_EQ(l[0], "6") << "cells in the last band drawn";
    EXPECT_EQ(l[1], "0.5");
    EXPECT_EQ(l[2], "3.75");
    EXPECT_EQ(l.size(), 3u + 13u);
    EXPECT_EQ(r.out.find('\r'), std::string::npos);
}

struct PictureFile {
    std::string bytes;
    static PictureFile read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::string(std::istreambuf_iterator<char>(in), {})};
    }
    std::uint32_t bigEndian(std::size_t at) const {
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            v = (v << 8) | static_cast<unsigned char>(bytes.at(at + k));
        }
        return v;
    }
    std::uint32_t littleEndian(std::size_t at) const {
        std::uint32_t v = 0;
        for (std::size_t k = 4; k-- > 0;) {
            v = (v << 8) | static_cast<unsigned char>(bytes.at(at + k));
        }
        return v;
    }
};

struct RenderFixture : ::testing::Test {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("corvane-cli-" + std::to_string(::getpid()));
    RenderFixture() { std::filesystem::create_directories(dir); }
    ~RenderFixture() override { std::filesystem::remove_all(dir); }
    std::string file(const char* name) const { return (dir / name).string(); }
};

TEST_F(RenderFixture, WritesAnEightHundredByFiveHundredPng) {
    const ToolRun r = run({"--set", "chkSpherical=0", "--set", "txtIota=90", "render", "--out", file("a.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    const PictureFile png = PictureFile::read(dir / "a.png");
    ASSERT_GT(png.bytes.size(), 24u);
    EXPECT_EQ(png.bytes.substr(1, 3), "PNG");
    EXPECT_EQ(png.bigEndian(16), 800u);
    EXPECT_EQ(png.bigEndian(20), 500u);
}

TEST_F(RenderFixture, BmpBySuffixAndSizeByOption) {
    const ToolRun r = run({"--size", "320x200", "render", "--out", file("b.bmp")});
    ASSERT_EQ(r.status, 0) << r.err;
    const PictureFile bmp = PictureFile::read(dir / "b.bmp");
    ASSERT_GT(bmp.bytes.size(), 26u);
    EXPECT_EQ(bmp.bytes.substr(0, 2), "BM");
    EXPECT_EQ(bmp.littleEndian(18), 320u);
    EXPECT_EQ(bmp.littleEndian(22), 200u);
}

TEST_F(RenderFixture, RotationAngleChangesThePicture) {
    ASSERT_EQ(run({"render", "--out", file("e0.bmp")}).status, 0);
    ASSERT_EQ(run({"render", "--eta", "0", "--out", file("e0b.bmp")}).status, 0);
    ASSERT_EQ(run({"render", "--eta", "90", "--out", file("e90.bmp")}).status, 0);
    EXPECT_EQ(PictureFile::read(dir / "e0.bmp").bytes, PictureFile::read(dir / "e0b.bmp").bytes);
    EXPECT_NE(PictureFile::read(dir / "e0.bmp").bytes, PictureFile::read(dir / "e90.bmp").bytes);
}

TEST_F(RenderFixture, RefusesBadSizesAndReportsUnwritableFiles) {
    for (const char* size : {"800", "0x0", "800x", "axb", "20000x100", "800x500x3"}) {
        EXPECT_EQ(run({"--size", size, "render", "--out", file("c.png")}).status, 2) << size;
    }
    const ToolRun r = run({"render", "--out", (dir / "no-such-folder" / "c.png").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("could not write"));
    EXPECT_EQ(run({"render"}).status, 2) << "--out is required";
}

TEST_F(RenderFixture, LightCurveFileHasTheEclipsesWhereTheGeometryPutsThem) {
    const ToolRun r = run({"--size", "200x125", "--set", "txtRadius1=0.2", "--set", "txtRadius2=0.25", "lightcurve",
                           "--step", "10", "--out", file("lc.csv")});
    ASSERT_EQ(r.status, 0) << r.err;
    std::ifstream in(dir / "lc.csv");
    std::string header;
    std::getline(in, header);
    EXPECT_EQ(header, "Phase, Red, Green, Blue, Luminance");
    // Within the first pass (phases -0.25 to 0.75) the faintest red points are the two eclipses,
    // at phase 0 (star 2 in front) and 0.5.
    std::vector<std::pair<double, double>> points;
    for (std::string line; std::getline(in, line) && points.size() < 36;) {
        double phase = 0, red = 0;
        char comma = 0;
        std::istringstream fields(line);
        fields >> phase >> comma >> red;
        points.emplace_back(red, phase);
    }
    ASSERT_EQ(points.size(), 36u);
    std::sort(points.begin(), points.end());
    std::vector<double> faintest{points[0].second, points[1].second};
    std::sort(faintest.begin(), faintest.end());
    EXPECT_NEAR(faintest[0], 0.0, 1e-9);
    EXPECT_NEAR(faintest[1], 0.5, 1e-9);
}

TEST_F(RenderFixture, LightCurveThatCannotCompleteSaysWhy) {
    const ToolRun black = run({"--size", "100x60", "--set", "txtZoom=0", "lightcurve", "--step", "20", "--out",
                               file("none.csv")});
    EXPECT_EQ(black.status, 1);
    EXPECT_THAT(black.err, HasSubstr("no light to measure"));
    EXPECT_FALSE(std::filesystem::exists(dir / "none.csv"));
    const ToolRun still = run({"--set", "txtAnimSpeed=0", "lightcurve", "--out", file("none.csv")});
    EXPECT_EQ(still.status, 1);
    EXPECT_THAT(still.err, HasSubstr("never turns"));
    const ToolRun zero = run({"lightcurve", "--step", "0", "--out", file("none.csv")});
    EXPECT_EQ(zero.status, 2) << "a bad command-line value";
    EXPECT_THAT(zero.err, HasSubstr("from 0.01 up"));
}

TEST(BatchToolCatalogue, ListsEverySystemAndLoadsOneByName) {
    const ToolRun all = run({"catalogue"});
    ASSERT_EQ(all.status, 0);
    const auto l = lines(all.out);
    ASSERT_EQ(l.size(), 324u);
    EXPECT_EQ(l[0], "1,44i Boo (3),1.997,70.9,0.297,0.412,5800,5553,given");
    EXPECT_EQ(l[323], "324,FZ Ori (Ravik),0.79152,67.085,0.3855,0.347,6108,6055,given");
    for (const std::string& row : l) {
        EXPECT_EQ(std::count(row.begin(), row.end(), ','), 8) << "the source is the last column: " << row;
        EXPECT_NE(row.back(), ',') << row;
    }
    EXPECT_EQ(l[14], "15,AB And (19),0.56,83.16,0.4185,0.3229,5020,5450,WUMaCat (Latkovic+ 2021)");
    const ToolRun fz = run({"--star", "FZ Ori (Ravik)", "lists"});
    ASSERT_EQ(fz.status, 0) << fz.err;
    EXPECT_THAT(fz.out, HasSubstr("r1(pole) = 0.3855\n"));
    const ToolRun later = run({"--star", "FZ Ori (Ravik)", "--set", "txtRadius1=0.3", "lists"});
    EXPECT_THAT(later.out, HasSubstr("r1(pole) = 0.3\n")) << "--set values come after the star";
    const ToolRun unknown = run({"--star", "Nobody", "lists"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_THAT(unknown.err, HasSubstr("Nobody"));
}

TEST_F(RenderFixture, CompareAndGridAgainstAModelCurve) {
    // The model's own light curve, in magnitudes, as an observed file.
    ASSERT_EQ(run({"--size", "200x125", "--set", "chkMag=1", "--set", "cmbFilter=R", "--set", "txtIota=70", "--set",
                   "Qratio=0.45", "lightcurve", "--step", "15", "--out", file("model.csv")})
                  .status,
              0);
    std::ifstream in(dir / "model.csv");
    std::string line;
    std::getline(in, line);
    std::ofstream obs(dir / "obs.csv");
    for (int k = 0; k < 24 && std::getline(in, line); ++k) {
        const auto c1 = line.find(", ");
        const auto c2 = line.find(", ", c1 + 2);
        obs << line.substr(0, c1) << "," << line.substr(c1 + 2, c2 - c1 - 2) << "\n";
    }
    obs.close();
    const ToolRun same = run({"--size", "200x125", "--set", "chkMag=1", "--set", "cmbFilter=R", "--set", "txtIota=70",
                              "--set", "Qratio=0.45", "compare", "--observed", file("obs.csv"), "--listing"});
    ASSERT_EQ(same.status, 0) << same.err;
    const auto l = lines(same.out);
    ASSERT_EQ(l.size(), 26u);
    EXPECT_EQ(l[24], "Channel compared: Red");
    EXPECT_EQ(l.back(), "Relative Error: 0.");
    EXPECT_EQ(l[0].substr(0, 2), "1,");
    const ToolRun tilted = run({"--size", "200x125", "--set", "chkMag=1", "--set", "cmbFilter=R", "--set",
                                "txtIota=55", "compare", "--observed", file("obs.csv")});
    ASSERT_EQ(tilted.status, 0) << tilted.err;
    EXPECT_GT(platform_val(lines(tilted.out).back().substr(16)), 0.02);

    const ToolRun grid = run({"--size", "200x125", "--set", "chkMag=1", "--set", "cmbFilter=R", "grid",
                              "--observed", file("obs.csv"), "--p1", "Inclination", "--from", "60", "--to", "80",
                              "--steps", "5", "--p2", "Mass Ratio", "--from2", "0.35", "--to2", "0.55", "--steps2",
                              "5", "--out", file("grid"), "--threads", "2"});
    ASSERT_EQ(grid.status, 0) << grid.err;
    EXPECT_THAT(grid.err, HasSubstr("5 rows of 5, 0 cols of 5, 100 percent completed."));
    EXPECT_THAT(grid.err, HasSubstr("Completed At"));
    const std::string path = lines(grid.out).at(0);
    std::ifstream result(path);
    std::getline(result, line);
    EXPECT_EQ(line, "q,i,r1,r2,T1,T2,w1,w2,N,Parameter #1 (y),Parameter #2 (x),Relative Error");
    int rows = 0;
    double best = 1e9;
    std::string bestLine;
    while (std::getline(result, line)) {
        ++rows;
        const double e = platform_val(line.substr(line.rfind(',') + 1));
        if (e < best) {
            best = e;
            bestLine = line;
        }
    }
    EXPECT_EQ(rows, 25);
    EXPECT_THAT(bestLine, HasSubstr(",70,0.45,")) << "the catalogue entry the curve came from";
    const ToolRun badParameter = run({"grid", "--observed", file("obs.csv"), "--p1", "Colour", "--from", "1", "--to",
                                      "2", "--steps", "2", "--p2", "Mass Ratio", "--from2", "1", "--to2", "2",
                                      "--steps2", "2"});
    EXPECT_EQ(badParameter.status, 2);
    EXPECT_EQ(run({"compare", "--observed", file("missing.csv")}).status, 1);
}

TEST(BatchToolHelp, NamesTheCommandsAndControls) {
    const ToolRun r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* word : {"lists", "equator", "render", "--size", "--set", "txtIota", "chkAuto", "Examples",
                             "Exit status", "M2/M1", "eclipsed at phase 0", "pole radii"}) {
        EXPECT_THAT(r.out, HasSubstr(word));
    }
    // Every control the README's examples set is named in the help's table of controls
    // (cmbPhotometry once was only in an example).
    const auto tableAt = r.out.find("Controls for --set");
    ASSERT_NE(tableAt, std::string::npos);
    const std::string table = r.out.substr(tableAt, r.out.find("\nFiles:", tableAt) - tableAt);
    std::ifstream readme(std::string(CORVANE_SOURCE_DIR) + "/README.md");
    const std::string text((std::istreambuf_iterator<char>(readme)), std::istreambuf_iterator<char>());
    int seen = 0;
    for (auto at = text.find("--set "); at != std::string::npos; at = text.find("--set ", at + 1)) {
        const auto begin = at + 6, eq = text.find('=', begin);
        const std::string name = text.substr(begin, eq - begin);
        if (eq == std::string::npos || name == "NAME" || name.find_first_of(" \n`") != std::string::npos) {
            continue;
        }
        ++seen;
        bool named = false; // as a whole word: "txtRadius1" is not "txtRadius10"
        for (auto p = table.find(name); p != std::string::npos && !named; p = table.find(name, p + 1)) {
            const std::size_t after = p + name.size();
            named = after < table.size() && std::isalnum(static_cast<unsigned char>(table[after])) == 0;
        }
        EXPECT_TRUE(named) << "the README sets " << name << ", which the help does not name";
    }
    EXPECT_GT(seen, 10) << "the README's examples were read";
}

TEST(BatchToolMessages, GoToStandardError) {
    const ToolRun r = run({"--set", "chkAuto=1", "--set", "txtRadius2=0.2", "lists"});
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.err, HasSubstr("Uncheck 'Auto'"));
}

} // namespace
} // namespace corvane::cli

namespace corvane::cli {
namespace {

TEST(BatchToolUse, EquatorDataPrintsOnlyPositiveRadii) {
    for (const char* q : {"2.4", "13", "0.3"}) {
        const ToolRun r = run({"--set", std::string("Qratio=") + q, "equator"});
        ASSERT_EQ(r.status, 0) << r.err;
        const auto l = lines(r.out);
        ASSERT_GT(l.size(), 4u);
        for (std::size_t k = 3; k < l.size(); ++k) {
            EXPECT_GT(platform_val(l[k].substr(l[k].rfind(',') + 1)), 0) << "q " << q << ": " << l[k];
        }
        if (std::string(q) == "2.4") {
            EXPECT_EQ(l[3].substr(l[3].find(',')), ",90.,0.4111");
        }
    }
}

TEST_F(RenderFixture, PrecisePhotometryWritesTheCurveAndFitsItsOwnCurve) {
    // The system at i = 70, q = 0.45, on a grid point.
    const std::vector<std::string> precise = {"--set", "cmbPhotometry=Precise", "--set", "chkMag=1", "--set",
                                              "cmbFilter=R", "--set", "txtIota=70", "--set", "Qratio=0.45"};
    auto with = [&](std::vector<std::string> tail) {
        std::vector<std::string> args = precise;
        args.insert(args.end(), tail.begin(), tail.end());
        return run(args);
    };
    const ToolRun lc = with({"lightcurve", "--step", "1", "--out", file("precise.csv")});
    ASSERT_EQ(lc.status, 0) << lc.err;
    std::ifstream in(dir / "precise.csv");
    std::vector<std::string> all;
    for (std::string line; std::getline(in, line);) {
        all.push_back(line);
    }
    // A header and two passes of 360 angles: the animation visits 361 (360 summed steps of 1 degree
    // fall a hair short of a whole turn), and the last is phase 0 again, written once.
    ASSERT_EQ(all.size(), 721u);
    EXPECT_EQ(all[1].substr(0, 7), "-0.25, ");
    std::ofstream obs(dir / "own.csv");
    for (std::size_t k = 1; k <= 360; k += 10) {
        const auto c1 = all[k].find(", ");
        const auto c2 = all[k].find(", ", c1 + 2);
        obs << all[k].substr(0, c1) << "," << all[k].substr(c1 + 2, c2 - c1 - 2) << "\n";
    }
    obs.close();
    const ToolRun same = with({"compare", "--observed", file("own.csv")});
    ASSERT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(lines(same.out).back(), "Relative Error: 0.");
    const ToolRun grid = with({"grid", "--observed", file("own.csv"), "--p1", "Inclination", "--from", "60", "--to",
                               "80", "--steps", "3", "--p2", "Mass Ratio", "--from2", "0.35", "--to2", "0.55",
                               "--steps2", "3", "--out", file("grid"), "--threads", "2"});
    ASSERT_EQ(grid.status, 0) << grid.err;
    std::ifstream result(lines(grid.out).at(0));
    std::string line, bestLine;
    std::getline(result, line);
    double best = 1e9;
    while (std::getline(result, line)) {
        const double e = platform_val(line.substr(line.rfind(',') + 1));
        if (e < best) {
            best = e;
            bestLine = line;
        }
    }
    EXPECT_LT(best, 1e-9) << bestLine;
    EXPECT_THAT(bestLine, HasSubstr(",70,0.45,"));
}

TEST_F(RenderFixture, CompareGivesOneErrorHoweverManySettingsPrecedeIt) {
    std::ofstream obs(dir / "obs.csv");
    for (int k = 0; k < 30; ++k) {
        obs << k / 30.0 << "," << 11 + 0.5 * std::pow(std::cos(3.14159265358979 * k / 30.0), 6) << "\n";
    }
    obs.close();
    const std::vector<std::string> tail = {"compare", "--observed", file("obs.csv")};
    auto with = [&](std::vector<std::string> settings) {
        settings.insert(settings.begin(), {"--size", "200x125"});
        settings.insert(settings.end(), tail.begin(), tail.end());
        const ToolRun r = run(settings);
        EXPECT_EQ(r.status, 0) << r.err;
        return lines(r.out).back();
    };
    const std::string plain = with({});
    EXPECT_EQ(plain.substr(0, 16), "Relative Error: ");
    // The start-up inclination (catalogue entry 5's) typed back after another.
    const std::string startIota = "txtIota=" + platform::GeneralNumber(catalogue::entries()[4].Iota);
    EXPECT_EQ(with({"--set", "txtIota=40", "--set", startIota}), plain);
    EXPECT_EQ(with({"--set", "cmbFilter=LRGB", "--set", "cmbFilter=RGB", "--set", "txtEta=180"}), plain);
    EXPECT_EQ(with({"--set", "chkMag=1", "--set", "chkMag=0", "--set", "txtN1=10", "--set", "txtN1=10"}), plain);
}

TEST_F(RenderFixture, ALightCurveRunLeavesNothingInTheTemporaryFolder) {
    const std::filesystem::path tmp = dir / "tmp";
    std::filesystem::create_directories(tmp);
    const char* before = std::getenv("TMPDIR");
    const std::string saved = before != nullptr ? before : "";
    ::setenv("TMPDIR", tmp.c_str(), 1);
    const ToolRun r = run({"--size", "120x80", "lightcurve", "--step", "20", "--out", file("lc.csv")});
    before != nullptr ? ::setenv("TMPDIR", saved.c_str(), 1) : ::unsetenv("TMPDIR");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "lc.csv"));
    EXPECT_TRUE(std::filesystem::is_empty(tmp)) << "the curve is written from memory to its file";
    EXPECT_FALSE(std::filesystem::exists(dir / "LightCurves"));
}

} // namespace
} // namespace corvane::cli
