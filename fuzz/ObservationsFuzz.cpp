// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// libFuzzer target: the observations reader, and folding, magnitudes and binning after it.
#include "fitting/Observations.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

using corvane::fitting::Abscissa;
using corvane::fitting::Observations;

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Observations o = corvane::fitting::parseObservations(text);
    check(o.x.size() == o.value.size());
    check(!o.hasErrors() || o.error.size() == o.x.size());
    check(o.ok() == !o.x.empty());
    check(o.skipped >= 0 && (o.skipped == 0) == (o.firstSkipped == 0));
    for (std::size_t k = 0; k < o.size(); ++k) {
        check(std::isfinite(o.x[k]) && std::isfinite(o.value[k]));
        check(!o.hasErrors() || o.error[k] >= 0);
    }
    if (!o.ok()) {
        return 0;
    }
    if (o.abscissa == Abscissa::Time) {
        check(corvane::fitting::fold(o, 1.2345, o.x.front()));
        for (double x : o.x) {
            check(x >= 0 && x < 1);
        }
    }
    corvane::fitting::toMagnitudes(o);
    const std::size_t before = corvane::fitting::binInPhase(o, 7);
    check(before <= 7 ? o.size() == before : o.size() <= 7);
    for (std::size_t k = 0; k < o.size(); ++k) {
        check(std::isfinite(o.value[k]));
    }
    (void)corvane::fitting::describe(o, before, 1.2345, 0);
    return 0;
}
