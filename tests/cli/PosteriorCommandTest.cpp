// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// The batch tool's posterior, its chain files, the array tasks of a list with their merge, and the
// same answers from 1 and 3 MPI processes.
#include "cli/BatchTool.h"
#include "fitting/Ensemble.h"
#include "platform/Dialogs.h"
#include "support/ModelSeries.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>

namespace corvane::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr double kPeriod = 2.4731, kEpoch = 2459001.3;
constexpr double kTrueQ = 0.6, kTrueI = 84;

// The detached system of the synthetic curves; the settings as the batch tool takes them.
const std::vector<std::pair<std::string, std::string>> kSystem = {
    {"txtRadius1", "0.3"}, {"txtRadius2", "0.24"}, {"txtTemp1", "6500"}, {"txtTemp2", "5000"}};

std::vector<std::string> settings() {
    std::vector<std::string> args = {"--set", "cmbPhotometry=Precise", "--set", "cmbFilter=L", "--size", "400x250"};
    for (const auto& [name, value] : kSystem) {
        args.insert(args.end(), {"--set", name + "=" + value});
    }
    return args;
}

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// "NAME = MEDIAN -LOW +HIGH" lines into (median, low, high).
struct Interval {
    double median = NAN, minus = NAN, plus = NAN;
};
std::map<std::string, Interval> intervals(const std::string& out) {
    std::map<std::string, Interval> v;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find(" = ");
        if (eq == std::string::npos) {
            continue;
        }
        Interval i;
        std::istringstream rest(line.substr(eq + 3));
        rest >> i.median >> i.minus >> i.plus;
        i.minus = -i.minus; // printed as "-LOW"
        v[line.substr(0, eq)] = i;
    }
    return v;
}

struct PosteriorCommandFixture : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("corvane-cli-posterior-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    PosteriorCommandFixture() { fs::create_directories(dir); }
    ~PosteriorCommandFixture() override { fs::remove_all(dir); }

    // The system with mass ratio q and inclination i seen `points` times over 30 days with `sigma` mag
    // of noise, as a time series with its errors.
    // `written` is the error the file gives each point (sigma when not given).
    std::string series(const std::string& name, double q, double i, int points, double sigma, unsigned seed,
                       double written = 0) const {
        platform::ScriptedDialogs dialogs;
        app::CorvaneForm form(dialogs);
        form.setPictureSize(400, 250);
        form.Form_Load();
        testing::setSystem(form, kSystem);
        form.typeText("Qratio", std::to_string(q));
        form.typeText("txtIota", std::to_string(i));
        std::vector<double> times;
        for (int k = 0; k < points; ++k) {
            times.push_back(kEpoch - 1 + 30.0 * (k + 0.37) / points);
        }
        const auto s = testing::observeModel(form, times, kPeriod, kEpoch, sigma, seed);
        testing::writeSeries((dir / name).string(), s, written > 0 ? written : sigma);
        return (dir / name).string();
    }

    struct Result {
        int status;
        std::string out, err;
    };
    static Result tool(std::vector<std::string> args) {
        std::vector<std::string> all = settings();
        all.insert(all.end(), args.begin(), args.end());
        std::ostringstream out, err;
        const int status = runBatchTool(all, out, err);
        return {status, out.str(), err.str()};
    }
    static std::vector<std::string> ephemeris() {
        return {"--period", std::to_string(kPeriod), "--epoch", std::to_string(kEpoch)};
    }
    // The mcmc command on a file, starting from a form a little off the truth.
    static std::vector<std::string> mcmcArgs(const std::string& file, int walkers, int steps, int seed) {
        std::vector<std::string> a = {"--set", "Qratio=0.55", "--set", "txtIota=83", "mcmc", "--observed", file,
                                      "--free", "Inclination,Mass Ratio", "--walkers", std::to_string(walkers),
                                      "--steps", std::to_string(steps), "--seed", std::to_string(seed)};
        const auto e = ephemeris();
        a.insert(a.end(), e.begin(), e.end());
        return a;
    }
};

TEST_F(PosteriorCommandFixture, ANoisyDetachedCurveGivesIntervalsAroundTheTruthAndACornerPlot) {
    const std::string file = series("detached.csv", kTrueQ, kTrueI, 200, 0.002, 11);
    auto args = mcmcArgs(file, 12, 60, 5);
    args.insert(args.end(), {"--chain", (dir / "chain.csv").string(), "--corner", (dir / "corner.png").string()});
    const Result r = tool(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto v = intervals(r.out);
    ASSERT_EQ(v.count("Inclination"), 1u) << r.out;
    ASSERT_EQ(v.count("Mass Ratio"), 1u) << r.out;
    EXPECT_THAT(r.out, HasSubstr("Acceptance fraction = 0."));
    // A short chain: its 68% interval holds the truth about two times in three, so the check is on
    // three times its width (this noise draw puts the fit's inclination 2.4 sigma from the truth),
    // and on the width being that of the noise, not of the starting ball.
    for (const auto& [name, truth, widest] :
         {std::tuple{"Inclination", kTrueI, 1.0}, std::tuple{"Mass Ratio", kTrueQ, 0.2}}) {
        const Interval& i = v.at(name);
        EXPECT_GT(i.minus, 0) << name << ": " << r.out;
        EXPECT_GT(i.plus, 0) << name << ": " << r.out;
        EXPECT_LT(i.minus + i.plus, widest) << name << ": " << r.out;
        EXPECT_GE(truth, i.median - 3 * i.minus) << name << ": " << r.out << r.err;
        EXPECT_LE(truth, i.median + 3 * i.plus) << name << ": " << r.out << r.err;
    }
    EXPECT_THAT(r.err, HasSubstr("autocorrelation"));
    EXPECT_THAT(r.err, HasSubstr("Warning: the chain is shorter than 50 autocorrelation times"));

    std::string why;
    const auto chain = fitting::parseChain(readAll(dir / "chain.csv"), why);
    ASSERT_TRUE(chain) << why;
    EXPECT_EQ(chain->steps(), 60);
    EXPECT_EQ(chain->walkers, 12);
    EXPECT_EQ(chain->seed, 5u);
    EXPECT_EQ(chain->names, (std::vector<std::string>{"Inclination", "Mass Ratio"}));
    const std::string png = readAll(dir / "corner.png");
    ASSERT_GT(png.size(), 1000u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
}

TEST_F(PosteriorCommandFixture, ABadFitIsWarnedOfWhereTheIntervalsAreShown) {
    // Errors ten times too small: the best fit's reduced chi-square is about 100, and intervals that
    // take the errors at their word are ten times too narrow. The report says so; a fit within its
    // errors (the test above) carries no such warning.
    const std::string bad = series("understated.csv", kTrueQ, kTrueI, 120, 0.002, 11, 0.0002);
    auto fixed = [](std::vector<std::string> a) {
        a.insert(a.end(), {"--error-scale", "fixed"});
        return a;
    };
    const Result r = tool(fixed(mcmcArgs(bad, 8, 12, 5)));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("Warning: the best fit's reduced chi-square is "));
    EXPECT_THAT(r.err, HasSubstr("these intervals assume the errors are right"));
    const std::string good = series("honest.csv", kTrueQ, kTrueI, 120, 0.002, 11);
    const Result g = tool(fixed(mcmcArgs(good, 8, 12, 5)));
    ASSERT_EQ(g.status, 0) << g.err;
    EXPECT_THAT(g.err, Not(HasSubstr("reduced chi-square is"))) << g.err;
}

// The same understated errors with the file's error scale marginalised (the default): the factor
// found is the ten the errors are short by, no warning is needed, and the intervals are about ten
// times those that take the errors at their word. With honest errors the factor is near 1.
TEST_F(PosteriorCommandFixture, TheErrorScaleWidensTheIntervalsWithTheResiduals) {
    const std::string bad = series("understated.csv", kTrueQ, kTrueI, 120, 0.002, 11, 0.0002);
    auto run = [&](const std::string& file, const char* scale) {
        auto a = mcmcArgs(file, 8, 200, 5);
        a.insert(a.end(), {"--error-scale", scale});
        return tool(a);
    };
    const Result fixed = run(bad, "fixed"), free = run(bad, "free");
    ASSERT_EQ(fixed.status, 0) << fixed.err;
    ASSERT_EQ(free.status, 0) << free.err;
    EXPECT_THAT(free.err, Not(HasSubstr("Warning: the best fit's reduced chi-square"))) << free.err;
    const auto at = free.err.find("at the start the factors are ");
    ASSERT_NE(at, std::string::npos) << free.err;
    EXPECT_NEAR(std::strtod(free.err.c_str() + at + 29, nullptr), 10, 1.5) << free.err;
    for (const char* name : {"Inclination", "Mass Ratio"}) {
        const Interval a = intervals(fixed.out).at(name), b = intervals(free.out).at(name);
        const double ratio = (b.minus + b.plus) / (a.minus + a.plus);
        EXPECT_GT(ratio, 5) << name << "\n" << fixed.out << free.out;
        EXPECT_LT(ratio, 20) << name << "\n" << fixed.out << free.out;
    }
    const Result honest = run(series("honest.csv", kTrueQ, kTrueI, 120, 0.002, 11), "free");
    ASSERT_EQ(honest.status, 0) << honest.err;
    const auto h = honest.err.find("at the start the factors are ");
    ASSERT_NE(h, std::string::npos) << honest.err;
    EXPECT_NEAR(std::strtod(honest.err.c_str() + h + 29, nullptr), 1, 0.2) << honest.err;
}

TEST_F(PosteriorCommandFixture, AResumedChainIsTheUnbrokenOneAndBadResumesAreRefused) {
    const std::string file = series("detached.csv", kTrueQ, kTrueI, 120, 0.002, 3);
    auto whole = mcmcArgs(file, 8, 14, 9);
    whole.insert(whole.end(), {"--chain", (dir / "whole.csv").string()});
    const Result a = tool(whole);
    ASSERT_EQ(a.status, 0) << a.err;

    auto part = mcmcArgs(file, 8, 6, 9);
    part.insert(part.end(), {"--chain", (dir / "part.csv").string()});
    ASSERT_EQ(tool(part).status, 0);
    // Resumed from another starting form: the chain, not the form, says where the walkers are.
    auto rest = mcmcArgs(file, 8, 14, 9);
    rest[1] = "Qratio=0.7";
    rest.insert(rest.end(), {"--chain", (dir / "part.csv").string(), "--resume"});
    const Result b = tool(rest);
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_THAT(b.err, HasSubstr("resumed"));
    EXPECT_EQ(readAll(dir / "part.csv"), readAll(dir / "whole.csv"));
    EXPECT_EQ(b.out, a.out);

    struct Bad {
        std::vector<std::string> extra;
        const char* says;
    };
    std::ofstream(dir / "garbage.csv") << "step,walker\n1,2\n";
    const Bad cases[] = {
        {{"--resume"}, "--resume needs the --chain file"},
        {{"--chain", (dir / "none.csv").string(), "--resume"}, "cannot be read"},
        {{"--chain", (dir / "garbage.csv").string(), "--resume"}, "is not a chain this tool can continue"},
    };
    for (const Bad& c : cases) {
        auto args = mcmcArgs(file, 8, 14, 9);
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const Result r = tool(args);
        EXPECT_NE(r.status, 0) << c.says;
        EXPECT_THAT(r.err, HasSubstr(c.says));
    }
    // The chain of other parameters.
    auto other = mcmcArgs(file, 8, 14, 9);
    other[8] = "Inclination";
    other.insert(other.end(), {"--chain", (dir / "whole.csv").string(), "--resume"});
    const Result r = tool(other);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("the chain is of other parameters (Inclination, Mass Ratio)"));
}

TEST_F(PosteriorCommandFixture, TheWalkersAndStepsAreCheckedBeforeAnythingRuns) {
    const std::string file = series("detached.csv", kTrueQ, kTrueI, 40, 0.002, 3);
    const struct {
        int walkers, steps;
        const char* says;
    } cases[] = {
        {3, 10, "the walkers must be an even number, at least twice the free parameters (4), not 3"},
        {2, 10, "not 2"},
        {4, 1, "the chain needs at least 2 steps"},
    };
    for (const auto& c : cases) {
        const Result r = tool(mcmcArgs(file, c.walkers, c.steps, 1));
        EXPECT_EQ(r.status, 1) << c.walkers << " walkers, " << c.steps << " steps";
        EXPECT_THAT(r.err, HasSubstr(c.says));
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

// A list of curves shared among array tasks gives, merged, the table of one task doing them all;
// a failing entry is reported by name and the others are whole.
TEST_F(PosteriorCommandFixture, TheTasksOfAListMergeIntoTheSerialTable) {
    std::ofstream list(dir / "list.txt");
    list.precision(12);
    list << "# file, period, epoch\n";
    const double qs[] = {0.5, 0.6, 0.7, 0.8};
    for (int k = 0; k < 4; ++k) {
        list << series("curve" + std::to_string(k) + ".csv", qs[k], kTrueI, 60, 0.003, 20 + k) << ' ' << kPeriod
             << ' ' << kEpoch << '\n';
    }
    list << (dir / "missing.csv").string() << ' ' << kPeriod << ' ' << kEpoch << '\n';
    list.close();
    auto task = [&](int index, int count) {
        const std::string results = (dir / ("task" + std::to_string(index) + "of" + std::to_string(count))).string();
        const Result r = tool({"--set", "Qratio=0.65", "--set", "txtIota=84", "fit", "--list", (dir / "list.txt").string(), "--free", "Mass Ratio", "--task-index",
                               std::to_string(index), "--task-count", std::to_string(count), "--results", results});
        return std::pair{r, results};
    };
    const auto [serial, serialFile] = task(0, 1);
    EXPECT_EQ(serial.status, 1) << serial.err; // the missing file
    EXPECT_THAT(serial.err, HasSubstr("missing.csv"));
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) {
        const auto [r, results] = task(i, 3);
        // Lines 0..4 of the list: task 1 has entries 1 and 4, the missing one.
        EXPECT_EQ(r.status, i == 1 ? 1 : 0) << "task " << i << ": " << r.err;
        files.push_back(results);
    }
    std::ostringstream out, err;
    const int merged = runBatchTool({"merge", files[0], files[1], files[2], "--out", (dir / "merged.csv").string()},
                                    out, err);
    EXPECT_EQ(merged, 0) << err.str();
    EXPECT_THAT(err.str(), HasSubstr("missing.csv"));
    std::ostringstream out1, err1;
    ASSERT_EQ(runBatchTool({"merge", serialFile, "--out", (dir / "serial.csv").string()}, out1, err1), 0)
        << err1.str();
    // The same rows under the same columns; the first line says what was merged.
    const auto body = [](const std::string& text) { return text.substr(text.find('\n') + 1); };
    const std::string table = readAll(dir / "merged.csv");
    EXPECT_THAT(table, HasSubstr("merged from 3 of 3 tasks, 5 entries of 5"));
    EXPECT_EQ(body(table), body(readAll(dir / "serial.csv")));
    // Every curve's fitted mass ratio near its own truth.
    std::istringstream rows(table);
    int fitted = 0;
    for (std::string line; std::getline(rows, line);) {
        for (int k = 0; k < 4; ++k) {
            if (line.find("curve" + std::to_string(k) + ".csv") != std::string::npos) {
                ++fitted;
                EXPECT_THAT(line, HasSubstr(",ok,")) << line;
                const auto afterStatus = line.find(",ok,");
                ASSERT_NE(afterStatus, std::string::npos);
                // 60 points of 3 mmag: within three of the fit's own errors.
                char* end = nullptr;
                const double q = std::strtod(line.c_str() + afterStatus + 4, &end);
                const double error = std::strtod(end + 1, nullptr);
                EXPECT_GT(error, 0) << line;
                EXPECT_LT(error, 0.15) << line;
                EXPECT_NEAR(q, qs[k], 3 * error) << line;
            }
        }
    }
    EXPECT_EQ(fitted, 4) << table;

    // A task missing from the merge: the table is not whole, and the task is named.
    std::ostringstream out2, err2;
    EXPECT_EQ(runBatchTool({"merge", files[0], files[2]}, out2, err2), 1);
    EXPECT_THAT(err2.str(), HasSubstr("task 1 of 3"));
    // Files of different runs are not mixed.
    std::ostringstream out3, err3;
    EXPECT_EQ(runBatchTool({"merge", files[0], serialFile}, out3, err3), 1) << err3.str();
}

#ifdef CORVANE_MPIEXEC
// The batch tool itself under mpirun with 3 processes against 1 process: the same files, bit for bit.
struct MpiFixture : PosteriorCommandFixture {
    // Runs the program in dir with its output into `name`.out and `name`.err; the exit status.
    int run(int processes, const std::string& name, const std::vector<std::string>& args) const {
        std::string command = "cd '" + dir.string() +
                              "' && OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 "
                              "OMPI_MCA_rmaps_base_oversubscribe=1 ASAN_OPTIONS=detect_leaks=0 " CORVANE_MPIEXEC
                              " -np " +
                              std::to_string(processes) + " --oversubscribe " CORVANE_CLI_PROGRAM;
        std::vector<std::string> all = settings();
        all.insert(all.end(), args.begin(), args.end());
        for (const std::string& a : all) {
            command += " '" + a + "'";
        }
        command += " > '" + name + ".out' 2> '" + name + ".err'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(MpiFixture, OneProcessAndThreeGiveTheSameGridFitAndChain) {
    const std::string file = series("detached.csv", kTrueQ, kTrueI, 80, 0.002, 7);
    const auto e = ephemeris();
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* output; // the file written, "" for standard output, "@" for the file it names
    };
    std::vector<Case> cases = {
        {"grid",
         {"grid", "--observed", file, "--p1", "Inclination", "--from", "82", "--to", "86", "--steps", "3", "--p2",
          "Mass Ratio", "--from2", "0.5", "--to2", "0.7", "--steps2", "3", "--out", "grid-N"},
         "@"},
        {"fit", {"--set", "Qratio=0.55", "fit", "--observed", file, "--free", "Inclination,Mass Ratio"}, ""},
        {"mcmc",
         {"--set", "Qratio=0.55", "mcmc", "--observed", file, "--free", "Inclination,Mass Ratio", "--walkers", "6",
          "--steps", "5", "--chain", "chain-N.csv"},
         "chain-N.csv"},
    };
    for (Case& c : cases) {
        c.args.insert(c.args.end(), e.begin(), e.end());
    }
    for (const Case& c : cases) {
        std::string one, three;
        for (const int n : {1, 3}) {
            std::vector<std::string> args = c.args;
            for (std::string& a : args) {
                if (const auto at = a.find("-N"); at != std::string::npos) {
                    a.replace(at, 2, "-" + std::to_string(n));
                }
            }
            const std::string name = std::string(c.name) + std::to_string(n);
            ASSERT_EQ(run(n, name, args), 0) << c.name << " with " << n << " processes: " << readAll(dir / (name + ".err"));
            std::string output = readAll(dir / (name + ".out"));
            if (*c.output == '@') {
                const std::string path = output.substr(0, output.find('\n'));
                EXPECT_THAT(path, HasSubstr("grid-" + std::to_string(n))) << output;
                output = readAll(fs::path(path).is_absolute() ? fs::path(path) : dir / path);
            } else if (*c.output != '\0') {
                std::string file = c.output;
                file.replace(file.find("-N."), 2, "-" + std::to_string(n));
                output = readAll(dir / file);
            }
            (n == 1 ? one : three) = output;
        }
        EXPECT_FALSE(one.empty()) << c.name;
        EXPECT_EQ(one, three) << c.name;
    }
}
#endif

} // namespace
} // namespace corvane::cli
