#include "command_line.h"

#include "identity.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

#include <cstdio>

namespace {

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

int usageError(const QString &problem)
{
    const QString program = QString::fromLatin1(linkedPort().program);
    print(stderr, program + QStringLiteral(": ") + problem + QStringLiteral("\nTry '") + program +
                      QStringLiteral(" --help' for more information.\n"));
    return 2;
}

struct Options {
    QCommandLineOption help{{"h", "help"}, "Display this help and exit."};
    QCommandLineOption version{{"v", "version"}, "Display the version and exit."};
    QCommandLineOption device{"port", "", "device"};
    QCommandLineOption i2c{"i2c",
                           "Drive the chip through a kernel I2C adapter instead of the parallel "
                           "port: /dev/i2c-N, the bus number N or the adapter's name, as "
                           "i2cdetect -l lists it.",
                           "bus"};
    QCommandLineOption address{"address",
                               "The I2C ADDRESS BIT to start and reset with: 0 (0x7C, the "
                               "default) or 1 (0x7D).",
                               "bit"};
    QCommandLineOption trace{"trace", "Also print each register write on stdout once it is out, "
                                      "as the simulated board does."};
    QCommandLineOption vcd{
        "vcd", "Also record the bus (SCL, SDA) in <file> as a Value Change Dump.", "file"};
    QCommandLineOption listen{"listen", "Also accept commands from scripts on a control socket "
                                        "in $XDG_RUNTIME_DIR (see --send)."};
    QCommandLineOption send{"send",
                            "Send each <command> to the running panel (started with --listen), "
                            "print each reply, and end; '-' reads commands from stdin, one a line. "
                            "Opens no window and no port."};

    // SCPI over the network.
    QCommandLineOption scpi{"scpi",
                            "Also serve SCPI clients over TCP at [<address>:]<port> (5025 by "
                            "convention; the loopback interface unless an address is given).",
                            "[address:]port"};
    QCommandLineOption allow{"allow",
                             "With --scpi on a non-loopback address: the networks clients may "
                             "come from, as NETWORK/PREFIX[,...].",
                             "networks"};
    QCommandLineOption vxi11{"vxi11",
                             "With --scpi: also serve VXI-11 (TCPIP::HOST::INSTR) at the same "
                             "address on <port> (0: any), registered with the portmapper "
                             "(rpcbind).",
                             "port"};
    QCommandLineOption name{"name",
                            "The board's name for its clients: *IDN?'s serial field and the "
                            "DNS-SD name (default: the host's name and the board's device, "
                            "such as rack3/parport0).",
                            "name"};
    // Headless running: its own options, kept apart from the others.
    QCommandLineOption headless{"headless",
                                "Run without a display, for a rack PC: no window is shown, "
                                "the same controls take the commands of --listen or --scpi. "
                                "Needs one of them."};
};

// The SCPI options into `line`: 0, or the status of a usage error.
int readScpi(const QCommandLineParser &parser, const Options &options, CommandLine &line)
{
    if (!parser.isSet(options.scpi)) {
        if (parser.isSet(options.vxi11)) {
            return usageError(QStringLiteral(
                "--vxi11 only goes with --scpi, whose address and --allow list it shares."));
        }
        return parser.isSet(options.allow)
                   ? usageError(QStringLiteral("--allow only goes with --scpi."))
                   : 0;
    }
    if (line.send) {
        return usageError(QStringLiteral("--send and --scpi exclude each other."));
    }
    ScpiEndpoint endpoint;
    const QString allow = parser.isSet(options.allow) ? parser.value(options.allow) : QString();
    if (const QString problem = readScpiEndpoint(parser.value(options.scpi), allow, endpoint);
        !problem.isEmpty()) {
        return usageError(problem);
    }
    if (parser.isSet(options.vxi11)) {
        if (const QString problem = readVxi11Port(parser.value(options.vxi11), endpoint);
            !problem.isEmpty()) {
            return usageError(problem);
        }
    }
    line.scpi = endpoint;
    return 0;
}

// The options this program offers: the real port's device and trace, or the board's recording.
void offer(QCommandLineParser &parser, Options &options, const LinkedPort &port)
{
    parser.addOptions({options.help, options.version});
    if (port.defaultDevice != nullptr) {
        options.device.setDescription(
            QStringLiteral("The parallel-port device (default %1).").arg(port.defaultDevice));
        parser.addOptions({options.device, options.i2c, options.trace});
    } else {
        parser.addOption(options.vcd);
    }
    parser.addOptions({options.address, options.listen, options.send});
    parser.addOptions({options.scpi, options.allow, options.vxi11, options.name});
    parser.addOption(options.headless);
    parser.addPositionalArgument("command", "With --send: a command, such as \"power on\".",
                                 "[command...]");
}

// The device options into `port`: 0, or the status of a usage error.
int readDevices(const QCommandLineParser &parser, const Options &options, bool realPort,
                PortSettings &port)
{
    const QList<const QCommandLineOption *> valued =
        realPort ? QList{&options.device, &options.i2c} : QList{&options.vcd};
    for (const QCommandLineOption *option : valued) {
        if (parser.isSet(*option) && parser.value(*option).isEmpty()) {
            return usageError(QStringLiteral("--%1 needs a value.").arg(option->names().first()));
        }
    }
    if (!realPort) {
        port.vcdPath = parser.value(options.vcd).toStdString();
        return 0;
    }
    if (parser.isSet(options.device) && parser.isSet(options.i2c)) {
        return usageError(QStringLiteral("--port and --i2c exclude each other."));
    }
    port.device = parser.value(options.device).toStdString();
    port.i2cBus = parser.value(options.i2c).toStdString();
    port.trace = parser.isSet(options.trace);
    return 0;
}

// Whether something besides an operator at the window can drive the panel. This is the one
// place that decides it: every way in (the control socket, and --scpi once it joins) belongs
// here.
bool drivenFromOutside(const CommandLine &line)
{
    return line.listen || line.scpi.has_value();
}

// A headless panel shows no window, so something else must drive it, and it is no client.
std::variant<CommandLine, int> headlessChecked(CommandLine line, bool headless)
{
    if (!headless) {
        return line;
    }
    if (line.send) {
        return usageError(QStringLiteral("--send and --headless exclude each other."));
    }
    if (!drivenFromOutside(line)) {
        return usageError(
            QStringLiteral("--headless needs --listen or --scpi: without a window only scripts "
                           "can drive the panel."));
    }
    line.headless = true;
    return line;
}

// With --send, the options that only a starting panel reads: the running panel keeps what it
// was started with, so each would silently mean nothing. Returns 0, or a usage error's status.
int refuseIgnored(const QCommandLineParser &parser, const Options &options, bool realPort,
                  bool send)
{
    const std::pair<const QCommandLineOption *, const char *> ignored[] = {
        {&options.address, "the running panel keeps its address; send 'address 0|1' instead"},
        {&options.trace, "only the panel itself prints its writes (start it with --trace)"},
        {&options.vcd, "only the panel itself records the bus (start it with --vcd)"},
        {&options.name, "the running panel keeps the name it was started with"},
    };
    for (const auto &[option, why] : ignored) {
        const bool offered = option != (realPort ? &options.vcd : &options.trace);
        if (send && offered && parser.isSet(*option)) {
            return usageError(QStringLiteral("--%1 does nothing with --send: %2.")
                                  .arg(option->names().first(), QLatin1String(why)));
        }
    }
    return 0;
}

std::variant<CommandLine, int> settingsFrom(const QCommandLineParser &parser,
                                            const Options &options, bool realPort)
{
    CommandLine line;
    line.listen = parser.isSet(options.listen);
    line.send = parser.isSet(options.send);
    line.commands = parser.positionalArguments();
    if (const int status = refuseIgnored(parser, options, realPort, line.send); status != 0) {
        return status;
    }
    if (!line.send && !line.commands.isEmpty()) {
        return usageError(QStringLiteral("unexpected argument '%1'.").arg(line.commands.first()));
    }
    if (line.send && line.commands.isEmpty()) {
        return usageError(
            QStringLiteral("--send needs a command, or '-' to read them from stdin."));
    }
    if (line.send && line.commands.size() > 1 && line.commands.contains(QStringLiteral("-"))) {
        return usageError(QStringLiteral("--send - reads the commands from stdin: give no other."));
    }
    if (line.send && line.listen) {
        return usageError(QStringLiteral("--send and --listen exclude each other."));
    }
    if (const int status = readDevices(parser, options, realPort, line.port); status != 0) {
        return status;
    }
    const QString bit = parser.value(options.address);
    if (parser.isSet(options.address) && bit != QLatin1String("0") && bit != QLatin1String("1")) {
        return usageError(QStringLiteral("--address takes 0 or 1, not '%1'.").arg(bit));
    }
    line.addressBit = bit == QLatin1String("1") ? 1 : 0;
    if (const int status = readScpi(parser, options, line); status != 0) {
        return status;
    }
    line.name = parser.value(options.name);
    if (const QString problem = unfitBoardName(line.name);
        parser.isSet(options.name) && !problem.isEmpty()) {
        return usageError(problem);
    }
    return headlessChecked(line, parser.isSet(options.headless));
}

// Qt's own single-dash options that the window's application takes: the platform and style to
// draw with, and a right-to-left layout. `valued` tells whether the next argument is its value.
bool qtOption(const QString &word, bool &valued)
{
    valued = word == QLatin1String("-platform") || word == QLatin1String("-style");
    return valued || word == QLatin1String("-reverse");
}

// Takes Qt's options out of `arguments` for the application to read from argv. Any other
// single-dash word is refused rather than read as a row of letter options. -platform NAME is
// Qt's spelling of QT_QPA_PLATFORM: it is set, so the display check tries what Qt will.
// Returns 0, or the status of a usage error.
int takeQtOptions(QStringList &arguments)
{
    static const QStringList valuedOptions{"--port", "--i2c",   "--address", "--vcd",
                                           "--scpi", "--allow", "--vxi11",   "--name"};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString word = arguments[i];
        if (word == QLatin1String("--")) {
            return 0;
        }
        if (valuedOptions.contains(word)) {
            ++i; // its value, whatever it looks like
            continue;
        }
        if (word.size() <= 2 || !word.startsWith('-') || word.startsWith(QLatin1String("--")) ||
            word.mid(1).count(QRegularExpression("[^hv]")) == 0) {
            continue;
        }
        bool valued = false;
        if (!qtOption(word, valued)) {
            return usageError(QStringLiteral("unknown option '%1' (of Qt's own options only "
                                             "-platform, -style and -reverse are taken).")
                                  .arg(word));
        }
        if (valued && i + 1 == arguments.size()) {
            return usageError(QStringLiteral("%1 needs a value.").arg(word));
        }
        if (word == QLatin1String("-platform")) {
            qputenv("QT_QPA_PLATFORM", arguments[i + 1].toLocal8Bit());
        }
        arguments.remove(i, valued ? 2 : 1);
        --i;
    }
    return 0;
}

} // namespace

std::variant<CommandLine, int> parseCommandLine(int argc, char *argv[])
{
    const LinkedPort &port = linkedPort();
    // Only for the parser's messages: the window's application is made once these are read.
    QCoreApplication reader(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(port.program));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(port.description));
    Options options;
    offer(parser, options, port);
    QStringList arguments = QCoreApplication::arguments();
    if (const int status = takeQtOptions(arguments); status != 0) {
        return status;
    }
    if (!parser.parse(arguments)) {
        QString problem = parser.errorText(); // "Unknown option ..." spelt as ours are
        return usageError(problem.replace(0, 1, problem.at(0).toLower()));
    }
    if (parser.isSet(options.help)) {
        print(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(options.version)) {
        print(stdout, QStringLiteral("%1 %2\n").arg(port.program, PROJECT_VERSION));
        return 0;
    }
    return settingsFrom(parser, options, port.defaultDevice != nullptr);
}
