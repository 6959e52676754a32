// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "GridSearch.h"

#include "fitting/Evaluate.h"
#include "fitting/Ranks.h"
#include "platform/NumberFormat.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

namespace corvane::fitting {

using platform::GeneralNumber;

std::string progressText(const GridProgress& p) {
    const double percent = p.total > 0 ? 100.0 * p.done / p.total : 100.0;
    return std::to_string(p.rows) + " rows of " + std::to_string(p.rowCount) + ", " + std::to_string(p.cols) +
           " cols of " + std::to_string(p.colCount) + ", " + platform::Format(percent, "0") +
           " percent completed. " + platform::Format(p.elapsedMinutes, "0.0") + " minutes elapsed. " +
           platform::Format(p.remainingHours, "0.000") + " hours remaining (estimated).";
}

int cores() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

int threadCount(int requested, int points) {
    return std::clamp(requested, 1, std::max(1, std::min(points, MaxThreadsPerCore * cores())));
}

std::vector<GridRow> runGrid(const GridAxis& a1, const GridAxis& a2, int threads,
                             const std::function<GridEvaluator()>& makeEvaluator,
                             const std::function<void(const GridProgress&)>& progress, const std::atomic<bool>& cancel) {
    const int rows = std::max(1, a1.steps);
    const int cols = std::max(1, a2.steps);
    const int total = rows * cols;
    std::vector<GridRow> out(static_cast<std::size_t>(total));
    for (int k = 0; k < total; ++k) {
        out[static_cast<std::size_t>(k)].p1 = a1.value(k / cols);
        out[static_cast<std::size_t>(k)].p2 = a2.value(k % cols);
        out[static_cast<std::size_t>(k)].reason = "cancelled";
    }
    // This process's points (all of them unless there are several processes).
    std::vector<int> share;
    for (int k = 0; k < total; ++k) {
        if (isMine(static_cast<std::size_t>(k))) {
            share.push_back(k);
        }
    }
    const int count = threadCount(threads, static_cast<int>(share.size()));
    std::atomic<std::size_t> next{0};
    std::mutex report;
    int done = 0;
    const auto start = std::chrono::steady_clock::now();

    auto work = [&] {
        const GridEvaluator evaluate = makeEvaluator();
        for (std::size_t j = next++; j < share.size() && !cancel; j = next++) {
            const int k = share[j];
            GridRow row = evaluate(a1.value(k / cols), a2.value(k % cols));
            std::lock_guard lock(report);
            out[static_cast<std::size_t>(k)] = std::move(row);
            ++done;
            if (progress) {
                GridProgress p;
                // With several processes, this one's share stands for all of them.
                p.done = std::min(total, done * ranks::size());
                p.total = total;
                p.rows = p.done / cols;
                p.cols = p.done % cols;
                p.rowCount = rows;
                p.colCount = cols;
                const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                p.elapsedMinutes = elapsed / 60;
                p.remainingHours = elapsed / p.done * (p.total - p.done) / 3600;
                progress(p);
            }
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < count; ++t) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break; // the system will not start more: the ones running share the work
        }
    }
    work();
    for (std::thread& t : pool) {
        t.join();
    }
    if (ranks::size() > 1) {
        std::string mine;
        for (const int k : share) {
            mine += packGridRow(out[static_cast<std::size_t>(k)]);
        }
        const std::vector<std::string> all = ranks::allGather(mine);
        for (std::size_t r = 0; r < all.size(); ++r) {
            if (static_cast<int>(r) == ranks::rank()) {
                continue;
            }
            std::size_t at = 0;
            for (int k = static_cast<int>(r); k < total; k += ranks::size()) {
                if (auto row = unpackGridRow(all[r], at)) {
                    out[static_cast<std::size_t>(k)] = std::move(*row);
                } else {
                    break;
                }
            }
        }
    }
    return out;
}

// A row as text for another process: each field followed by a unit separator, the optional error
// in shortest round-trip form (empty for none).
std::string packGridRow(const GridRow& row) {
    auto number = [](double v) {
        char buffer[32];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
        return std::string(buffer, end);
    };
    std::string text;
    for (const std::string& p : row.parameters) {
        text += p + '\x1f';
    }
    text += std::to_string(row.N) + '\x1f' + number(row.p1) + '\x1f' + number(row.p2) + '\x1f' +
            (row.error ? number(*row.error) : std::string()) + '\x1f' + row.reason + '\x1f';
    return text;
}

std::optional<GridRow> unpackGridRow(const std::string& text, std::size_t& at) {
    auto field = [&](std::string& f) {
        const std::size_t end = text.find('\x1f', at);
        if (end == std::string::npos) {
            return false;
        }
        f = text.substr(at, end - at);
        at = end + 1;
        return true;
    };
    auto number = [](const std::string& f, double& v) {
        return std::from_chars(f.data(), f.data() + f.size(), v).ec == std::errc{};
    };
    GridRow row;
    for (std::string& p : row.parameters) {
        if (!field(p)) {
            return std::nullopt;
        }
    }
    std::string n, p1, p2, error;
    if (!field(n) || !field(p1) || !field(p2) || !field(error) || !field(row.reason) || !number(p1, row.p1) ||
        !number(p2, row.p2)) {
        return std::nullopt;
    }
    row.N = std::atoi(n.c_str());
    if (!error.empty()) {
        double e = 0;
        if (!number(error, e)) {
            return std::nullopt;
        }
        row.error = e;
    }
    return row;
}

std::string formatGridFile(const std::vector<GridRow>& rows) {
    std::string text = "q,i,r1,r2,T1,T2,w1,w2,N,Parameter #1 (y),Parameter #2 (x),Relative Error\n";
    for (const GridRow& r : rows) {
        for (const std::string& p : r.parameters) {
            text += p + ",";
        }
        text += std::to_string(r.N) + "," + GeneralNumber(r.p1) + "," + GeneralNumber(r.p2) + ",";
        if (r.error) {
            text += GeneralNumber(*r.error);
        }
        text += "\n";
    }
    return text;
}

} // namespace corvane::fitting
