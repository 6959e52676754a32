// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "PlotPainter.h"

#include "platform/NumberFormat.h"
#include "platform/TextFile.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <system_error>
#include <unistd.h>

namespace corvane::platform {

namespace {

QColor color(Pixel p) { return QColor((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

// Four significant digits, with the decimal point whatever the locale.
std::string formatScale(double v) {
    if (v == 0 || !std::isfinite(v)) {
        return GeneralNumber(v);
    }
    const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(v))) - 3);
    return GeneralNumber(std::round(v / unit) * unit);
}

// Text needs a graphics session: the batch tool has none, so one without a screen is made once.
void ensureGuiApplication() {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Without a session's runtime folder Qt makes one in the temporary folder and leaves it there:
    // give it a private one that goes when the program ends.
    struct RuntimeFolder {
        std::filesystem::path path;
        ~RuntimeFolder() {
            std::error_code ec;
            if (!path.empty()) {
                std::filesystem::remove_all(path, ec);
            }
        }
    };
    static RuntimeFolder runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        std::string pattern = (std::filesystem::temp_directory_path() / "corvane-runtime-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            runtime.path = pattern;
            qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(pattern));
        }
    }
    static int argc = 1;
    static char name[] = "corvane";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QGuiApplication> app = std::make_unique<QGuiApplication>(argc, argv);
}

void drawSeries(QPainter& p, const PlotDescription& d, const PlotLayout& l, std::size_t panel, const PlotSeries& s) {
    const QColor c = color(s.color);
    auto px = [&](double x) { return plotPixelX(d, l, x); };
    auto py = [&](double y) { return plotPixelY(d, l, panel, y); };
    if (!s.error.empty()) {
        p.setPen(QPen(c, 1));
        for (std::size_t i = 0; i < s.x.size() && i < s.error.size(); ++i) {
            if (s.error[i] > 0 && std::isfinite(s.error[i]) && std::isfinite(s.y[i])) {
                const double x = px(s.x[i]);
                p.drawLine(QPointF(x, py(s.y[i] - s.error[i])), QPointF(x, py(s.y[i] + s.error[i])));
            }
        }
    }
    const bool joined = s.style == PlotSeries::Style::Line || s.style == PlotSeries::Style::DotsJoined;
    if (joined) {
        // The described plot joins its points with white lines; a line series is in its own colour.
        p.setPen(QPen(s.style == PlotSeries::Style::DotsJoined ? QColor(Qt::white) : c, 1));
        QPainterPath path;
        bool open = false;
        for (std::size_t i = 0; i < s.x.size(); ++i) {
            if (!std::isfinite(s.y[i])) {
                open = false;
                continue;
            }
            const QPointF q(px(s.x[i]), py(s.y[i]));
            if (open && s.x[i] - s.x[i - 1] <= s.maxGap && s.x[i] >= s.x[i - 1]) {
                path.lineTo(q);
            } else {
                path.moveTo(q);
            }
            open = true;
        }
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
    if (s.style == PlotSeries::Style::Line) {
        return;
    }
    for (std::size_t i = 0; i < s.x.size(); ++i) {
        if (!std::isfinite(s.y[i])) {
            continue;
        }
        const QPointF q(px(s.x[i]), py(s.y[i]));
        if (s.style == PlotSeries::Style::Boxes) {
            p.setPen(QPen(c, 1));
            p.setBrush(QColor(0, 0, 255));
            p.drawRect(QRectF(q.x() - 2, q.y() - 2, 4, 4));
        } else {
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            p.drawEllipse(q, 2, 2);
        }
    }
}

} // namespace

void paintPlot(QPainter& p, const PlotDescription& d, int width, int height) {
    const PlotLayout l = plotLayout(d, width, height);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.fillRect(QRectF(0, 0, width, height), color(d.background));
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    const QColor fg = color(d.foreground);
    const QFontMetricsF metrics(font);

    for (std::size_t k = 0; k < d.panels.size(); ++k) {
        const PlotPanel& panel = d.panels[k];
        const PlotRect& r = l.panels[k];
        const QRectF rect(r.left, r.top, r.width, r.height);
        if (panel.zeroLine && panel.y.min < 0 && panel.y.max > 0) {
            p.setPen(QPen(QColor(110, 110, 110), 1, Qt::DashLine));
            const double y = plotPixelY(d, l, k, 0);
            p.drawLine(QPointF(r.left, y), QPointF(r.left + r.width, y));
        }
        p.save();
        p.setClipRect(rect.adjusted(-3, -3, 3, 3));
        if (const PlotHeatMap& m = panel.map; m.rows > 0 && m.cols > 0 &&
                                               m.values.size() == static_cast<std::size_t>(m.rows) * static_cast<std::size_t>(m.cols)) {
            double lo = std::numeric_limits<double>::infinity(), hi = -lo;
            for (double v : m.values) {
                if (std::isfinite(v)) {
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
            }
            p.setPen(Qt::NoPen);
            for (int row = 0; row < m.rows; ++row) {
                for (int col = 0; col < m.cols; ++col) {
                    const double v = m.values[static_cast<std::size_t>(row) * static_cast<std::size_t>(m.cols) +
                                              static_cast<std::size_t>(col)];
                    if (!std::isfinite(v)) {
                        continue;
                    }
                    const double cx = m.x0 + col * m.dx, cy = m.y0 + row * m.dy;
                    const QPointF a(plotPixelX(d, l, cx - m.dx / 2), plotPixelY(d, l, k, cy - m.dy / 2));
                    const QPointF b(plotPixelX(d, l, cx + m.dx / 2), plotPixelY(d, l, k, cy + m.dy / 2));
                    p.setBrush(color(heatColor(hi > lo ? (v - lo) / (hi - lo) : 0)));
                    p.drawRect(QRectF(a, b).normalized().adjusted(-0.5, -0.5, 0.5, 0.5));
                }
            }
            if (m.best >= 0 && m.best < m.rows * m.cols) {
                const double cx = m.x0 + (m.best % m.cols) * m.dx, cy = m.y0 + (m.best / m.cols) * m.dy;
                p.setPen(QPen(QColor(255, 255, 255), 2));
                p.setBrush(Qt::NoBrush);
                p.drawEllipse(QPointF(plotPixelX(d, l, cx), plotPixelY(d, l, k, cy)), 6, 6);
            }
            // The scale: a bar along the top with the values at its ends.
            if (std::isfinite(lo)) {
                const double x0 = r.left + r.width - 180, y0 = 5, w = 110;
                for (int i = 0; i < 55; ++i) {
                    p.setPen(Qt::NoPen);
                    p.setBrush(color(heatColor(i / 54.0)));
                    p.drawRect(QRectF(x0 + i * w / 55, y0, w / 55 + 0.5, 10));
                }
                p.setClipping(false);
                p.setPen(QPen(fg, 1));
                const QString low = QString::fromStdString(formatScale(lo)), high = QString::fromStdString(formatScale(hi));
                p.drawText(QPointF(x0 - 4 - metrics.horizontalAdvance(low), y0 + 9), low);
                p.drawText(QPointF(x0 + w + 4, y0 + 9), high);
                const QString name = QString::fromStdString(m.scaleLabel);
                p.drawText(QPointF(x0 - 10 - metrics.horizontalAdvance(low) - metrics.horizontalAdvance(name), y0 + 9), name);
            }
        }
        for (const PlotSeries& s : panel.series) {
            drawSeries(p, d, l, k, s);
        }
        p.restore();
        p.setPen(QPen(fg, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect);
        // y ticks and numbers
        for (std::size_t t = 0; t < panel.y.ticks.size(); ++t) {
            const double y = plotPixelY(d, l, k, panel.y.ticks[t]);
            p.drawLine(QPointF(r.left - 4, y), QPointF(r.left, y));
            if (t < panel.y.tickText.size()) {
                const QString text = QString::fromStdString(panel.y.tickText[t]);
                const double w = metrics.horizontalAdvance(text);
                p.drawText(QPointF(r.left - 6 - w, y + metrics.ascent() / 2 - 1), text);
            }
        }
        // the y label, turned to read upwards
        if (!panel.y.label.empty()) {
            p.save();
            const QString text = QString::fromStdString(panel.y.label);
            p.translate(12, r.top + r.height / 2 + metrics.horizontalAdvance(text) / 2);
            p.rotate(-90);
            p.drawText(QPointF(0, 0), text);
            p.restore();
        }
        // x ticks on every panel, numbers under the last
        for (std::size_t t = 0; t < d.x.ticks.size(); ++t) {
            const double x = plotPixelX(d, l, d.x.ticks[t]);
            p.drawLine(QPointF(x, r.top + r.height), QPointF(x, r.top + r.height + 4));
            if (k + 1 == d.panels.size() && t < d.x.tickText.size()) {
                const QString text = QString::fromStdString(d.x.tickText[t]);
                p.drawText(QPointF(x - metrics.horizontalAdvance(text) / 2, r.top + r.height + 5 + metrics.ascent()), text);
            }
        }
    }
    if (!l.panels.empty()) {
        if (d.marker >= d.x.min && d.marker <= d.x.max) {
            p.setPen(QPen(QColor(255, 255, 0), 1));
            const double x = plotPixelX(d, l, d.marker);
            p.drawLine(QPointF(x, l.panels.front().top), QPointF(x, l.panels.back().top + l.panels.back().height));
        }
        p.setPen(QPen(fg, 1));
        const QString label = QString::fromStdString(d.x.label);
        const PlotRect& last = l.panels.back();
        p.drawText(QPointF(last.left + last.width / 2 - metrics.horizontalAdvance(label) / 2, height - 3), label);
        // the legend, left to right along the top
        double x = l.panels.front().left;
        for (const PlotPanel& panel : d.panels) {
            for (const PlotSeries& s : panel.series) {
                if (s.name.empty()) {
                    continue;
                }
                const QString text = QString::fromStdString(s.name);
                p.setPen(Qt::NoPen);
                p.setBrush(color(s.color));
                if (s.style == PlotSeries::Style::Boxes) {
                    p.setPen(QPen(color(s.color), 1));
                    p.setBrush(QColor(0, 0, 255));
                    p.drawRect(QRectF(x, 7, 7, 7));
                } else {
                    p.drawEllipse(QPointF(x + 4, 11), 3.5, 3.5);
                }
                p.setPen(QPen(fg, 1));
                p.drawText(QPointF(x + 11, 11 + metrics.ascent() / 2 - 1), text);
                x += 11 + metrics.horizontalAdvance(text) + 14;
            }
        }
    }
    p.restore();
}

void paintFigure(QPainter& p, const PlotFigure& f, int width, int height) {
    p.fillRect(QRectF(0, 0, width, height), color(f.background));
    const int rows = std::max(1, f.rows), cols = std::max(1, f.cols);
    for (const PlotFigure::Cell& cell : f.cells) {
        if (cell.row < 0 || cell.row >= rows || cell.col < 0 || cell.col >= cols) {
            continue;
        }
        const int x0 = cell.col * width / cols, x1 = (cell.col + 1) * width / cols;
        const int y0 = cell.row * height / rows, y1 = (cell.row + 1) * height / rows;
        p.save();
        p.translate(x0, y0);
        p.setClipRect(QRect(0, 0, x1 - x0, y1 - y0));
        paintPlot(p, cell.plot, x1 - x0, y1 - y0);
        p.restore();
    }
}

namespace {

using Painting = std::function<void(QPainter&)>;

std::string svgOf(const Painting& paint, int width, int height) {
    ensureGuiApplication();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(width, height));
    svg.setViewBox(QRect(0, 0, width, height));
    svg.setTitle("Corvane plot");
    {
        QPainter painter(&svg);
        paint(painter);
    }
    return buffer.data().toStdString();
}

std::string saveWith(const Painting& paint, const std::filesystem::path& file, int width, int height) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (width < 16 || height < 16 || width > 10000 || height > 10000) {
        return "the size must be between 16 and 10000 pixels each way";
    }
    if (ext == ".svg") {
        return writeFileWhole(file, svgOf(paint, width, height));
    }
    if (ext != ".png") {
        return "the file must end in .png or .svg";
    }
    ensureGuiApplication();
    QImage image(width, height, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        paint(painter);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        return "the picture could not be encoded";
    }
    return writeFileWhole(file, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

} // namespace

std::string plotSvg(const PlotDescription& d, int width, int height) {
    return svgOf([&](QPainter& p) { paintPlot(p, d, width, height); }, width, height);
}

std::string savePlot(const PlotDescription& d, const std::filesystem::path& file, int width, int height) {
    return saveWith([&](QPainter& p) { paintPlot(p, d, width, height); }, file, width, height);
}

std::string figureSvg(const PlotFigure& f, int width, int height) {
    return svgOf([&](QPainter& p) { paintFigure(p, f, width, height); }, width, height);
}

std::string saveFigure(const PlotFigure& f, const std::filesystem::path& file, int width, int height) {
    return saveWith([&](QPainter& p) { paintFigure(p, f, width, height); }, file, width, height);
}

} // namespace corvane::platform
