// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "BatchTool.h"

#include "platform/Interrupt.h"

#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // Ctrl-C or a scheduler's SIGTERM: long commands stop cleanly and keep what they finished.
    corvane::platform::installInterruptHandlers();
    return corvane::cli::runBatchTool(args, std::cout, std::cerr);
}
