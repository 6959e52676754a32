// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <functional>
#include <string>
#include <vector>

// The processes of one run. Started by an MPI launcher (mpirun, srun), every process runs the same
// command on the same inputs and they share out the model evaluations; started plainly, there is
// one process and nothing here talks to another. Without MPI support built in, every call answers as
// for one process.

namespace corvane::fitting::ranks {

// Joins the launcher's run when the environment says there is one (before anything else is done);
// a plain start stays a single process and never initialises MPI. Safe to call once.
void start(int* argc, char*** argv);
// Leaves the run (at the end of main). Harmless when start joined nothing.
void stop();

// True when start joined a run of MPI processes (even a run of one).
bool joined();
int rank();      // 0 .. size() - 1
int size();      // processes in the run
bool root();     // rank 0: the one that prints and writes files
int localSize(); // processes of the run on this machine (to share its cores)

// Every process's text, in rank order, on every process (a collective: every rank calls it).
std::vector<std::string> allGather(const std::string& mine);
// True on every process when any process passes true (a collective).
bool anyTrue(bool mine);

// Whether MPI support was built in.
bool available();

} // namespace corvane::fitting::ranks
