// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// The batch tool's pictures: the plot as PNG or SVG, the animation as a GIF.
#include "cli/BatchTool.h"

#include <gif_lib.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace corvane::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct Result {
    int status;
    std::string out, err;
};

Result tool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = runBatchTool(args, out, err);
    return {status, out.str(), err.str()};
}

struct ExportCommandFixture : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("corvane-cli-export-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    ExportCommandFixture() { fs::create_directories(dir); }
    ~ExportCommandFixture() override { fs::remove_all(dir); }
    std::string file(const char* name) const { return (dir / name).string(); }
    std::string read(const char* name) const {
        std::ifstream in(dir / name, std::ios::binary);
        return {(std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()};
    }
};

TEST_F(ExportCommandFixture, AnimateWritesALoopingGifOfOneFramePerStep) {
    const Result r = tool({"--size", "160x100", "animate", "--out", file("orbit.gif"), "--step", "10"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("36 frames written"));
    int error = 0;
    GifFileType* g = DGifOpenFileName(file("orbit.gif").c_str(), &error);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(DGifSlurp(g), GIF_OK);
    EXPECT_EQ(g->ImageCount, 36);
    EXPECT_EQ(g->SWidth, 160);
    EXPECT_EQ(g->SHeight, 100);
    GraphicsControlBlock gcb{};
    ASSERT_EQ(DGifSavedExtensionToGCB(g, 0, &gcb), GIF_OK);
    EXPECT_EQ(gcb.DelayTime, 10) << "a degree a centisecond";
    // The frames differ: the system turns.
    const auto& a = g->SavedImages[0];
    const auto& b = g->SavedImages[9];
    EXPECT_NE(std::string(reinterpret_cast<const char*>(a.RasterBits), 160 * 100),
              std::string(reinterpret_cast<const char*>(b.RasterBits), 160 * 100));
    DGifCloseFile(g, &error);
}

TEST_F(ExportCommandFixture, AnimateWithoutGifWritesPngFramesAndRefusesBadSteps) {
    ASSERT_EQ(tool({"--size", "64x40", "animate", "--out", file("frames"), "--step", "90"}).status, 0);
    for (const char* name : {"frames/frame000.png", "frames/frame090.png", "frames/frame180.png", "frames/frame270.png"}) {
        EXPECT_EQ(read(name).substr(1, 3), "PNG") << name;
    }
    EXPECT_FALSE(fs::exists(dir / "frames" / "frame360.png"));
    for (const char* step : {"0", "-5", "0.001"}) {
        const Result bad = tool({"animate", "--out", file("x.gif"), "--step", step});
        EXPECT_EQ(bad.status, 2) << step;
        EXPECT_THAT(bad.err, HasSubstr("--step expects")) << step;
    }
    EXPECT_FALSE(fs::exists(dir / "x.gif"));
}

TEST_F(ExportCommandFixture, PlotWritesAnSvgWithItsAxesAndAPngOfTheSize) {
    const Result svg = tool({"--size", "900x450", "--set", "cmbPhotometry=Precise", "plot", "--out", file("c.svg")});
    ASSERT_EQ(svg.status, 0) << svg.err;
    const std::string text = read("c.svg");
    EXPECT_THAT(text, HasSubstr("<svg"));
    EXPECT_THAT(text, HasSubstr("viewBox=\"0 0 900 450\""));
    for (const char* label : {">Phase<", ">Relative light<", ">Red<", ">Green<", ">Blue<", ">0.0<"}) {
        EXPECT_THAT(text, HasSubstr(label));
    }
    // Pixel photometry: the tool turns the system first; with observations, the residual strip.
    std::ofstream(dir / "obs.csv") << "phase,mag,err\n0,12.5,0.01\n0.25,12,0.01\n0.5,12.4,0.01\n0.75,12,0.01\n";
    const Result png = tool({"--size", "400x250", "--set", "txtAnimSpeed=20", "plot", "--out", file("c.png"),
                             "--observed", file("obs.csv")});
    ASSERT_EQ(png.status, 0) << png.err;
    EXPECT_EQ(read("c.png").substr(1, 3), "PNG");
    const Result mag = tool({"--size", "400x250", "--set", "chkMag=1", "--set", "cmbPhotometry=Precise", "plot",
                             "--out", file("m.svg"), "--observed", file("obs.csv")});
    ASSERT_EQ(mag.status, 0) << mag.err;
    EXPECT_THAT(read("m.svg"), HasSubstr(">O - C (mag)<"));
    EXPECT_THAT(read("m.svg"), HasSubstr(">Magnitude<"));
    const Result bad = tool({"plot", "--out", file("c.jpg")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_THAT(bad.err, HasSubstr(".png or .svg"));
}

} // namespace
} // namespace corvane::cli
