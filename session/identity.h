// Who the board is to the lab's clients: *IDN?'s four fields and the DNS-SD instance name, made
// once when the run starts and handed to every room that shows it. The board's name is *IDN?'s
// serial field, so a test report records which board it measured.
#pragma once

#include <QByteArray>
#include <QString>

struct BoardIdentity {
    QByteArray manufacturer = "ZQ80415 project";
    QByteArray model = "ZQ80415";
    QByteArray name;     // the serial field: --name, or where the board is ("rack3/parport0")
    QByteArray firmware; // the program's version

    // *IDN?'s answer: "ZQ80415 project,ZQ80415,rack3/parport0,1.2".
    QByteArray idn() const { return manufacturer + ',' + model + ',' + name + ',' + firmware; }
    // What DNS-SD lists the board as: "ZQ80415 rack3/parport0".
    QString instanceName() const { return QString::fromLatin1(model + ' ' + name); }
};

// The longest name: DNS-SD's 63-byte instance name holds it after the model and a space.
constexpr qsizetype kLongestBoardName = 55;

// Why `name` cannot name a board (it is empty, too long, or holds a comma, a semicolon or a
// character outside printable ASCII, which *IDN?'s fields may not); empty when it can.
QString unfitBoardName(const QString &name);

// The board's identity: `name`, or when it is empty, the host's name and the board's device
// (boardDevice: empty for the simulated board), "rack3/parport0" or "rack3/simulated", with any
// character *IDN? cannot carry replaced by '_'.
BoardIdentity boardIdentity(const QString &name, const QString &device);
