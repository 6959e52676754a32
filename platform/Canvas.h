// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <span>
#include <vector>

namespace corvane::platform {

// A pixel as the picture stores it: 0x00RRGGBB, i.e. the bytes blue, green, red, reserved in memory.
using Pixel = std::uint32_t;

constexpr Pixel pixelFromRgb(int r, int g, int b) {
    return (static_cast<Pixel>(r & 0xFF) << 16) | (static_cast<Pixel>(g & 0xFF) << 8) | static_cast<Pixel>(b & 0xFF);
}

// A colour reference as the form holds colours (red + 256 green + 65536 blue) to a pixel.
constexpr Pixel pixelFromColorRef(std::uint32_t ref) {
    return pixelFromRgb(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
                        static_cast<int>((ref >> 16) & 0xFF));
}

struct IntPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// A point in 1/SubPixel units of a pixel (pixel (x, y)'s centre is (x SubPixel, y SubPixel)).
inline constexpr std::int32_t SubPixel = 256;
struct SubPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// A 32-bit picture laid out like a top-down device-independent bitmap: one Pixel per pixel, rows
// from the top, x to the right. Coordinates are whole pixels and a point (x, y) is the centre of
// pixel (x, y), so polygon fills and outlines that share vertices meet without gaps. Nothing is
// anti-aliased: every drawn pixel has exactly the colour asked for. Drawing outside the picture is
// clipped, whatever the coordinates.
class Canvas {
public:
    static constexpr std::size_t MaxPolygonPoints = 16;

    Canvas() = default;
    Canvas(int width, int height) { resize(width, height); }

    // The rectangle (inclusive) that holds every pixel drawn since the last clear; outside it the
    // picture is black. Empty (x0 > x1) after a clear.
    struct Area {
        int x0, y0, x1, y1;
        bool empty() const { return x0 > x1 || y0 > y1; }
    };
    Area drawnArea() const { return drawn_; }
    // Within the drawn area, the columns of row y that may have been drawn: [first, last], empty
    // when last < first.
    int drawnRowFirst(int y) const { return rowFirst_[static_cast<std::size_t>(y)]; }
    int drawnRowLast(int y) const { return rowLast_[static_cast<std::size_t>(y)]; }

    // Sets the size (at least 1 by 1) and clears to black.
    void resize(int width, int height);
    // Back to black: only the drawn area needs it.
    void clear();

    int width() const { return width_; }
    int height() const { return height_; }
    std::span<const Pixel> pixels() const { return pixels_; }
    Pixel pixel(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)]; }

    // The interior of one closed polygon (up to MaxPolygonPoints points; more are ignored): the
    // pixels whose centres lie inside it by the even-odd rule. A centre on a left or top edge is
    // inside, on a right or bottom edge outside, so polygons sharing an edge never both paint a
    // pixel there and leave no gap between them.
    void fillPolygon(std::span<const IntPoint> points, Pixel fill);

    // The same for a polygon with sub-pixel corners: the pixels whose centres lie inside, a centre
    // exactly on an edge going to the polygon on its right (below, for a horizontal edge). Every
    // edge is evaluated from its upper end whichever way the polygon runs, so two polygons sharing an
    // edge split its pixels exactly: no gap, no pixel painted twice.
    void fillPolygon(std::span<const SubPoint> points, Pixel fill);

    // fillPolygon, then the outline: every pixel that an edge (closing edge included) passes
    // through, so the polygon covers each pixel it touches and slivers thinner than a pixel between
    // neighbouring polygons that do not share vertices are painted too.
    void polygon(std::span<const IntPoint> points, Pixel fill, Pixel outline);

    // A one-pixel line from (x0, y0) to (x1, y1), both ends included.
    void line(int x0, int y0, int x1, int y1, Pixel color);

    // The outline of a circle of radius r about (cx, cy).
    void circle(int cx, int cy, int r, Pixel color);

    // The rectangle with corners (x0, y0) and (x1, y1), both included: outlined, or filled.
    void box(int x0, int y0, int x1, int y1, Pixel color, bool filled);

    // Writes the picture as a BMP file (extension .bmp) or a PNG file (any other extension). The file
    // is written to a temporary name beside it and renamed, so a failure leaves no partial file.
    // Returns false on failure.
    bool save(const std::filesystem::path& path, std::string* why = nullptr) const;

private:
    void plot(int x, int y, Pixel color) {
        if (x >= 0 && y >= 0 && x < width_ && y < height_) {
            mark(x, y, x, y);
            pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)] = color;
        }
    }
    // Grows the drawn area by a rectangle already clipped to the picture.
    void mark(int x0, int y0, int x1, int y1) {
        drawn_.x0 = std::min(drawn_.x0, x0);
        drawn_.y0 = std::min(drawn_.y0, y0);
        drawn_.x1 = std::max(drawn_.x1, x1);
        drawn_.y1 = std::max(drawn_.y1, y1);
        for (int y = y0; y <= y1; ++y) {
            markRow(y, x0, x1);
        }
    }
    // The same for one row only (the rectangle's rows must be marked too).
    void markRow(int y, int x0, int x1) {
        int& first = rowFirst_[static_cast<std::size_t>(y)];
        int& last = rowLast_[static_cast<std::size_t>(y)];
        first = std::min(first, x0);
        last = std::max(last, x1);
    }
    void span(int y, int x0, int x1, Pixel color);
    void edge(IntPoint a, IntPoint b, Pixel color);

    int width_ = 0;
    int height_ = 0;
    std::vector<Pixel> pixels_;
    Area drawn_{0, 0, -1, -1};
    std::vector<int> rowFirst_; // per row, the drawn columns (see drawnRowFirst)
    std::vector<int> rowLast_;
};

} // namespace corvane::platform
