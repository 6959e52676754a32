// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Canvas.h"

#include "TextFile.h"

#include <QBuffer>
#include <QByteArray>

#include <QImage>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace corvane::platform {

void Canvas::resize(int width, int height) {
    width_ = std::max(1, width);
    height_ = std::max(1, height);
    pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0u);
    drawn_ = {width_, height_, -1, -1};
    rowFirst_.assign(static_cast<std::size_t>(height_), width_);
    rowLast_.assign(static_cast<std::size_t>(height_), -1);
}

void Canvas::clear() {
    if (!drawn_.empty()) {
        for (int y = drawn_.y0; y <= drawn_.y1; ++y) {
            int& first = rowFirst_[static_cast<std::size_t>(y)];
            int& last = rowLast_[static_cast<std::size_t>(y)];
            if (first <= last) {
                Pixel* row = pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
                std::fill(row + first, row + last + 1, 0u);
            }
            first = width_;
            last = -1;
        }
    }
    drawn_ = {width_, height_, -1, -1};
}

void Canvas::span(int y, int x0, int x1, Pixel color) {
    x0 = std::max(x0, 0);
    x1 = std::min(x1, width_ - 1);
    if (y < 0 || y >= height_ || x0 > x1) {
        return;
    }
    mark(x0, y, x1, y);
    Pixel* row = pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
    std::fill(row + x0, row + x1 + 1, color);
}

void Canvas::polygon(std::span<const IntPoint> points, Pixel fill, Pixel outline) {
    fillPolygon(points, fill);
    const std::size_t n = std::min(points.size(), MaxPolygonPoints);
    for (std::size_t i = 0; i < n; ++i) {
        edge(points[i], points[(i + 1) % n], outline);
    }
}

namespace {

// floor and ceil for finite values well inside the range of long long (every coordinate here is),
// without a call into the maths library.
inline long long floorLL(double v) {
    const auto t = static_cast<long long>(v);
    return t > v ? t - 1 : t;
}
// Adds x to the first count crossings of a row, kept sorted (there are only a handful).
template <std::size_t N>
inline void insertSorted(std::array<double, N>& xs, std::size_t& count, double x) {
    std::size_t k = count++;
    while (k > 0 && xs[k - 1] > x) {
        xs[k] = xs[k - 1];
        --k;
    }
    xs[k] = x;
}

inline long long ceilLL(double v) {
    const auto t = static_cast<long long>(v);
    return t < v ? t + 1 : t;
}

} // namespace

void Canvas::edge(IntPoint a, IntPoint b, Pixel color) {
    // Walk the major axis one pixel at a time; in each step plot every pixel of the minor axis whose
    // square the segment crosses within that column (or row). Far-off parts are skipped by clipping
    // the walk to the picture.
    const double dx = static_cast<double>(b.x) - a.x;
    const double dy = static_cast<double>(b.y) - a.y;
    {
        // Everything this edge paints lies within a pixel of its end points' box.
        const int bx0 = std::max(std::min(a.x, b.x) - 1, 0);
        const int by0 = std::max(std::min(a.y, b.y) - 1, 0);
        const int bx1 = std::min(std::max(a.x, b.x) + 1, width_ - 1);
        const int by1 = std::min(std::max(a.y, b.y) + 1, height_ - 1);
        if (bx0 <= bx1 && by0 <= by1) {
            mark(bx0, by0, bx1, by1);
        }
    }
    Pixel* const data = pixels_.data();
    const auto stride = static_cast<std::size_t>(width_);
    if (std::fabs(dx) >= std::fabs(dy)) {
        if (a.x > b.x) {
            std::swap(a, b);
        }
        if (dx == 0) {
            plot(a.x, a.y, color);
            return;
        }
        const double slope = (static_cast<double>(b.y) - a.y) / (static_cast<double>(b.x) - a.x);
        const long long xStart = std::max<long long>(a.x, 0);
        const long long xEnd = std::min<long long>(b.x, width_ - 1);
        const double ax = a.x;
        const double ay = a.y;
        const double bx = b.x;
        const long long yMax = height_ - 1;
        auto column = [&](long long x, double lo, double hi) {
            double y0 = ay + (lo - ax) * slope;
            double y1 = ay + (hi - ax) * slope;
            if (y0 > y1) {
                std::swap(y0, y1);
            }
            const long long first = std::max<long long>(floorLL(y0 - 0.5) + 1, 0);
            const long long last = std::min<long long>(ceilLL(y1 + 0.5) - 1, yMax);
            Pixel* p = data + static_cast<std::size_t>(x);
            for (long long y = first; y <= last; ++y) {
                p[static_cast<std::size_t>(y) * stride] = color;
            }
        };
        // The end columns are cut by the segment's ends; every column between spans a whole pixel.
        for (long long x = xStart; x <= xEnd; ++x) {
            const double xd = static_cast<double>(x);
            if (x == a.x || x == b.x) {
                column(x, std::max(xd - 0.5, ax), std::min(xd + 0.5, bx));
            } else {
                column(x, xd - 0.5, xd + 0.5);
            }
        }
    } else {
        if (a.y > b.y) {
            std::swap(a, b);
        }
        const double slope = (static_cast<double>(b.x) - a.x) / (static_cast<double>(b.y) - a.y);
        const long long yStart = std::max<long long>(a.y, 0);
        const long long yEnd = std::min<long long>(b.y, height_ - 1);
        const double ax = a.x;
        const double ay = a.y;
        const double by = b.y;
        const long long xMax = width_ - 1;
        for (long long y = yStart; y <= yEnd; ++y) {
            const double yd = static_cast<double>(y);
            const bool end = y == a.y || y == b.y;
            const double lo = end ? std::max(yd - 0.5, ay) : yd - 0.5;
            const double hi = end ? std::min(yd + 0.5, by) : yd + 0.5;
            double x0 = ax + (lo - ay) * slope;
            double x1 = ax + (hi - ay) * slope;
            if (x0 > x1) {
                std::swap(x0, x1);
            }
            const long long first = std::max<long long>(floorLL(x0 - 0.5) + 1, 0);
            const long long last = std::min<long long>(ceilLL(x1 + 0.5) - 1, xMax);
            Pixel* row = data + static_cast<std::size_t>(y) * stride;
            for (long long x = first; x <= last; ++x) {
                row[x] = color;
            }
        }
    }
}

void Canvas::fillPolygon(std::span<const IntPoint> points, Pixel fill) {
    const std::size_t n = std::min(points.size(), MaxPolygonPoints);
    if (n == 0) {
        return;
    }
    // The non-horizontal edges, each with the rows it crosses: [yLow, yHigh).
    struct Edge {
        IntPoint a, b;
        int yLow, yHigh;
    };
    std::array<Edge, MaxPolygonPoints> edges;
    std::size_t edgeCount = 0;
    int minY = points[0].y;
    int maxY = points[0].y;
    for (std::size_t i = 0; i < n; ++i) {
        const IntPoint a = points[i];
        const IntPoint b = points[(i + 1) % n];
        minY = std::min(minY, a.y);
        maxY = std::max(maxY, a.y);
        if (a.y != b.y) {
            edges[edgeCount++] = {a, b, std::min(a.y, b.y), std::max(a.y, b.y)};
        }
    }
    const int yStart = std::max(minY, 0);
    const int yEnd = std::min(maxY, height_ - 1);

    std::array<double, MaxPolygonPoints> xs{};
    for (int y = yStart; y <= yEnd; ++y) {
        const double yc = y;
        std::size_t count = 0;
        for (std::size_t e = 0; e < edgeCount; ++e) {
            const Edge& edge = edges[e];
            if (y >= edge.yLow && y < edge.yHigh) {
                const double ya = edge.a.y;
                insertSorted(xs, count, edge.a.x + (yc - ya) * (static_cast<double>(edge.b.x) - edge.a.x) / (edge.b.y - ya));
            }
        }
        for (std::size_t k = 0; k + 1 < count; k += 2) {
            // Pixel x is inside when its centre x lies in [left, right).
            const long long left = std::max<long long>(ceilLL(xs[k]), 0);
            const long long right = std::min<long long>(ceilLL(xs[k + 1]) - 1, width_ - 1);
            if (left <= right) {
                span(y, static_cast<int>(left), static_cast<int>(right), fill);
            }
        }
    }
}

namespace {

// A non-horizontal polygon edge evaluated from its upper end (ties: the smaller x first), with the
// pixel rows whose centres it spans: first <= y < end. Both polygons that share an edge build the
// same one, so they compute the same crossings bit for bit.
struct SubEdge {
    double x0, y0, slope;
    int first, end;
    double x(int row) const { return (x0 + (static_cast<double>(row) * SubPixel - y0) * slope) * (1.0 / SubPixel); }
};

int ceilDivSub(long long v) { // ceil(v / SubPixel) for any sign
    return static_cast<int>(v >= 0 ? (v + SubPixel - 1) / SubPixel : -((-v) / SubPixel));
}

// False for a horizontal edge or one that spans no row of a picture `height` high.
bool makeSubEdge(SubPoint a, SubPoint b, int height, SubEdge& out) {
    if (a.y == b.y) {
        return false;
    }
    if (b.y < a.y) {
        std::swap(a, b);
    }
    out.first = std::max(ceilDivSub(a.y), 0);
    out.end = std::min(ceilDivSub(b.y), height);
    out.x0 = a.x;
    out.y0 = a.y;
    out.slope = static_cast<double>(b.x - a.x) / static_cast<double>(b.y - a.y);
    return out.first < out.end;
}

} // namespace

void Canvas::fillPolygon(std::span<const SubPoint> points, Pixel fill) {
    const std::size_t n = std::min(points.size(), MaxPolygonPoints);
    if (n < 3) {
        return;
    }
    // Convex (every turn the same way, straight runs allowed): two chains from the top vertex to the
    // bottom one, each row between their crossings. Any other shape: every crossing, even-odd.
    int turn = 0;
    bool convex = true;
    std::size_t top = 0;
    std::size_t bottom = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const SubPoint a = points[i];
        if (convex) {
            const SubPoint b = points[(i + 1) % n];
            const SubPoint c = points[(i + 2) % n];
            const long long cross =
                static_cast<long long>(b.x - a.x) * (c.y - b.y) - static_cast<long long>(b.y - a.y) * (c.x - b.x);
            if (cross != 0) {
                const int t = cross > 0 ? 1 : -1;
                convex = turn == 0 || t == turn;
                turn = t;
            }
        }
        // Over every vertex, whatever the shape: the drawn area is marked from these.
        if (a.y < points[top].y) {
            top = i;
        }
        if (a.y > points[bottom].y) {
            bottom = i;
        }
    }
    const long long widthLast = width_ - 1;
    auto paintRow = [&](int y, double xa, double xb) {
        if (xb < xa) {
            std::swap(xa, xb);
        }
        // Pixel x is inside when its centre lies in [left, right).
        const long long left = std::max<long long>(ceilLL(xa), 0);
        const long long right = std::min<long long>(ceilLL(xb) - 1, widthLast);
        if (left <= right) {
            markRow(y, static_cast<int>(left), static_cast<int>(right));
            Pixel* row = pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
            std::fill(row + left, row + right + 1, fill);
        }
    };
    // Everything painted lies in the vertices' box.
    {
        int x0 = points[0].x, x1 = points[0].x;
        for (std::size_t i = 1; i < n; ++i) {
            x0 = std::min(x0, points[i].x);
            x1 = std::max(x1, points[i].x);
        }
        const int rx0 = std::max(ceilDivSub(x0), 0);
        const int rx1 = std::min(ceilDivSub(x1), width_ - 1);
        const int ry0 = std::max(ceilDivSub(points[top].y), 0);
        const int ry1 = std::min(ceilDivSub(points[bottom].y), height_ - 1);
        if (rx0 > rx1 || ry0 > ry1) {
            return;
        }
        // The rectangle for the area; each row's columns as it is painted.
        drawn_.x0 = std::min(drawn_.x0, rx0);
        drawn_.y0 = std::min(drawn_.y0, ry0);
        drawn_.x1 = std::max(drawn_.x1, rx1);
        drawn_.y1 = std::max(drawn_.y1, ry1);
    }

    if (convex && turn != 0) {
        // The two chains, each as its edges in order down the picture.
        std::array<SubEdge, MaxPolygonPoints> chainA;
        std::array<SubEdge, MaxPolygonPoints> chainB;
        std::size_t countA = 0;
        std::size_t countB = 0;
        for (std::size_t i = top; i != bottom; i = (i + 1) % n) {
            if (makeSubEdge(points[i], points[(i + 1) % n], height_, chainA[countA])) {
                ++countA;
            }
        }
        for (std::size_t i = top; i != bottom; i = (i + n - 1) % n) {
            if (makeSubEdge(points[i], points[(i + n - 1) % n], height_, chainB[countB])) {
                ++countB;
            }
        }
        if (countA == 0 || countB == 0) {
            return;
        }
        std::size_t ea = 0;
        std::size_t eb = 0;
        const int rowFirst = std::max(chainA[0].first, chainB[0].first);
        const int rowEnd = std::min(chainA[countA - 1].end, chainB[countB - 1].end);
        for (int y = rowFirst; y < rowEnd; ++y) {
            while (ea + 1 < countA && y >= chainA[ea].end) {
                ++ea;
            }
            while (eb + 1 < countB && y >= chainB[eb].end) {
                ++eb;
            }
            paintRow(y, chainA[ea].x(y), chainB[eb].x(y));
        }
        return;
    }

    std::array<SubEdge, MaxPolygonPoints> edges;
    std::size_t edgeCount = 0;
    int rowFirst = height_;
    int rowEnd = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (makeSubEdge(points[i], points[(i + 1) % n], height_, edges[edgeCount])) {
            rowFirst = std::min(rowFirst, edges[edgeCount].first);
            rowEnd = std::max(rowEnd, edges[edgeCount].end);
            ++edgeCount;
        }
    }
    std::array<double, MaxPolygonPoints> xs{};
    for (int y = rowFirst; y < rowEnd; ++y) {
        std::size_t count = 0;
        for (std::size_t e = 0; e < edgeCount; ++e) {
            if (y >= edges[e].first && y < edges[e].end) {
                insertSorted(xs, count, edges[e].x(y));
            }
        }
        for (std::size_t k = 0; k + 1 < count; k += 2) {
            paintRow(y, xs[k], xs[k + 1]);
        }
    }
}

void Canvas::line(int x0, int y0, int x1, int y1, Pixel color) {
    // Clip to the picture (Liang-Barsky) so that far-off ends cost nothing.
    const auto inside = [&](int x, int y) { return x >= 0 && y >= 0 && x < width_ && y < height_; };
    if (!inside(x0, y0) || !inside(x1, y1)) {
        double t0 = 0.0;
        double t1 = 1.0;
        const double dx = static_cast<double>(x1) - x0;
        const double dy = static_cast<double>(y1) - y0;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {static_cast<double>(x0), width_ - 1.0 - x0, static_cast<double>(y0), height_ - 1.0 - y0};
        for (int k = 0; k < 4; ++k) {
            if (p[k] == 0.0) {
                if (q[k] < 0.0) {
                    return;
                }
            } else {
                const double t = q[k] / p[k];
                if (p[k] < 0.0) {
                    t0 = std::max(t0, t);
                } else {
                    t1 = std::min(t1, t);
                }
            }
        }
        if (t0 > t1) {
            return;
        }
        const double ax = x0 + t0 * dx;
        const double ay = y0 + t0 * dy;
        const double bx = x0 + t1 * dx;
        const double by = y0 + t1 * dy;
        x0 = static_cast<int>(std::lround(ax));
        y0 = static_cast<int>(std::lround(ay));
        x1 = static_cast<int>(std::lround(bx));
        y1 = static_cast<int>(std::lround(by));
    }
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        plot(x0, y0, color);
        if (x0 == x1 && y0 == y1) {
            break;
        }
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void Canvas::circle(int cx, int cy, int r, Pixel color) {
    if (r <= 0) {
        plot(cx, cy, color);
        return;
    }
    if (static_cast<long long>(cx) + r < 0 || static_cast<long long>(cx) - r >= width_ ||
        static_cast<long long>(cy) + r < 0 || static_cast<long long>(cy) - r >= height_) {
        return;
    }
    int x = r;
    int y = 0;
    int err = 1 - r;
    while (x >= y) {
        plot(cx + x, cy + y, color);
        plot(cx + y, cy + x, color);
        plot(cx - y, cy + x, color);
        plot(cx - x, cy + y, color);
        plot(cx - x, cy - y, color);
        plot(cx - y, cy - x, color);
        plot(cx + y, cy - x, color);
        plot(cx + x, cy - y, color);
        ++y;
        if (err < 0) {
            err += 2 * y + 1;
        } else {
            --x;
            err += 2 * (y - x) + 1;
        }
    }
}

void Canvas::box(int x0, int y0, int x1, int y1, Pixel color, bool filled) {
    if (x0 > x1) {
        std::swap(x0, x1);
    }
    if (y0 > y1) {
        std::swap(y0, y1);
    }
    if (filled) {
        for (int y = std::max(y0, 0); y <= std::min(y1, height_ - 1); ++y) {
            span(y, x0, x1, color);
        }
        return;
    }
    line(x0, y0, x1, y0, color);
    line(x1, y0, x1, y1, color);
    line(x1, y1, x0, y1, color);
    line(x0, y1, x0, y0, color);
}

bool Canvas::save(const std::filesystem::path& path, std::string* why) const {
    QImage image(width_, height_, QImage::Format_RGB32);
    for (int y = 0; y < height_; ++y) {
        auto* row = reinterpret_cast<Pixel*>(image.scanLine(y));
        const Pixel* src = pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        for (int x = 0; x < width_; ++x) {
            row[x] = src[x] | 0xFF000000u;
        }
    }
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const char* format = ext == ".bmp" ? "BMP" : "PNG";
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format)) {
        if (why != nullptr) {
            *why = "the picture could not be encoded";
        }
        return false;
    }
    const std::string problem =
        writeFileWhole(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (why != nullptr) {
        *why = problem;
    }
    return problem.empty();
}

} // namespace corvane::platform
