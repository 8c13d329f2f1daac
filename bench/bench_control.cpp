// A script's command to the bus: the time from the panel's event loop taking up the command
// ("speaker-volume N", its socket's activity dispatched), and from the client's write of it, to
// the last port write of the register write it causes, against the paced floor of one register
// write; then how many such commands one client gets through a second, each waiting for its
// reply as --send does; then the first figure with no floor to keep, which leaves the panel's own
// work: the part of a write on an I2C adapter that is not the adapter's.
#include "control/server.h"
#include "hold_floor.h"
#include "instant_port.h"
#include "panel_operator.h"
#include "samples.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QTemporaryDir>

#include <vector>

namespace {

constexpr int kCommands = 1000;

// Notes when the event loop first dispatches socket activity: the command has been received.
class ReceivedAt : public QObject {
public:
    InstantPortRecord::Clock::time_point when{};
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::SockAct && when == InstantPortRecord::Clock::time_point{}) {
            when = InstantPortRecord::Clock::now();
        }
        return QObject::eventFilter(watched, event);
    }
};

double median(const std::vector<double> &micros)
{
    return spread(micros).median;
}

// Sends one command and runs the event loop until its reply is back.
void exchange(QLocalSocket &client, int position)
{
    const std::uint64_t writesBefore = instantPort().writes;
    client.write("speaker-volume " + QByteArray::number(position) + '\n');
    client.flush();
    while (!client.canReadLine()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (client.readLine() != "ok\n" ||
        instantPort().writes - writesBefore != kPortWritesPerRegisterWrite) {
        benchFailed("a command did not cause exactly one register write");
    }
}

} // namespace

int main(int argc, char *argv[])
{
    PanelOnScreen panel(argc, argv);
    ZQ7130 &window = panel.window;
    QTemporaryDir runtime;
    ControlServer server(window);
    QString problem;
    if (!server.listen(runtime.filePath("bench.socket"), problem)) {
        benchFailed(qPrintable(problem));
    }
    QLocalSocket client;
    client.connectToServer(runtime.filePath("bench.socket"));
    if (!client.waitForConnected()) {
        benchFailed("cannot connect to the control socket");
    }

    ReceivedAt received;
    panel.app.installEventFilter(&received);
    std::vector<double> fromSent;
    std::vector<double> fromReceived;
    const auto micros = [](auto span) {
        return std::chrono::duration<double, std::micro>(span).count();
    };
    for (int run = 0; run < kCommands; ++run) {
        received.when = {};
        const auto sent = InstantPortRecord::Clock::now();
        exchange(client, run % 32);
        fromSent.push_back(micros(instantPort().latest - sent));
        fromReceived.push_back(micros(instantPort().latest - received.when));
    }
    panel.app.removeEventFilter(&received);
    const double floor = kPortWritesPerRegisterWrite * micros(kHoldFloor);
    std::printf("%d commands, floor of one register write %.0f us\n", kCommands, floor);
    std::printf("  received to last port write: median %.1f us, median/floor %.3f\n",
                median(fromReceived), median(fromReceived) / floor);
    std::printf("  sent to last port write:     median %.1f us, median/floor %.3f\n",
                median(fromSent), median(fromSent) / floor);

    QElapsedTimer clock;
    clock.start();
    for (int run = 0; run < kCommands; ++run) {
        exchange(client, run % 32);
    }
    std::printf("one client, each command waiting for its reply: %.0f commands/s\n",
                kCommands * 1000.0 / double(clock.elapsed()));

    // With no floor to keep, as on an I2C adapter, what is left is the panel's own work: the
    // command, its handler and the bus levels, up to the byte that ends the write.
    setInstantPortFloor(std::chrono::nanoseconds::zero());
    fromReceived.clear();
    panel.app.installEventFilter(&received);
    for (int run = 0; run < kCommands; ++run) {
        received.when = {};
        exchange(client, run % 32);
        fromReceived.push_back(micros(instantPort().latest - received.when));
    }
    std::printf("no hold floor (a device that times its own bus, as an I2C adapter does):\n");
    std::printf("  received to last port write: median %.1f us\n", median(fromReceived));
    return 0;
}
