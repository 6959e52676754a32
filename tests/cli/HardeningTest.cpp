// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// Faults found by running the batch tool with hostile input, faults and signals: one test each.
#include "cli/BatchTool.h"
#include "platform/NumberFormat.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace corvane::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result call(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = runBatchTool(args, out, err);
    return {status, out.str(), err.str()};
}

struct Hostile : ::testing::Test {
    Hostile() {
        fs::create_directories(dir);
        fs::create_directories(tmp);
        std::ofstream obs(dir / "obs.csv");
        for (int k = 0; k < 12; ++k) {
            obs << k / 12.0 << "," << 10 + (k % 6 == 0 ? 0.5 : 0.1 * (k % 3)) << "\n";
        }
    }
    ~Hostile() override { fs::remove_all(dir); }
    fs::path dir = fs::temp_directory_path() / ("corvane-hostile-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::path tmp = dir / "tmp";
    std::string file(const char* name) const { return (dir / name).string(); }

    // Starts the real program with TMPDIR pointing at tmp; returns its pid.
    pid_t spawn(const std::vector<std::string>& args, const std::string& tmpdir) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("TMPDIR", tmpdir.c_str(), 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            std::vector<char*> argv;
            std::string program = CORVANE_CLI_PROGRAM;
            argv.push_back(program.data());
            std::vector<std::string> copy = args;
            for (std::string& a : copy) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        return pid;
    }
    int wait(pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    int run(const std::vector<std::string>& args, const std::string& tmpdir) { return wait(spawn(args, tmpdir)); }
    int entries(const fs::path& p) {
        int n = 0;
        for (const auto& e : fs::directory_iterator(p)) {
            (void)e;
            ++n;
        }
        return n;
    }
};

// Regression: a missing TMPDIR aborted lightcurve with an uncaught exception. The curve is now
// written from memory, so the temporary folder is not needed at all.
TEST_F(Hostile, AMissingTemporaryFolderDoesNotMatter) {
    EXPECT_EQ(run({"--size", "100x60", "lightcurve", "--step", "20", "--out", file("lc.csv")}, "/nonexistent"), 0);
    EXPECT_TRUE(fs::exists(dir / "lc.csv"));
}

// Regression: a step of 1e-300 overflowed an integer and 1e-7 never finished.
TEST_F(Hostile, TinyStepsAreRefusedAtOnce) {
    for (const char* step : {"1e-300", "1e-7", "0.009"}) {
        const Result r = call({"lightcurve", "--step", step, "--out", file("lc.csv")});
        EXPECT_EQ(r.status, 2) << step;
        EXPECT_THAT(r.err, HasSubstr("from 0.01 up")) << step;
    }
    const Result viaBox = call({"--set", "txtAnimSpeed=1e-7", "lightcurve", "--out", file("lc.csv")});
    EXPECT_EQ(viaBox.status, 2);
    EXPECT_THAT(viaBox.err, HasSubstr("below 0.01 degree"));
}

TEST_F(Hostile, APipeAsObservedFileIsRefusedByName) {
    ASSERT_EQ(::mkfifo(file("pipe").c_str(), 0600), 0);
    const Result r = call({"compare", "--observed", file("pipe")});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("it is a pipe, not a file"));
}

// Regression: the same parameter on both axes was accepted and the file claimed a sweep that never
// happened; --from nan was taken as 0.
TEST_F(Hostile, GridRefusesOneParameterTwiceAndNonFiniteRanges) {
    const std::vector<std::string> base = {"--size", "100x60", "grid", "--observed", file("obs.csv"), "--steps", "2",
                                           "--steps2", "2", "--out", file("grid")};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = base;
        args.insert(args.end(), extra.begin(), extra.end());
        return call(args);
    };
    const Result same = with({"--p1", "Inclination", "--from", "70", "--to", "80", "--p2", "Inclination", "--from2",
                              "60", "--to2", "70"});
    EXPECT_EQ(same.status, 2);
    EXPECT_THAT(same.err, HasSubstr("choose two different parameters"));
    const Result nan = with({"--p1", "Inclination", "--from", "nan", "--to", "80", "--p2", "Mass Ratio", "--from2",
                             "0.3", "--to2", "0.5"});
    EXPECT_EQ(nan.status, 2);
    EXPECT_THAT(nan.err, HasSubstr("--from must be a finite number"));
    const Result inf = with({"--p1", "Inclination", "--from", "70", "--to", "80", "--p2", "Mass Ratio", "--from2",
                             "0.3", "--to2", "inf"});
    EXPECT_EQ(inf.status, 2);
    EXPECT_THAT(inf.err, HasSubstr("--to2 must be a finite number"));
    EXPECT_FALSE(fs::exists(dir / "grid"));
}

// Regression: --threads 500 aborted when threads could not be created, losing all work.
TEST_F(Hostile, AHugeThreadCountRunsCapped) {
    const Result r = call({"--size", "100x60", "grid", "--observed", file("obs.csv"), "--p1", "Inclination", "--from",
                           "70", "--to", "80", "--steps", "3", "--p2", "Mass Ratio", "--from2", "0.3", "--to2", "0.5",
                           "--steps2", "3", "--out", file("grid"), "--threads", "100000"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("100000 threads asked for; running"));
    std::ifstream in(r.out.substr(0, r.out.find('\n')));
    int lines = 0;
    for (std::string l; std::getline(in, l);) {
        ++lines;
    }
    EXPECT_EQ(lines, 1 + 9);
}

TEST_F(Hostile, PicturesGoToDevicesButNotThroughLinks) {
    EXPECT_EQ(call({"--size", "64x40", "render", "--out", "/dev/null"}).status, 0);
    EXPECT_EQ(run({"--size", "64x40", "render", "--out", "/dev/stdout"}, tmp.string()), 0)
        << "/dev/stdout is a link to a stream: written to";
    std::ofstream(dir / "victim") << "precious\n";
    fs::create_symlink(dir / "victim", dir / "link.png");
    const Result r = call({"--size", "64x40", "render", "--out", file("link.png")});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("symbolic link"));
    std::ifstream victim(dir / "victim");
    std::string text;
    std::getline(victim, text);
    EXPECT_EQ(text, "precious");
}

// Regression: "--set chkSave=1 lists" wrote a light-curve file beside the program.
TEST_F(Hostile, ABatchCommandWritesOnlyWhatItIsAskedFor) {
    for (const char* setting : {"chkSave=1", "chkBMP=1"}) {
        const Result r = call({"--set", setting, "lists"});
        EXPECT_EQ(r.status, 2) << setting;
        EXPECT_THAT(r.err, HasSubstr("cannot be set here")) << setting;
    }
}

// Regression: SIGINT during grid lost all work, and interrupted runs left temporary files.
TEST_F(Hostile, AGridEndedBySigtermKeepsWhatItFinished) {
    // Far more points than any machine finishes in the time before the signal.
    const pid_t pid = spawn({"--size", "200x125", "grid", "--observed", file("obs.csv"), "--p1", "Inclination", "--from",
                             "40", "--to", "89", "--steps", "300", "--p2", "Mass Ratio", "--from2", "0.2", "--to2", "2",
                             "--steps2", "300", "--out", file("grid"), "--threads", "2"},
                            tmp.string());
    // Wait for the first finished points, then stop it.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(wait(pid), 130);
    ASSERT_TRUE(fs::exists(dir / "grid"));
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir / "grid")) {
        if (e.path().extension() == ".png") {
            // The error map of the points finished, under the table's name.
            EXPECT_THAT(e.path().filename().string(), HasSubstr("-incomplete.png"));
            continue;
        }
        ++files;
        EXPECT_THAT(e.path().filename().string(), HasSubstr("-incomplete.csv"));
        std::ifstream in(e.path());
        int lines = 0;
        for (std::string l; std::getline(in, l);) {
            ++lines;
        }
        EXPECT_GT(lines, 1) << "the finished points are there";
        EXPECT_LT(lines, 1 + 90000);
    }
    EXPECT_EQ(files, 1) << "one result, no temporary file";
    EXPECT_EQ(entries(tmp), 0);
}

TEST_F(Hostile, ALightCurveEndedBySigtermLeavesNothing) {
    const pid_t pid = spawn({"--size", "120x80", "lightcurve", "--step", "0.01", "--out", file("lc.csv")}, tmp.string());
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(wait(pid), 130);
    EXPECT_FALSE(fs::exists(dir / "lc.csv"));
    EXPECT_EQ(entries(tmp), 0);
    int others = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        others += e.path().filename().string().rfind(".cv", 0) == 0;
    }
    EXPECT_EQ(others, 0) << "no temporary file beside the destination";
}

TEST_F(Hostile, APeriodSearchEndedBySigtermStops) {
    // A long search (twenty thousand points, periods down to a hundredth of a day) once took no
    // notice of the first SIGTERM.
    std::string text = "BJD mag\n";
    for (int i = 0; i < 20000; ++i) {
        const double t = 2459000 + 30.0 * i / 20000;
        const double phase = std::fmod((t - 2459000.3) / 2.4731, 1.0);
        text += platform::GeneralNumber(t) + " " + platform::GeneralNumber(10 + 0.5 * std::exp(-phase * phase / 0.001)) + "\n";
    }
    std::ofstream(file("series.txt")) << text;
    const pid_t pid = spawn({"period", "--observed", file("series.txt"), "--min", "0.01", "--max", "14"}, tmp.string());
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ::kill(pid, SIGTERM);
    const auto sent = std::chrono::steady_clock::now();
    EXPECT_EQ(wait(pid), 130);
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(20)) << "it stops, soon after the signal";
}

} // namespace
} // namespace corvane::cli
