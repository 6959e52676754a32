// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "ApplicationIcon.h"

#include "IconSvg.h"
#include "app/Version.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include <cstring>

namespace corvane::ui {

QIcon applicationIcon() {
    QSvgRenderer renderer{QByteArray(kIconSvg)};
    QIcon icon;
    if (!renderer.isValid()) {
        return icon;
    }
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

std::optional<int> answerCommandLine(int argc, const char* const* argv, std::ostream& out) {
    for (int k = 1; k < argc; ++k) {
        const char* a = argv[k];
        if (std::strcmp(a, "--version") == 0) {
            out << "corvane " << CORVANE_VERSION << '\n';
            return 0;
        }
        if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
            out << "corvane: the Corvane window, a model of eclipsing binary stars.\n"
                   "Usage: corvane [OPTIONS]\n"
                   "\n"
                   "It draws both stars of a binary as meshes of shaded cells, distorted by each other's\n"
                   "gravity, turns them through their orbit and measures the light curve from the picture;\n"
                   "it loads, fits and times observed curves and carries a catalogue of 324 systems.\n"
                   "\n"
                   "Options:\n"
                   "  -h,--help                   Print this help message and exit\n"
                   "  --version                   Print the version and exit\n"
                   "  Qt's own options (such as -platform NAME) are accepted too.\n"
                   "\n"
                   "Files:\n"
                   "  An installed copy saves light curves, pictures, grid searches, plots, minima and "
                   "chains\n"
                   "  into LightCurves/, Stars/, RelativeErrors/, Plots/, Minima/ and Chains/ in\n"
                   "  $XDG_DATA_HOME/corvane (by default ~/.local/share/corvane); one run from its build\n"
                   "  folder saves them beside itself.\n"
                   "\n"
                   "The same model without a window: corvane-cli --help.\n";
            return 0;
        }
    }
    return std::nullopt;
}

} // namespace corvane::ui
