// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneWindow.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    corvane::ui::WidgetDialogs dialogs;
    corvane::app::CorvaneForm form(dialogs);
    corvane::ui::CorvaneWindow window(form);
    dialogs.setParent(&window);
    window.show();
    return QApplication::exec();
}
