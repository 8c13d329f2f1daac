// The panel window as tests drive it: controls found by their names, and the port-failure
// path recorded instead of ending the process.
#pragma once

#include "inpout.h"
#include "panel/zq7130.h"
#include "recording_port.h"

#include <QRadioButton>
#include <QTest>

#include <functional>

class PanelUnderTest : public ZQ7130 {
public:
    int failures = 0;
    QString failure;
    // Runs while a failure is reported, as the operator's message box would: the event loop
    // goes on meanwhile.
    std::function<void()> whileReporting;

    // Opens the window as the operator sees it, its start-up writes sent and forgotten.
    bool open()
    {
        show();
        const bool active = QTest::qWaitForWindowActive(this);
        recording::clear();
        return active;
    }

    template <class Control = QWidget> Control *control(const char *name) const
    {
        auto *found = findChild<Control *>(QString::fromLatin1(name));
        if (found == nullptr) {
            qFatal("no control named %s", name);
        }
        return found;
    }

    // Selects an option as the operator does: a click on its indicator.
    void select(const char *name) const
    {
        auto *button = control<QRadioButton>(name);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }

protected:
    void portFailed(const PortError &error) override
    {
        ++failures;
        failure = QString::fromUtf8(error.what());
        if (whileReporting) {
            whileReporting();
        }
    }
};
