// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "PlotView.h"

#include "fitting/LightCurveFile.h"
#include "platform/NumberFormat.h"
#include "platform/PlotPainter.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <cmath>

namespace corvane::ui {

PlotView::PlotView(const app::CorvaneForm& form, QWidget* parent) : QWidget(parent), form_(form) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void PlotView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    platform::paintPlot(painter, form_.curvePlotDescription(width(), height()), width(), height());
}

QString PlotView::hoverText(QPoint at) const {
    const platform::PlotDescription d = form_.curvePlotDescription(width(), height());
    const platform::PlotLayout l = platform::plotLayout(d, width(), height());
    const int panel = platform::plotPanelAt(l, at.x(), at.y());
    if (panel < 0) {
        return {};
    }
    const double phase = platform::plotDataX(d, l, at.x());
    const double value = platform::plotDataY(d, l, static_cast<std::size_t>(panel), at.y());
    const std::string& axis = d.panels[static_cast<std::size_t>(panel)].y.label;
    const std::string name = axis == "Magnitude" ? "magnitude" : axis == "Relative light" ? "relative light" : axis;
    return QString("Phase %1, %2 %3")
        .arg(QString::fromStdString(platform::Format(phase, "0.000")))
        .arg(QString::fromStdString(name))
        .arg(QString::fromStdString(platform::Format(value, std::fabs(value) < 0.1 ? "0.00000" : "0.0000")));
}

QString PlotView::curveCsv() const {
    return QString::fromStdString(fitting::FormatLightCurve(form_.Curve, form_.chkMag.checked(), form_.curvePassband()).text);
}

void PlotView::mouseMoveEvent(QMouseEvent* event) {
    const QString text = hoverText(event->position().toPoint());
    setToolTip(text);
    if (text.isEmpty()) {
        QToolTip::hideText();
    } else {
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
    }
}

void PlotView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copy = menu.addAction("Copy Curve as CSV");
    QAction* save = menu.addAction("Save Plot...");
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == copy) {
        QApplication::clipboard()->setText(curveCsv());
    } else if (chosen == save && save_) {
        save_();
    }
}

} // namespace corvane::ui
