// The panel program as zq80415-sim starts it, with the start-up probe watching for its window.
#include "panel/zq7130.h"
#include "startup_probe.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    StartupProbe probe;
    ZQ7130 window;
    window.show();
    return app.exec();
}
