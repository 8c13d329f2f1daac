#include "panel/zq7130.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ZQ7130 window;
    window.show();
    return app.exec();
}
