// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "AppFolder.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace corvane::platform {

namespace fs = std::filesystem;

namespace {

fs::path userDataFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg != '\0') {
        return fs::path(xdg) / "corvane";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return fs::path(home) / ".local" / "share" / "corvane";
    }
    return fs::temp_directory_path() / "corvane";
}

} // namespace

fs::path applicationFolderFor(const fs::path& executableFolder) {
    std::error_code ec;
    if (!executableFolder.empty() && fs::is_directory(executableFolder, ec) &&
        ::access(executableFolder.c_str(), W_OK) == 0) {
        return executableFolder;
    }
    fs::path fallback = userDataFolder();
    fs::create_directories(fallback, ec);
    return fallback;
}

fs::path applicationFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return applicationFolderFor(ec ? fs::path{} : exe.parent_path());
}

} // namespace corvane::platform
