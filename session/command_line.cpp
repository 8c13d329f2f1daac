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

} // namespace

std::variant<CommandLine, int> parseCommandLine(int argc, char *argv[])
{
    const LinkedPort &port = linkedPort();
    // Only for the parser's messages: the window's application is made once these are read.
    QCoreApplication reader(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(port.program));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(port.description));
    const QCommandLineOption help({"h", "help"}, "Display this help and exit.");
    const QCommandLineOption version({"v", "version"}, "Display the version and exit.");
    const QCommandLineOption device(
        "port", QStringLiteral("The parallel-port device (default %1).").arg(port.defaultDevice),
        "device");
    parser.addOptions({help, version});
    if (port.defaultDevice != nullptr) {
        parser.addOption(device);
    }

    if (!parser.parse(QCoreApplication::arguments())) {
        return usageError(parser.errorText());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return usageError(QStringLiteral("unexpected argument '%1'.")
                              .arg(parser.positionalArguments().constFirst()));
    }
    if (parser.isSet(help)) {
        print(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("%1 %2\n").arg(port.program, PROJECT_VERSION));
        return 0;
    }
    CommandLine line;
    if (port.defaultDevice != nullptr && parser.isSet(device)) {
        line.port.device = parser.value(device).toStdString();
        if (line.port.device.empty()) {
            return usageError(QStringLiteral("--port needs a device, such as /dev/parport0."));
        }
    }
    return line;
}
