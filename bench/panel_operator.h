// The panel as the in-process benchmarks drive it: on screen, its controls found by name and
// worked as an operator works them, by clicks and key presses delivered to the widgets.
#pragma once

#include "panel/zq7130.h"

#include <QApplication>
#include <QCoreApplication>
#include <QRadioButton>
#include <QTest>

#include <cstdio>
#include <cstdlib>

// Headless unless the caller chose a platform; call before the QApplication exists.
inline void defaultToOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

[[noreturn]] inline void benchFailed(const char *what)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), what);
    std::exit(1);
}

// Shows the window and waits until it is on screen; its start-up writes have gone out by then.
inline void showPanel(ZQ7130 &window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        benchFailed("the panel window was never shown");
    }
}

// What an in-process benchmark starts from: the application, headless unless the caller chose a
// platform, and the panel on screen with its start-up write gone out.
struct PanelOnScreen {
    PanelOnScreen(int &argc, char **argv)
        : app((defaultToOffscreen(), argc), argv)
    {
        showPanel(window);
    }
    QApplication app;
    ZQ7130 window;
};

template <class Control> Control *control(const ZQ7130 &window, const char *name)
{
    auto *found = window.findChild<Control *>(QString::fromLatin1(name));
    if (found == nullptr) {
        benchFailed(qPrintable(QStringLiteral("no control named %1").arg(QLatin1String(name))));
    }
    return found;
}

// Where the operator aims a click on an option: its round indicator.
inline QPoint indicator(const QRadioButton *button)
{
    return {6, button->height() / 2};
}

inline void clickOption(QRadioButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, indicator(button));
}
