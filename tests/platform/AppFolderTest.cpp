// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "platform/AppFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;

TEST(ApplicationFolder, IsTheExecutableFolderWhenWritable) {
    const fs::path dir = fs::temp_directory_path() / ("corvane-appfolder-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    EXPECT_EQ(applicationFolderFor(dir), dir);
    fs::remove_all(dir);
}

TEST(ApplicationFolder, FallsBackToTheUserDataFolder) {
    const fs::path data = fs::temp_directory_path() / ("corvane-xdg-" + std::to_string(::getpid()));
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    const fs::path chosen = applicationFolderFor("/nonexistent/corvane/bin");
    EXPECT_EQ(chosen, data / "corvane");
    EXPECT_TRUE(fs::is_directory(chosen));
    ::unsetenv("XDG_DATA_HOME");
    fs::remove_all(data);
}

// An installed copy is told by <prefix>/share/doc/corvane beside <prefix>/bin. Even when the
// program's folder is writable (root running /usr/bin/corvane-cli), it never writes beside itself.
TEST(ApplicationFolder, OfAnInstalledCopyIsThePerUserFolderEvenWhenItsFolderIsWritable) {
    const fs::path prefix = fs::temp_directory_path() / ("corvane-prefix-" + std::to_string(::getpid()));
    const fs::path data = prefix / "xdg";
    fs::create_directories(prefix / "bin");
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    EXPECT_EQ(applicationFolderFor(prefix / "bin"), prefix / "bin") << "no documentation folder: a build folder";
    EXPECT_TRUE(installedDocumentationFor(prefix / "bin").empty());
    fs::create_directories(prefix / "share" / "doc" / "corvane");
    EXPECT_EQ(installedDocumentationFor(prefix / "bin"), prefix / "share" / "doc" / "corvane");
    EXPECT_EQ(applicationFolderFor(prefix / "bin"), data / "corvane");
    EXPECT_TRUE(fs::is_directory(data / "corvane"));
    // Another package's documentation folder says nothing about this one.
    fs::remove_all(prefix / "share" / "doc" / "corvane");
    fs::create_directories(prefix / "share" / "doc" / "other");
    EXPECT_EQ(applicationFolderFor(prefix / "bin"), prefix / "bin");
    ::unsetenv("XDG_DATA_HOME");
    fs::remove_all(prefix);
}

TEST(ApplicationFolder, WithoutXdgDataHomeIsUnderHome) {
    const fs::path home = fs::temp_directory_path() / ("corvane-home-" + std::to_string(::getpid()));
    const char* savedHome = std::getenv("HOME");
    const std::string restore = savedHome != nullptr ? savedHome : "";
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", "", 1); // empty counts as unset
    EXPECT_EQ(applicationFolderFor("/nonexistent/corvane/bin"), home / ".local" / "share" / "corvane");
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", restore.c_str(), 1);
    fs::remove_all(home);
}

TEST(FileAddress, EncodesWhatAnAddressCannotCarry) {
    const struct {
        const char* path;
        const char* address;
    } cases[] = {
        {"/usr/share/doc/corvane/manual.html", "file:///usr/share/doc/corvane/manual.html"},
        {"/home/a b/My Docs #2/100%.html", "file:///home/a%20b/My%20Docs%20%232/100%25.html"},
        {"/tmp/q?x=1&y", "file:///tmp/q%3Fx%3D1%26y"},
        {"/tmp/\xc3\xa9toile", "file:///tmp/%C3%A9toile"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fileAddress(c.path), c.address) << c.path;
    }
}

TEST(ApplicationFolder, OfTheRunningProgramExists) {
    EXPECT_TRUE(fs::is_directory(applicationFolder()));
}

} // namespace
} // namespace corvane::platform
