// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "GridSearch.h"

#include "platform/NumberFormat.h"

#include <algorithm>
#include <chrono>
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
    std::atomic<int> next{0};
    std::mutex report;
    int done = 0;
    const auto start = std::chrono::steady_clock::now();

    auto work = [&] {
        const GridEvaluator evaluate = makeEvaluator();
        for (int k = next++; k < total && !cancel; k = next++) {
            GridRow row = evaluate(a1.value(k / cols), a2.value(k % cols));
            std::lock_guard lock(report);
            out[static_cast<std::size_t>(k)] = std::move(row);
            ++done;
            if (progress) {
                GridProgress p;
                p.done = done;
                p.total = total;
                p.rows = done / cols;
                p.cols = done % cols;
                p.rowCount = rows;
                p.colCount = cols;
                const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                p.elapsedMinutes = elapsed / 60;
                p.remainingHours = elapsed / done * (total - done) / 3600;
                progress(p);
            }
        }
    };
    const int count = threadCount(threads, total);
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
    return out;
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
