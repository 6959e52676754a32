// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The one place where the drivers (grid, simplex, sampler) have their batches of parameter vectors
// evaluated: on worker threads, and over the processes of an MPI run when there is one. Values come
// back in input order on every process, each computed by one process with the same code, so a result
// never depends on how many processes or threads there were.

namespace corvane::fitting {

// f at every point: point k on process k mod size, on up to `threads` threads there; every process
// gets every value. A collective when there are several processes: every one calls it with the
// same points.
std::vector<double> evaluateEverywhere(const std::function<double(const std::vector<double>&)>& f,
                                       const std::vector<std::vector<double>>& points, int threads);

// The same for a function whose value is a vector (a fit's residuals): every process gets every
// point's vector, in input order.
std::vector<std::vector<double>> evaluateVectorsEverywhere(
    const std::function<std::vector<double>(const std::vector<double>&)>& f,
    const std::vector<std::vector<double>>& points, int threads);

// Whether item k of a shared-out list is this process's (k mod size == rank).
bool isMine(std::size_t k);

// Worker threads per process when none are asked for: the machine's cores shared among the run's
// processes on it, at least 1.
int defaultThreads();

// Doubles as bytes and back, bit for bit (for gathering them from the processes).
std::string packDoubles(const std::vector<double>& values);
std::vector<double> unpackDoubles(const std::string& bytes);

} // namespace corvane::fitting
