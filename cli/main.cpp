// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "BatchTool.h"

#include "fitting/Ranks.h"
#include "platform/Interrupt.h"

#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
    // Under mpirun every process runs the same command and shares out its model evaluations; only
    // the first prints.
    corvane::fitting::ranks::start(&argc, &argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    // Ctrl-C or a scheduler's SIGTERM: long commands stop cleanly and keep what they finished.
    corvane::platform::installInterruptHandlers();
    int status = 0;
    if (corvane::fitting::ranks::root()) {
        status = corvane::cli::runBatchTool(args, std::cout, std::cerr);
    } else {
        std::ostringstream out, err;
        status = corvane::cli::runBatchTool(args, out, err);
    }
    corvane::fitting::ranks::stop();
    return status;
}
