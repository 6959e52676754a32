// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// libFuzzer target: the leading-number parse and the number formats.
#include "platform/NumberFormat.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane::platform;
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Any text reads as a finite number.
    const double v = Val(text);
    check(std::isfinite(v));
    // The shortest general form reads back to the same number to its 15 digits.
    const std::string g = GeneralNumber(v);
    const double back = Val(g);
    check(std::isfinite(back));
    check(back == v || std::fabs(back - v) <= 1e-14 * std::fabs(v) || std::fabs(v) < 1e-300);
    for (const char* pattern : {"0.####", "##.###", "#0.#", "0.######", "000", "0"}) {
        const std::string f = Format(v, pattern);
        check(!f.empty() && f.find_first_not_of("-0123456789.") == std::string::npos);
    }
    // Raw bytes as a double: every finite value formats and reads back.
    if (size >= sizeof(double)) {
        double raw = 0;
        std::memcpy(&raw, data, sizeof raw);
        const std::string r = GeneralNumber(raw);
        check(std::isfinite(Val(r)));
        (void)Format(raw, "0.####");
    }
    return 0;
}
