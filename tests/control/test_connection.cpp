// A connection's framing at its limits, over a socket pair: records that cannot end within the
// read-ahead end the client, a client known gone leaves nothing behind to run, and what came
// while a message ran is taken without waiting for the event loop.
#include "control/connection.h"

#include <QTest>

#include <sys/socket.h>
#include <unistd.h>

namespace {

QByteArray fragment(const QByteArray &bytes, bool last)
{
    const quint32 header = quint32(bytes.size()) | (last ? 0x80000000U : 0U);
    const char head[4] = {char(header >> 24), char(header >> 16), char(header >> 8), char(header)};
    return QByteArray(head, 4) + bytes;
}

} // namespace

class TestConnection : public QObject {
    Q_OBJECT
    int client = -1;
    Connection *connection = nullptr;

    void open(Connection::Framing framing)
    {
        int ends[2];
        QVERIFY(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) == 0);
        client = ends[0];
        connection = new Connection(ends[1], nullptr, framing);
    }
    void send(const QByteArray &bytes)
    {
        QCOMPARE(::write(client, bytes.constData(), std::size_t(bytes.size())), bytes.size());
    }

private slots:
    void cleanup()
    {
        delete connection;
        if (client >= 0) {
            ::close(client);
        }
        client = -1;
    }

    void recordsAtTheReadAhead_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("overran");
        // The largest record it takes: a last fragment filling the read-ahead exactly.
        QTest::newRow("a record filling it") << fragment(QByteArray(4092, 'x'), true) << false;
        QTest::newRow("empty fragments, never last") << fragment({}, false).repeated(1024) << true;
        QTest::newRow("fragments ending 2 bytes short")
            << fragment(QByteArray(4090, 'x'), false) << true;
        QTest::newRow("a fragment running past it")
            << fragment(QByteArray(4093, 'x'), true) << true;
    }
    void recordsAtTheReadAhead()
    {
        QFETCH(QByteArray, sent);
        QFETCH(bool, overran);
        open(Connection::Framing::Records);
        send(sent);
        std::optional<QByteArray> record;
        QVERIFY(QTest::qWaitFor([&] {
            record = connection->nextRecord();
            return record || connection->finished();
        }));
        QCOMPARE(connection->overran(), overran);
        QCOMPARE(connection->finished(), overran); // ended at once, without waiting for a close
        QCOMPARE(record.has_value(), !overran);
    }

    void aClientGoneLeavesNothingToRun()
    {
        open(Connection::Framing::Lines);
        send("first?\nsecond\nthird\n");
        std::optional<QByteArray> line;
        QVERIFY(QTest::qWaitFor([&] { return (line = connection->nextLine()).has_value(); }));
        QCOMPARE(*line, "first?");
        ::close(client);
        client = -1;
        connection->reply("an answer nobody receives");
        QVERIFY(!connection->nextLine()); // "second" and "third" are dropped, not run
        QVERIFY(connection->finished());
    }

    // What arrives while a message runs is taken in the same turn, without the event loop; an
    // end of input is seen the same way, and nothing is made up when nothing came.
    void whatArrivedMeanwhileIsTakenAtOnce()
    {
        open(Connection::Framing::Lines);
        send("SPE:VOL 3\n");
        QVERIFY(QTest::qWaitFor([&] { return connection->nextLine().has_value(); }));
        QVERIFY(!connection->takeArrived());
        send("SPE:VOL?\n");
        QVERIFY(connection->takeArrived());
        QCOMPARE(connection->nextLine().value_or("nothing"), "SPE:VOL?");
        ::shutdown(client, SHUT_WR);
        QVERIFY(!connection->takeArrived());
        QVERIFY(connection->finished());
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "test_connection.moc"
