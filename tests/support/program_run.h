// Runs the programs as an operator does, for the tests that drive the real executables.
#pragma once

#include <QProcess>
#include <QStringList>

struct Outcome {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end in `environment` (default: headless), `input` on its stdin.
inline Outcome run(const char *program, const QStringList &arguments,
                   QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(),
                   const QByteArray &input = {})
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(10000);
    return {ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

// An operator's shell over ssh: no display named anywhere.
inline QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(name);
    }
    return environment;
}
