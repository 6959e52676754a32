// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "StarParameters.h"

#include "platform/NumberFormat.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace corvane::fitting {

namespace {

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) {
        return {};
    }
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool isNumber(const std::string& t) {
    if (t.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const double v = platform::strtodC(t.c_str(), &end);
    return end == t.c_str() + t.size() && errno != ERANGE && std::isfinite(v);
}

} // namespace

std::string formatStarParameters(const StarParameters& texts) {
    std::string out = std::string(StarParametersHeader) + "\n";
    for (std::size_t k = 0; k < texts.size(); ++k) {
        out += (k == 0 ? "" : ",") + trim(texts[k]);
    }
    return out + "\n";
}

std::optional<StarParameters> parseStarParameters(const std::string& text, std::string& why) {
    // Fields are separated by commas and line ends alike, as a sequential reader takes them.
    std::vector<std::string> fields;
    std::string current;
    const std::string_view body = std::string_view(text).substr(text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0);
    for (char c : body) {
        if (c == ',' || c == '\n' || c == '\r') { // any line end: LF, CR LF or CR
            fields.push_back(trim(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!trim(current).empty()) {
        fields.push_back(trim(current));
    }
    std::vector<std::string> values;
    for (std::size_t k = 8; k < fields.size() && values.size() < 8; ++k) {
        if (!fields[k].empty()) {
            values.push_back(fields[k]);
        }
    }
    if (fields.size() < 8 || values.size() < 8) {
        why = "it does not hold a header and eight values (q, i, r1, r2, T1, T2, w1, w2)";
        return std::nullopt;
    }
    StarParameters out;
    const char* names[] = {"q", "i", "r1", "r2", "T1", "T2", "w1", "w2"};
    for (std::size_t k = 0; k < 8; ++k) {
        if (!isNumber(values[k])) {
            why = std::string("its value for ") + names[k] + " (\"" + values[k] + "\") is not a number";
            return std::nullopt;
        }
        out[k] = values[k];
    }
    return out;
}

} // namespace corvane::fitting
