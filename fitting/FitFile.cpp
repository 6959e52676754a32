// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "FitFile.h"

#include "platform/NumberFormat.h"

#define TOML_HEADER_ONLY 1
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

namespace corvane::fitting {

namespace {

using platform::GeneralNumber;

// A table's entries in the order the file gives them (the table itself keeps them sorted).
std::vector<std::pair<std::string, const toml::node*>> inFileOrder(const toml::table& t) {
    std::vector<std::pair<std::string, const toml::node*>> out;
    for (auto&& [key, node] : t) {
        out.emplace_back(std::string(key.str()), &node);
    }
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
        const auto& pa = a.second->source().begin;
        const auto& pb = b.second->source().begin;
        return pa.line != pb.line ? pa.line < pb.line : pa.column < pb.column;
    });
    return out;
}

std::string where(const toml::node& node) {
    return "line " + std::to_string(node.source().begin.line);
}

std::optional<double> number(const toml::node& node) {
    if (node.is_integer() || node.is_floating_point()) {
        return node.value<double>();
    }
    return std::nullopt;
}

// [value, sigma] with sigma above 0.
bool pairOf(const toml::node& node, std::pair<double, double>& out) {
    const toml::array* a = node.as_array();
    if (a == nullptr || a->size() != 2) {
        return false;
    }
    const auto v = number(*a->get(0)), s = number(*a->get(1));
    if (!v || !s || !std::isfinite(*v) || !(*s > 0) || !std::isfinite(*s)) {
        return false;
    }
    out = {*v, *s};
    return true;
}

std::filesystem::path resolved(const std::string& file, const std::filesystem::path& folder) {
    const std::filesystem::path p(file);
    return p.is_absolute() || folder.empty() ? p : folder / p;
}

// A TOML basic string: quotes, backslashes and control characters escaped.
std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7f) {
            static const char* hex = "0123456789ABCDEF";
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// What the TOML parser is not given (its checks of these are assumptions in a release build): a NUL
// byte, a character beyond ASCII outside strings and comments, a table header that does not start
// with a key. "" when the text is clear of them, else why, with the line.
std::string unsafeText(const std::string& text) {
    int line = 1;
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto u = static_cast<unsigned char>(c);
        if (c == '\0') {
            return "a NUL byte on line " + std::to_string(line);
        }
        if (c == '\n') {
            ++line;
            lineStart = true;
            continue;
        }
        if (c == '#') { // a comment, to the end of the line
            while (i + 1 < text.size() && text[i + 1] != '\n') {
                if (text[++i] == '\0') {
                    return "a NUL byte on line " + std::to_string(line);
                }
            }
            continue;
        }
        if (c == '"' || c == '\'') { // a string, one-line or multi-line, with its escapes
            const bool multi = text.compare(i, 3, std::string(3, c)) == 0;
            const std::string close = multi ? std::string(3, c) : std::string(1, c);
            std::size_t j = i + close.size();
            while (j < text.size() && text.compare(j, close.size(), close) != 0) {
                if (text[j] == '\0') {
                    return "a NUL byte on line " + std::to_string(line);
                }
                if (c == '"' && text[j] == '\\') {
                    ++j;
                }
                if (j < text.size() && text[j] == '\n') {
                    if (!multi) {
                        break; // the parser says what is wrong
                    }
                    ++line;
                }
                ++j;
            }
            i = std::min(text.size(), j + close.size()) - 1;
            lineStart = false;
            continue;
        }
        if (u >= 0x80) {
            return "a character beyond ASCII outside a string or a comment on line " + std::to_string(line);
        }
        if (lineStart && c == '[') {
            std::size_t j = i + 1;
            if (j < text.size() && text[j] == '[') {
                ++j;
            }
            while (j < text.size() && (text[j] == ' ' || text[j] == '\t')) {
                ++j;
            }
            const char k = j < text.size() ? text[j] : '\n';
            const bool key = (k >= 'A' && k <= 'Z') || (k >= 'a' && k <= 'z') || (k >= '0' && k <= '9') || k == '_' ||
                             k == '-' || k == '"' || k == '\'';
            if (!key) {
                return "a table name that is not a key on line " + std::to_string(line);
            }
        }
        if (c != ' ' && c != '\t' && c != '\r') {
            lineStart = false;
        }
    }
    return {};
}

bool bareKey(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
}

std::string key(const std::string& s) { return bareKey(s) ? s : quoted(s); }

// A setting's text that TOML can hold as a number and gives back as the same text (0, 12, -3.25);
// anything else is written as a string.
bool plainNumber(const std::string& text) {
    static const std::regex plain("-?(0|[1-9][0-9]*)(\\.[0-9]+)?");
    if (!std::regex_match(text, plain)) {
        return false;
    }
    return text.find('.') == std::string::npos
               ? text.size() < 16 && std::to_string(std::strtoll(text.c_str(), nullptr, 10)) == text
               : GeneralNumber(std::strtod(text.c_str(), nullptr)) == text;
}

// A number as TOML writes it: always with a point or an exponent, so it reads back as a float.
std::string tomlNumber(double v) {
    std::string s = GeneralNumber(v);
    if (s.find_first_of(".eE") == std::string::npos) {
        s += ".0";
    }
    if (s.find('E') != std::string::npos) {
        std::replace(s.begin(), s.end(), 'E', 'e');
    }
    return s;
}

} // namespace

std::optional<FitFile> parseFitFile(const std::string& text, const std::filesystem::path& folder, std::string& why) {
    if (const std::string problem = unsafeText(text); !problem.empty()) {
        why = "it is not a fit file's TOML (" + problem + ")";
        return std::nullopt;
    }
    toml::table root;
    try {
        root = toml::parse(text);
    } catch (const toml::parse_error& e) {
        why = "it is not TOML (line " + std::to_string(e.source().begin.line) + ": " + std::string(e.description()) + ")";
        return std::nullopt;
    }
    FitFile fit;
    for (const auto& [name, node] : inFileOrder(root)) {
        static const char* known[] = {"settings", "fit", "light", "velocities", "parameters", "priors"};
        const std::string& part = name; // a binding a lambda can see
        if (std::none_of(std::begin(known), std::end(known), [&](const char* k) { return part == k; })) {
            why = "'" + name + "' (" + where(*node) + ") is not part of a fit file (its parts: settings, fit, light, "
                  "velocities, parameters, priors)";
            return std::nullopt;
        }
    }
    if (const toml::table* settings = root["settings"].as_table()) {
        for (const auto& [name, node] : inFileOrder(*settings)) {
            std::string value;
            if (const auto* s = node->as_string()) {
                value = s->get();
            } else if (const auto* b = node->as_boolean()) {
                value = b->get() ? "1" : "0";
            } else if (const auto* i = node->as_integer()) {
                value = std::to_string(i->get());
            } else if (const auto* f = node->as_floating_point()) {
                value = GeneralNumber(f->get());
            } else {
                why = "the setting " + name + " (" + where(*node) + ") must be a number, a string or true/false";
                return std::nullopt;
            }
            fit.settings.emplace_back(name, value);
        }
    }
    if (const toml::table* options = root["fit"].as_table()) {
        for (const auto& [name, node] : inFileOrder(*options)) {
            if (name == "method") {
                const auto m = node->value<std::string>();
                if (!m || (*m != "simplex" && *m != "lm")) {
                    why = "fit.method (" + where(*node) + ") is \"simplex\" or \"lm\"";
                    return std::nullopt;
                }
                fit.method = *m;
                continue;
            }
            if (name == "global") {
                const auto m = node->value<std::string>();
                if (!m || (*m != "auto" && *m != "always" && *m != "never")) {
                    why = "fit.global (" + where(*node) + ") is \"auto\", \"always\" or \"never\"";
                    return std::nullopt;
                }
                fit.global = *m;
                continue;
            }
            const auto v = number(*node);
            if (!v || !std::isfinite(*v)) {
                why = "fit." + name + " (" + where(*node) + ") must be a number";
                return std::nullopt;
            }
            if (name == "period") {
                fit.period = *v;
            } else if (name == "epoch") {
                fit.epoch = *v;
            } else if (name == "clip") {
                fit.clip = *v;
            } else {
                why = "fit." + name + " (" + where(*node) + ") is not an option of the fit (period, epoch, clip, method, global)";
                return std::nullopt;
            }
        }
    }
    if (const toml::array* light = root["light"].as_array()) {
        for (const toml::node& entry : *light) {
            const toml::table* t = entry.as_table();
            const auto file = t != nullptr ? (*t)["file"].value<std::string>() : std::nullopt;
            if (!file || file->empty()) {
                why = "each [[light]] (" + where(entry) + ") needs its file";
                return std::nullopt;
            }
            FitFileLight l;
            l.file = resolved(*file, folder);
            l.passband = (*t)["passband"].value_or(std::string());
            if (const toml::node* e = t->get("exposure")) {
                l.exposure = number(*e);
                if (!l.exposure || !(*l.exposure >= 0)) {
                    why = "the exposure of " + *file + " (" + where(*e) + ") must be seconds, 0 or more";
                    return std::nullopt;
                }
            }
            if (const toml::node* d = t->get("detrend")) {
                const auto degree = d->value<std::int64_t>();
                if (!d->is_integer() || !degree || *degree < 0 || *degree > MaxDetrendDegree) {
                    why = "the detrend of " + *file + " (" + where(*d) + ") must be a whole degree, 0 to " +
                          std::to_string(MaxDetrendDegree);
                    return std::nullopt;
                }
                l.detrend = static_cast<int>(*degree);
            }
            if (const toml::node* g = t->get("gap")) {
                const auto days = number(*g);
                if (!days || !(*days >= 0) || !std::isfinite(*days)) {
                    why = "the gap of " + *file + " (" + where(*g) + ") must be days, 0 or more";
                    return std::nullopt;
                }
                l.gap = *days;
            }
            for (const auto& [key, node] : *t) {
                const std::string k(key.str());
                if (k != "file" && k != "passband" && k != "exposure" && k != "detrend" && k != "gap") {
                    why = "[[light]] " + k + " (" + where(node) + ") is not an option of a light curve (file, passband, "
                          "exposure, detrend, gap)";
                    return std::nullopt;
                }
            }
            fit.light.push_back(std::move(l));
        }
    }
    if (const toml::array* velocities = root["velocities"].as_array()) {
        for (const toml::node& entry : *velocities) {
            const toml::table* t = entry.as_table();
            const auto file = t != nullptr ? (*t)["file"].value<std::string>() : std::nullopt;
            const auto star = t != nullptr ? (*t)["star"].value<int>() : std::nullopt;
            if (!file || file->empty() || !star || (*star != 1 && *star != 2)) {
                why = "each [[velocities]] (" + where(entry) + ") needs its file and its star, 1 or 2";
                return std::nullopt;
            }
            fit.velocities.push_back({resolved(*file, folder), *star});
        }
    }
    if (const toml::table* parameters = root["parameters"].as_table()) {
        for (const auto& [name, node] : inFileOrder(*parameters)) {
            const toml::table* t = node->as_table();
            if (t == nullptr) {
                why = "parameters." + name + " (" + where(*node) + ") must be a table: value, free, lower, upper, prior";
                return std::nullopt;
            }
            FitFileParameter p;
            p.name = name;
            for (const auto& [field, value] : inFileOrder(*t)) {
                if (field == "free") {
                    if (!value->is_boolean()) {
                        why = "parameters." + name + ".free (" + where(*value) + ") must be true or false";
                        return std::nullopt;
                    }
                    p.free = value->value_or(false);
                } else if (field == "prior") {
                    std::pair<double, double> prior;
                    if (!pairOf(*value, prior)) {
                        why = "parameters." + name + ".prior (" + where(*value) + ") must be [value, sigma], sigma above 0";
                        return std::nullopt;
                    }
                    p.prior = prior;
                } else if (field == "value" || field == "lower" || field == "upper") {
                    const auto v = number(*value);
                    if (!v || !std::isfinite(*v)) {
                        why = "parameters." + name + "." + field + " (" + where(*value) + ") must be a number";
                        return std::nullopt;
                    }
                    (field == "value" ? p.value : field == "lower" ? p.lower : p.upper) = *v;
                } else {
                    why = "parameters." + name + "." + field + " (" + where(*value) +
                          ") is not one of value, free, lower, upper, prior";
                    return std::nullopt;
                }
            }
            if (p.lower && p.upper && !(*p.lower < *p.upper)) {
                why = "parameters." + name + ": lower must lie below upper";
                return std::nullopt;
            }
            fit.parameters.push_back(std::move(p));
        }
    }
    if (const toml::table* priors = root["priors"].as_table()) {
        for (const auto& [name, node] : inFileOrder(*priors)) {
            std::pair<double, double> prior;
            if (!pairOf(*node, prior)) {
                why = "priors." + name + " (" + where(*node) + ") must be [value, sigma], sigma above 0";
                return std::nullopt;
            }
            fit.priors.emplace_back(name, prior);
        }
    }
    return fit;
}

std::optional<FitFile> readFitFile(const std::filesystem::path& path, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "'" + path.string() + "' cannot be read";
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseFitFile(text.str(), path.parent_path(), why);
}

std::string formatFitFile(const FitFile& fit, const std::filesystem::path& folder) {
    auto relative = [&](const std::filesystem::path& file) {
        if (!folder.empty()) {
            const std::filesystem::path r = file.lexically_relative(folder);
            if (!r.empty() && r.native().rfind("..", 0) != 0) {
                return r.generic_string();
            }
        }
        return file.generic_string();
    };
    std::ostringstream out;
    out << "# A Corvane fit: corvane-cli fit THIS_FILE runs it; the window loads and saves it.\n";
    out << "\n[settings]\n";
    for (const auto& [name, value] : fit.settings) {
        out << key(name) << " = " << (plainNumber(value) ? value : quoted(value)) << '\n';
    }
    out << "\n[fit]\n";
    if (fit.period) {
        out << "period = " << tomlNumber(*fit.period) << '\n';
    }
    if (fit.epoch) {
        out << "epoch = " << tomlNumber(*fit.epoch) << '\n';
    }
    out << "clip = " << tomlNumber(fit.clip) << '\n';
    if (!fit.method.empty()) {
        out << "method = " << quoted(fit.method) << '\n';
    }
    if (!fit.global.empty()) {
        out << "global = " << quoted(fit.global) << '\n';
    }
    for (const FitFileLight& l : fit.light) {
        out << "\n[[light]]\nfile = " << quoted(relative(l.file)) << '\n';
        if (!l.passband.empty()) {
            out << "passband = " << quoted(l.passband) << '\n';
        }
        if (l.exposure) {
            out << "exposure = " << tomlNumber(*l.exposure) << '\n';
        }
        if (l.detrend >= 0) {
            out << "detrend = " << l.detrend << '\n';
            if (l.gap > 0) {
                out << "gap = " << tomlNumber(l.gap) << '\n';
            }
        }
    }
    for (const FitFileVelocities& v : fit.velocities) {
        out << "\n[[velocities]]\nfile = " << quoted(relative(v.file)) << "\nstar = " << v.star << '\n';
    }
    for (const FitFileParameter& p : fit.parameters) {
        out << "\n[parameters." << key(p.name) << "]\n";
        if (p.value) {
            out << "value = " << tomlNumber(*p.value) << '\n';
        }
        out << "free = " << (p.free ? "true" : "false") << '\n';
        if (p.lower) {
            out << "lower = " << tomlNumber(*p.lower) << '\n';
        }
        if (p.upper) {
            out << "upper = " << tomlNumber(*p.upper) << '\n';
        }
        if (p.prior) {
            out << "prior = [" << tomlNumber(p.prior->first) << ", " << tomlNumber(p.prior->second) << "]\n";
        }
    }
    if (!fit.priors.empty()) {
        out << "\n[priors]\n";
        for (const auto& [name, prior] : fit.priors) {
            out << key(name) << " = [" << tomlNumber(prior.first) << ", " << tomlNumber(prior.second) << "]\n";
        }
    }
    return out.str();
}

} // namespace corvane::fitting
