// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "TimingCommands.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace corvane::app {
class CorvaneForm;
}

namespace corvane::cli {

// --free "NAME,NAME,...": the names, trimmed; 2 (with the message) for an unknown name or none.
int parseFreeList(const std::string& text, std::vector<std::string>& names, std::ostream& err);

struct PosteriorOptions {
    int walkers = 32;
    int steps = 2000;
    int burn = -1; // a quarter of the steps
    std::uint64_t seed = 1;
    std::string chainFile, cornerFile;
    bool resume = false; // continue the chain in chainFile
    std::string errorScale = "free"; // each file's error scale marginalised ("free") or the errors as given ("fixed")
};

// "mcmc": the observed file loaded, the fit run, then the ensemble sampler; prints
// "NAME = MEDIAN -LOW +HIGH" per parameter and "Acceptance fraction = A", the summary on standard
// error; writes the chain and the corner plot when asked. An interrupt keeps the steps made (chain,
// summary, plot), then exits 130.
int runMcmcCommand(app::CorvaneForm& form, const std::string& observed, const std::vector<std::string>& names,
                   const PosteriorOptions& options, int threads, const PlotSize& cornerSize, bool sizeGiven,
                   std::ostream& out, std::ostream& err);

// A batch scheduler's array task: the entries of a list file (one observed file a line, with its
// period and epoch for a time series) whose line index k has k mod count == index, each fitted (or
// sampled) from the same starting boxes, the results into one file of this task's. An entry that
// fails is recorded with why and the others go on. Exit 0 when every entry of the task gave a
// result, 1 when one failed.
struct ListJob {
    std::string listFile;
    int taskIndex = 0, taskCount = 1;
    std::string resultFile; // default: fit-task-I-of-N.csv (mcmc-...) in the current folder
    bool posterior = false; // mcmc rather than fit
};
int runListCommand(const app::CorvaneForm& form, const std::vector<std::string>& names, const ListJob& job,
                   const PosteriorOptions& options, int threads, std::ostream& out, std::ostream& err);

// The list's entries: (line number, file, period text, epoch text); blank lines and # comments
// skipped. False, with why, when the file cannot be read or a line has more than three fields.
struct ListEntry {
    int line = 0;
    std::string file, period, epoch;
};
bool readList(const std::string& path, std::vector<ListEntry>& entries, std::string& why);

// "merge": the tasks' result files into one table in the list's order, on standard output or into
// outFile. Reports each failed entry by name and each task whose file is missing; exit 1 when the
// table is not whole (a task missing, files of different runs), else 0.
int runMergeCommand(const std::vector<std::string>& files, const std::string& outFile, std::ostream& out,
                    std::ostream& err);

} // namespace corvane::cli
