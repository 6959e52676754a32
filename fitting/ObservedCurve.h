// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace corvane::fitting {

// An observed light curve as read from a file: records of two comma-separated numbers, the phase in
// revolutions and the observed value (a magnitude). A UTF-8 byte-order mark is skipped; lines may end
// in LF, CR LF or CR. Blank lines are ignored; a line whose first two
// fields are not both finite numbers (a header, a note, garbage) is skipped and counted; reading
// stops at MaxPoints records.
struct ObservedFile {
    static constexpr int MaxPoints = 5000;

    std::vector<double> phases;
    std::vector<double> values;
    int skippedLines = 0;       // lines that were not two numbers
    int firstSkippedLine = 0;   // 1-based number of the first of them (0 when none)
    bool truncated = false;     // the file held more than MaxPoints records
    std::size_t cutAtBytes = 0; // the file was larger than this and read only that far (0: read whole)
    int cutAtLine = 0;          // the last line read when it was cut
    int lastLine = 0;           // lines read (LF, CR LF and lone CR all end a line)
    std::string error;          // why nothing could be read (missing, unreadable, binary); empty when read

    bool ok() const { return error.empty(); }
    // A sentence for the user saying what was skipped or cut; empty when the file was clean.
    std::string problems() const;
};

ObservedFile readObservedFile(const std::filesystem::path& path);

// The same from text already in memory.
ObservedFile parseObservedText(const std::string& text);

} // namespace corvane::fitting
