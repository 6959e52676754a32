// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "GifWriter.h"

#include "platform/TextFile.h"

#include <gif_lib.h>

#include <algorithm>
#include <vector>

namespace corvane::platform {

struct GifWriter::State {
    std::string bytes;
    GifFileType* gif = nullptr;
    bool open = false;
};

namespace {

int appendBytes(GifFileType* gif, const GifByteType* data, int length) {
    auto* bytes = static_cast<std::string*>(gif->UserData);
    bytes->append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
    return length;
}

} // namespace

GifWriter::GifWriter(int width, int height, int delayCentiseconds)
    : state_(std::make_unique<State>()), width_(width), height_(height), delay_(std::clamp(delayCentiseconds, 2, 65535)) {
    int error = 0;
    state_->gif = EGifOpen(&state_->bytes, appendBytes, &error);
    if (state_->gif == nullptr) {
        problem_ = std::string("the GIF encoder could not start: ") + GifErrorString(error);
        return;
    }
    EGifSetGifVersion(state_->gif, true);
    if (EGifPutScreenDesc(state_->gif, width_, height_, 8, 0, nullptr) == GIF_ERROR) {
        problem_ = "the GIF header could not be written";
        return;
    }
    // Loop for ever.
    const unsigned char app[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    const unsigned char loop[] = {1, 0, 0};
    if (EGifPutExtensionLeader(state_->gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
        EGifPutExtensionBlock(state_->gif, sizeof app, app) == GIF_ERROR ||
        EGifPutExtensionBlock(state_->gif, sizeof loop, loop) == GIF_ERROR ||
        EGifPutExtensionTrailer(state_->gif) == GIF_ERROR) {
        problem_ = "the GIF loop block could not be written";
        return;
    }
    state_->open = true;
}

GifWriter::~GifWriter() {
    if (state_ && state_->gif != nullptr) {
        int error = 0;
        EGifCloseFile(state_->gif, &error);
    }
}

bool GifWriter::addFrame(const Canvas& frame) {
    if (!state_->open) {
        if (problem_.empty()) {
            problem_ = "the GIF is already finished";
        }
        return false;
    }
    if (frame.width() != width_ || frame.height() != height_) {
        problem_ = "a frame is not the size of the first";
        return false;
    }
    const std::size_t n = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    std::vector<GifByteType> r(n), g(n), b(n), index(n);
    const auto pixels = frame.pixels();
    for (std::size_t i = 0; i < n; ++i) {
        r[i] = static_cast<GifByteType>((pixels[i] >> 16) & 0xFF);
        g[i] = static_cast<GifByteType>((pixels[i] >> 8) & 0xFF);
        b[i] = static_cast<GifByteType>(pixels[i] & 0xFF);
    }
    int colours = 256;
    std::vector<GifColorType> palette(256);
    if (GifQuantizeBuffer(static_cast<unsigned>(width_), static_cast<unsigned>(height_), &colours, r.data(), g.data(),
                          b.data(), index.data(), palette.data()) == GIF_ERROR) {
        problem_ = "a frame could not be reduced to 256 colours";
        return false;
    }
    ColorMapObject* map = GifMakeMapObject(256, palette.data());
    if (map == nullptr) {
        problem_ = "out of memory for a palette";
        return false;
    }
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.DelayTime = delay_;
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    const std::size_t length = EGifGCBToExtension(&control, extension);
    bool ok = EGifPutExtension(state_->gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) != GIF_ERROR &&
              EGifPutImageDesc(state_->gif, 0, 0, width_, height_, false, map) != GIF_ERROR;
    for (int y = 0; ok && y < height_; ++y) {
        ok = EGifPutLine(state_->gif, index.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_),
                         width_) != GIF_ERROR;
    }
    GifFreeMapObject(map);
    if (!ok) {
        problem_ = "a frame could not be encoded";
        state_->open = false;
        return false;
    }
    ++frames_;
    return true;
}

std::string GifWriter::finish(const std::filesystem::path& file) {
    if (!state_->open) {
        return problem_.empty() ? "the GIF could not be written" : problem_;
    }
    if (frames_ == 0) {
        return "the animation has no frames";
    }
    int error = 0;
    const int closed = EGifCloseFile(state_->gif, &error);
    state_->gif = nullptr;
    state_->open = false;
    if (closed == GIF_ERROR) {
        return std::string("the GIF could not be finished: ") + GifErrorString(error);
    }
    return writeFileWhole(file, state_->bytes);
}

} // namespace corvane::platform
