#include "data_register.h"
#include "panel/zq7130.h"
#include "session/command_line.h"
#include "session/display.h"
#include "session/ending.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    const auto line = parseCommandLine(argc, argv);
    if (const int *status = std::get_if<int>(&line)) {
        return *status;
    }
    configurePort(std::get<CommandLine>(line).port);
    if (!graphicalSessionAvailable()) {
        return 1;
    }
    QApplication app(argc, argv);
    ZQ7130 window;
    Ending ending(window);
    if (ending.signalled()) { // before the window loads: nothing has been written yet
        return ending.status(0);
    }
    window.show();
    return ending.status(app.exec());
}
