// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The state of the form's controls, without any widget behind them. The window mirrors these into
// its widgets; the batch tool and the tests read and write them directly.

namespace corvane::app {

// Colours are 24-bit values red + 256 green + 65536 blue.
inline constexpr std::uint32_t ColorRed = 255;
inline constexpr std::uint32_t ColorLightGrey = 12632256;

struct TextBox {
    std::string Text;
    bool Visible = true;
};

struct CheckBox {
    std::string Caption;
    int Value = 0; // 1 checked, 0 unchecked
    bool checked() const { return Value == 1; }
};

// One of a group of option buttons: exactly one of the group has Value true.
struct OptionButton {
    std::string Caption;
    bool Value = false;
};

struct ComboBox {
    std::vector<std::string> Items;
    int ListIndex = -1;
    std::string Text;
    void AddItem(const std::string& item) { Items.push_back(item); }
    void Clear() { Items.clear(); ListIndex = -1; Text.clear(); }
    // Selects the item with this text; false when there is none.
    bool select(const std::string& item);
};

struct ListBox {
    std::vector<std::string> Items;
    void AddItem(const std::string& item) { Items.push_back(item); }
    void Clear() { Items.clear(); }
};

// A vertical scroll bar used as an up/down spinner: Value runs from 0 (lower end) to 30000 (upper
// end) and starts in the middle, so the upper arrow raises it.
struct ScrollBar {
    static constexpr int Min = 0;
    static constexpr int Max = 30000;
    int Value = 15000;
};

struct Frame {
    Frame() = default;
    Frame(std::string caption, std::uint32_t foreColor) : Caption(std::move(caption)), ForeColor(foreColor) {}
    std::string Caption;
    std::uint32_t ForeColor = ColorLightGrey;
    std::string ToolTip; // why the frame looks as it does, when that needs saying
};

struct Label {
    std::string Caption;
    bool Visible = true;
};

} // namespace corvane::app
