// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "platform/GifWriter.h"
#include "platform/Plot.h"
#include "platform/PlotPainter.h"

#include <QXmlStreamReader>
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <unistd.h>

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;

PlotDescription twoPanels() {
    PlotDescription d;
    d.x = {-0.25, 0.75, false, {-0.2, 0, 0.2, 0.4, 0.6}, {"-0.2", "0.0", "0.2", "0.4", "0.6"}, "Phase"};
    PlotPanel main;
    main.y = {0, 0.8, true, {0, 0.4, 0.8}, {"0.0", "0.4", "0.8"}, "Magnitude"};
    PlotSeries s;
    s.name = "Red";
    s.color = 0xFF0000;
    s.style = PlotSeries::Style::DotsJoined;
    for (int k = 0; k < 100; ++k) {
        s.x.push_back(-0.25 + k / 100.0);
        s.y.push_back(0.4 + 0.3 * std::sin(k / 10.0));
    }
    main.series.push_back(s);
    main.share = 3;
    PlotPanel strip;
    strip.y = {-0.01, 0.01, true, {-0.01, 0, 0.01}, {"-0.01", "0.00", "0.01"}, "O - C (mag)"};
    strip.zeroLine = true;
    d.panels = {main, strip};
    return d;
}

TEST(PlotLayout, PanelsShareTheHeightAndPixelsMapBackToData) {
    const PlotDescription d = twoPanels();
    for (const auto& [w, h] : {std::pair{800, 264}, {1200, 600}, {300, 120}}) {
        const PlotLayout l = plotLayout(d, w, h);
        ASSERT_EQ(l.panels.size(), 2u);
        EXPECT_NEAR(l.panels[0].height / l.panels[1].height, 3, 1e-9) << w << "x" << h;
        EXPECT_NEAR(l.panels[1].top + l.panels[1].height, h - PlotLayout::BottomMargin, 1e-9);
        EXPECT_NEAR(l.panels[0].left + l.panels[0].width, w - PlotLayout::RightMargin, 1e-9);
        for (const double x : {-0.25, 0.1, 0.75}) {
            EXPECT_NEAR(plotDataX(d, l, plotPixelX(d, l, x)), x, 1e-12);
        }
        // Inverted: magnitude 0 (the brightest) is at the top of the panel.
        EXPECT_NEAR(plotPixelY(d, l, 0, 0), l.panels[0].top, 1e-9);
        EXPECT_NEAR(plotDataY(d, l, 1, plotPixelY(d, l, 1, 0.004)), 0.004, 1e-12);
        EXPECT_EQ(plotPanelAt(l, plotPixelX(d, l, 0), plotPixelY(d, l, 1, 0)), 1);
        EXPECT_EQ(plotPanelAt(l, 2, 2), -1) << "the margin is no panel";
    }
}

struct ExportFixture : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("corvane-export-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    ExportFixture() { fs::create_directories(dir); }
    ~ExportFixture() override { fs::remove_all(dir); }
};

TEST_F(ExportFixture, TheSvgIsWellFormedAndCarriesTheAxisLabels) {
    const fs::path file = dir / "c.svg";
    ASSERT_EQ(savePlot(twoPanels(), file, 900, 400), "");
    std::ifstream in(file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    QXmlStreamReader xml(QByteArray::fromStdString(text));
    std::set<std::string> texts;
    bool svg = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QStringLiteral("svg")) {
            svg = true;
            EXPECT_EQ(xml.attributes().value("viewBox").toString(), "0 0 900 400");
        }
        if (xml.isCharacters() && !xml.isWhitespace()) {
            texts.insert(xml.text().toString().trimmed().toStdString());
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_TRUE(svg);
    for (const char* label : {"Phase", "Magnitude", "O - C (mag)", "Red", "-0.2", "0.6", "0.8", "-0.01"}) {
        EXPECT_TRUE(texts.count(label)) << label;
    }
}

TEST_F(ExportFixture, APngHasTheChosenSizeAndOtherExtensionsAreRefused) {
    const fs::path file = dir / "c.PNG";
    ASSERT_EQ(savePlot(twoPanels(), file, 640, 320), "");
    std::ifstream in(file, std::ios::binary);
    std::string head(24, '\0');
    in.read(head.data(), 24);
    auto be = [&](int at) {
        return (static_cast<unsigned>(static_cast<unsigned char>(head[static_cast<std::size_t>(at)])) << 24) |
               (static_cast<unsigned>(static_cast<unsigned char>(head[static_cast<std::size_t>(at + 1)])) << 16) |
               (static_cast<unsigned>(static_cast<unsigned char>(head[static_cast<std::size_t>(at + 2)])) << 8) |
               static_cast<unsigned>(static_cast<unsigned char>(head[static_cast<std::size_t>(at + 3)]));
    };
    EXPECT_EQ(head.substr(1, 3), "PNG");
    EXPECT_EQ(be(16), 640u);
    EXPECT_EQ(be(20), 320u);
    EXPECT_NE(savePlot(twoPanels(), dir / "c.jpg", 640, 320), "");
    EXPECT_NE(savePlot(twoPanels(), dir / "c.png", 8, 320), "");
    EXPECT_FALSE(fs::exists(dir / "c.jpg"));
}

TEST_F(ExportFixture, AGifDecodesWithItsFramesSizeDelayAndLoop) {
    GifWriter gif(64, 40, 10);
    for (int k = 0; k < 5; ++k) {
        Canvas c(64, 40);
        c.clear();
        c.box(4 * k, 5, 4 * k + 20, 30, pixelFromRgb(255, 200 - 30 * k, 40 * k), true);
        ASSERT_TRUE(gif.addFrame(c)) << gif.problem();
    }
    EXPECT_FALSE(gif.addFrame(Canvas(10, 10))) << "a frame of another size";
    const fs::path file = dir / "a.gif";
    ASSERT_EQ(gif.finish(file), "");

    int error = 0;
    GifFileType* g = DGifOpenFileName(file.c_str(), &error);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(DGifSlurp(g), GIF_OK);
    EXPECT_EQ(g->SWidth, 64);
    EXPECT_EQ(g->SHeight, 40);
    EXPECT_EQ(g->ImageCount, 5);
    bool loops = false;
    for (int i = 0; i < g->ImageCount; ++i) {
        GraphicsControlBlock gcb{};
        ASSERT_EQ(DGifSavedExtensionToGCB(g, i, &gcb), GIF_OK);
        EXPECT_EQ(gcb.DelayTime, 10) << i;
        const SavedImage& image = g->SavedImages[i];
        for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock& b = image.ExtensionBlocks[e];
            if (b.Function == APPLICATION_EXT_FUNC_CODE && b.ByteCount == 11 &&
                std::string(reinterpret_cast<const char*>(b.Bytes), 11) == "NETSCAPE2.0") {
                const ExtensionBlock& sub = image.ExtensionBlocks[e + 1];
                loops = sub.ByteCount == 3 && sub.Bytes[0] == 1 && sub.Bytes[1] == 0 && sub.Bytes[2] == 0;
            }
        }
    }
    EXPECT_TRUE(loops) << "NETSCAPE2.0 with a loop count of 0 (for ever)";
    // The first frame's box is there: its colour is in the palette at the box's pixel.
    const SavedImage& first = g->SavedImages[0];
    const ColorMapObject* map = first.ImageDesc.ColorMap ? first.ImageDesc.ColorMap : g->SColorMap;
    const GifColorType c = map->Colors[first.RasterBits[10 * 64 + 10]];
    EXPECT_GE(c.Red, 240);
    EXPECT_GE(c.Green, 180);
    DGifCloseFile(g, &error);
}

} // namespace
} // namespace corvane::platform
