// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// libFuzzer target: the observed-curve reader.
#include "fitting/ObservedCurve.h"
#include "platform/NumberFormat.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

using corvane::fitting::ObservedFile;
using corvane::fitting::parseObservedText;

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

bool close(double a, double b) { return a == b || std::fabs(a - b) <= 1e-13 * std::max(std::fabs(a), std::fabs(b)); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const ObservedFile f = parseObservedText(text);
    // Counts add up and every value is a finite number.
    check(f.phases.size() == f.values.size());
    check(static_cast<int>(f.phases.size()) <= ObservedFile::MaxPoints);
    check(f.skippedLines >= 0 && f.skippedLines + static_cast<int>(f.phases.size()) <= f.lastLine);
    check(f.ok() == !f.phases.empty());
    check((f.skippedLines == 0) == (f.firstSkippedLine == 0));
    for (std::size_t k = 0; k < f.phases.size(); ++k) {
        check(std::isfinite(f.phases[k]) && std::isfinite(f.values[k]));
    }
    (void)f.problems();
    // Saved with the program's number form and read back, the same points come back.
    if (f.ok()) {
        std::string saved;
        for (std::size_t k = 0; k < f.phases.size(); ++k) {
            saved += corvane::platform::GeneralNumber(f.phases[k]) + "," + corvane::platform::GeneralNumber(f.values[k]) + "\n";
        }
        const ObservedFile back = parseObservedText(saved);
        check(back.phases.size() == f.phases.size() && back.skippedLines == 0);
        for (std::size_t k = 0; k < f.phases.size(); ++k) {
            const bool tiny = std::fabs(f.phases[k]) < 1e-300 || std::fabs(f.values[k]) < 1e-300; // subnormals
            check(tiny || (close(back.phases[k], f.phases[k]) && close(back.values[k], f.values[k])));
        }
    }
    return 0;
}
