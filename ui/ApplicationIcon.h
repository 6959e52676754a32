// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <QIcon>

#include <optional>
#include <ostream>

namespace corvane::ui {

// The program's icon, drawn from the same SVG that is installed for the desktop menu, at the sizes
// window managers ask for (16 to 256 pixels).
QIcon applicationIcon();

// Answers --help and --version before the window starts (so they work without a display): the exit
// status when one of them was given, nothing otherwise.
std::optional<int> answerCommandLine(int argc, const char* const* argv, std::ostream& out);

} // namespace corvane::ui
