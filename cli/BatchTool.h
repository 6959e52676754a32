// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace corvane::cli {

// Runs the batch tool with the given arguments (without the program name), writing results to out
// and errors to err. Returns the exit status: 0 done, 1 failed, 2 bad command line.
int runBatchTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace corvane::cli
