// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "platform/Canvas.h"

#include <QWidget>

namespace corvane::ui {

// Shows a Canvas pixel for pixel (the picture the photometry sums is the one on the screen).
class PictureBox final : public QWidget {
public:
    explicit PictureBox(const platform::Canvas& canvas, QWidget* parent = nullptr);
    // A vertical marker line drawn over the picture at column x (none when negative).
    void setMarker(int x);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const platform::Canvas& canvas_;
    int marker_ = -1;
};

} // namespace corvane::ui
