// The programs as an operator or a script starts them: run to their end with an environment
// and input of the test's choosing, or the simulated board listening for scripts.
#pragma once

#include <QProcess>
#include <QTemporaryDir>

// How many times longer than natively a program may take to end: emulated, several times
// (tests/support/emulated.cmake).
#ifndef ZQ_TIME_SCALE
#define ZQ_TIME_SCALE 1
#endif

inline const QByteArray kStartupWrites("0x7C <- 0x80\n0x7C <- 0x40\n0x7C <- 0x00\n");

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
    const bool ended = process.waitForFinished(10000 * ZQ_TIME_SCALE);
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

// The simulated board listening for scripts in a runtime folder of its own.
struct ListeningSim {
    QTemporaryDir runtime;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess sim;
    QByteArray printed;
    QStringList arguments{"--listen"};

    bool start()
    {
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        sim.setProcessEnvironment(environment);
        sim.start(SIM_PROGRAM, arguments);
        while (printed.count('\n') < 3 && sim.waitForReadyRead(10000)) {
            printed += sim.readAllStandardOutput();
        }
        return printed == kStartupWrites;
    }
    // The writes it printed after its start-up writes, once a SIGTERM has ended it.
    QByteArray stop()
    {
        sim.terminate();
        sim.waitForFinished(10000);
        printed += sim.readAllStandardOutput();
        return printed.mid(kStartupWrites.size());
    }
};
