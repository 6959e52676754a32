// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <filesystem>
#include <string>

namespace corvane::platform {

// The folder output files go into. An installed copy (one whose executable folder has
// ../share/doc/corvane beside it, as the install rules lay it out) never writes beside itself;
// neither does a copy whose folder is not writable. Both use the per-user data folder
// ($XDG_DATA_HOME/corvane, or ~/.local/share/corvane), created when missing. A copy run from a
// writable build folder writes there, beside itself.
std::filesystem::path applicationFolder();

// The same choice for a given executable folder (testable without moving the executable).
std::filesystem::path applicationFolderFor(const std::filesystem::path& executableFolder);

// The running executable's folder (empty when it cannot be told).
std::filesystem::path executableFolder();

// The documentation folder of an installed copy (<prefix>/share/doc/corvane for <prefix>/bin), or
// empty when the executable is not installed.
std::filesystem::path installedDocumentationFor(const std::filesystem::path& executableFolder);
std::filesystem::path installedDocumentation();

// A file:// address for an absolute path, with every byte outside the unreserved set and '/'
// percent-encoded, so that spaces, '#', '?' and '%' in folder names survive.
std::string fileAddress(const std::filesystem::path& file);

} // namespace corvane::platform
