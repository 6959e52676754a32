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

fs::path executableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path{} : exe.parent_path();
}

fs::path installedDocumentationFor(const fs::path& executableFolder) {
    if (executableFolder.empty()) {
        return {};
    }
    // Kept in step with the install rules: programs in <prefix>/bin, documentation in
    // <prefix>/share/doc/corvane.
    const fs::path doc = executableFolder.parent_path() / "share" / "doc" / "corvane";
    std::error_code ec;
    return fs::is_directory(doc, ec) ? doc : fs::path{};
}

fs::path applicationFolderFor(const fs::path& executableFolder) {
    std::error_code ec;
    if (!executableFolder.empty() && fs::is_directory(executableFolder, ec) &&
        ::access(executableFolder.c_str(), W_OK) == 0 &&
        installedDocumentationFor(executableFolder).empty()) {
        return executableFolder;
    }
    fs::path fallback = userDataFolder();
    fs::create_directories(fallback, ec);
    return fallback;
}

fs::path applicationFolder() {
    return applicationFolderFor(executableFolder());
}

fs::path installedDocumentation() {
    return installedDocumentationFor(executableFolder());
}

std::string fileAddress(const fs::path& file) {
    static const char* hex = "0123456789ABCDEF";
    std::string address = "file://";
    for (const unsigned char c : file.string()) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            address.push_back(static_cast<char>(c));
        } else {
            address.push_back('%');
            address.push_back(hex[c >> 4]);
            address.push_back(hex[c & 15]);
        }
    }
    return address;
}

} // namespace corvane::platform
