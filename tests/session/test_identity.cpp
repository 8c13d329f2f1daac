// The board's identity: a default name that *IDN? and DNS-SD can always carry, whatever the
// device's path, and the names --name refuses.
#include "session/identity.h"

#include <QTest>

#include <unistd.h>

class TestIdentity : public QObject {
    Q_OBJECT

private slots:
    void theDefaultNameIsTheHostAndTheDevice()
    {
        char host[256] = {};
        QVERIFY(::gethostname(host, sizeof host - 1) == 0);
        const QString shortHost = QString::fromLocal8Bit(host).section('.', 0, 0);
        const std::pair<QString, QString> names[] = {
            {"/dev/parport0", shortHost + "/parport0"},
            {"/dev/i2c-1", shortHost + "/i2c-1"},
            {"", shortHost + "/simulated"},
            {"/tmp/a,b;c", shortHost + ":/tmp/a_b_c"}, // outside /dev: the whole path, made fit
        };
        for (const auto &[device, name] : names) {
            const BoardIdentity identity = boardIdentity({}, device);
            QCOMPARE(QString::fromLatin1(identity.name), name);
            QCOMPARE(identity.idn().count(','), 3);
            QVERIFY(unfitBoardName(QString::fromLatin1(identity.name)).isEmpty());
        }
        const QString deep = "/srv/" + QString(80, 'd') + "/port7";
        const QByteArray cut = boardIdentity({}, deep).name;
        QVERIFY2(cut.size() <= kLongestBoardName && cut.endsWith("/port7"), cut.constData());
        QCOMPARE(boardIdentity("Bench 7", "/dev/parport0").idn(),
                 QByteArray("ZQ80415 project,ZQ80415,Bench 7," PROJECT_VERSION));
        QCOMPARE(boardIdentity("Bench 7", {}).instanceName(), QString("ZQ80415 Bench 7"));
    }

    void namesIdnCannotCarryAreRefused()
    {
        for (const QString &name :
             {QString(), QString(" "), QString("a,b"), QString("a;b"), QString("r\u00e4ck"),
              QString("tab\there"), QString(kLongestBoardName + 1, 'x')}) {
            QVERIFY2(!unfitBoardName(name).isEmpty(), qPrintable(name));
        }
        QVERIFY(unfitBoardName(QString(kLongestBoardName, 'x')).isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestIdentity)
#include "test_identity.moc"
