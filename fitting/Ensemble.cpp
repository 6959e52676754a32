// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Ensemble.h"

#include "fitting/Ranks.h"
#include "platform/UniformRandom.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>
#include <sstream>

namespace corvane::fitting {

namespace {

constexpr double NegativeInfinity = -std::numeric_limits<double>::infinity();

// A generator for one purpose and step: the seed and the step mixed so that neighbouring steps
// share nothing.
platform::UniformRandom generator(std::uint64_t seed, std::uint64_t step, std::uint64_t purpose) {
    std::uint64_t z = seed * 0x9E3779B97F4A7C15ULL ^ (step + 1) * 0xD1B54A32D192ED03ULL ^ purpose * 0x8CB92BA72F3D8DD7ULL;
    z = (z ^ (z >> 31)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 29)) * 0x94D049BB133111EBULL;
    return platform::UniformRandom(z ^ (z >> 32));
}

// A standard normal by Box and Muller from two uniforms (the first kept away from zero).
double normal(platform::UniformRandom& u) {
    const double a = 1 - u.next();
    const double b = u.next();
    return std::sqrt(-2 * std::log(a)) * std::cos(2 * 3.14159265358979323846 * b);
}

std::string number(double v) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
    return std::string(buffer, end);
}

} // namespace

std::vector<std::vector<double>> initialBall(const std::vector<double>& centre, const std::vector<double>& scale,
                                             const std::vector<double>& lower, const std::vector<double>& upper,
                                             int walkers, std::uint64_t seed) {
    platform::UniformRandom u = generator(seed, 0, 1);
    std::vector<std::vector<double>> ball;
    for (int w = 0; w < walkers; ++w) {
        std::vector<double> p(centre.size());
        for (std::size_t j = 0; j < centre.size(); ++j) {
            const double hair = 1e-9 * (upper[j] - lower[j]);
            double v = centre[j];
            for (int attempt = 0; attempt < 100; ++attempt) {
                v = centre[j] + scale[j] * normal(u);
                if (v > lower[j] && v < upper[j]) {
                    break;
                }
            }
            p[j] = std::clamp(v, lower[j] + hair, upper[j] - hair);
        }
        ball.push_back(std::move(p));
    }
    return ball;
}

Chain startChain(const BatchObjective& logProbability, const std::vector<std::string>& names,
                 const std::vector<std::vector<double>>& walkers, std::uint64_t seed) {
    Chain chain;
    chain.names = names;
    chain.walkers = static_cast<int>(walkers.size());
    chain.seed = seed;
    for (const auto& w : walkers) {
        chain.x.insert(chain.x.end(), w.begin(), w.end());
    }
    chain.logProbability = logProbability(walkers);
    for (double& l : chain.logProbability) {
        if (!std::isfinite(l)) {
            l = NegativeInfinity;
        }
    }
    return chain;
}

void extendChain(Chain& chain, const BatchObjective& logProbability, int steps, double stretch,
                 const std::function<void(const EnsembleProgress&)>& progress, const std::atomic<bool>& cancel) {
    const auto n = chain.dimension();
    const auto W = static_cast<std::size_t>(chain.walkers);
    if (W < 2 || n == 0) {
        return;
    }
    const std::size_t half = W / 2;
    const double a = std::max(1.0 + 1e-9, stretch);
    for (int s = chain.steps(); s < steps; ++s) {
        // This step's positions start as the last step's, and each half moves in turn.
        std::vector<double> x(chain.x.end() - static_cast<std::ptrdiff_t>(W * n), chain.x.end());
        std::vector<double> lp(chain.logProbability.end() - static_cast<std::ptrdiff_t>(W), chain.logProbability.end());
        platform::UniformRandom u = generator(chain.seed, static_cast<std::uint64_t>(s), 2);
        for (int h = 0; h < 2; ++h) {
            const std::size_t first = h == 0 ? 0 : half;
            const std::size_t last = h == 0 ? half : W;
            const std::size_t otherFirst = h == 0 ? half : 0;
            const std::size_t otherCount = h == 0 ? W - half : half;
            std::vector<std::vector<double>> proposals;
            std::vector<double> z;
            for (std::size_t k = first; k < last; ++k) {
                const double r = u.next();
                const double zk = ((a - 1) * r + 1) * ((a - 1) * r + 1) / a;
                const std::size_t partner =
                    otherFirst + std::min(otherCount - 1, static_cast<std::size_t>(u.next() * static_cast<double>(otherCount)));
                std::vector<double> y(n);
                for (std::size_t j = 0; j < n; ++j) {
                    const double xj = x[partner * n + j];
                    y[j] = xj + zk * (x[k * n + j] - xj);
                }
                proposals.push_back(std::move(y));
                z.push_back(zk);
            }
            const std::vector<double> values = logProbability(proposals);
            for (std::size_t i = 0; i < proposals.size(); ++i) {
                const std::size_t k = first + i;
                const double accept = u.next();
                const double v = i < values.size() && std::isfinite(values[i]) ? values[i] : NegativeInfinity;
                if (v == NegativeInfinity) {
                    continue;
                }
                const double logRatio = static_cast<double>(n - 1) * std::log(z[i]) + v - lp[k];
                if (lp[k] == NegativeInfinity || std::log(accept) < logRatio) {
                    std::copy(proposals[i].begin(), proposals[i].end(), x.begin() + static_cast<std::ptrdiff_t>(k * n));
                    lp[k] = v;
                }
            }
        }
        chain.x.insert(chain.x.end(), x.begin(), x.end());
        chain.logProbability.insert(chain.logProbability.end(), lp.begin(), lp.end());
        if (progress) {
            progress({s + 1, steps, acceptanceFraction(chain, std::max(0, chain.steps() - 100))});
        }
        if (ranks::anyTrue(cancel.load())) {
            break;
        }
    }
}

double acceptanceFraction(const Chain& chain, int from) {
    const auto n = chain.dimension();
    long long moved = 0, tried = 0;
    for (int s = std::max(1, from + 1); s < chain.steps(); ++s) {
        for (int w = 0; w < chain.walkers; ++w) {
            ++tried;
            for (std::size_t j = 0; j < n; ++j) {
                if (chain.at(s, w, j) != chain.at(s - 1, w, j)) {
                    ++moved;
                    break;
                }
            }
        }
    }
    return tried > 0 ? static_cast<double>(moved) / static_cast<double>(tried) : 0;
}

std::optional<double> autocorrelationTime(const Chain& chain, std::size_t j, int burn) {
    const int first = std::clamp(burn, 0, chain.steps());
    const auto N = static_cast<std::size_t>(chain.steps() - first);
    if (N < 4 || chain.walkers < 1) {
        return std::nullopt;
    }
    // rho(t) averaged over the walkers: each walker's autocovariance about its own mean, summed,
    // then divided by the sum at lag 0.
    std::vector<std::vector<double>> series(static_cast<std::size_t>(chain.walkers), std::vector<double>(N));
    for (int w = 0; w < chain.walkers; ++w) {
        auto& v = series[static_cast<std::size_t>(w)];
        for (std::size_t s = 0; s < N; ++s) {
            v[s] = chain.at(first + static_cast<int>(s), w, j);
        }
        const double mean = std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(N);
        for (double& e : v) {
            e -= mean;
        }
    }
    auto covariance = [&](std::size_t t) {
        double c = 0;
        for (const auto& v : series) {
            for (std::size_t s = 0; s + t < N; ++s) {
                c += v[s] * v[s + t];
            }
        }
        return c / static_cast<double>(N);
    };
    const double c0 = covariance(0);
    if (!(c0 > 0)) {
        return std::nullopt;
    }
    double tau = 1;
    for (std::size_t t = 1; t < N; ++t) {
        tau += 2 * covariance(t) / c0;
        if (static_cast<double>(t) >= 5 * tau) {
            break;
        }
    }
    return std::max(tau, 1e-3);
}

double quantile(std::vector<double> values, double q) {
    if (values.empty()) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    std::sort(values.begin(), values.end());
    const double at = std::clamp(q, 0.0, 1.0) * static_cast<double>(values.size() - 1);
    const auto k = static_cast<std::size_t>(std::floor(at));
    if (k + 1 >= values.size()) {
        return values.back();
    }
    const double f = at - static_cast<double>(k);
    return values[k] * (1 - f) + values[k + 1] * f;
}

Interval credibleInterval(const Chain& chain, std::size_t j, int burn) {
    std::vector<double> v;
    for (int s = std::clamp(burn, 0, chain.steps()); s < chain.steps(); ++s) {
        for (int w = 0; w < chain.walkers; ++w) {
            v.push_back(chain.at(s, w, j));
        }
    }
    return {quantile(v, 0.5), quantile(v, 0.16), quantile(v, 0.84)};
}

std::string formatChain(const Chain& chain) {
    std::string text = "# Corvane ensemble chain: seed " + std::to_string(chain.seed);
    if (chain.noise > 0) {
        text += ", noise " + number(chain.noise);
    }
    text += "\nstep,walker";
    for (const std::string& name : chain.names) {
        text += "," + name;
    }
    text += ",log-likelihood\n";
    const auto n = chain.dimension();
    for (int s = 0; s < chain.steps(); ++s) {
        for (int w = 0; w < chain.walkers; ++w) {
            text += std::to_string(s) + "," + std::to_string(w);
            for (std::size_t j = 0; j < n; ++j) {
                text += "," + number(chain.at(s, w, j));
            }
            const double l = chain.logProbability[static_cast<std::size_t>(s * chain.walkers + w)];
            text += "," + (std::isfinite(l) ? number(l) : std::string("-inf")) + "\n";
        }
    }
    return text;
}

std::optional<Chain> parseChain(const std::string& text, std::string& why) {
    std::istringstream in(text);
    std::string line;
    Chain chain;
    auto read = [](const std::string& field, double& v) {
        if (field == "-inf") {
            v = NegativeInfinity;
            return true;
        }
        const auto r = std::from_chars(field.data(), field.data() + field.size(), v);
        return r.ec == std::errc{} && r.ptr == field.data() + field.size();
    };
    if (!std::getline(in, line) || line.rfind("# Corvane ensemble chain: seed ", 0) != 0) {
        why = "it does not begin as a chain file (\"# Corvane ensemble chain: seed ...\")";
        return std::nullopt;
    }
    {
        std::istringstream head(line.substr(31));
        unsigned long long seed = 0;
        if (!(head >> seed)) {
            why = "its first line has no seed";
            return std::nullopt;
        }
        chain.seed = seed;
        if (const auto at = line.find(", noise "); at != std::string::npos) {
            std::string value = line.substr(at + 8);
            while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) {
                value.pop_back();
            }
            if (!read(value, chain.noise) || !(chain.noise > 0)) {
                why = "its noise is not a positive number";
                return std::nullopt;
            }
        }
    }
    if (!std::getline(in, line)) {
        why = "it has no header";
        return std::nullopt;
    }
    std::vector<std::string> header;
    {
        std::istringstream h(line);
        for (std::string f; std::getline(h, f, ',');) {
            if (!f.empty() && f.back() == '\r') {
                f.pop_back();
            }
            header.push_back(f);
        }
    }
    if (header.size() < 4 || header[0] != "step" || header[1] != "walker" || header.back() != "log-likelihood") {
        why = "its header is not \"step,walker,NAME,...,log-likelihood\"";
        return std::nullopt;
    }
    chain.names.assign(header.begin() + 2, header.end() - 1);
    const std::size_t n = chain.names.size();
    int lastStep = -1, lastWalker = -1, walkers = 0;
    int row = 2;
    while (std::getline(in, line)) {
        ++row;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty()) {
            continue;
        }
        std::vector<std::string> f;
        std::istringstream r(line);
        for (std::string field; std::getline(r, field, ',');) {
            f.push_back(field);
        }
        double step = 0, walker = 0;
        if (f.size() != n + 3 || !read(f[0], step) || !read(f[1], walker)) {
            why = "line " + std::to_string(row) + " does not have " + std::to_string(n + 3) + " fields";
            return std::nullopt;
        }
        const int s = static_cast<int>(step), w = static_cast<int>(walker);
        const bool next = (s == lastStep && w == lastWalker + 1) || (s == lastStep + 1 && w == 0);
        if (!next || (s == lastStep + 1 && lastStep >= 0 && lastWalker + 1 != walkers) || (s > 0 && w >= walkers)) {
            why = "line " + std::to_string(row) + " is out of order (step " + f[0] + ", walker " + f[1] + ")";
            return std::nullopt;
        }
        if (s == 0) {
            walkers = w + 1;
        }
        for (std::size_t j = 0; j < n; ++j) {
            double v = 0;
            if (!read(f[2 + j], v) || !std::isfinite(v)) {
                why = "line " + std::to_string(row) + " has a bad number '" + f[2 + j] + "'";
                return std::nullopt;
            }
            chain.x.push_back(v);
        }
        double l = 0;
        if (!read(f.back(), l) || std::isnan(l)) {
            why = "line " + std::to_string(row) + " has a bad log-likelihood '" + f.back() + "'";
            return std::nullopt;
        }
        chain.logProbability.push_back(l);
        lastStep = s;
        lastWalker = w;
    }
    if (walkers < 2 || lastWalker + 1 != walkers) {
        why = walkers < 2 ? "it has fewer than two walkers" : "its last step is not whole";
        return std::nullopt;
    }
    chain.walkers = walkers;
    return chain;
}

} // namespace corvane::fitting
