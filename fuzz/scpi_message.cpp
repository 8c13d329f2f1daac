// libFuzzer target: one program message, as a client sends it, run by the SCPI interpreter over
// the panel's own controls and the recording port. Besides the sanitizers' checks it holds the
// interpreter to what a client relies on: a message with no setting in it writes nothing to the
// port, every response is printable 7-bit text (a block's lines apart), and the error queue
// keeps its bound. The same bytes, as a stream, divide into messages at the same places however
// the reads split them.
#include "panel_under_test.h"
#include "recording_port.h"
#include "scpi/framing.h"
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

// Where the messages in `bytes` end, the bytes coming in two reads split at `split`.
QList<qsizetype> messageEnds(const QByteArray &bytes, qsizetype split)
{
    MessageEnds ends;
    QList<qsizetype> found;
    for (qsizetype from = 0, to = split; from < bytes.size(); to = bytes.size()) {
        const qsizetype end = ends.find(QByteArrayView(bytes).sliced(from, to - from));
        found << (end < 0 ? -1 : from + end);
        from = end < 0 ? to : from + end + 1;
    }
    found.removeAll(-1);
    return found;
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
    BoardIdentity identity;
    identity.name = "fuzz";
    instrument = new Instrument(*window, identity);
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
    if (messageEnds(message, 0) != messageEnds(message, message.size() / 2)) {
        violated("a message's end depends on how its bytes were read", message);
    }
    if (interpreter.status.count() > int(Status::kQueueLength)) {
        violated("the error queue outgrew its bound", message);
    }
    return 0;
}
