// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneWindow.h"

#include <QApplication>

#include <clocale>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
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
