// The toolkit's floor: an empty window the size of the panel's, with the start-up probe watching.
#include "startup_probe.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    StartupProbe probe;
    QWidget window;
    window.resize(559, 319);
    window.show();
    return app.exec();
}
