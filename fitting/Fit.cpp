// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Fit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <thread>

namespace corvane::fitting {

std::optional<ChiSquare> chiSquare(std::span<const double> m, std::span<const double> sigma,
                                   std::span<const double> model) {
    const std::size_t n = std::min({m.size(), sigma.size(), model.size()});
    double sw = 0, swr = 0;
    int used = 0;
    auto usable = [&](std::size_t i) {
        return sigma[i] > 0 && std::isfinite(sigma[i]) && std::isfinite(m[i]) && std::isfinite(model[i]);
    };
    for (std::size_t i = 0; i < n; ++i) {
        if (usable(i)) {
            const double w = 1 / (sigma[i] * sigma[i]);
            sw += w;
            swr += w * (m[i] - model[i]);
            ++used;
        }
    }
    if (used == 0 || !(sw > 0) || !std::isfinite(sw)) {
        return std::nullopt;
    }
    ChiSquare r;
    r.zeroPoint = swr / sw;
    r.points = used;
    for (std::size_t i = 0; i < n; ++i) {
        if (usable(i)) {
            const double d = (m[i] - model[i] - r.zeroPoint) / sigma[i];
            r.chi2 += d * d;
        }
    }
    return r;
}

std::vector<double> lightToMagnitudes(std::span<const double> light) {
    std::vector<double> out(light.size());
    for (std::size_t i = 0; i < light.size(); ++i) {
        out[i] = light[i] > 0 && std::isfinite(light[i]) ? -2.5 * std::log10(light[i])
                                                         : std::numeric_limits<double>::quiet_NaN();
    }
    return out;
}

std::vector<double> evaluateParallel(const std::function<double(const std::vector<double>&)>& f,
                                     const std::vector<std::vector<double>>& points, int threads) {
    std::vector<double> values(points.size(), std::numeric_limits<double>::infinity());
    const int workers = std::clamp(threads, 1, static_cast<int>(std::max<std::size_t>(points.size(), 1)));
    if (workers == 1) {
        for (std::size_t k = 0; k < points.size(); ++k) {
            values[k] = f(points[k]);
        }
        return values;
    }
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t k = next++; k < points.size(); k = next++) {
            values[k] = f(points[k]);
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < workers; ++t) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break; // the threads that did start share the rest
        }
    }
    work();
    for (std::thread& t : pool) {
        t.join();
    }
    return values;
}

namespace {

using Point = std::vector<double>;

double finiteOrInf(double v) { return std::isfinite(v) ? v : std::numeric_limits<double>::infinity(); }

struct Simplex {
    std::vector<Point> x;
    std::vector<double> f;
    void sort() {
        std::vector<std::size_t> order(x.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return f[a] < f[b]; });
        std::vector<Point> xs;
        std::vector<double> fs;
        for (std::size_t k : order) {
            xs.push_back(x[k]);
            fs.push_back(f[k]);
        }
        x = std::move(xs);
        f = std::move(fs);
    }
};

class Run {
public:
    Run(const BatchObjective& f, const SimplexOptions& o, const std::function<void(const SimplexProgress&)>& progress,
        const std::atomic<bool>& cancel, int& evaluations, int runNumber)
        : f_(f), o_(o), progress_(progress), cancel_(cancel), evaluations_(evaluations), run_(runNumber) {}

    Point project(Point p) const {
        for (std::size_t j = 0; j < p.size(); ++j) {
            p[j] = std::clamp(p[j], o_.lower[j], o_.upper[j]);
        }
        return p;
    }

    std::vector<double> evaluate(const std::vector<Point>& points) {
        std::vector<double> v = f_(points);
        v.resize(points.size(), std::numeric_limits<double>::infinity());
        for (double& value : v) {
            value = finiteOrInf(value);
        }
        evaluations_ += static_cast<int>(points.size());
        for (std::size_t k = 0; k < points.size(); ++k) {
            if (v[k] < bestF_) {
                bestF_ = v[k];
                bestX_ = points[k];
            }
        }
        if (progress_) {
            progress_({evaluations_, bestF_, run_});
        }
        return v;
    }

    // Runs from start; false when cancelled.
    bool minimise(const Point& startIn, int budget, bool& converged) {
        const std::size_t n = startIn.size();
        const Point start = project(startIn);
        std::vector<Point> vertices{start};
        for (std::size_t j = 0; j < n; ++j) {
            Point p = start;
            // Step away from the nearer bound so that the vertex is not projected back onto the start.
            const double room = o_.upper[j] - p[j];
            p[j] += room >= o_.step[j] || room >= p[j] - o_.lower[j] ? std::min(o_.step[j], room)
                                                                      : -std::min(o_.step[j], p[j] - o_.lower[j]);
            vertices.push_back(p);
        }
        const int stopAt = evaluations_ + budget;
        Simplex s{vertices, evaluate(vertices)};
        converged = false;
        while (evaluations_ < stopAt) {
            if (cancel_) {
                return false;
            }
            s.sort();
            if (small(s)) {
                converged = true;
                return true;
            }
            Point centroid(n, 0.0);
            for (std::size_t k = 0; k < n; ++k) {
                for (std::size_t j = 0; j < n; ++j) {
                    centroid[j] += s.x[k][j] / static_cast<double>(n);
                }
            }
            auto along = [&](double t) {
                Point p(n);
                for (std::size_t j = 0; j < n; ++j) {
                    p[j] = centroid[j] + t * (s.x[n][j] - centroid[j]);
                }
                return project(p);
            };
            const Point reflected = along(-1);
            const Point expanded = along(-2);
            const std::vector<double> re = evaluate({reflected, expanded});
            if (re[0] < s.f[0]) {
                if (re[1] < re[0]) {
                    s.x[n] = expanded, s.f[n] = re[1];
                } else {
                    s.x[n] = reflected, s.f[n] = re[0];
                }
                continue;
            }
            if (re[0] < s.f[n - 1]) {
                s.x[n] = reflected, s.f[n] = re[0];
                continue;
            }
            if (cancel_) {
                return false;
            }
            const bool outside = re[0] < s.f[n];
            const Point contracted = along(outside ? -0.5 : 0.5);
            const double fc = evaluate({contracted})[0];
            if (fc < (outside ? re[0] : s.f[n])) {
                s.x[n] = contracted, s.f[n] = fc;
                continue;
            }
            std::vector<Point> shrunk;
            for (std::size_t k = 1; k <= n; ++k) {
                Point p(n);
                for (std::size_t j = 0; j < n; ++j) {
                    p[j] = s.x[0][j] + 0.5 * (s.x[k][j] - s.x[0][j]);
                }
                shrunk.push_back(project(p));
            }
            const std::vector<double> fs = evaluate(shrunk);
            for (std::size_t k = 1; k <= n; ++k) {
                s.x[k] = shrunk[k - 1];
                s.f[k] = fs[k - 1];
            }
        }
        return true;
    }

    const Point& bestX() const { return bestX_; }
    double bestF() const { return bestF_; }

private:
    bool small(const Simplex& s) const {
        const std::size_t n = s.x.size() - 1;
        const double spread = s.f[n] - s.f[0];
        if (!std::isfinite(spread) || spread > o_.fTolerance * (std::fabs(s.f[0]) + 1)) {
            return false;
        }
        for (std::size_t k = 1; k <= n; ++k) {
            for (std::size_t j = 0; j < n; ++j) {
                if (std::fabs(s.x[k][j] - s.x[0][j]) > o_.xTolerance * o_.step[j]) {
                    return false;
                }
            }
        }
        return true;
    }

    const BatchObjective& f_;
    const SimplexOptions& o_;
    const std::function<void(const SimplexProgress&)>& progress_;
    const std::atomic<bool>& cancel_;
    int& evaluations_;
    int run_;
    Point bestX_;
    double bestF_ = std::numeric_limits<double>::infinity();
};

} // namespace

SimplexResult minimiseSimplex(const BatchObjective& f, std::vector<double> start, const SimplexOptions& o,
                              const std::function<void(const SimplexProgress&)>& progress,
                              const std::atomic<bool>& cancel) {
    SimplexResult result;
    result.best = start;
    result.value = std::numeric_limits<double>::infinity();
    if (start.empty() || o.lower.size() != start.size() || o.upper.size() != start.size() ||
        o.step.size() != start.size()) {
        return result;
    }
    int evaluations = 0;
    bool converged = false;
    Run first(f, o, progress, cancel, evaluations, 1);
    const bool finished = first.minimise(start, o.maxEvaluations, converged);
    result.best = first.bestX().empty() ? start : first.bestX();
    result.value = first.bestF();
    if (finished && o.restart) {
        // A simplex can collapse onto a line or stall in a valley; one fresh start from the best point
        // costs n + 1 evaluations when it was a true minimum.
        Run second(f, o, progress, cancel, evaluations, 2);
        const bool again = second.minimise(result.best, o.maxEvaluations, converged);
        if (second.bestF() < result.value) {
            result.best = second.bestX();
            result.value = second.bestF();
        }
        result.cancelled = !again;
    } else {
        result.cancelled = !finished;
    }
    result.converged = converged && !result.cancelled;
    result.evaluations = evaluations;
    return result;
}

std::vector<std::optional<double>> curvatureErrors(const BatchObjective& f, const std::vector<double>& x,
                                                   const std::vector<double>& hIn, const std::vector<double>& lower,
                                                   const std::vector<double>& upper, double scale,
                                                   std::vector<std::vector<double>>* covariance) {
    const std::size_t n = x.size();
    std::vector<std::optional<double>> sigma(n);
    if (covariance != nullptr) {
        covariance->clear();
    }
    if (n == 0 || hIn.size() != n || lower.size() != n || upper.size() != n) {
        return sigma;
    }
    // At a bound the central difference is taken about a point moved inward by one step.
    std::vector<double> h = hIn;
    Point centre = x;
    for (std::size_t j = 0; j < n; ++j) {
        h[j] = std::min(h[j], 0.5 * (upper[j] - lower[j]));
        centre[j] = std::clamp(centre[j], lower[j] + h[j], upper[j] - h[j]);
    }
    std::vector<Point> points{centre};
    auto moved = [&](std::size_t j, double sj, std::size_t k, double sk) {
        Point p = centre;
        p[j] += sj * h[j];
        if (k < n) {
            p[k] += sk * h[k];
        }
        return p;
    };
    for (std::size_t j = 0; j < n; ++j) {
        points.push_back(moved(j, 1, n, 0));
        points.push_back(moved(j, -1, n, 0));
    }
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t k = j + 1; k < n; ++k) {
            for (const auto& [a, b] : {std::pair{1.0, 1.0}, {1.0, -1.0}, {-1.0, 1.0}, {-1.0, -1.0}}) {
                points.push_back(moved(j, a, k, b));
            }
        }
    }
    const std::vector<double> v = f(points);
    if (v.size() != points.size() || !std::all_of(v.begin(), v.end(), [](double d) { return std::isfinite(d); })) {
        return sigma;
    }
    std::vector<std::vector<double>> H(n, std::vector<double>(n, 0.0));
    for (std::size_t j = 0; j < n; ++j) {
        H[j][j] = (v[1 + 2 * j] - 2 * v[0] + v[2 + 2 * j]) / (h[j] * h[j]);
    }
    std::size_t at = 1 + 2 * n;
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t k = j + 1; k < n; ++k) {
            H[j][k] = H[k][j] = (v[at] - v[at + 1] - v[at + 2] + v[at + 3]) / (4 * h[j] * h[k]);
            at += 4;
        }
    }
    // Inverse by Cholesky: H = L L^T, positive definite at a true minimum.
    std::vector<std::vector<double>> L(n, std::vector<double>(n, 0.0));
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t k = 0; k <= j; ++k) {
            double s = H[j][k];
            for (std::size_t m = 0; m < k; ++m) {
                s -= L[j][m] * L[k][m];
            }
            if (j == k) {
                if (!(s > 0)) {
                    return sigma;
                }
                L[j][j] = std::sqrt(s);
            } else {
                L[j][k] = s / L[k][k];
            }
        }
    }
    for (std::size_t j = 0; j < n; ++j) {
        // Column j of H^-1: solve L y = e_j, then L^T z = y; (H^-1)_jj = z_j.
        std::vector<double> y(n, 0.0);
        for (std::size_t r = 0; r < n; ++r) {
            double s = r == j ? 1.0 : 0.0;
            for (std::size_t m = 0; m < r; ++m) {
                s -= L[r][m] * y[m];
            }
            y[r] = s / L[r][r];
        }
        std::vector<double> z(n, 0.0);
        for (std::size_t r = n; r-- > 0;) {
            double s = y[r];
            for (std::size_t m = r + 1; m < n; ++m) {
                s -= L[m][r] * z[m];
            }
            z[r] = s / L[r][r];
        }
        if (z[j] > 0 && std::isfinite(z[j])) {
            sigma[j] = std::sqrt(2 * z[j]) * scale;
        }
        if (covariance != nullptr) {
            covariance->resize(n, std::vector<double>(n, 0.0));
            for (std::size_t r = 0; r < n; ++r) {
                (*covariance)[r][j] = 2 * z[r] * scale * scale;
            }
        }
    }
    return sigma;
}

} // namespace corvane::fitting
