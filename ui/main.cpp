// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "ApplicationIcon.h"
#include "CorvaneWindow.h"

#include <QApplication>

#include <clocale>
#include <iostream>

int main(int argc, char** argv) {
    if (const auto status = corvane::ui::answerCommandLine(argc, argv, std::cout)) {
        return *status;
    }
    QApplication application(argc, argv);
    QApplication::setWindowIcon(corvane::ui::applicationIcon());
    // Ties the running window to the installed desktop entry (its name and icon in task bars).
    QGuiApplication::setDesktopFileName("corvane");
    // Qt set every locale category from the environment; numbers in boxes and files use the point
    // whatever the user's language (the parsers do not rely on this, but nothing else may either).
    std::setlocale(LC_NUMERIC, "C");
    corvane::ui::WidgetDialogs dialogs;
    corvane::app::CorvaneForm form(dialogs);
    corvane::ui::CorvaneWindow window(form);
    dialogs.setParent(&window);
    window.show();
    return QApplication::exec();
}
