// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "ObservedCurve.h"

#include "platform/NumberFormat.h"
#include "platform/TextFile.h"

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
    out = platform::strtodC(t.c_str(), &end);
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
    if (cutAtBytes > 0) {
        text += std::string(text.empty() ? "" : " ") + "The file is larger than " + std::to_string(cutAtBytes >> 20) +
                " MB; it was read up to line " + std::to_string(cutAtLine) + " and the rest was left out.";
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
    // A byte-order mark is not part of the first record.
    std::string_view body(text);
    if (body.substr(0, 3) == "\xEF\xBB\xBF") {
        body.remove_prefix(3);
    }
    std::string line;
    int lineNumber = 0;
    std::size_t pos = 0;
    while (pos < body.size()) {
        // Lines end in LF, CR LF or a lone CR (old Mac files).
        std::size_t end = body.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            end = body.size();
        }
        line.assign(body.substr(pos, end - pos));
        pos = end;
        if (pos < body.size() && body[pos] == '\r') {
            ++pos;
            if (pos < body.size() && body[pos] == '\n') {
                ++pos;
            }
        } else if (pos < body.size() && body[pos] == '\n') {
            ++pos;
        }
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
    f.lastLine = lineNumber;
    if (f.phases.empty()) {
        f.error = f.skippedLines > 0 ? "no line of it holds two numbers (phase, value)" : "it is empty";
    }
    return f;
}

ObservedFile readObservedFile(const std::filesystem::path& path) {
    // A pipe or a device would block or never end: only plain files are read.
    if (const std::string problem = platform::regularFileProblem(path); !problem.empty()) {
        ObservedFile f;
        f.error = problem;
        return f;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ObservedFile f;
        f.error = std::string("it cannot be read (") + std::strerror(errno) + ")";
        return f;
    }
    // Observed curves are small; anything beyond 16 MB is not one. Say so when a file is cut.
    constexpr std::size_t limit = 16u << 20;
    std::string text;
    text.resize(limit + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    bool cut = false;
    if (text.size() > limit) {
        text.resize(limit);
        const auto lastEnd = text.find_last_of("\r\n");
        text.erase(lastEnd == std::string::npos ? 0 : lastEnd);
        cut = true;
    }
    ObservedFile f = parseObservedText(text);
    if (cut) {
        f.cutAtBytes = limit;
        f.cutAtLine = f.lastLine;
        if (f.ok() || f.error == "it is empty") {
            f.error.clear();
        }
    }
    return f;
}

} // namespace corvane::fitting
