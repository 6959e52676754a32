// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "fitting/Ensemble.h"
#include "platform/Plot.h"

// The corner plot of a chain: for n parameters an n x n grid whose diagonal holds each parameter's
// histogram (median and the 16th and 84th percentiles marked) and whose lower triangle holds the
// samples of every pair, so that correlations show as tilted clouds.

namespace corvane::fitting {

// The steps from `burn` on, every walker; at most about 3000 samples drawn per pair (the chain
// thinned evenly). Each axis spans the middle 99 % of its parameter's samples.
platform::PlotFigure cornerPlot(const Chain& chain, int burn);

// A square side in pixels that gives each of n parameters a readable cell.
int cornerSide(std::size_t parameters);

} // namespace corvane::fitting
