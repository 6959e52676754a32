// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "app/CorvaneForm.h"

#include <QWidget>

#include <functional>

namespace corvane::ui {

// The light-curve plot with its axes: the form's curve (and observations, with residuals) drawn from
// the same description the batch tool writes to files. Hovering shows the phase and value under the
// pointer; the right-click menu copies the curve as CSV text or saves the plot.
class PlotView final : public QWidget {
public:
    explicit PlotView(const app::CorvaneForm& form, QWidget* parent = nullptr);
    // "Phase 0.123, magnitude 0.456" (or "relative light", "O - C") for a point of the widget; empty
    // outside the data areas.
    QString hoverText(QPoint at) const;
    // The text the menu's "Copy Curve as CSV" puts on the clipboard (the light-curve file's text).
    QString curveCsv() const;
    void setSaveHandler(std::function<void()> save) { save_ = std::move(save); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    const app::CorvaneForm& form_;
    std::function<void()> save_;
};

} // namespace corvane::ui
