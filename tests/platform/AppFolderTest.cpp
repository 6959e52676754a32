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

TEST(ApplicationFolder, OfTheRunningProgramExists) {
    EXPECT_TRUE(fs::is_directory(applicationFolder()));
}

} // namespace
} // namespace corvane::platform
