// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace corvane::platform {

// Writes content to path whole: first to a temporary file created exclusively under an unpredictable
// name in the same folder (and removed on every failure, or by the interrupt handler), then renamed
// over the target, so a failure never leaves a half-written file nor destroys the old one. A target
// that is a device or a pipe, or a link to one (/dev/stdout), is written straight to; a symbolic link
// to a file, and a folder, are refused. An existing file keeps its permissions; a new one gets 0666 less the umask. Returns an
// empty string on success, otherwise a description of what failed.
std::string writeFileWhole(const std::filesystem::path& path, std::string_view content);

// As writeFileWhole, but never replaces anything: when path already exists (or appears meanwhile)
// nothing is written, existed is set and the reason returned.
std::string writeNewFile(const std::filesystem::path& path, std::string_view content, bool& existed);

// Why path cannot be read as a plain file (missing, a folder, a pipe, a device), or empty when it can.
// Follows symbolic links.
std::string regularFileProblem(const std::filesystem::path& path);

// Creates the folder (and its parents) when missing. True when the folder exists afterwards;
// created is set when it had to be made.
bool ensureFolder(const std::filesystem::path& folder, bool& created);

} // namespace corvane::platform
