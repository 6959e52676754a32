// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <filesystem>

namespace corvane::platform {

// The folder output files go into: the running executable's folder when it is writable, otherwise
// a per-user data folder ($XDG_DATA_HOME/corvane, or ~/.local/share/corvane), created when missing.
std::filesystem::path applicationFolder();

// The same choice for a given executable folder (testable without moving the executable).
std::filesystem::path applicationFolderFor(const std::filesystem::path& executableFolder);

} // namespace corvane::platform
