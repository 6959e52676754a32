// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "fitting/GridSearch.h"
#include "platform/Plot.h"

#include <optional>
#include <vector>

namespace corvane::fitting {

// The best point of a grid search: the row with the smallest relative error.
std::optional<GridRow> bestGridRow(const std::vector<GridRow>& rows);

// The error map of a grid search: parameter #2 along the bottom, parameter #1 up the side, one cell
// per grid point coloured by its relative error (cells without one left empty, as those of a
// cancelled search), the best cell ringed, the colour scale along the top.
platform::PlotDescription gridPicture(const GridAxis& a1, const GridAxis& a2, const std::vector<GridRow>& rows);

} // namespace corvane::fitting
