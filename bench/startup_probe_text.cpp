// The toolkit's floor for a window that shows text: the empty window with one line of text in
// the panel's font, which alone makes the toolkit load its font system.
#include "startup_probe.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    StartupProbe probe;
    QWidget window;
    window.resize(559, 319);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    window.setFont(font);
    QLabel caption(QStringLiteral("LOUDSPEAKER VOLUME CONTROL"), &window);
    caption.move(16, 16);
    window.show();
    return app.exec();
}
