// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace corvane::platform {

// Writes content to path whole: first to a temporary file in the same folder, then renamed over the
// target, so a failure never leaves a half-written file nor destroys the old one. Returns an empty
// string on success, otherwise a description of what failed.
std::string writeFileWhole(const std::filesystem::path& path, std::string_view content);

// Creates the folder (and its parents) when missing. True when the folder exists afterwards;
// created is set when it had to be made.
bool ensureFolder(const std::filesystem::path& folder, bool& created);

} // namespace corvane::platform
