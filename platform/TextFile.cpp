// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "TextFile.h"

#include "Interrupt.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace corvane::platform {

namespace fs = std::filesystem;

namespace {

std::string errnoText(int e) { return std::strerror(e); }

// Writes all of content to fd, across short writes and interruptions.
bool writeAll(int fd, std::string_view content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The process's file-creation mask, read without changing it (umask() would, for every thread).
mode_t currentUmask() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "Umask:") {
            std::string octal;
            status >> octal;
            return static_cast<mode_t>(std::strtol(octal.c_str(), nullptr, 8));
        }
        status.ignore(1 << 20, '\n');
    }
    return 022;
}

enum class Replace { Allowed, Never };

std::string writeWhole(const fs::path& path, std::string_view content, Replace replace, bool* existed) {
    if (existed != nullptr) {
        *existed = false;
    }
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    mode_t mode = 0666 & ~currentUmask();
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (replace == Replace::Never) {
            if (existed != nullptr) {
                *existed = true;
            }
            return "it already exists";
        }
        struct stat target {};
        const bool linkToStream = S_ISLNK(st.st_mode) && ::stat(path.c_str(), &target) == 0 &&
                                  !S_ISREG(target.st_mode) && !S_ISDIR(target.st_mode);
        if (S_ISLNK(st.st_mode) && !linkToStream) {
            // A link to a file (someone else's, in a shared folder, could point anywhere) is never
            // written through; /dev/stdout, a link to the terminal or a pipe, is a stream and is.
            return "it is a symbolic link, which Corvane does not write through";
        }
        if (S_ISDIR(st.st_mode)) {
            return "it is a folder";
        }
        if (!S_ISREG(st.st_mode)) {
            // A terminal, a pipe, /dev/stdout: there is nothing to replace, so write straight to it.
            const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | (linkToStream ? 0 : O_NOFOLLOW));
            if (fd < 0) {
                return errnoText(errno);
            }
            const bool ok = writeAll(fd, content);
            const int e = errno;
            const bool closed = ::close(fd) == 0;
            return ok && closed ? std::string{} : errnoText(ok ? errno : e);
        }
        mode = st.st_mode & 07777;
    }

    // The temporary file: created exclusively under an unpredictable, short name (a 255-byte file
    // name must still be writable) in the destination's folder, so the rename cannot cross devices.
    std::string temp = (folder / ".cvXXXXXX").string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return errnoText(errno);
    }
    const TemporaryFileGuard guard(temp.c_str());
    auto fail = [&](int e) {
        ::unlink(temp.c_str());
        return errnoText(e);
    };
    if (!writeAll(fd, content)) {
        const int e = errno;
        ::close(fd);
        return fail(e);
    }
    ::fchmod(fd, mode);
    if (::fsync(fd) != 0 && errno != EINVAL) {
        const int e = errno;
        ::close(fd);
        return fail(e);
    }
    if (::close(fd) != 0) {
        return fail(errno);
    }
    if (replace == Replace::Never) {
        // link() refuses an existing name: two writers can never take the same file.
        if (::link(temp.c_str(), path.c_str()) != 0) {
            const int e = errno;
            if (e == EEXIST && existed != nullptr) {
                *existed = true;
            }
            return fail(e);
        }
        ::unlink(temp.c_str());
        return {};
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        return fail(errno);
    }
    return {};
}

} // namespace

std::string writeFileWhole(const fs::path& path, std::string_view content) {
    return writeWhole(path, content, Replace::Allowed, nullptr);
}

std::string writeNewFile(const fs::path& path, std::string_view content, bool& existed) {
    return writeWhole(path, content, Replace::Never, &existed);
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

std::string regularFileProblem(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return errno == ENOENT ? "it does not exist" : "it cannot be read (" + errnoText(errno) + ")";
    }
    if (S_ISDIR(st.st_mode)) {
        return "it is a folder";
    }
    if (S_ISFIFO(st.st_mode)) {
        return "it is a pipe, not a file";
    }
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
        return "it is a device, not a file";
    }
    if (!S_ISREG(st.st_mode)) {
        return "it is not a regular file";
    }
    return {};
}

} // namespace corvane::platform
