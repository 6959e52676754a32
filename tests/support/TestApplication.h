// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <QApplication>

namespace corvane::testing {

// One application for the whole test process, never destroyed: Qt's input devices must outlive
// every widget, which a static destroyed at exit does not guarantee.
inline QApplication& application() {
    if (auto* running = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return *running;
    }
    static int argc = 1;
    static char name[] = "corvane_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// A base for fixtures: constructed before the fixture's widgets.
struct ApplicationHolder {
    ApplicationHolder() { application(); }
};

} // namespace corvane::testing
