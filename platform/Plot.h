// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "platform/Canvas.h"

#include <string>
#include <vector>

// A plot described without drawing it: panels stacked top to bottom sharing one x axis, each with its
// own y axis, series of points (optionally joined, optionally with error bars) and a legend. The
// window paints it on the screen and the batch tool writes it to PNG or SVG from the same
// description (PlotPainter.h), so both show the same thing.

namespace corvane::platform {

struct PlotAxis {
    double min = 0, max = 1;            // the span shown; min < max
    bool inverted = false;              // larger values drawn lower (magnitudes)
    std::vector<double> ticks;          // tick positions, inside [min, max]
    std::vector<std::string> tickText;  // their labels (same length), or empty for none
    std::string label;
};

struct PlotSeries {
    enum class Style { Dots, Boxes, Line, DotsJoined };
    std::string name; // the legend's text; empty for no legend entry
    Pixel color = 0xFFFFFF;
    Style style = Style::Dots;
    std::vector<double> x, y;
    std::vector<double> error; // one per point for error bars, or empty
    // Joined styles break the line where x goes back or consecutive x differ by more than this.
    double maxGap = 0.1;
};

// A map of values over a regular grid of cells (an error surface): cell (row, col) is centred on
// (x0 + col dx, y0 + row dy); NaN cells are left empty. Colours run from dark (the smallest value)
// to bright (the largest) along a perceptual scale, shown as a bar with its two end values along the
// top; the best cell (index, or -1) is ringed.
struct PlotHeatMap {
    int rows = 0, cols = 0;
    double x0 = 0, dx = 1, y0 = 0, dy = 1;
    std::vector<double> values; // rows * cols, row-major
    int best = -1;
    std::string scaleLabel;
};

struct PlotPanel {
    PlotAxis y;
    std::vector<PlotSeries> series;
    PlotHeatMap map;        // drawn under the series when it has cells
    double share = 1;       // of the plot's height, relative to the other panels
    bool zeroLine = false;  // a grey line at y = 0
};

struct PlotDescription {
    PlotAxis x;
    std::vector<PlotPanel> panels;
    double marker = -1e300; // x of a vertical marker line (the current phase), or below x.min for none
    Pixel background = 0x000000;
    Pixel foreground = 0xFFFFFF; // axes, ticks and labels
};

// Several plots side by side on one picture (a corner plot): a rows x cols grid of equal cells, each
// holding a plot of its own axes, or nothing.
struct PlotFigure {
    struct Cell {
        int row = 0, col = 0;
        PlotDescription plot;
    };
    int rows = 1, cols = 1;
    std::vector<Cell> cells;
    Pixel background = 0x000000;
};

// Where a description lands on a picture of the given size: the rectangle (left, top, width, height,
// pixels) of each panel's data area, and the mapping between data and pixels. Margins are fixed in
// pixels, so a larger picture gives a larger data area.
struct PlotRect {
    double left = 0, top = 0, width = 0, height = 0;
};
struct PlotLayout {
    std::vector<PlotRect> panels;
    static constexpr double LeftMargin = 62, RightMargin = 12, TopMargin = 22, BottomMargin = 34, Gap = 8;
};
PlotLayout plotLayout(const PlotDescription& d, int width, int height);

// Pixel x of data x, pixel y of data y in panel p (inverted axes handled); and back.
double plotPixelX(const PlotDescription& d, const PlotLayout& l, double x);
double plotPixelY(const PlotDescription& d, const PlotLayout& l, std::size_t panel, double y);
double plotDataX(const PlotDescription& d, const PlotLayout& l, double px);
double plotDataY(const PlotDescription& d, const PlotLayout& l, std::size_t panel, double py);
// The panel under pixel (px, py), or -1 outside every data area.
int plotPanelAt(const PlotLayout& l, double px, double py);

// The colour of t in [0, 1] on the map's scale (dark blue through green to yellow).
Pixel heatColor(double t);

} // namespace corvane::platform
