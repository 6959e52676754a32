// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "ObservedCurve.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

namespace corvane::fitting {

namespace {

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) {
        return {};
    }
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// A whole field as a finite number.
bool number(const std::string& field, double& out) {
    const std::string t = trim(field);
    if (t.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    out = std::strtod(t.c_str(), &end);
    return end == t.c_str() + t.size() && errno != ERANGE && std::isfinite(out);
}

} // namespace

std::string ObservedFile::problems() const {
    std::string text;
    if (skippedLines > 0) {
        text += std::to_string(skippedLines) + (skippedLines == 1 ? " line was" : " lines were") +
                " skipped because they do not hold two numbers (the first is line " +
                std::to_string(firstSkippedLine) + ").";
    }
    if (truncated) {
        text += std::string(text.empty() ? "" : " ") + "The file holds more than " + std::to_string(MaxPoints) +
                " points; only the first " + std::to_string(MaxPoints) + " were loaded.";
    }
    return text;
}

ObservedFile parseObservedText(const std::string& text) {
    ObservedFile f;
    if (text.find('\0') != std::string::npos) {
        f.error = "it is not a text file";
        return f;
    }
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (trim(line).empty()) {
            continue;
        }
        const auto comma = line.find(',');
        double phase = 0;
        double value = 0;
        bool good = comma != std::string::npos && number(line.substr(0, comma), phase);
        if (good) {
            const auto next = line.find(',', comma + 1);
            good = number(line.substr(comma + 1, next == std::string::npos ? std::string::npos : next - comma - 1), value);
        }
        if (!good) {
            if (f.skippedLines++ == 0) {
                f.firstSkippedLine = lineNumber;
            }
            continue;
        }
        if (static_cast<int>(f.phases.size()) == ObservedFile::MaxPoints) {
            f.truncated = true;
            break;
        }
        f.phases.push_back(phase);
        f.values.push_back(value);
    }
    if (f.phases.empty()) {
        f.error = f.skippedLines > 0 ? "no line of it holds two numbers (phase, value)" : "it is empty";
    }
    return f;
}

ObservedFile readObservedFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        ObservedFile f;
        f.error = "it does not exist";
        return f;
    }
    if (std::filesystem::is_directory(path, ec)) {
        ObservedFile f;
        f.error = "it is a folder";
        return f;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ObservedFile f;
        f.error = std::string("it cannot be read (") + std::strerror(errno) + ")";
        return f;
    }
    // Observed curves are small; anything beyond 16 MB is not one.
    constexpr std::size_t limit = 16u << 20;
    std::string text;
    text.resize(limit + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > limit) {
        text.resize(limit);
        text.erase(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n'));
    }
    return parseObservedText(text);
}

} // namespace corvane::fitting
