// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Posterior.h"

#include "InterruptWatcher.h"
#include "app/CorvaneForm.h"
#include "fitting/CornerPlot.h"
#include "fitting/Evaluate.h"
#include "fitting/GridSearch.h"
#include "fitting/Ranks.h"
#include "platform/NumberFormat.h"
#include "platform/PlotPainter.h"
#include "platform/TextFile.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <unistd.h>

// The posterior on the command line, and the runs that a batch scheduler shares out as an array of
// tasks.

namespace corvane::cli {

namespace {

std::string plain(const std::string& text) {
    std::string s;
    for (char c : text) {
        if (c != '\r') {
            s.push_back(c);
        }
    }
    return s;
}

std::string trimmed(const std::string& s) {
    const auto a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) {
        return "";
    }
    return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

// One CSV field, quoted when it holds a comma, a quote or a line break.
std::string field(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) {
        return s;
    }
    std::string q = "\"";
    for (char c : s) {
        if (c == '"') {
            q += "\"\"";
        } else if (c == '\r' || c == '\n') {
            q += ' ';
        } else {
            q += c;
        }
    }
    return q + "\"";
}

std::vector<std::string> splitCsv(const std::string& line) {
    std::vector<std::string> out;
    std::string f;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                f += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                f += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            out.push_back(f);
            f.clear();
        } else if (c != '\r') {
            f += c;
        }
    }
    out.push_back(f);
    return out;
}

// The whole of a plain file, or why not.
std::string readWhole(const std::string& path, std::string& text) {
    if (std::string problem = platform::regularFileProblem(path); !problem.empty()) {
        return problem;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    if (!in && !in.eof()) {
        return "it cannot be read";
    }
    text = all.str();
    return "";
}

std::string chainProblem(const std::string& file, const fitting::Chain& chain) {
    if (!fitting::ranks::root()) {
        return "";
    }
    return platform::writeFileWhole(file, fitting::formatChain(chain));
}

} // namespace

int parseFreeList(const std::string& text, std::vector<std::string>& names, std::ostream& err) {
    std::istringstream list(text);
    for (std::string name; std::getline(list, name, ',');) {
        name = trimmed(name);
        if (name.empty()) {
            continue;
        }
        const std::string canonical = app::CorvaneForm::fitParameterName(name); // a box's name too
        if (canonical.empty()) {
            err << "corvane-cli: '" << name << "' cannot be fitted (the parameters are:";
            const auto known = app::CorvaneForm::fitParameterNames();
            for (std::size_t k = 0; k < known.size(); ++k) {
                err << (k == 0 ? " " : ", ") << known[k];
            }
            err << "; or their boxes' names, such as txtIota or Qratio)\n";
            return 2;
        }
        names.push_back(canonical);
    }
    if (names.empty()) {
        err << "corvane-cli: --free names no parameter\n";
        return 2;
    }
    return 0;
}

int runMcmcCommand(app::CorvaneForm& form, const std::string& observed, const std::vector<std::string>& names,
                   const PosteriorOptions& options, int threads, const PlotSize& cornerSize, bool sizeGiven,
                   std::ostream& out, std::ostream& err) {
    app::CorvaneForm::McmcRequest request;
    request.walkers = options.walkers;
    request.steps = options.steps;
    request.burn = options.burn;
    request.seed = options.seed;
    request.scaleErrors = options.errorScale != "fixed";
    if (options.resume) {
        if (options.chainFile.empty()) {
            err << "corvane-cli: --resume needs the --chain file to continue\n";
            return 2;
        }
        std::string text, why;
        if (const std::string problem = readWhole(options.chainFile, text); !problem.empty()) {
            err << "corvane-cli: the chain '" << options.chainFile << "' cannot be read (" << problem << ")\n";
            return 1;
        }
        request.resume = fitting::parseChain(text, why);
        if (!request.resume) {
            err << "corvane-cli: '" << options.chainFile << "' is not a chain this tool can continue: " << why << '\n';
            return 1;
        }
    }
    if (!options.chainFile.empty()) {
        request.checkpoint = [&](const fitting::Chain& chain) {
            if (const std::string problem = chainProblem(options.chainFile, chain); !problem.empty()) {
                err << "corvane-cli: the chain could not be saved to '" << options.chainFile << "' (" << problem << ")\n";
            }
        };
    }
    if (!observed.empty()) { // else a fit file loaded the curve
        form.txtLCName.Text = observed;
        if (!form.readObservedCurve()) {
            err << "corvane-cli: " << form.LastLoadProblems << '\n';
            return 1;
        }
    }
    err << "corvane-cli: " << form.lblObserved.Caption << '\n';
    if (!names.empty()) {
        form.FitFree = names;
    }
    const bool terminal = ::isatty(2) != 0;
    std::atomic<bool> cancel{false};
    InterruptWatcher watcher(cancel);
    std::string lastLine;
    app::CorvaneForm::McmcOutcome outcome;
    std::string why;
    const bool ok = form.runMcmc(
        request, threads > 0 ? threads : fitting::defaultThreads(),
        [&](const std::string& text) {
            if (terminal) {
                err << "\rcorvane-cli: " << text << "   " << std::flush;
            } else if (const std::string head = text.substr(0, text.find(':')); head != lastLine ||
                                                                                  text.find("00 of") != std::string::npos) {
                // Elsewhere a line when the stage changes and every hundred steps.
                lastLine = head;
                err << "corvane-cli: " << text << '\n';
            }
        },
        cancel, outcome, why);
    watcher.stop();
    if (terminal) {
        err << '\n';
    }
    if (!ok) {
        err << "corvane-cli: " << why << '\n';
        return 1;
    }
    err << plain(outcome.report);
    for (std::size_t j = 0; j < outcome.names.size(); ++j) {
        out << app::CorvaneForm::intervalText(outcome.names[j], outcome.intervals[j]) << '\n';
    }
    out << "Acceptance fraction = " << platform::Format(outcome.acceptance, "0.000") << '\n';
    int status = outcome.cancelled ? 130 : 0;
    if (!options.chainFile.empty()) {
        if (const std::string problem = chainProblem(options.chainFile, outcome.chain); !problem.empty()) {
            err << "corvane-cli: the chain could not be written to '" << options.chainFile << "' (" << problem << ")\n";
            status = 1;
        }
    }
    if (!options.cornerFile.empty() && fitting::ranks::root()) {
        const int side = fitting::cornerSide(outcome.names.size());
        const int w = sizeGiven ? cornerSize.width : side, h = sizeGiven ? cornerSize.height : side;
        if (const std::string problem =
                platform::saveFigure(fitting::cornerPlot(outcome.chain, outcome.burn), options.cornerFile, w, h);
            !problem.empty()) {
            err << "corvane-cli: the corner plot could not be written to '" << options.cornerFile << "' (" << problem
                << ")\n";
            status = 1;
        }
    }
    if (outcome.cancelled) {
        err << "corvane-cli: interrupted: the " << outcome.steps << " steps made are summarised"
            << (options.chainFile.empty() ? "" : " and saved") << '\n';
    }
    return status;
}

bool readList(const std::string& path, std::vector<ListEntry>& entries, std::string& why) {
    std::string text;
    if (const std::string problem = readWhole(path, text); !problem.empty()) {
        why = "the list '" + path + "' cannot be read (" + problem + ")";
        return false;
    }
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        line = trimmed(line);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        // Fields apart by commas or by blanks; a file name with blanks can be quoted.
        std::vector<std::string> f;
        if (line.find(',') != std::string::npos) {
            for (std::string& x : splitCsv(line)) {
                f.push_back(trimmed(x));
            }
        } else {
            std::istringstream words(line);
            std::string w;
            while (words >> std::ws && !words.eof()) {
                if (words.peek() == '"') {
                    words.get();
                    std::getline(words, w, '"');
                } else {
                    words >> w;
                }
                f.push_back(w);
            }
        }
        if (f.empty() || f[0].empty() || f.size() > 3) {
            why = "line " + std::to_string(number) + " of '" + path + "' is not FILE [PERIOD EPOCH]";
            return false;
        }
        entries.push_back({number, f[0], f.size() > 1 ? f[1] : "", f.size() > 2 ? f[2] : ""});
    }
    if (entries.empty()) {
        why = "the list '" + path + "' names no file";
        return false;
    }
    return true;
}

int runListCommand(const app::CorvaneForm& start, const std::vector<std::string>& names, const ListJob& job,
                   const PosteriorOptions& options, int threads, std::ostream& out, std::ostream& err) {
    if (job.taskCount < 1 || job.taskIndex < 0 || job.taskIndex >= job.taskCount) {
        err << "corvane-cli: --task-index must be from 0 to --task-count - 1 (got " << job.taskIndex << " of "
            << job.taskCount << ")\n";
        return 2;
    }
    std::vector<ListEntry> entries;
    std::string why;
    if (!readList(job.listFile, entries, why)) {
        err << "corvane-cli: " << why << '\n';
        return 1;
    }
    std::vector<ListEntry> mine;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        if (static_cast<int>(k % static_cast<std::size_t>(job.taskCount)) == job.taskIndex) {
            mine.push_back(entries[k]);
        }
    }
    const std::string kind = job.posterior ? "mcmc" : "fit";
    const std::string file = !job.resultFile.empty() ? job.resultFile
                                                     : kind + "-task-" + std::to_string(job.taskIndex) + "-of-" +
                                                           std::to_string(job.taskCount) + ".csv";
    std::string text = "# Corvane " + kind + " results: task " + std::to_string(job.taskIndex) + " of " +
                       std::to_string(job.taskCount) + ", " + std::to_string(mine.size()) + " entries of " +
                       std::to_string(entries.size()) + " in " + field(job.listFile) + "\nline,file,status";
    for (const std::string& name : names) {
        text += job.posterior ? "," + name + " median," + name + " -," + name + " +" : "," + name + "," + name + " error";
    }
    text += job.posterior ? ",Acceptance,Steps\n" : ",Measure,Value,Evaluations\n";
    auto save = [&] {
        if (!fitting::ranks::root()) {
            return std::string();
        }
        return platform::writeFileWhole(file, text);
    };
    if (const std::string problem = save(); !problem.empty()) {
        err << "corvane-cli: the results cannot be written to '" << file << "' (" << problem << ")\n";
        return 1;
    }
    err << "corvane-cli: task " << job.taskIndex << " of " << job.taskCount << ": " << mine.size() << " of "
        << entries.size() << " entries, results in " << file << '\n';
    std::atomic<bool> cancel{false};
    InterruptWatcher watcher(cancel);
    int failed = 0;
    for (const ListEntry& e : mine) {
        if (cancel) {
            break;
        }
        app::CorvaneForm form(start);
        platform::ScriptedDialogs dialogs;
        form.setDialogs(dialogs);
        std::string status = "ok", row;
        if (!e.period.empty()) {
            const double p = platform::Val(e.period);
            if (!(p > 0 && std::isfinite(p))) {
                status = "failed: the period '" + e.period + "' is not a positive number of days";
            }
            form.txtPeriod.Text = e.period;
            form.txtEpoch.Text = e.epoch.empty() ? "0" : e.epoch;
        }
        form.txtLCName.Text = e.file;
        if (status == "ok" && !form.readObservedCurve()) {
            status = "failed: " + plain(form.LastLoadProblems);
        }
        form.FitFree = names;
        if (status == "ok" && !job.posterior) {
            app::CorvaneForm::FitOutcome fit;
            if (!form.runFit(threads, {}, cancel, fit, why)) {
                status = "failed: " + why;
            } else {
                if (fit.cancelled) {
                    status = "cancelled";
                }
                for (std::size_t j = 0; j < fit.names.size(); ++j) {
                    row += "," + platform::GeneralNumber(fit.values[j]) + "," +
                           (fit.errors[j] ? platform::GeneralNumber(*fit.errors[j]) : std::string());
                }
                row += std::string(",") + (fit.weighted ? "chi-square per point" : "relative error") + "," +
                       platform::GeneralNumber(fit.objective) + "," + std::to_string(fit.evaluations);
            }
        } else if (status == "ok") {
            app::CorvaneForm::McmcRequest request;
            request.walkers = options.walkers;
            request.steps = options.steps;
            request.burn = options.burn;
            request.seed = options.seed;
            request.scaleErrors = options.errorScale != "fixed";
            app::CorvaneForm::McmcOutcome posterior;
            if (!form.runMcmc(request, threads, {}, cancel, posterior, why)) {
                status = "failed: " + why;
            } else {
                if (posterior.cancelled) {
                    status = "cancelled";
                }
                for (const fitting::Interval& r : posterior.intervals) {
                    row += "," + platform::GeneralNumber(r.median) + "," + platform::GeneralNumber(r.median - r.low) +
                           "," + platform::GeneralNumber(r.high - r.median);
                }
                row += "," + platform::GeneralNumber(posterior.acceptance) + "," + std::to_string(posterior.steps);
            }
        }
        if (status.rfind("failed", 0) == 0) {
            ++failed;
            row.clear();
            for (std::size_t j = 0; j < names.size() * (job.posterior ? 3 : 2) + (job.posterior ? 2 : 3); ++j) {
                row += ",";
            }
            err << "corvane-cli: " << e.file << " (line " << e.line << "): " << status << '\n';
        } else {
            err << "corvane-cli: " << e.file << " (line " << e.line << "): " << status << '\n';
        }
        text += std::to_string(e.line) + "," + field(e.file) + "," + field(status) + row + "\n";
        if (const std::string problem = save(); !problem.empty()) {
            err << "corvane-cli: the results cannot be written to '" << file << "' (" << problem << ")\n";
            return 1;
        }
    }
    watcher.stop();
    out << file << '\n';
    if (cancel) {
        err << "corvane-cli: interrupted: the entries finished are in " << file << '\n';
        return 130;
    }
    return failed > 0 ? 1 : 0;
}

int runMergeCommand(const std::vector<std::string>& files, const std::string& outFile, std::ostream& out,
                    std::ostream& err) {
    struct Task {
        std::string file;
        int entries = 0;
    };
    std::string kind, columns, list;
    int count = -1, total = -1;
    std::map<int, Task> tasks;
    std::map<int, std::string> rows; // by list line
    bool whole = true;
    for (const std::string& file : files) {
        std::string text;
        if (const std::string problem = readWhole(file, text); !problem.empty()) {
            err << "corvane-cli: '" << file << "' cannot be read (" << problem << ")\n";
            whole = false;
            continue;
        }
        std::istringstream in(text);
        std::string head, header;
        std::getline(in, head);
        std::getline(in, header);
        head = trimmed(head);
        header = trimmed(header);
        // "# Corvane KIND results: task I of N, M entries of T in LIST"
        const std::string lead = "# Corvane ";
        const auto resultsAt = head.find(" results: task ");
        int index = -1, of = -1, entries = -1, all = -1;
        std::string listName;
        if (head.rfind(lead, 0) == 0 && resultsAt != std::string::npos) {
            std::istringstream h(head.substr(resultsAt + 15));
            std::string ofWord, entriesWord, ofWord2, inWord;
            char comma = 0;
            if (h >> index >> ofWord >> of >> comma >> entries >> entriesWord >> ofWord2 >> all >> inWord) {
                std::getline(h >> std::ws, listName);
            }
        }
        if (index < 0 || of < 1 || index >= of || entries < 0 || all < 1 || header.rfind("line,file,status", 0) != 0) {
            err << "corvane-cli: '" << file << "' is not a task's result file\n";
            whole = false;
            continue;
        }
        const std::string k = head.substr(lead.size(), resultsAt - lead.size());
        if (kind.empty()) {
            kind = k;
            columns = header;
            count = of;
            total = all;
            list = listName;
        } else if (k != kind || header != columns || of != count || all != total || listName != list) {
            err << "corvane-cli: '" << file << "' is from another run (task " << index << " of " << of << " of "
                << listName << ", " << k << ")\n";
            whole = false;
            continue;
        }
        if (tasks.count(index) != 0) {
            err << "corvane-cli: '" << file << "' and '" << tasks[index].file << "' are both task " << index << '\n';
            whole = false;
            continue;
        }
        tasks[index] = {file, entries};
        int found = 0;
        for (std::string line; std::getline(in, line);) {
            line = trimmed(line);
            if (line.empty()) {
                continue;
            }
            const auto f = splitCsv(line);
            if (f.size() < 3) {
                continue;
            }
            ++found;
            rows[std::atoi(f[0].c_str())] = line;
            if (f[2] != "ok") {
                err << "corvane-cli: " << f[1] << " (line " << f[0] << ", task " << index << "): " << f[2] << '\n';
            }
        }
        if (found < entries) {
            err << "corvane-cli: task " << index << " (" << file << ") finished " << found << " of its " << entries
                << " entries\n";
            whole = false;
        }
    }
    if (kind.empty()) {
        err << "corvane-cli: no result file to merge\n";
        return 1;
    }
    for (int t = 0; t < count; ++t) {
        if (tasks.count(t) == 0) {
            err << "corvane-cli: task " << t << " of " << count << " has no result file among those given\n";
            whole = false;
        }
    }
    std::string table = "# Corvane " + kind + " results: merged from " + std::to_string(tasks.size()) + " of " +
                        std::to_string(count) + " tasks, " + std::to_string(rows.size()) + " entries of " +
                        std::to_string(total) + " in " + list + "\n" + columns + "\n";
    for (const auto& [line, row] : rows) {
        table += row + "\n";
    }
    if (outFile.empty()) {
        out << table;
    } else if (const std::string problem = platform::writeFileWhole(outFile, table); !problem.empty()) {
        err << "corvane-cli: the table cannot be written to '" << outFile << "' (" << problem << ")\n";
        return 1;
    } else {
        out << outFile << '\n';
    }
    err << "corvane-cli: " << rows.size() << " of " << total << " entries merged from " << tasks.size() << " of "
        << count << " tasks\n";
    return whole ? 0 : 1;
}

} // namespace corvane::cli
