// The programs' command line: what the operator may ask for before the window opens.
#pragma once

#include "data_register.h"
#include "scpi/endpoint.h"

#include <QStringList>

#include <cstdint>
#include <optional>
#include <variant>

struct CommandLine {
    PortSettings port;
    std::int16_t addressBit = 0; // the I2C ADDRESS BIT the window opens with
    bool listen = false;         // accept commands on the control socket
    bool send = false;           // be the client: send `commands` to the running panel and end
    QStringList commands;        // with send: each one command; "-" alone reads them from stdin

    // SCPI over the network (--scpi, --allow, --vxi11).
    std::optional<ScpiEndpoint> scpi;
    QString name; // --name: the board's name for its clients (empty: the default, identity.h)
    // Headless: no window shown and no display needed, for a rack PC; the same controls take
    // the commands of whatever drives the panel instead (see drivenFromOutside).
    bool headless = false;
};

// Reads the arguments the GNU way. Returns the settings to run with, or the status to end with
// at once: 0 after --help or --version (printed on stdout), 2 after a usage error (printed on
// stderr). Needs no display and touches no port.
std::variant<CommandLine, int> parseCommandLine(int argc, char *argv[]);
