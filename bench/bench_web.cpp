// The front panel page's channel, timed to the bus and at scale: a change sent on a page's
// channel ("speaker-volume N", as the page sends it) to the last port write of its register
// write, against the same change through the control socket and the paced floor of one register
// write; the time until 50 open pages all show the last position of a 31-step SCPI sweep; and
// the panel's memory over 10,000 changes with 20 pages open. Pages and clients run in the
// panel's process, as bench_scpi's do.
#include "control/server.h"
#include "hold_floor.h"
#include "instant_port.h"
#include "panel_operator.h"
#include "samples.h"
#include "scpi/server.h"
#include "session/identity.h"
#include "web/server.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>

#include <fstream>
#include <memory>
#include <vector>

namespace {

constexpr int kChanges = 1000;
constexpr int kSweepPages = 50;
constexpr int kSweeps = 10;
constexpr int kMemoryPages = 20;
constexpr int kMemoryChanges = 10000;

// A page: the speaker position the latest state it got shows.
struct Page {
    std::unique_ptr<QWebSocket> socket = std::make_unique<QWebSocket>();
    int shown = -1;
    int states = 0;
};

void until(const std::function<bool()> &done)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        if (waited.elapsed() > 30000) {
            benchFailed("waited 30 s for the pages");
        }
    }
}

std::vector<Page> openPages(int count, quint16 port)
{
    std::vector<Page> pages(count);
    for (Page &page : pages) {
        QObject::connect(page.socket.get(), &QWebSocket::textMessageReceived,
                         [&page](const QString &text) {
                             const QJsonObject state =
                                 QJsonDocument::fromJson(text.toUtf8())["state"].toObject();
                             if (!state.isEmpty()) {
                                 page.shown = state["monovol"].toInt();
                                 ++page.states;
                             }
                         });
        page.socket->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/channel").arg(port)));
    }
    until([&] {
        return std::all_of(pages.begin(), pages.end(), [](const Page &p) { return p.states > 0; });
    });
    return pages;
}

// The microseconds from sending `send()`'s change to the last port write of its register write.
double timeChange(const std::function<void()> &send)
{
    const std::uint64_t writesBefore = instantPort().writes;
    const auto sent = InstantPortRecord::Clock::now();
    send();
    until([&] { return instantPort().writes - writesBefore >= kPortWritesPerRegisterWrite; });
    return std::chrono::duration<double, std::micro>(instantPort().latest - sent).count();
}

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
    }
    return -1;
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
    WebServer web(panel.window, identity);
    QString problem;
    ScpiEndpoint endpoint;
    endpoint.port = 0;
    if (!control.listen(runtime.filePath("bench.socket"), problem) ||
        !scpi.listen(endpoint, problem) || !web.listen(endpoint, problem)) {
        benchFailed(qPrintable(problem));
    }
    QLocalSocket local;
    local.connectToServer(runtime.filePath("bench.socket"));
    QTcpSocket instrument;
    instrument.connectToHost(QHostAddress::LocalHost, scpi.port());
    if (!local.waitForConnected() || !instrument.waitForConnected()) {
        benchFailed("cannot connect to the control socket or the SCPI server");
    }
    std::vector<Page> one = openPages(1, web.port());

    std::vector<double> overPage;
    std::vector<double> overSocket;
    for (int run = 0; run < kChanges; ++run) {
        const QString position = QString::number(run % 32);
        const QByteArray across = QByteArray::number((run + 16) % 32);
        overPage.push_back(
            timeChange([&] { one[0].socket->sendTextMessage("speaker-volume " + position); }));
        overSocket.push_back(timeChange([&] { local.write("speaker-volume " + across + '\n'); }));
        until([&] { return local.canReadLine(); });
        local.readAll();
    }
    const double floor =
        kPortWritesPerRegisterWrite * std::chrono::duration<double, std::micro>(kHoldFloor).count();
    const double pageMedian = spread(overPage).median;
    const double socketMedian = spread(overSocket).median;
    std::printf("%d changes each way, floor of one register write %.0f us\n", kChanges, floor);
    std::printf("  page's channel, sent to last port write: median %.1f us, median/floor %.3f\n",
                pageMedian, pageMedian / floor);
    std::printf("  control socket, sent to last port write: median %.1f us, median/floor %.3f\n",
                socketMedian, socketMedian / floor);
    std::printf("  channel/control socket: %.3f\n", pageMedian / socketMedian);
    one.clear();

    std::vector<Page> many = openPages(kSweepPages, web.port());
    std::vector<double> sweeps;
    for (int sweep = 0; sweep < kSweeps; ++sweep) {
        const int last = sweep % 2 == 0 ? 31 : 0; // up from 0, then down from 31
        QElapsedTimer taken;
        taken.start();
        for (int step = 1; step <= 31; ++step) {
            instrument.write("SPE:VOL " + QByteArray::number(sweep % 2 == 0 ? step : 31 - step) +
                             '\n');
        }
        until([&] {
            return std::all_of(many.begin(), many.end(),
                               [last](const Page &p) { return p.shown == last; });
        });
        sweeps.push_back(double(taken.nsecsElapsed()) / 1e6);
    }
    const double sweepMedian = spread(sweeps).median;
    std::printf("%d pages, %d sweeps of 31 SCPI settings: all pages show the last position "
                "after median %.1f ms (%.1f ms a setting; 31 register writes take %.1f ms)\n",
                kSweepPages, kSweeps, sweepMedian, sweepMedian / 31, 31 * floor / 1000);
    many.clear();

    std::vector<Page> watching = openPages(kMemoryPages, web.port());
    std::vector<Page> driver = openPages(1, web.port());
    const long start = residentKiB();
    long middle = 0;
    for (int change = 1; change <= kMemoryChanges; ++change) {
        const int position = change % 32;
        driver[0].socket->sendTextMessage("speaker-volume " + QString::number(position));
        until([&] {
            return std::all_of(watching.begin(), watching.end(),
                               [position](const Page &p) { return p.shown == position; });
        });
        if (change == kMemoryChanges / 2) {
            middle = residentKiB();
        }
    }
    std::printf("%d changes with %d pages open: resident %ld KiB at the start, %ld KiB in the "
                "middle, %ld KiB at the end\n",
                kMemoryChanges, kMemoryPages, start, middle, residentKiB());
    return 0;
}
