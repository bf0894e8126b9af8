// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/StationFixture.h"

#include <QApplication>
#include <QTest>

// The window shown and active, as the operator has it.
inline void showActive(StationFixture &f)
{
    f.window().show();
    f.window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.window()));
}

// A key pressed and released where the focus is.
inline void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *focus = QApplication::focusWidget();
    QVERIFY(focus);
    QTest::keyClick(focus, key, modifiers);
}
