// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// libFuzzer target: the star-parameter file reader.
#include "fitting/StarParameters.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string why;
    const auto values = corvane::fitting::parseStarParameters(text, why);
    if (!values) {
        if (why.empty()) {
            std::abort(); // a refusal always says why
        }
        return 0;
    }
    // Save then load gives the same eight values.
    std::string again;
    const auto back = corvane::fitting::parseStarParameters(corvane::fitting::formatStarParameters(*values), again);
    if (!back || *back != *values) {
        std::abort();
    }
    return 0;
}
