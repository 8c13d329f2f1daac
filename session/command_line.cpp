#include "command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>

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
};

// The options this program offers: the real port's device and trace, or the board's recording.
void offer(QCommandLineParser &parser, Options &options, const LinkedPort &port)
{
    parser.addOptions({options.help, options.version});
    if (port.defaultDevice != nullptr) {
        options.device.setDescription(
            QStringLiteral("The parallel-port device (default %1).").arg(port.defaultDevice));
        parser.addOptions({options.device, options.trace});
    } else {
        parser.addOption(options.vcd);
    }
    parser.addOptions({options.listen, options.send});
    parser.addPositionalArgument("command", "With --send: a command, such as \"power on\".",
                                 "[command...]");
}

std::variant<CommandLine, int> settingsFrom(const QCommandLineParser &parser,
                                            const Options &options, bool realPort)
{
    CommandLine line;
    line.listen = parser.isSet(options.listen);
    line.send = parser.isSet(options.send);
    line.commands = parser.positionalArguments();
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
    const QCommandLineOption &valued = realPort ? options.device : options.vcd;
    if (parser.isSet(valued) && parser.value(valued).isEmpty()) {
        return usageError(QStringLiteral("--%1 needs a value.").arg(valued.names().first()));
    }
    (realPort ? line.port.device : line.port.vcdPath) = parser.value(valued).toStdString();
    line.port.trace = realPort && parser.isSet(options.trace);
    return line;
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
    if (!parser.parse(QCoreApplication::arguments())) {
        return usageError(parser.errorText());
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
