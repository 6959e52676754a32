// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "platform/Canvas.h"

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>
#include <filesystem>
#include <unistd.h>

namespace corvane::platform {
namespace {

int count(const Canvas& c, Pixel colour) {
    int n = 0;
    for (Pixel p : c.pixels()) {
        n += p == colour;
    }
    return n;
}

constexpr Pixel Red = pixelFromRgb(255, 0, 0);
constexpr Pixel Green = pixelFromRgb(0, 255, 0);
constexpr Pixel Blue = pixelFromRgb(0, 0, 255);

TEST(CanvasPixels, AreStoredBlueGreenRedReserved) {
    Canvas c(4, 3);
    EXPECT_EQ(c.pixels().size(), 12u);
    EXPECT_EQ(count(c, 0), 12) << "a new canvas is black";
    c.box(1, 2, 1, 2, pixelFromRgb(0x12, 0x34, 0x56), true);
    const auto* bytes = reinterpret_cast<const unsigned char*>(c.pixels().data());
    const std::size_t at = (2 * 4 + 1) * 4;
    EXPECT_EQ(bytes[at + 0], 0x56);
    EXPECT_EQ(bytes[at + 1], 0x34);
    EXPECT_EQ(bytes[at + 2], 0x12);
    EXPECT_EQ(bytes[at + 3], 0x00);
    EXPECT_EQ(pixelFromColorRef(255), Red) << "colour reference 255 is red";
    EXPECT_EQ(pixelFromColorRef(0xFF0000), Blue);
    c.clear();
    EXPECT_EQ(count(c, 0), 12);
}

TEST(CanvasPolygon, FillsTheCentresInsideARectangle) {
    Canvas c(40, 30);
    const std::array<IntPoint, 4> rect{{{5, 5}, {15, 5}, {15, 12}, {5, 12}}};
    c.polygon(rect, Red, Red);
    // Centres 5..14 by 5..11 are inside; the outline adds the right and bottom edges.
    EXPECT_EQ(count(c, Red), 11 * 8);
    Canvas d(40, 30);
    d.polygon(rect, Red, Green);
    EXPECT_EQ(count(d, Red), 9 * 6) << "interior without the outline";
    EXPECT_EQ(count(d, Green), 2 * 11 + 2 * 6);
}

TEST(CanvasPolygon, NeighboursSharingAnEdgeLeaveNoGapAndNoOverlap) {
    // A fan of triangles about a centre, filled only: every pixel inside the fan's hull must be
    // painted exactly once.
    Canvas c(200, 200);
    const IntPoint centre{100, 100};
    const std::array<IntPoint, 7> rim{{{100, 20}, {170, 55}, {175, 140}, {100, 185}, {25, 150}, {30, 50}, {100, 20}}};
    for (std::size_t k = 0; k + 1 < rim.size(); ++k) {
        const std::array<IntPoint, 3> tri{centre, rim[k], rim[k + 1]};
        Canvas one(200, 200);
        one.fillPolygon(tri, Red);
        // Add this triangle's interior to the picture, checking nothing is painted twice.
        for (int y = 0; y < 200; ++y) {
            for (int x = 0; x < 200; ++x) {
                if (one.pixel(x, y) == Red) {
                    ASSERT_EQ(c.pixel(x, y), 0u) << "painted twice at " << x << "," << y;
                    c.box(x, y, x, y, Blue, true);
                }
            }
        }
    }
    // Every pixel strictly inside the hexagon is painted: test on a ring of probe points.
    for (int y = 60; y <= 140; ++y) {
        for (int x = 60; x <= 140; ++x) {
            EXPECT_EQ(c.pixel(x, y), Blue) << x << "," << y;
        }
    }
}

TEST(CanvasPolygon, OutlineCoversEveryPixelAnEdgeCrosses) {
    // A thin sliver between two triangles that do not share vertices: the gap is narrower than a
    // pixel, and the outlines must close it.
    Canvas c(60, 60);
    const std::array<IntPoint, 3> upper{{{0, 0}, {59, 0}, {59, 29}}};
    const std::array<IntPoint, 3> lower{{{0, 1}, {59, 30}, {0, 59}}};
    c.polygon(upper, Red, Red);
    c.polygon(lower, Green, Green);
    for (int x = 0; x < 60; ++x) {
        for (int y = 0; y < 60; ++y) {
            const bool between = 2 * y > x - 1 && 2 * y < x + 2; // the band between the two hypotenuses
            if (between) {
                EXPECT_NE(c.pixel(x, y), 0u) << x << "," << y;
            }
        }
    }
}

TEST(CanvasPolygon, AreaOfATriangleWithinItsPerimeter) {
    Canvas c(300, 300);
    const std::array<IntPoint, 3> tri{{{10, 10}, {290, 40}, {120, 280}}};
    c.polygon(tri, Red, Red);
    const double area = 0.5 * std::abs((290 - 10) * (280 - 10) - (120 - 10) * (40 - 10));
    EXPECT_NEAR(count(c, Red), area, 800.0) << "area " << area;
}

TEST(CanvasPolygon, DegeneratePolygonsDrawOnlyTheirOutline) {
    Canvas c(20, 20);
    const std::array<IntPoint, 3> line{{{2, 2}, {10, 2}, {6, 2}}};
    c.polygon(line, Red, Green);
    EXPECT_EQ(count(c, Red), 0);
    EXPECT_EQ(count(c, Green), 9);
    const std::array<IntPoint, 1> dot{{{5, 5}}};
    c.polygon(dot, Red, Blue);
    EXPECT_EQ(c.pixel(5, 5), Blue);
    c.polygon(std::span<const IntPoint>{}, Red, Blue);
}

TEST(CanvasClipping, FarOffCoordinatesDrawOnlyWhatIsInside) {
    Canvas c(50, 40);
    const std::array<IntPoint, 4> huge{{{-100000000, -100000000}, {100000000, -100000000}, {100000000, 100000000},
                                        {-100000000, 100000000}}};
    c.polygon(huge, Red, Green);
    EXPECT_EQ(count(c, Red), 50 * 40) << "the whole picture is inside";
    Canvas d(50, 40);
    d.line(-2000000000, 5, 2000000000, 5, Green);
    EXPECT_EQ(count(d, Green), 50);
    d.line(-10, -10, -5, 100, Red);
    d.circle(-1000, -1000, 3, Red);
    d.circle(25, 20, 100000, Red);
    d.box(-5, -5, 1000, 1000, Blue, false);
    EXPECT_EQ(count(d, Red), 0);
    EXPECT_EQ(count(d, Blue), 0) << "the box's edges all lie outside";
}

TEST(CanvasShapes, CircleLineAndBox) {
    Canvas c(20, 20);
    c.circle(10, 10, 1, Red);
    EXPECT_EQ(count(c, Red), 4) << "radius 1 is the four pixels beside the centre";
    EXPECT_EQ(c.pixel(10, 10), 0u);
    EXPECT_EQ(c.pixel(11, 10), Red);
    EXPECT_EQ(c.pixel(10, 9), Red);
    c.line(0, 0, 19, 19, Green);
    EXPECT_EQ(count(c, Green), 20);
    Canvas big(40, 40);
    big.circle(20, 20, 10, Red);
    EXPECT_EQ(big.pixel(30, 20), Red);
    EXPECT_EQ(big.pixel(20, 10), Red);
    EXPECT_EQ(big.pixel(20, 20), 0u);
    EXPECT_NEAR(count(big, Red), 2 * 3.14159 * 10 * 0.9, 10) << "a thin ring";
    Canvas b(20, 20);
    b.box(2, 3, 6, 5, Blue, false);
    EXPECT_EQ(count(b, Blue), 5 * 2 + 1 * 2);
    b.box(6, 5, 2, 3, Blue, true);
    EXPECT_EQ(count(b, Blue), 15);
}

TEST(CanvasSave, WritesPngAndBmpThatReadBackExactly) {
    Canvas c(7, 5);
    c.box(1, 1, 3, 2, pixelFromRgb(10, 200, 30), true);
    c.box(6, 4, 6, 4, pixelFromRgb(255, 255, 255), true);
    const auto dir = std::filesystem::temp_directory_path() / ("corvane-canvas-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (const char* name : {"a.png", "b.bmp", "c.BMP"}) {
        const auto path = dir / name;
        ASSERT_TRUE(c.save(path)) << name;
        QImage back(QString::fromStdString(path.string()));
        ASSERT_EQ(back.width(), 7) << name;
        ASSERT_EQ(back.height(), 5) << name;
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 7; ++x) {
                EXPECT_EQ(back.pixel(x, y) & 0xFFFFFFu, c.pixel(x, y)) << name << " " << x << "," << y;
            }
        }
    }
    std::array<char, 2> magic{};
    FILE* f = std::fopen((dir / "b.bmp").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fread(magic.data(), 1, 2, f), 2u);
    std::fclose(f);
    EXPECT_EQ(std::string(magic.data(), 2), "BM");
    EXPECT_FALSE(c.save(dir / "missing-folder" / "x.png")) << "a failed save says so";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator{}), 3)
        << "no temporary file is left behind";
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace corvane::platform

namespace corvane::platform {
namespace {

// A plain restatement of the rasterisation rules, pixel by pixel, to hold the fast scanline code to.
// Fill: a pixel is inside when its centre (x, y) is inside by the even-odd rule, counting an edge
// crossing of the row y when y lies in [lower end, upper end) of the edge, and the pixel when x lies
// in [left crossing, right crossing). Outline: a pixel is on an edge when the edge passes through
// the open interior of its square.
struct Reference {
    int w, h;
    std::vector<Pixel> px;
    Reference(int width, int height) : w(width), h(height), px(static_cast<std::size_t>(width * height), 0) {}
    void set(int x, int y, Pixel c) {
        if (x >= 0 && y >= 0 && x < w && y < h) {
            px[static_cast<std::size_t>(y * w + x)] = c;
        }
    }
    void polygon(const std::vector<IntPoint>& p, Pixel fill, Pixel outline) {
        const std::size_t n = p.size();
        for (int y = 0; y < h; ++y) {
            std::vector<double> xs;
            for (std::size_t i = 0; i < n; ++i) {
                const IntPoint a = p[i];
                const IntPoint b = p[(i + 1) % n];
                if (a.y != b.y && ((y >= a.y && y < b.y) || (y >= b.y && y < a.y))) {
                    xs.push_back(a.x + (static_cast<double>(y) - a.y) * (static_cast<double>(b.x) - a.x) /
                                           (static_cast<double>(b.y) - a.y));
                }
            }
            std::sort(xs.begin(), xs.end());
            for (std::size_t k = 0; k + 1 < xs.size(); k += 2) {
                for (int x = 0; x < w; ++x) {
                    if (x >= xs[k] && x < xs[k + 1]) {
                        set(x, y, fill);
                    }
                }
            }
        }
        for (std::size_t i = 0; i < n; ++i) {
            const IntPoint a = p[i];
            const IntPoint b = p[(i + 1) % n];
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    if (crosses(a, b, x, y)) {
                        set(x, y, outline);
                    }
                }
            }
        }
    }
    // Does segment ab meet the open square (x +- 0.5, y +- 0.5)? Clip the segment to the square's
    // slab in x, then test the y range of what is left against the slab in y.
    static bool crosses(IntPoint a, IntPoint b, int x, int y) {
        if (a.x == b.x && a.y == b.y) {
            return a.x == x && a.y == y;
        }
        const bool xMajor = std::abs(b.x - a.x) >= std::abs(b.y - a.y);
        // Work along the major axis as the canvas does: the pixel's column (or row) must be within
        // the segment's span, and the segment's extent across that column must overlap the pixel.
        const double u0 = xMajor ? a.x : a.y, u1 = xMajor ? b.x : b.y;
        const double v0 = xMajor ? a.y : a.x, v1 = xMajor ? b.y : b.x;
        const double u = xMajor ? x : y, v = xMajor ? y : x;
        const double ulo = std::min(u0, u1), uhi = std::max(u0, u1);
        if (u < ulo || u > uhi) {
            return false;
        }
        const double lo = std::max(u - 0.5, ulo), hi = std::min(u + 0.5, uhi);
        const double slope = (v1 - v0) / (u1 - u0);
        const double from = u0 <= u1 ? u0 : u1, vFrom = u0 <= u1 ? v0 : v1;
        double w0 = vFrom + (lo - from) * slope, w1 = vFrom + (hi - from) * slope;
        if (w0 > w1) {
            std::swap(w0, w1);
        }
        return v > w0 - 0.5 && v < w1 + 0.5;
    }
};

TEST(CanvasPolygon, MatchesThePixelByPixelRules) {
    std::uint64_t state = 12345;
    auto next = [&](int lo, int hi) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return lo + static_cast<int>((state >> 33) % static_cast<std::uint64_t>(hi - lo + 1));
    };
    for (int trial = 0; trial < 300; ++trial) {
        const int n = next(3, 6);
        std::vector<IntPoint> pts;
        const int cx = next(-10, 70), cy = next(-10, 50);
        for (int k = 0; k < n; ++k) {
            pts.push_back({cx + next(-25, 25), cy + next(-25, 25)});
        }
        Canvas c(64, 48);
        Reference r(64, 48);
        const Pixel fill = pixelFromRgb(1 + trial % 200, 2, 3);
        const Pixel outline = trial % 3 == 0 ? fill : pixelFromRgb(9, 9, 9);
        c.polygon(pts, fill, outline);
        r.polygon(pts, fill, outline);
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 64; ++x) {
                ASSERT_EQ(c.pixel(x, y), r.px[static_cast<std::size_t>(y * 64 + x)])
                    << "trial " << trial << " pixel " << x << "," << y;
            }
        }
    }
}

} // namespace
} // namespace corvane::platform

namespace corvane::platform {
namespace {

// The drawn area lets clear and the photometry skip the black rest of the picture: it must hold
// every pixel any primitive paints, whatever is drawn and wherever (edges and beyond included).
TEST(DrawnArea, HoldsEveryPaintedPixelAndClearLeavesBlack) {
    Canvas c(120, 80);
    EXPECT_TRUE(c.drawnArea().empty());
    const IntPoint tri[] = {{-30, 10}, {60, -20}, {200, 90}};
    const SubPoint sub[] = {{10 * SubPixel + 77, 5 * SubPixel}, {90 * SubPixel, 40 * SubPixel + 3}, {30 * SubPixel, 79 * SubPixel}};
    auto check = [&](const char* what) {
        const Canvas::Area a = c.drawnArea();
        for (int y = 0; y < c.height(); ++y) {
            for (int x = 0; x < c.width(); ++x) {
                if (c.pixel(x, y) != 0) {
                    ASSERT_TRUE(x >= a.x0 && x <= a.x1 && y >= a.y0 && y <= a.y1) << what << " at " << x << "," << y;
                    ASSERT_TRUE(x >= c.drawnRowFirst(y) && x <= c.drawnRowLast(y)) << what << " row " << y << " at " << x;
                }
            }
        }
        c.clear();
        for (Pixel p : c.pixels()) {
            ASSERT_EQ(p, 0u) << what << ": clear left a pixel";
        }
        EXPECT_TRUE(c.drawnArea().empty());
    };
    c.polygon(tri, 0x123456, 0xFFFFFF);
    check("polygon");
    c.fillPolygon(std::span<const SubPoint>(sub), 0x010203);
    check("sub-pixel polygon");
    // Regression: for a shape that is not convex the top and bottom were taken from the vertices
    // seen before the first wrong turn, so rows below them stayed lit after a clear.
    const SubPoint dent[] = {{10 * SubPixel, 10 * SubPixel}, {60 * SubPixel, 12 * SubPixel}, {40 * SubPixel, 30 * SubPixel},
                             {70 * SubPixel, 75 * SubPixel}, {15 * SubPixel, 70 * SubPixel}};
    c.fillPolygon(std::span<const SubPoint>(dent), 0x0A0B0C);
    EXPECT_NE(c.pixel(20, 68), 0u) << "the lower part is painted";
    check("polygon with a dent");
    c.line(-50, 70, 300, 2, 0xFFFFFF);
    check("line");
    c.circle(115, 5, 9, 0xFF0000);
    check("circle");
    c.box(100, 60, 140, 100, 0x00FF00, true);
    c.box(3, 3, 9, 9, 0x0000FF, false);
    check("boxes");
}

} // namespace
} // namespace corvane::platform
