// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "NumberFormat.h"

#include <cerrno>
#include <cfloat>
#include <charconv>
#include <clocale>
#include <locale.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace corvane::platform {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal digits of |value| to 15 significant figures: digits "d1d2...d15" with the decimal
// exponent of d1 (value = 0.d1d2... * 10^(exp10 + 1)).
struct Decimal {
    std::string digits; // no leading zeros unless the value is 0
    int exp10 = 0;      // power of ten of the first digit
};

Decimal toDecimal(double value) {
    Decimal d;
    char buf[64] = {};
    // to_chars never looks at the locale (printf's "%e" would write a decimal comma under some).
    const auto res = std::to_chars(buf, buf + sizeof buf - 1, std::fabs(value), std::chars_format::scientific, 14);
    *res.ptr = '\0';
    // buf looks like "d.dddddddddddddde+XX"
    std::string_view s(buf);
    const auto e = s.find('e');
    d.digits.push_back(s[0]);
    for (std::size_t i = 2; i < e; ++i) {
        d.digits.push_back(s[i]);
    }
    d.exp10 = std::atoi(buf + e + 1);
    return d;
}

// The "C" locale, made once and shared by every thread (it is never changed).
locale_t cLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

} // namespace

double strtodC(const char* text, char** end) {
    if (const locale_t c = cLocale()) {
        return strtod_l(text, end, c);
    }
    return std::strtod(text, end);
}

double Val(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    std::string num;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        num.push_back(text[i]);
        ++i;
    }
    bool anyDigit = false;
    while (i < n && isDigit(text[i])) {
        num.push_back(text[i++]);
        anyDigit = true;
    }
    if (i < n && text[i] == '.') {
        num.push_back('.');
        ++i;
        while (i < n && isDigit(text[i])) {
            num.push_back(text[i++]);
            anyDigit = true;
        }
    }
    if (!anyDigit) {
        return 0.0;
    }
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < n && (text[j] == '+' || text[j] == '-')) {
            exponent.push_back(text[j++]);
        }
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j])) {
                exponent.push_back(text[j++]);
            }
            num += exponent;
        }
    }
    errno = 0;
    double v = strtodC(num.c_str(), nullptr);
    if (std::isinf(v)) {
        v = std::signbit(v) ? -DBL_MAX : DBL_MAX;
    }
    if (std::isnan(v)) {
        v = 0.0;
    }
    return v;
}

std::string Format(double value, std::string_view pattern) {
    if (!std::isfinite(value)) {
        value = 0.0;
    }
    const auto dot = pattern.find('.');
    const std::string_view intPart = pattern.substr(0, dot);
    const std::string_view fracPart = dot == std::string_view::npos ? std::string_view{} : pattern.substr(dot + 1);
    int intRequired = 0;
    for (char c : intPart) {
        intRequired += c == '0';
    }
    int fracRequired = 0;
    int fracTotal = 0;
    for (char c : fracPart) {
        if (c == '0' || c == '#') {
            ++fracTotal;
            // Required decimals are the leading zeros of the fraction pattern.
            if (c == '0' && fracRequired == fracTotal - 1) {
                ++fracRequired;
            }
        }
    }

    // Digits of |value| as an integer count of 10^-fracTotal units, rounded half away from zero.
    std::string units; // decimal digits, most significant first
    if (value != 0.0) {
        const Decimal d = toDecimal(value);
        // Position of the rounding cut: number of digits kept = exp10 + 1 + fracTotal.
        const int keep = d.exp10 + 1 + fracTotal;
        if (keep >= 0) {
            std::string kept;
            for (int k = 0; k < keep; ++k) {
                kept.push_back(k < static_cast<int>(d.digits.size()) ? d.digits[static_cast<std::size_t>(k)] : '0');
            }
            const bool roundUp = keep < static_cast<int>(d.digits.size()) && d.digits[static_cast<std::size_t>(keep)] >= '5';
            if (roundUp) {
                int k = static_cast<int>(kept.size()) - 1;
                while (k >= 0 && kept[static_cast<std::size_t>(k)] == '9') {
                    kept[static_cast<std::size_t>(k)] = '0';
                    --k;
                }
                if (k >= 0) {
                    ++kept[static_cast<std::size_t>(k)];
                } else {
                    kept.insert(kept.begin(), '1');
                }
            }
            units = kept;
        }
    }
    // Strip leading zeros.
    std::size_t firstNonZero = units.find_first_not_of('0');
    units = firstNonZero == std::string::npos ? std::string{} : units.substr(firstNonZero);
    const bool isZero = units.empty();

    // Split into integer and fraction digits.
    while (static_cast<int>(units.size()) < fracTotal) {
        units.insert(units.begin(), '0');
    }
    std::string intDigits = units.substr(0, units.size() - static_cast<std::size_t>(fracTotal));
    std::string fracDigits = units.substr(units.size() - static_cast<std::size_t>(fracTotal));
    while (static_cast<int>(fracDigits.size()) > fracRequired && !fracDigits.empty() && fracDigits.back() == '0') {
        fracDigits.pop_back();
    }
    while (static_cast<int>(intDigits.size()) < intRequired) {
        intDigits.insert(intDigits.begin(), '0');
    }

    std::string out;
    if (value < 0 && !isZero) {
        out.push_back('-');
    }
    out += intDigits;
    if (dot != std::string_view::npos) {
        out.push_back('.');
        out += fracDigits;
    }
    return out;
}

std::string GeneralNumber(double value) {
    if (!std::isfinite(value) || value == 0.0) {
        return "0";
    }
    const Decimal d = toDecimal(value);
    std::string digits = d.digits;
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    std::string out = value < 0 ? "-" : "";
    const int e = d.exp10;
    if (e >= 15 || e < -4) {
        out.push_back(digits[0]);
        if (digits.size() > 1) {
            out.push_back('.');
            out += digits.substr(1);
        }
        char buf[16];
        std::snprintf(buf, sizeof buf, "E%c%02d", e < 0 ? '-' : '+', e < 0 ? -e : e);
        out += buf;
        return out;
    }
    if (e < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-e - 1), '0');
        out += digits;
        return out;
    }
    const auto intCount = static_cast<std::size_t>(e + 1);
    if (digits.size() <= intCount) {
        out += digits;
        out.append(intCount - digits.size(), '0');
    } else {
        out += digits.substr(0, intCount);
        out.push_back('.');
        out += digits.substr(intCount);
    }
    return out;
}

} // namespace corvane::platform
