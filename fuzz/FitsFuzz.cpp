// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// libFuzzer target: the FITS reader on a file of the input's bytes (headers that declare more rows
// than the file holds among the seeds). Nothing may crash, allocate without bound or hang.
#include "fitting/Observations.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using corvane::fitting::Observations;

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/corvane-fits-fuzz-" + std::to_string(::getpid()) + ".fits";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    const Observations o = corvane::fitting::readFitsObservations(path);
    check(o.x.size() == o.value.size());
    check(!o.hasErrors() || o.error.size() == o.x.size());
    check(o.ok() == !o.x.empty());
    for (std::size_t k = 0; k < o.size(); ++k) {
        check(std::isfinite(o.x[k]) && std::isfinite(o.value[k]));
    }
    // Every row read came from the file: a few bytes each at least.
    check(o.size() + static_cast<std::size_t>(o.flagged + o.skipped) <= size);
    return 0;
}
