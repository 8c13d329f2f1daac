// A setting over SCPI to the bus: from the client's write of "SPE:VOL N;*OPC?" to the last port
// write of the register write it causes, against the same setting through the control socket
// ("speaker-volume N", as --send sends it) and against the paced floor of one register write.
#include "control/server.h"
#include "hold_floor.h"
#include "instant_port.h"
#include "panel_operator.h"
#include "samples.h"
#include "scpi/server.h"

#include <QApplication>
#include <QLocalSocket>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <vector>

namespace {

constexpr int kSettings = 1000;

// Sends one line and runs the event loop until its reply is back; the microseconds from the
// send to the last port write.
double timeSetting(QIODevice &client, const QByteArray &line, const QByteArray &reply)
{
    const std::uint64_t writesBefore = instantPort().writes;
    const auto sent = InstantPortRecord::Clock::now();
    client.write(line + '\n');
    while (!client.canReadLine()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (client.readLine() != reply + '\n' ||
        instantPort().writes - writesBefore != kPortWritesPerRegisterWrite) {
        benchFailed("a setting did not cause exactly one register write");
    }
    return std::chrono::duration<double, std::micro>(instantPort().latest - sent).count();
}

} // namespace

int main(int argc, char *argv[])
{
    PanelOnScreen panel(argc, argv);
    QTemporaryDir runtime;
    ControlServer control(panel.window);
    BoardIdentity identity;
    identity.name = "bench";
    ScpiServer scpi(panel.window, identity);
    QString problem;
    ScpiEndpoint endpoint;
    endpoint.port = 0;
    if (!control.listen(runtime.filePath("bench.socket"), problem) ||
        !scpi.listen(endpoint, problem)) {
        benchFailed(qPrintable(problem));
    }
    QLocalSocket local;
    local.connectToServer(runtime.filePath("bench.socket"));
    QTcpSocket tcp;
    tcp.connectToHost(QHostAddress::LocalHost, scpi.port());
    if (!local.waitForConnected() || !tcp.waitForConnected()) {
        benchFailed("cannot connect to the control socket or the SCPI server");
    }
    tcp.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    std::vector<double> overScpi;
    std::vector<double> overSocket;
    for (int run = 0; run < kSettings; ++run) {
        // Each setting moves the slider: half a range apart, the two ways never repeat one.
        const QByteArray position = QByteArray::number(run % 32);
        const QByteArray across = QByteArray::number((run + 16) % 32);
        overScpi.push_back(timeSetting(tcp, "SPE:VOL " + position + ";*OPC?", "1"));
        overSocket.push_back(timeSetting(local, "speaker-volume " + across, "ok"));
    }
    const double floor =
        kPortWritesPerRegisterWrite * std::chrono::duration<double, std::micro>(kHoldFloor).count();
    const double scpiMedian = spread(overScpi).median;
    const double socketMedian = spread(overSocket).median;
    std::printf("%d settings each way, floor of one register write %.0f us\n", kSettings, floor);
    std::printf("  SCPI, sent to last port write:           median %.1f us, median/floor %.3f\n",
                scpiMedian, scpiMedian / floor);
    std::printf("  control socket, sent to last port write: median %.1f us, median/floor %.3f\n",
                socketMedian, socketMedian / floor);
    std::printf("  SCPI/control socket: %.3f\n", scpiMedian / socketMedian);
    return 0;
}
