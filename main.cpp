#include "control/client.h"
#include "control/server.h"
#include "control/socket_path.h"
#include "data_register.h"
#include "panel/zq7130.h"
#include "scpi/advertiser.h"
#include "scpi/server.h"
#include "session/command_line.h"
#include "session/display.h"
#include "session/ending.h"
#include "session/identity.h"
#include "web/server.h"

#include <QApplication>

#include <cstdio>

namespace {

int refuse(const std::string &why)
{
    std::fprintf(stderr, "%s: %s\n", linkedPort().program, why.c_str());
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    noteStandardInput();
    const auto parsed = parseCommandLine(argc, argv);
    if (const int *status = std::get_if<int>(&parsed)) {
        return *status;
    }
    const CommandLine &line = std::get<CommandLine>(parsed);
    // The device the panel drives names its control socket, so a client reaches that panel.
    std::string unknownBoard;
    const QString device = QString::fromStdString(boardDevice(line.port, unknownBoard));
    if (!unknownBoard.empty()) {
        return refuse(unknownBoard);
    }
    if (line.send) {
        return sendCommands(device, line.commands);
    }
    // A kernel device node that cannot be the board's is refused here when no display would
    // show the window; with one, taking the port below meets it again and shows it in a box.
    const bool boxShowsIt =
        linkedPort().defaultDevice != nullptr && !line.headless && graphicalSessionAnswers();
    if (const std::string problem = configurePort(line.port); !problem.empty() && !boxShowsIt) {
        return refuse(problem);
    }
    // A runtime folder that will not do is refused before the window opens; without --listen
    // the fallback folder is still set, for Qt, which warns when XDG_RUNTIME_DIR is not.
    QString problem;
    const QString socketPath = controlSocketPath(device, problem);
    if (line.listen && !problem.isEmpty()) {
        return refuse(problem.toStdString());
    }
    problem.clear();
    const std::unique_ptr<QApplication> app = openApplication(argc, argv, line.headless);
    if (!app) {
        return 1;
    }
    ZQ7130 window(line.addressBit);
    Ending ending(window);
    ControlServer control(window);
    QObject::connect(&window, &ZQ7130::portFailing, &control, &ControlServer::portFailing);
    if (line.listen && !control.listen(socketPath, problem)) {
        return refuse(problem.toStdString());
    }
    const BoardIdentity identity = boardIdentity(line.name, device);
    ScpiServer scpi(window, identity);
    QObject::connect(&window, &ZQ7130::portFailing, &scpi, &ScpiServer::portFailing);
    if (line.scpi && !scpi.listen(*line.scpi, problem)) {
        return refuse(problem.toStdString());
    }
    Advertiser dnsSd(identity.instanceName()); // lab clients find the panel by browsing
    if (line.scpi) {
        dnsSd.advertise("_scpi-raw._tcp", scpi.port(), line.scpi->address);
    }
    if (line.scpi && line.scpi->vxi11Port >= 0) { // found through the portmapper's port
        dnsSd.advertise("_vxi-11._tcp", 111, line.scpi->address);
    }
    WebServer web(window, identity);
    QObject::connect(&window, &ZQ7130::portFailing, &web, &WebServer::portFailing);
    if (line.http && !web.listen(*line.http, problem)) {
        return refuse(problem.toStdString());
    }
    if (line.http) {
        web.setTransports(line.scpi, scpi.port());
        dnsSd.advertise("_http._tcp", web.port(), line.http->address);
        dnsSd.advertise("_lxi._tcp", web.port(), line.http->address, {"path=/lxi/identification"});
    }
    // A signal during a wait for the port is held until the claim ends, and then ends the run
    // here, before the window loads and with nothing written.
    window.takePort();
    if (ending.signalled()) {
        return ending.status(0);
    }
    window.show(); // headless too: showing loads the window, which writes the start-up state
    return ending.status(app->exec());
}
