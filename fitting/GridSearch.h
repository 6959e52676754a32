// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace corvane::fitting {

// One swept parameter: `steps` values evenly spaced from initial to final, both included (a single
// step is the initial value alone).
struct GridAxis {
    std::string name;
    double initial = 0;
    double final = 0;
    int steps = 1;
    double value(int k) const { return steps <= 1 ? initial : initial + k * (final - initial) / (steps - 1); }
};

// The result at one grid point: the eight parameter texts in use (q, i, r1, r2, T1, T2, w1, w2), the
// latitude lines, both swept values and the relative error (or why there is none).
struct GridRow {
    std::array<std::string, 8> parameters;
    int N = 0;
    double p1 = 0;
    double p2 = 0;
    std::optional<double> error;
    std::string reason;
};

struct GridProgress {
    int done = 0;
    int total = 0;
    int rows = 0; // rows of parameter #1 finished
    int cols = 0; // points of the current row finished
    int rowCount = 0;
    int colCount = 0;
    double elapsedMinutes = 0;
    double remainingHours = 0;
};

// "3 rows of 5, 2 cols of 5, 68 percent completed. 0.4 minutes elapsed. 0.003 hours remaining (estimated)."
std::string progressText(const GridProgress& p);

// More threads than this many per core only add overhead (and may not start at all).
inline constexpr int MaxThreadsPerCore = 4;
int cores();
// The worker threads a grid of `points` points runs on for a request of `requested`: at least 1, at
// most MaxThreadsPerCore per core and one per point.
int threadCount(int requested, int points);

// Evaluates every grid point (parameter #1 along rows, parameter #2 along columns) on `threads`
// worker threads, each with its own evaluator from makeEvaluator (called once per thread, on that
// thread). Rows come back in grid order whatever the number of threads, so the result does not
// depend on it. The thread count is capped by threadCount; a thread that cannot be started leaves
// the work to those that did. progress is called after each point, from the worker threads, one
// call at a time.
// With several processes (an MPI run) each computes its share of the points (k mod size == rank)
// and every process gets every row; progress then counts this process's share.
// When cancel becomes true the workers stop after their current point and the rows computed so far
// come back (the others have no error and the reason "cancelled").
using GridEvaluator = std::function<GridRow(double p1, double p2)>;
std::vector<GridRow> runGrid(const GridAxis& a1, const GridAxis& a2, int threads,
                             const std::function<GridEvaluator()>& makeEvaluator,
                             const std::function<void(const GridProgress&)>& progress, const std::atomic<bool>& cancel);

// A row as text and back (bit for bit), for gathering the rows that other processes computed;
// unpacking reads from `at` and moves it past the row, nothing when the text is not a whole row.
std::string packGridRow(const GridRow& row);
std::optional<GridRow> unpackGridRow(const std::string& text, std::size_t& at);

// The error-surface file: the header "q,i,r1,r2,T1,T2,w1,w2,N,Parameter #1 (y),Parameter #2 (x)"
// extended by ",Relative Error", then one row per grid point in grid order with those twelve values
// (the error column empty where a point has none). Numbers in shortest general form.
std::string formatGridFile(const std::vector<GridRow>& rows);

} // namespace corvane::fitting
