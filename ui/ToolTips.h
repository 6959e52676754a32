// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <string>

namespace corvane::ui {

// The tooltip of a control, by its name: what it sets, in which unit and range (from the help
// texts). Empty for a name it does not know.
std::string toolTipFor(const std::string& name);

} // namespace corvane::ui
