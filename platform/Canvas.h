// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace corvane::platform {

// A 32-bit picture laid out like a top-down device-independent bitmap: one std::uint32_t per
// pixel holding the bytes blue, green, red, reserved (0x00RRGGBB read as a little-endian word),
// rows from the top. Width and height are in pixels; a new or cleared canvas is black.
class Canvas {
public:
    Canvas() = default;
    Canvas(int width, int height) { resize(width, height); }

    // Sets the size (at least 1 by 1) and clears to black.
    void resize(int width, int height);
    void clear() { std::fill(pixels_.begin(), pixels_.end(), 0u); }

    int width() const { return width_; }
    int height() const { return height_; }
    std::span<const std::uint32_t> pixels() const { return pixels_; }
    std::uint32_t pixel(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

} // namespace corvane::platform
