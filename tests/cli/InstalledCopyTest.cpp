// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// The batch tool laid out as the package installs it (<prefix>/bin beside <prefix>/share/doc/corvane)
// and run as a person runs it: it must never write beside itself, and must say where it wrote.
#include "app/Version.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct Outcome {
    int status;
    std::string out;
};

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

struct InstalledCopy : ::testing::Test {
    fs::path root = fs::temp_directory_path() / ("corvane-installed-" + std::to_string(::getpid()));
    fs::path prefix = root / "usr";
    fs::path program = prefix / "bin" / "corvane-cli";
    fs::path home = root / "home";
    fs::path work = root / "work";

    void SetUp() override {
        fs::create_directories(prefix / "bin");
        fs::create_directories(home);
        fs::create_directories(work);
        fs::copy_file(CORVANE_CLI_PROGRAM, program);
    }
    void TearDown() override { fs::remove_all(root); }

    void install() { fs::create_directories(prefix / "share" / "doc" / "corvane"); }

    // Runs the copy from the work folder with a clean HOME (and XDG_DATA_HOME when given).
    Outcome run(const std::string& args, const std::string& xdg = "") {
        std::string command =
            "cd " + quoted(work.string()) + " && env -u XDG_DATA_HOME HOME=" + quoted(home.string());
        if (!xdg.empty()) {
            command += " XDG_DATA_HOME=" + quoted(xdg);
        }
        command += " " + quoted(program.string()) + " " + args + " 2>/dev/null";
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return {-1, ""};
        }
        std::string out;
        std::array<char, 4096> buffer{};
        for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
            out.append(buffer.data(), n);
        }
        const int status = ::pclose(pipe);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
    }

    static int entries(const fs::path& folder) {
        int n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder)) {
            ++n;
        }
        return n;
    }
};

TEST_F(InstalledCopy, LightCurveWithoutOutLandsInTheOutputFolderAndSaysWhere) {
    const struct {
        const char* regime;
        bool installed;
        bool xdg;
        const char* settings;
        const char* name;
    } cases[] = {
        {"installed, no XDG_DATA_HOME", true, false, "", "corvane1.csv"},
        {"installed, XDG_DATA_HOME set", true, true, "", "corvane1.csv"},
        {"installed, the file name from the box", true, false, "--set txtFilename=mine.csv ", "mine.csv"},
        {"installed, a path in the box keeps only its name", true, false,
         "--set txtFilename=../../x/evil.csv ", "evil.csv"},
        {"run from a build folder", false, false, "", "corvane1.csv"},
    };
    for (const auto& c : cases) {
        if (c.installed) {
            install();
        } else {
            fs::remove_all(prefix / "share");
        }
        const fs::path xdg = root / "xdg";
        const fs::path folder = !c.installed ? prefix / "bin"
                                : c.xdg      ? xdg / "corvane"
                                             : home / ".local" / "share" / "corvane";
        const fs::path expected = folder / "LightCurves" / c.name;
        const Outcome r =
            run(std::string(c.settings) + "--set cmbFilter=L --size 200x125 lightcurve --step 10",
                c.xdg ? xdg.string() : "");
        EXPECT_EQ(r.status, 0) << c.regime;
        EXPECT_EQ(r.out, expected.string() + "\n") << c.regime;
        std::ifstream in(expected);
        std::string header;
        std::getline(in, header);
        EXPECT_EQ(header, "Phase, Red, Green, Blue, Luminance") << c.regime << ": " << expected;
        EXPECT_EQ(entries(work), 0) << c.regime << ": nothing in the folder it was started from";
        if (c.installed) {
            EXPECT_EQ(entries(prefix / "bin"), 1) << c.regime << ": nothing beside the installed program";
        }
        fs::remove_all(folder / "LightCurves");
        fs::remove_all(xdg);
    }
}

TEST_F(InstalledCopy, AnOutGivenIsWrittenWhereItSays) {
    install();
    const Outcome r = run("--set cmbFilter=L --size 200x125 lightcurve --step 10 --out here.csv");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "") << "the path given is not repeated";
    EXPECT_TRUE(fs::is_regular_file(work / "here.csv"));
    EXPECT_FALSE(fs::exists(home / ".local" / "share" / "corvane" / "LightCurves"));
}

TEST_F(InstalledCopy, AnswersVersionHelpAndListsFromAnyFolder) {
    install();
    const Outcome version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("corvane-cli ") + CORVANE_VERSION + "\n");
    const Outcome help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("Usage: corvane-cli"));
    EXPECT_THAT(help.out, HasSubstr("~/.local/share/corvane"));
    const Outcome lists = run("lists");
    EXPECT_EQ(lists.status, 0);
    EXPECT_THAT(lists.out, HasSubstr("Roche"));
    EXPECT_EQ(entries(prefix / "bin"), 1);
}

} // namespace
