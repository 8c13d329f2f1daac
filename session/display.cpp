#include "display.h"

#include "data_register.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

bool named(const char *variable)
{
    const char *value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// One platform of Qt's list. Platforms that draw into memory or onto the console need nothing.
bool usable(std::string_view platform)
{
    if (platform.starts_with("xcb")) {
        return named("DISPLAY");
    }
    if (platform.starts_with("wayland")) {
        return named("WAYLAND_DISPLAY");
    }
    return true;
}

} // namespace

bool graphicalSessionAvailable()
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
    const char *program = linkedPort().program;
    std::fprintf(stderr,
                 "%s: no graphical session: neither DISPLAY nor WAYLAND_DISPLAY is set.\n"
                 "Start it from a desktop session, or without one under a virtual X server: "
                 "xvfb-run %s\n",
                 program, program);
    return false;
}
