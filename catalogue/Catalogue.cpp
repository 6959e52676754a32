// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Catalogue.h"

#include "CatalogueText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <sstream>
#include <vector>

namespace corvane::catalogue {

namespace {

// Numbers in the file always use the point; read them without the C library's locale.
bool readNumber(const std::string& text, double& v) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    in >> v;
    return !in.fail() && in.eof() && std::isfinite(v);
}

[[noreturn]] void badRecord(int line, const std::string& why) {
    std::fprintf(stderr, "corvane: the built-in catalogue is damaged at line %d: %s\n", line, why.c_str());
    std::abort();
}

struct Table {
    std::deque<std::string> text; // names and sources; a deque never moves what it holds
    std::vector<CatalogueEntry> rows;
};

Table readTable() {
    Table t;
    std::istringstream in(kStarsCsv);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (number == 1 || line.empty()) {
            continue; // the header
        }
        std::vector<std::string> f;
        std::size_t start = 0;
        for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1) {
            f.push_back(line.substr(start, comma - start));
        }
        f.push_back(line.substr(start));
        if (f.size() != 9) {
            badRecord(number, "9 fields expected, " + std::to_string(f.size()) + " found");
        }
        double index = 0;
        double v[6];
        if (!readNumber(f[0], index) || static_cast<int>(index) != static_cast<int>(t.rows.size()) + 1) {
            badRecord(number, "the index is not " + std::to_string(t.rows.size() + 1));
        }
        for (int k = 0; k < 6; ++k) {
            if (!readNumber(f[static_cast<std::size_t>(k + 2)], v[k]) || !(v[k] > 0)) {
                badRecord(number, "field " + std::to_string(k + 3) + " is not a positive number");
            }
        }
        if (v[1] > 90 || f[1].empty() || f[8].empty()) {
            badRecord(number, "an inclination above 90 degrees, or no name or source");
        }
        t.text.push_back(f[1]);
        const char* name = t.text.back().c_str();
        t.text.push_back(f[8]);
        const char* source = t.text.back().c_str();
        t.rows.push_back({name, v[0], v[1], v[2], v[3], v[4], v[5], source});
    }
    if (static_cast<int>(t.rows.size()) != StarCount) {
        badRecord(number, std::to_string(StarCount) + " systems expected, " + std::to_string(t.rows.size()) + " found");
    }
    return t;
}

} // namespace

const char* catalogueText() { return kStarsCsv; }

std::span<const CatalogueEntry> entries() {
    static const Table table = readTable();
    return table.rows;
}

std::string sourceNote(const CatalogueEntry& e) {
    const std::string source = e.Source;
    std::string what;
    if (source == "estimated") {
        what = "typical values of its class, estimated; not a published solution";
    } else if (source == "literature-recalled") {
        what = "values recalled from published work, not checked against it; not a published solution";
    } else if (source == "placeholder") {
        what = "a placeholder pair, not a real system";
    } else if (source == "given") {
        what = "the values given with the program";
    } else {
        what = source;
    }
    return std::string(e.Name) + ": " + what;
}

int randomIndex(double u, int count) {
    const float product = static_cast<float>(u) * static_cast<float>(count);
    const int index = static_cast<int>(product) + 1;
    return index < 1 ? 1 : (index > count ? count : index);
}

} // namespace corvane::catalogue
