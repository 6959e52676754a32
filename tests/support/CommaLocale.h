// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace corvane::testing {

// Switches the C library to a German locale, whose decimal separator is the comma, for as long as
// the object lives. The locale is compiled with localedef into a private folder (LOCPATH), so no
// system locale has to be installed. ok() is false when it cannot be made (no localedef or locale
// sources): callers skip then.
class CommaLocale {
public:
    CommaLocale() {
        const std::filesystem::path dir =
            std::filesystem::temp_directory_path() / ("corvane-locale-" + std::to_string(::getuid()));
        if (!std::filesystem::exists(dir / "de_DE.utf8" / "LC_NUMERIC")) {
            // Built aside and renamed into place, so tests running side by side never see half of it.
            std::filesystem::create_directories(dir);
            const std::filesystem::path part = dir / ("part-" + std::to_string(::getpid()));
            std::filesystem::create_directories(part);
            const std::string command = "localedef -i de_DE -f UTF-8 '" + part.string() + "' >/dev/null 2>&1";
            [[maybe_unused]] const int status = std::system(command.c_str()); // judged by setlocale below
            std::error_code ec;
            std::filesystem::rename(part, dir / "de_DE.utf8", ec); // the name glibc looks up
            std::filesystem::remove_all(part, ec);
        }
        ::setenv("LOCPATH", dir.c_str(), 1);
        ok_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
        if (ok_) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "%.1f", 0.5);
            ok_ = std::string(buf) == "0,5"; // really a decimal-comma locale
        }
    }
    ~CommaLocale() {
        std::setlocale(LC_ALL, "C");
        ::unsetenv("LOCPATH");
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

} // namespace corvane::testing
