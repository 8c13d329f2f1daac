// The programs' command line: what the operator may ask for before the window opens.
#pragma once

#include "data_register.h"

#include <variant>

struct CommandLine {
    PortSettings port;
};

// Reads the arguments the GNU way. Returns the settings to run with, or the status to end with
// at once: 0 after --help or --version (printed on stdout), 2 after a usage error (printed on
// stderr). Needs no display and touches no port.
std::variant<CommandLine, int> parseCommandLine(int argc, char *argv[]);
