// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "TextFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <unistd.h>

namespace corvane::platform {

namespace fs = std::filesystem;

std::string writeFileWhole(const fs::path& path, std::string_view content) {
    std::string tempName = ".";
    tempName.append(path.filename().string());
    tempName.append(".part");
    tempName.append(std::to_string(::getpid()));
    const fs::path temp = path.parent_path() / tempName;
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) {
        return std::strerror(errno);
    }
    const bool written = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    const int savedErrno = errno;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        std::error_code ec;
        fs::remove(temp, ec);
        return written ? "the file could not be closed" : std::strerror(savedErrno);
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return ec.message();
    }
    return {};
}

bool ensureFolder(const fs::path& folder, bool& created) {
    std::error_code ec;
    created = false;
    if (fs::is_directory(folder, ec)) {
        return true;
    }
    created = fs::create_directories(folder, ec);
    return fs::is_directory(folder, ec);
}

} // namespace corvane::platform
