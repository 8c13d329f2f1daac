// libFuzzer target: one program message, as a client sends it, run by the SCPI interpreter over
// the panel's own controls and the recording port. Besides the sanitizers' checks it holds the
// interpreter to what a client relies on: a message with no setting in it writes nothing to the
// port, every response is printable 7-bit text (a block's lines apart), and the error queue
// keeps its bound.
#include "panel_under_test.h"
#include "recording_port.h"
#include "scpi/instrument.h"
#include "scpi/interpreter.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

PanelUnderTest *window = nullptr;
Instrument *instrument = nullptr;

void violated(const char *what, const QByteArray &message)
{
    std::fprintf(stderr, "violated: %s\nmessage: %s\n", what, message.toHex(' ').constData());
    std::abort();
}

// Units the reader takes as settings, up to its first syntax error.
int settingsIn(const QByteArray &message)
{
    MessageReader reader(message);
    ProgramUnit unit;
    SyntaxError error;
    int settings = 0;
    while (!reader.atEnd() && reader.next(unit, error)) {
        settings += unit.query ? 0 : 1;
    }
    return settings;
}

bool printable(const QByteArray &response)
{
    for (const char c : response) {
        if ((c < 0x20 || c > 0x7E) && c != '\n') {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);
    window = new PanelUnderTest;
    instrument = new Instrument(*window, "fuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray message(reinterpret_cast<const char *>(data), qsizetype(size));
    recording::clear();
    Interpreter interpreter(*instrument);
    interpreter.begin(message);
    QByteArray response;
    const bool answered = interpreter.finish(response);
    if (!recording::writes().empty() && settingsIn(message) == 0) {
        violated("a message without a setting wrote to the port", message);
    }
    if (answered && !printable(response)) {
        violated("a response that is not printable 7-bit text", message);
    }
    if (interpreter.status.count() > int(Status::kQueueLength)) {
        violated("the error queue outgrew its bound", message);
    }
    return 0;
}
