// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "PictureBox.h"

#include <QImage>
#include <QPainter>

namespace corvane::ui {

PictureBox::PictureBox(const platform::Canvas& canvas, QWidget* parent) : QWidget(parent), canvas_(canvas) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    // The canvas stores 0x00RRGGBB; RGB32 ignores the top byte, so the pixels are shown as they are.
    const QImage view(reinterpret_cast<const uchar*>(canvas_.pixels().data()), canvas_.width(), canvas_.height(),
                      canvas_.width() * 4, QImage::Format_RGB32);
    painter.drawImage(0, 0, view);
    if (marker_ >= 0) {
        painter.setPen(QColor(255, 255, 0));
        painter.drawLine(marker_, 0, marker_, canvas_.height());
    }
}

void PictureBox::setMarker(int x) {
    if (x != marker_) {
        marker_ = x;
        update();
    }
}

} // namespace corvane::ui
