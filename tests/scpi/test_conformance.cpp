// The raw SCPI port held to IEEE 488.2 and SCPI-1999 where a client's message is unusual: each
// case sends what a client could, over loopback, and checks the responses, the error queue and
// the writes the board was sent.
#include "panel_under_test.h"
#include "recording_port.h"
#include "scpi/server.h"

#include <QTcpSocket>

class TestConformance : public QObject {
    Q_OBJECT
    PanelUnderTest *window = nullptr;
    ScpiServer *scpi = nullptr;
    QTcpSocket *client = nullptr;

    // Sends `bytes` as they are and returns the next response line.
    QByteArray send(const QByteArray &bytes)
    {
        client->write(bytes);
        return QTest::qWaitFor([&] { return client->canReadLine(); })
                   ? client->readLine().chopped(1)
                   : "(no response)";
    }
    QByteArray ask(const QByteArray &message) { return send(message + '\n'); }
    // Sends a message that has no response.
    void tell(const QByteArray &message) { client->write(message + '\n'); }
    // The error queue, emptied: its entries' numbers.
    QByteArray errors()
    {
        QByteArray numbers;
        for (QByteArray entry; (entry = ask("SYST:ERR?")) != "0,\"No error\"";) {
            numbers += (numbers.isEmpty() ? "" : " ") + entry.left(entry.indexOf(','));
            if (numbers.size() > 100) {
                break;
            }
        }
        return numbers;
    }

private slots:
    void init()
    {
        window = new PanelUnderTest;
        QVERIFY(window->open());
        BoardIdentity identity;
        identity.name = "test";
        scpi = new ScpiServer(*window, identity);
        ScpiEndpoint endpoint;
        endpoint.port = 0;
        QString problem;
        QVERIFY2(scpi->listen(endpoint, problem), qPrintable(problem));
        client = new QTcpSocket;
        client->connectToHost(QHostAddress::LocalHost, scpi->port());
        QVERIFY(client->waitForConnected());
    }
    void cleanup()
    {
        delete client;
        delete scpi;
        delete window;
    }

    // *IDN?'s response has no end of its own, so no query may follow it in one message (-440);
    // settings after it still run, and its response still comes.
    void aQueryAfterIdentificationIsRefused()
    {
        const QByteArray identity = ask("*IDN?");
        QCOMPARE(ask("*IDN?;*ESR?"), identity);
        QCOMPARE(errors(), "-440");
        QCOMPARE(ask("*IDN?;:SPE:VOL 4;VOL?;*IDN?"), identity);
        QCOMPARE(errors(), "-440");
        QCOMPARE(ask("SPE:VOL?;*IDN?"), "4;" + identity);
        QCOMPARE(errors(), "");
    }

    // Character data where only a number or its MIN, MAX, DEF (UP, DOWN) may stand is the wrong
    // type of data (-104), not a wrong value; a choice's unknown word stays -224.
    void characterDataWhereANumberIsRequired()
    {
        tell("*ESE 4;*ESE ON;*ESE?");
        QCOMPARE(errors(), "-104");
        QCOMPARE(ask("*ESE?;:SPE:VOL MAX;VOL ON;VOL?"), "4");
        QCOMPARE(errors(), "-104");
        QCOMPARE(ask("SPE:VOL?"), "31");
        const QByteArray coupling = ask("HEAD:COUP?");
        QCOMPARE(ask("HEAD:COUP ON;COUP?"), coupling);
        QCOMPARE(errors(), "-224");
    }

    // A header the tree does not know is -113 whatever digits it ends in; -114 is for a known
    // header with a suffix other than 1.
    void anUnknownHeaderEndingInDigitsIsUndefined()
    {
        const QByteArray volume = ask("SPE:VOL?");
        for (const QByteArray header : {"FOO2", "FOO1", "FOO", "SPE:FOO3?", "*ESE2 1"}) {
            tell(header + ";:SPE:VOL 9");
            QCOMPARE(errors(), "-113");
        }
        tell("SPE2:VOL 3;:SPE:VOL 9");
        QCOMPARE(errors(), "-114");
        QCOMPARE(ask("SPE:VOL?"), volume);
        QCOMPARE(ask("SPE1:VOL1 3;:SPE:VOL?"), "3");
    }

    // #H, #Q and #B take only their radix's digits (no "0x" inside); a value too large for any
    // parameter is out of range (-222), however many digits it has.
    void nonDecimalNumbersTakeOnlyTheirDigits()
    {
        QCOMPARE(ask("*ESE #H1f;*ESE?;*ESE #Q17;*ESE?;*ESE #B101;*ESE?"), "31;15;5");
        for (const QByteArray bad : {"#H0x1F", "#Q8", "#B102", "#H", "#H1_0"}) {
            tell("*ESE " + bad + ";*ESE?");
            QCOMPARE(errors(), "-121");
        }
        QCOMPARE(ask("*ESE #HFFFFFFFFFFFFFFFFFFFFFFFF;*ESE?"), "5");
        QCOMPARE(errors(), "-222");
        QCOMPARE(ask("*ESE #H100;*ESE #B" + QByteArray(200, '1') + ";*ESE?"), "5");
        QCOMPARE(errors(), "-222 -222");
    }

    // A definite-length block is read by its length, so a '\n' inside it ends nothing and its
    // bytes never run as commands, also when the block makes the message too long to take.
    void aBlockIsReadByItsLength()
    {
        const QByteArray before = ask("POW?;:SPE:VOL?");
        const std::size_t sent = recording::writes().size();
        tell("SPE:VOL #16\nPOW 1;SPE:VOL 9");
        QCOMPARE(ask("POW?;:SPE:VOL?"), before);
        QCOMPARE(errors(), "-168");
        const QByteArray inside = "\n*RST\nPOW 1\nSPE:VOL 20\n";
        tell("SPE:VOL #3300" + inside.repeated(20).left(300) + ";:SPE:VOL 9");
        QCOMPARE(ask("POW?;:SPE:VOL?"), before);
        QCOMPARE(errors(), "-363");
        QCOMPARE(recording::writes().size(), sent);
        QCOMPARE(ask("SPE:VOL 2;VOL?;:SYST:ERR?"), "2;0,\"No error\"");
    }

    // What the error queue echoes of a client's bytes is printable 7-bit text: no escape
    // sequence, control byte or 8-bit byte reaches the client's terminal or parser.
    void errorsEchoOnlyPrintableText()
    {
        tell("POW \"\x1B[2J\x07\xC3\xA9\x7F\xFFx\"");
        tell("SPE:VOL 3V\x1B\xFF\x01");
        for (const QByteArray shown : {"not [2J ????x\"", "3 V ?\""}) {
            const QByteArray error = ask("SYST:ERR?");
            QVERIFY2(error.endsWith(shown), error.constData());
            for (const char c : error) {
                QVERIFY2(c >= 0x20 && c < 0x7F, error.toHex(' ').constData());
            }
        }
    }

    // A Telnet client opens with option requests (IAC WILL or DO and an option, here the ones a
    // terminal in Telnet mode sends); they are skipped, unanswered, and spoil no command.
    void telnetOptionBytesAreSkipped()
    {
        const QByteArray options("\xFF\xFB\x1F\xFF\xFB\x20\xFF\xFB\x18\xFF\xFB\x27\xFF\xFD\x01"
                                 "\xFF\xFB\x03\xFF\xFD\x03",
                                 21);
        const QByteArray identity = send(options + "*IDN?\r\n");
        QVERIFY2(identity.startsWith("ZQ80415 project,ZQ80415,"), identity.constData());
        QCOMPARE(ask("*IDN?"), identity);
        QCOMPARE(send("SPE:VOL 7;\xFF\xF1 VOL?\xFF\xFB\x0A\r\n"), "7");
        QCOMPARE(send(QByteArray("\xFF\xFA\x18\x00XTERM\xFF\xF0", 11) + "SPE:VOL?\r\n"), "7");
        QCOMPARE(errors(), "");
        QCOMPARE(client->bytesAvailable(), 0);
    }
};

QTEST_MAIN(TestConformance)
#include "test_conformance.moc"
