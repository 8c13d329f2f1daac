// The page's security rules as the gate applies them to a request's head: whose Host and Origin
// are the panel's own, and which heads pass, to which server, or are refused with what.
#include "web/gate.h"

#include <QHostInfo>
#include <QTest>

namespace {

const QByteArray kHost = "127.0.0.1:8080";

QByteArray head(const QByteArray &requestLine, const QByteArray &fields = {})
{
    return requestLine + "\r\nHost: " + kHost + "\r\n" + fields + "\r\n";
}

} // namespace

class TestGate : public QObject {
    Q_OBJECT

private slots:
    void loopbackAnswersToItsAddressAndLocalhostAtItsPort()
    {
        const OwnNames names(QHostAddress::LocalHost, 8080);
        for (const char *own : {"127.0.0.1:8080", "localhost:8080", "LocalHost:8080"}) {
            QVERIFY2(names.host(own), own);
        }
        const QByteArray machine = QHostInfo::localHostName().toUtf8() + ":8080";
        for (const QByteArray &foreign :
             QList<QByteArray>{"127.0.0.1", "127.0.0.1:8081", "evil.example:8080", "[::1]:8080",
                               "127.0.0.2:8080", machine, "", ":8080"}) {
            QVERIFY2(!names.host(foreign), foreign.constData());
        }
        QVERIFY(names.origin("http://127.0.0.1:8080"));
        QVERIFY(names.origin("HTTP://localhost:8080"));
        for (const char *foreign : {"https://127.0.0.1:8080", "null", "http://evil.example:8080",
                                    "http://127.0.0.1:8080.evil.example", "127.0.0.1:8080"}) {
            QVERIFY2(!names.origin(foreign), foreign);
        }
    }

    // A wildcard listener answers to every address of the machine and to its names; port 80
    // may go unwritten.
    void wildcardAnswersToTheMachinesAddressesAndNames()
    {
        OwnNames names(QHostAddress::Any, 80);
        names.localAddresses = [] {
            return QList<QHostAddress>{QHostAddress("10.0.0.5"), QHostAddress("2001:db8::5"),
                                       QHostAddress::LocalHost};
        };
        const QByteArray machine = QHostInfo::localHostName().toLower().toUtf8();
        for (const QByteArray &own :
             QList<QByteArray>{"10.0.0.5", "10.0.0.5:80", "[2001:db8::5]:80", "localhost", machine,
                               machine + ".local:80"}) {
            QVERIFY2(names.host(own), own.constData());
        }
        for (const char *foreign : {"10.0.0.6", "10.0.0.5:8080", "[2001:db8::6]", "evil.example",
                                    "2001:db8::5", "[10.0.0.5]"}) {
            QVERIFY2(!names.host(foreign), foreign);
        }
    }

    void headsPassToTheirServerOrAreRefused_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("status");
        const int http = Verdict::Http, channel = Verdict::Channel, refused = Verdict::Refused;
        const int incomplete = Verdict::Incomplete;
        const QByteArray upgrade = "Upgrade: websocket\r\nConnection: Upgrade\r\n";
        QTest::newRow("page") << head("GET / HTTP/1.1") << http << 0;
        QTest::newRow("head still coming")
            << QByteArray("GET / HTTP/1.1\r\nHost: 127") << incomplete << 0;
        QTest::newRow("request line too long")
            << QByteArray("GET /" + QByteArray(kMaxRequestLine, 'a')) << refused << 414;
        QTest::newRow("head too large")
            << QByteArray("GET / HTTP/1.1\r\nX: " + QByteArray(kMaxHead, 'a')) << refused << 431;
        QTest::newRow("no version") << head("GET /") << refused << 400;
        QTest::newRow("field without colon")
            << head("GET / HTTP/1.1", "Bogus\r\n") << refused << 400;
        QTest::newRow("two hosts")
            << head("GET / HTTP/1.1", "Host: " + kHost + "\r\n") << refused << 400;
        QTest::newRow("no host") << QByteArray("GET / HTTP/1.1\r\n\r\n") << refused << 400;
        QTest::newRow("foreign host")
            << QByteArray("GET / HTTP/1.1\r\nHost: evil.example:8080\r\n\r\n") << refused << 421;
        QTest::newRow("GET from another site")
            << head("GET / HTTP/1.1", "Origin: http://e.x\r\n") << http << 0;
        QTest::newRow("POST from another site")
            << head("POST / HTTP/1.1", "Origin: http://e.x\r\n") << refused << 403;
        QTest::newRow("POST from the page")
            << head("POST / HTTP/1.1", "Origin: http://" + kHost + "\r\n") << http << 0;
        QTest::newRow("channel") << head("GET /channel HTTP/1.1", upgrade) << channel << 0;
        QTest::newRow("channel from another site")
            << head("GET /channel HTTP/1.1", upgrade + "Origin: http://e.x\r\n") << refused << 403;
        QTest::newRow("channel from the page and another")
            << head("GET /channel HTTP/1.1",
                    upgrade + "Origin: http://" + kHost + "\r\nOrigin: http://e.x\r\n")
            << refused << 403;
        QTest::newRow("upgrade elsewhere") << head("GET / HTTP/1.1", upgrade) << refused << 404;
        QTest::newRow("chunked body")
            << head("POST / HTTP/1.1", "Transfer-Encoding: chunked\r\n") << refused << 413;
        QTest::newRow("large body")
            << head("PUT / HTTP/1.1", "Content-Length: 1025\r\n") << refused << 413;
        QTest::newRow("bad length")
            << head("PUT / HTTP/1.1", "Content-Length: -1\r\n") << refused << 400;
        QTest::newRow("body still coming")
            << head("PUT / HTTP/1.1", "Content-Length: 4\r\n") + "ab" << incomplete << 0;
        QTest::newRow("body whole")
            << head("PUT / HTTP/1.1", "Content-Length: 4\r\n") + "abcd" << http << 0;
        QTest::newRow("second request behind")
            << head("GET / HTTP/1.1") + head("GET / HTTP/1.1") << refused << 400;
    }

    void headsPassToTheirServerOrAreRefused()
    {
        QFETCH(QByteArray, received);
        QFETCH(int, kind);
        QFETCH(int, status);
        const Verdict verdict = judge(received, OwnNames(QHostAddress::LocalHost, 8080));
        QCOMPARE(int(verdict.kind), kind);
        QCOMPARE(verdict.status, status);
        if (kind == Verdict::Http) {
            QCOMPARE(verdict.length, received.size());
        }
    }

    // A refusal is a whole answer that closes the connection and keeps the page's rules.
    void refusalsAreWholeAnswers()
    {
        const QByteArray answer = refusal(421, "not here");
        QVERIFY(answer.startsWith("HTTP/1.1 421 Misdirected Request\r\n"));
        QVERIFY(answer.contains("\r\nConnection: close\r\n"));
        QVERIFY(answer.contains("frame-ancestors 'none'"));
        QVERIFY(answer.endsWith("Content-Length: 9\r\n\r\nnot here\n"));
    }
};

QTEST_GUILESS_MAIN(TestGate)
#include "test_gate.moc"
