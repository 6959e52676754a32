// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "platform/Canvas.h"

#include <filesystem>
#include <memory>
#include <string>

namespace corvane::platform {

// An animated GIF built frame by frame in memory and written whole at the end: every frame the size
// of the first, each with its own 256-colour palette (median cut of that frame), shown for
// delayCentiseconds, the whole looping for ever (the NETSCAPE2.0 loop block, count 0).
class GifWriter {
public:
    GifWriter(int width, int height, int delayCentiseconds);
    ~GifWriter();
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;

    // Adds a frame; false (with the reason in problem()) when it is not the first frame's size or
    // cannot be encoded.
    bool addFrame(const Canvas& frame);
    int frames() const { return frames_; }
    // Writes the file (whole, or not at all); the reason it could not, or an empty text.
    std::string finish(const std::filesystem::path& file);
    const std::string& problem() const { return problem_; }

private:
    struct State;
    std::unique_ptr<State> state_;
    int width_, height_, delay_;
    int frames_ = 0;
    std::string problem_;
};

} // namespace corvane::platform
