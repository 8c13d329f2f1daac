#include "display.h"

#include "data_register.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

std::string named(const char *variable)
{
    const char *value = std::getenv(variable);
    return value != nullptr ? value : "";
}

// Whether a server answers on a local socket, at `path` or at the abstract name "@path".
bool answers(const std::string &path, bool alsoAbstract)
{
    for (const bool abstract : {false, alsoAbstract}) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() + 1 >= sizeof address.sun_path) {
            return false;
        }
        std::memcpy(address.sun_path + (abstract ? 1 : 0), path.data(), path.size());
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const socklen_t length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + abstract);
        const bool connected =
            fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&address), length) == 0;
        if (fd >= 0) {
            close(fd);
        }
        if (connected) {
            return true;
        }
    }
    return false;
}

// An X display on this machine (":1", "unix:1.0") has a server only if its socket answers; one
// on another host is taken on trust.
bool xServerAnswers(const std::string &display)
{
    const std::size_t colon = display.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    const std::string host = display.substr(0, colon);
    if (!host.empty() && host != "unix") {
        return true;
    }
    const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
    return answers("/tmp/.X11-unix/X" + number, true);
}

bool waylandAnswers(const std::string &name)
{
    const std::string runtime = named("XDG_RUNTIME_DIR");
    return answers(name.starts_with('/') ? name : runtime + "/" + name, false);
}

// One platform of Qt's list. Platforms that draw into memory or onto the console need nothing.
bool usable(std::string_view platform)
{
    if (platform.starts_with("xcb")) {
        return !named("DISPLAY").empty() && xServerAnswers(named("DISPLAY"));
    }
    if (platform.starts_with("wayland")) {
        return !named("WAYLAND_DISPLAY").empty() && waylandAnswers(named("WAYLAND_DISPLAY"));
    }
    return true;
}

} // namespace

bool graphicalSessionAnswers()
{
    // Qt tries the platforms of QT_QPA_PLATFORM in order, or its own defaults.
    const char *chosen = std::getenv("QT_QPA_PLATFORM");
    const std::string platforms = chosen != nullptr && *chosen != '\0' ? chosen : "wayland;xcb";
    std::size_t begin = 0;
    while (begin <= platforms.size()) {
        const std::size_t end = std::min(platforms.find(';', begin), platforms.size());
        if (usable(std::string_view(platforms).substr(begin, end - begin))) {
            return true;
        }
        begin = end + 1;
    }
    return false;
}

namespace {

bool graphicalSessionAvailable()
{
    if (graphicalSessionAnswers()) {
        return true;
    }
    const char *program = linkedPort().program;
    std::fprintf(stderr,
                 "%s: no graphical session: no display server answers at DISPLAY or "
                 "WAYLAND_DISPLAY.\n"
                 "Start it from a desktop session, or without one under a virtual X server: "
                 "xvfb-run %s\n",
                 program, program);
    return false;
}

QtMessageHandler passOn = nullptr;

// Qt's messages while the application starts. Its one fatal error there is that no platform could
// open a window: the server answered the check above but refused the connection.
void whileStarting(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        passOn(type, context, message);
        return;
    }
    const char *program = linkedPort().program;
    std::fprintf(stderr,
                 "%s: no graphical session would take the window: the display server at "
                 "DISPLAY=%s WAYLAND_DISPLAY=%s refused the connection.\n"
                 "Start it as the user logged in to that desktop session (a display refuses "
                 "other users, root through sudo among them), or without one under a virtual X "
                 "server: xvfb-run %s\n",
                 program, named("DISPLAY").c_str(), named("WAYLAND_DISPLAY").c_str(), program);
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE); // nothing has reached the port: it is claimed after this
}

} // namespace

std::unique_ptr<QApplication> openApplication(int &argc, char **argv, bool headless)
{
    if (headless) {
        // Drawn in memory only: no display is asked for, whatever the environment names.
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (!graphicalSessionAvailable()) {
        return nullptr;
    }
    passOn = qInstallMessageHandler(whileStarting);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(passOn);
    return application;
}
