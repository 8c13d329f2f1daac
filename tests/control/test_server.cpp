// The control socket with real clients: who may connect, replies in order, and clients that
// misbehave costing the others nothing.
#include "control/server.h"
#include "panel_under_test.h"
#include "recording_port.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>

using recording::takeTransactions;
using recording::Transactions;

class TestServer : public QObject {
    Q_OBJECT
    QTemporaryDir scratch;
    QString path;
    PanelUnderTest *window = nullptr;
    ControlServer *server = nullptr;

    static QList<QByteArray> replies(QLocalSocket &client, int count)
    {
        QList<QByteArray> lines;
        while (lines.size() < count && QTest::qWaitFor([&] { return client.canReadLine(); })) {
            lines << client.readLine().trimmed();
        }
        return lines;
    }

private slots:
    void init()
    {
        path = scratch.filePath("zq80415-test.socket");
        window = new PanelUnderTest;
        QVERIFY(window->open());
        server = new ControlServer(*window);
        QString problem;
        QVERIFY2(server->listen(path, problem), qPrintable(problem));
    }
    void cleanup()
    {
        delete server;
        delete window;
    }

    void onlyTheUserMayConnectAndOnePanelListens()
    {
        const QFile::Permissions ownerOnly{QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                           QFile::WriteUser};
        QCOMPARE(QFileInfo(path).permissions() & 0x7777, ownerOnly);
        ControlServer second(*window);
        QString problem;
        QVERIFY(!second.listen(path, problem));
        QVERIFY2(problem.contains("already listens"), qPrintable(problem));
        delete server; // the socket goes with its panel ...
        server = nullptr;
        QVERIFY(!QFileInfo::exists(path));
        QFile stale(path); // ... and one left by a killed panel is replaced
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QVERIFY2(second.listen(path, problem), qPrintable(problem));
        ControlServer third(*window); // a directory in the way is named as the cause
        QVERIFY(!third.listen(scratch.path(), problem));
        QVERIFY2(problem.contains("a directory is in the way"), qPrintable(problem));
    }

    // Two clients at once, one of them flooding, garbage included, and going away mid-line:
    // every complete line is answered in order, each write whole, and the other client's
    // commands all run.
    void clientsInterleaveWithoutLosingACommand()
    {
        QLocalSocket flood;
        QLocalSocket steady;
        flood.connectToServer(path);
        steady.connectToServer(path);
        QVERIFY(flood.waitForConnected() && steady.waitForConnected());
        QByteArray lines;
        for (int i = 0; i < 200; ++i) {
            lines += "speaker-volume " + QByteArray::number(i % 32) + "\n";
        }
        flood.write(lines + QByteArray(5000, '\xff') + "\npower on\n");
        for (int i = 0; i < 10; ++i) {
            steady.write("headphone-volume " + QByteArray::number(i) + "\n");
        }
        const QList<QByteArray> steadyReplies = replies(steady, 10);
        QCOMPARE(steadyReplies, QList<QByteArray>(10, "ok"));
        const QList<QByteArray> floodReplies = replies(flood, 202);
        QCOMPARE(floodReplies.size(), 202);
        QCOMPARE(floodReplies.mid(200),
                 (QList<QByteArray>{"error: line longer than 256 bytes", "ok"}));

        flood.write("power off\nspeaker-3d o"); // a line cut off by the client going away
        flood.disconnectFromServer();
        QTRY_COMPARE(window->control<QRadioButton>("poweroff")->isChecked(), true);
        QTest::qWait(50);
        int headphoneWrites = 0;
        for (const auto &[address, data] : takeTransactions()) {
            headphoneWrites += (data & 0xE0) == 0x40 ? 1 : 0;
        }
        QCOMPARE(headphoneWrites, 10);
        QCOMPARE(window->control<QRadioButton>("ls3doff")->isChecked(), true);
    }
};

QTEST_MAIN(TestServer)
#include "test_server.moc"
