// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "platform/Plot.h"

#include <filesystem>
#include <string>

class QPainter;

namespace corvane::platform {

// Paints the plot into a width x height area of the painter: background, each panel's frame, ticks
// and numbers, the axis labels, the series (clipped to their panel), error bars, the marker and the
// legend along the top.
void paintPlot(QPainter& painter, const PlotDescription& d, int width, int height);

// Writes the plot as PNG or SVG (chosen by the file's extension, any case) of width x height pixels,
// whole or not at all. Returns why it could not, or an empty text. Works without a window: a
// headless graphics session is started when the program has none.
std::string savePlot(const PlotDescription& d, const std::filesystem::path& file, int width, int height);

// The same SVG as text (for tests and for the clipboard).
std::string plotSvg(const PlotDescription& d, int width, int height);

// The same for a figure of plots: each cell's plot painted into its share of the area.
void paintFigure(QPainter& painter, const PlotFigure& f, int width, int height);
std::string saveFigure(const PlotFigure& f, const std::filesystem::path& file, int width, int height);
std::string figureSvg(const PlotFigure& f, int width, int height);

} // namespace corvane::platform
