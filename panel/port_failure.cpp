// Where a port failure ends up: every handler runs through guarded(), and a PortError raised
// anywhere below it stops the handler at the failing write and comes here.
#include "data_register.h"
#include "inpout.h"
#include "zq7130.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

void ZQ7130::guarded(void (ZQ7130::*handler)())
{
    // The message box's event loop still delivers clicks and commands: none may reach the port
    // once it has failed.
    if (reportingFailure) {
        return;
    }
    try {
        (this->*handler)();
    } catch (const PortError &error) {
        const QString what = QString::fromUtf8(error.what());
        Q_EMIT portFailing(what.section(QLatin1Char('\n'), 0, 0));
        portFailed(error);
    }
}

void ZQ7130::takePort()
{
    guarded(&ZQ7130::preparePort);
}

void ZQ7130::preparePort()
{
    prepareDataRegister();
}

void ZQ7130::portFailed(const PortError &error)
{
    reportingFailure = true;
    const char *headline = portFailureHeadline();
    std::fprintf(stderr, "zq80415: %s\n%s\n", headline, error.what());
    // Headless platforms have nobody to click the box away; stderr says it all there.
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal")) {
        hide(); // it may show a setting the chip never took
        QMessageBox::critical(nullptr, windowTitle(),
                              QString::fromUtf8(headline) + QStringLiteral("\n\n") +
                                  QString::fromUtf8(error.what()));
    }
    // End at once, so no further handler runs and nothing else reaches the port: quick_exit
    // runs only what was registered for it (the control socket's file is removed). The kernel
    // releases the port claim with the process.
    std::fflush(stdout);
    std::fflush(stderr);
    std::quick_exit(EXIT_FAILURE);
}
