// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// Built without MPI: always one process.
#include "Ranks.h"

namespace corvane::fitting::ranks {

void start(int*, char***) {}
void stop() {}
bool joined() { return false; }
int rank() { return 0; }
int size() { return 1; }
bool root() { return true; }
int localSize() { return 1; }
std::vector<std::string> allGather(const std::string& mine) { return {mine}; }
bool anyTrue(bool mine) { return mine; }
bool available() { return false; }

} // namespace corvane::fitting::ranks
