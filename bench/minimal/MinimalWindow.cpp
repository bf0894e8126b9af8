// SPDX-License-Identifier: GPL-3.0-or-later
// The peer of the program's start-up and memory figures: the least a Qt Widgets program does to
// show one window, built with the program's own compiler and flags.
#include <QApplication>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    window.resize(400, 300);
    window.show();
    return application.exec();
}
