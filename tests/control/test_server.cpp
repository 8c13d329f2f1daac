// The control socket with real clients: who may connect, replies in order, and clients that
// misbehave costing the others nothing.
#include "control/server.h"
#include "control/socket_path.h"
#include "panel_under_test.h"
#include "raw_client.h"
#include "recording_port.h"
#include "scpi/server.h"
#include "scpi/status.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QSet>
#include <QSlider>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstring>
#include <memory>
#include <vector>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>

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
        QFile plain(path); // a file that is not a socket is refused and left as it is ...
        QVERIFY(plain.open(QIODevice::WriteOnly) && plain.write("kept") == 4);
        plain.close();
        QVERIFY(!second.listen(path, problem));
        QVERIFY2(problem.contains("not a socket is in the way"), qPrintable(problem));
        QVERIFY(plain.open(QIODevice::ReadOnly) && plain.readAll() == "kept");
        QVERIFY(plain.remove());
        const int killed = ::socket(AF_UNIX, SOCK_STREAM, 0); // ... one left by a killed panel
        sockaddr_un address{AF_UNIX, {}};                     // is replaced
        std::strcpy(address.sun_path, QFile::encodeName(path).constData());
        QVERIFY(::bind(killed, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
        ::close(killed);
        QVERIFY2(second.listen(path, problem), qPrintable(problem));
        ControlServer third(*window); // a path too long for a socket is named as the cause
        const QString tooLong = scratch.filePath(QString(108, 'x'));
        QVERIFY(!third.listen(tooLong, problem));
        QVERIFY2(problem.contains(tooLong) && problem.contains("at most 107"), qPrintable(problem));
        QVERIFY(!third.listen(scratch.path(), problem)); // a directory in the way too
        QVERIFY2(problem.contains("a directory is in the way"), qPrintable(problem));
    }

    // Two clients at once, one of them flooding, garbage included, and going away mid-line:
    // every complete line is answered in order, each write whole, and the other client's
    // commands all run.
    // One socket per board: the default device and the simulated board keep their program's
    // name, any other device path gets a name of its own that stays a plain file name of
    // bounded length, however odd the path.
    void eachDeviceHasASocketOfItsOwn()
    {
        const auto name = [](const QString &device) {
            return controlSocketName("zq80415", "/dev/parport0", device);
        };
        QCOMPARE(controlSocketName("zq80415-sim", nullptr, ""), QString("zq80415-sim.socket"));
        QCOMPARE(name(""), QString("zq80415.socket"));
        QCOMPARE(name("/dev/parport0"), QString("zq80415.socket"));
        QCOMPARE(name("/dev//parport1"), QString("zq80415-parport1.socket"));
        QCOMPARE(name("/dev/i2c-3"), QString("zq80415-i2c-3.socket"));
        QCOMPARE(name("/tmp/../dev/i2c-3"), QString("zq80415-i2c-3.socket"));
        const QString odd[] = {"/dev/i2c/3",
                               "/dev/i2c%2F3",
                               "/i2c-3",
                               "/dev/a b\n\xe9",
                               "/dev/" + QString(200, 'x'),
                               "/dev/" + QString(199, 'x')};
        QSet<QString> names{name("/dev/i2c-3")};
        for (const QString &device : odd) {
            const QString named = name(device);
            QVERIFY2(!named.contains('/') && named.size() <= 64 &&
                         QRegularExpression("^[A-Za-z0-9._~%-]+$").match(named).hasMatch(),
                     qPrintable(named));
            names.insert(named);
        }
        QCOMPARE(names.size(), 1 + int(std::size(odd)));
    }

    // A client that has sent all it will, as socat and `nc -N` do, still gets the reply to every
    // complete line, and then the panel closes the connection; a line cut off by the end of
    // its input is dropped. A terminal's "\r\n" line end reads as "\n" does.
    void everyLineSentIsAnsweredBeforeTheConnectionCloses()
    {
        const QByteArray lines = "power on\nspeaker-volume 1\nstate\nbogus\n";
        const QByteArray expected =
            "ok\nok\npower=on speaker-3d=off headphone-3d=off coupling=c-cupl address=0 "
            "speaker-volume=1 speaker-gain=-36.0 headphone-volume=0 headphone-gain=-59.0\n"
            "error: unknown command 'bogus'\n";
        for (const QByteArray &sent : {lines, QByteArray(lines).replace("\n", "\r\n")}) {
            RawClient client(path);
            QVERIFY(client.connected());
            client.write(sent + "power off");
            client.shutWhenSent();
            QVERIFY2(client.readToEnd(), client.received.constData());
            QCOMPARE(client.received, expected);
        }
        QCOMPARE(window->control<QRadioButton>("poweron")->isChecked(), true);
        QCOMPARE(takeTransactions(),
                 (Transactions{{0xF8, 0x01}, {0xF8, 0x81}, {0xF8, 0x01}, {0xF8, 0x81}}));
    }

    // A client flooding commands without reading its replies delays another client's command
    // by its share of the queue at most: 32 commands, and the one running.
    void aFloodDelaysOthersByItsShareAtMost()
    {
        RawClient flood(path);
        QLocalSocket steady;
        steady.connectToServer(path);
        QVERIFY(flood.connected() && steady.waitForConnected());
        for (int i = 0; i < 5000; ++i) {
            flood.write("speaker-volume " + QByteArray::number(i % 32) + "\n");
        }
        QVERIFY(
            RawClient::runUntil([&] { return flood.pump() && recording::writes().size() > 0; }));
        recording::clear();
        steady.write("headphone-volume 5\n");
        QCOMPARE(replies(steady, 1), QList<QByteArray>{"ok"});
        const Transactions since = takeTransactions();
        const auto headphone =
            std::find(since.begin(), since.end(), Transactions::value_type{0xF8, 0x45});
        QVERIFY(headphone != since.end());
        QVERIFY2(headphone - since.begin() <= 33,
                 qPrintable(QString::number(headphone - since.begin()) + " commands first"));
    }

    // A client that never reads its replies is read no further once a bounded amount of them
    // waits: a flood cannot grow the panel's memory. Once it reads, it gets every reply.
    void aClientThatDoesNotReadIsNotRead()
    {
        RawClient silent(path);
        QVERIFY(silent.connected());
        const QByteArray unknown(250, 'x'); // each reply echoes it: over 1 MB of replies
        for (int i = 0; i < 4000; ++i) {
            silent.write(unknown + "\n");
        }
        silent.write("power on\n");
        const auto poweredOn = [&] {
            return window->control<QRadioButton>("poweron")->isChecked();
        };
        QVERIFY(!RawClient::runUntil([&] { return silent.pump() && poweredOn(); }, 1000));
        QVERIFY(silent.readLines(4001));
        const QList<QByteArray> received = silent.received.split('\n');
        QCOMPARE(received.count("error: unknown command '" + unknown + "'"), 4000);
        QCOMPARE(received.at(4000), QByteArray("ok"));
        QVERIFY(poweredOn());
    }

    // From a port failure on, the command that met it and every command after it, state
    // included, are answered with the failure at once and nothing more is written: while the
    // failure is being reported (the event loop runs under the message box) and after.
    void aPortFailureAnswersEveryCommand()
    {
        connect(window, &ZQ7130::portFailing, server, &ControlServer::portFailing);
        QLocalSocket client;
        QLocalSocket other;
        client.connectToServer(path);
        other.connectToServer(path);
        QVERIFY(client.waitForConnected() && other.waitForConnected());
        const QByteArray failed = "error: test port refused write 10";
        QList<QByteArray> meanwhile;
        window->whileReporting = [&] {
            other.write("state\n");
            meanwhile = replies(other, 1);
        };
        recording::failAtWrite(10);
        client.write("power on\nspeaker-volume 3\n");
        QCOMPARE(replies(client, 2), QList<QByteArray>(2, failed));
        QCOMPARE(meanwhile, QList<QByteArray>{failed});
        client.write("state\nheadphone-volume 1\n");
        QCOMPARE(replies(client, 2), QList<QByteArray>(2, failed));
        QCOMPARE(window->failures, 1);
        QCOMPARE(recording::writes().size(), 9U);
        QCOMPARE(window->control<QSlider>("monovol")->value(), 0);
    }

    // Over SCPI the same: the setting that met the failure and every one after it queue -240
    // with it and write nothing, queries answer with the setting the chip was last sent, and
    // the questionable status holds the failure.
    void aPortFailureAnswersEverySettingOverScpi()
    {
        BoardIdentity identity;
        identity.name = "test";
        ScpiServer scpi(*window, identity);
        connect(window, &ZQ7130::portFailing, &scpi, &ScpiServer::portFailing);
        ScpiEndpoint endpoint;
        endpoint.port = 0;
        QString problem;
        QVERIFY2(scpi.listen(endpoint, problem), qPrintable(problem));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, scpi.port());
        QVERIFY(client.waitForConnected());
        const auto ask = [&](const QByteArray &message) {
            client.write(message + '\n');
            return QTest::qWaitFor([&] { return client.canReadLine(); })
                       ? client.readLine().trimmed()
                       : QByteArray("(no reply)");
        };
        const QByteArray before = ask("SPE:VOL 5;VOL?;GAIN?;:HEAD:SURR?;:STAT:QUES:COND?");
        QVERIFY2(before.startsWith("5;") && before.endsWith(";0;0"), before.constData());
        const std::size_t sent = recording::writes().size();
        recording::failAtWrite(sent + 10);
        const QByteArray failed = "-240,\"Hardware error;test port refused write " +
                                  QByteArray::number(qulonglong(sent + 10)) + '"';
        QCOMPARE(ask("SPE:VOL 9;VOL?;GAIN?;:HEAD:SURR?;:STAT:QUES:COND?"),
                 before.chopped(1) + QByteArray::number(kPortFailedBit));
        QCOMPARE(ask("HEAD:SURR ON;SURR?;:SYST:ERR?;ERR?;ERR?"),
                 "0;" + failed + ';' + failed + ";0,\"No error\"");
        QCOMPARE(recording::writes().size(), sent + 9);
        QCOMPARE(window->failures, 1);
    }

    // Out of descriptors, a client waiting to be taken is taken and dropped at once, and the
    // panel listens on: once descriptors are free again, the next client is served.
    void runningOutOfDescriptorsKeepsTheSocketListening()
    {
        std::vector<std::unique_ptr<RawClient>> waiting;
        for (int i = 0; i < 8; ++i) {
            waiting.push_back(std::make_unique<RawClient>(path)); // connected, not yet taken
            QVERIFY(waiting.back()->connected());
        }
        rlimit saved{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &saved) == 0);
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        rlimit none = saved; // no descriptor left for anything new
        none.rlim_cur = rlim_t(lowestFree);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &none) == 0);
        for (const auto &client : waiting) {
            QVERIFY(client->readToEnd());
            QCOMPARE(client->received, QByteArray());
        }
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &saved) == 0);
        QLocalSocket next;
        next.connectToServer(path);
        QVERIFY(next.waitForConnected());
        next.write("power on\n");
        QCOMPARE(replies(next, 1), QList<QByteArray>{"ok"});
    }

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
