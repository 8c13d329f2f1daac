// Open pages on their channel, with the window driven as the operator drives it: each change
// made at the window reaches every page, and a port failure reaches every page before the
// panel goes on to report it.
#include "panel_under_test.h"
#include "recording_port.h"
#include "web/server.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QWebSocket>

#include <memory>

namespace {

// A page: every message its channel has carried.
struct Page {
    std::unique_ptr<QWebSocket> socket = std::make_unique<QWebSocket>();
    QList<QJsonObject> messages;

    explicit Page(quint16 port)
    {
        QObject::connect(socket.get(), &QWebSocket::textMessageReceived, [this](const QString &m) {
            messages << QJsonDocument::fromJson(m.toUtf8()).object();
        });
        socket->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/channel").arg(port)));
    }
    QJsonObject lastState() const
    {
        for (auto message = messages.rbegin(); message != messages.rend(); ++message) {
            if (message->contains("state")) {
                return (*message)["state"].toObject();
            }
        }
        return {};
    }
    bool has(const char *kind) const
    {
        return std::any_of(messages.begin(), messages.end(),
                           [kind](const QJsonObject &m) { return m.contains(kind); });
    }
};

} // namespace

class TestPages : public QObject {
    Q_OBJECT
    PanelUnderTest *window = nullptr;
    WebServer *server = nullptr;

private slots:
    void init()
    {
        window = new PanelUnderTest;
        QVERIFY(window->open());
        server = new WebServer(*window, {"maker", "model", "serial", "1.0"});
        connect(window, &ZQ7130::portFailing, server, &WebServer::portFailing);
        ScpiEndpoint endpoint;
        endpoint.port = 0;
        QString problem;
        QVERIFY2(server->listen(endpoint, problem), qPrintable(problem));
    }
    void cleanup()
    {
        delete server;
        delete window;
    }

    // The window's own controls move every page, " DEFAULT" included when all it changes is
    // the address bit (it selects its choice with that option's signals blocked).
    void changesAtTheWindowReachEveryPage()
    {
        Page first(server->port());
        Page second(server->port());
        QTRY_VERIFY(first.has("state") && second.has("state"));
        QCOMPARE(first.messages.first()["identity"].toObject()["serial"].toString(), "serial");
        window->select("poweron");
        window->control<QSlider>("rightvol")->setValue(9);
        QTRY_COMPARE(first.lastState()["rightvol"].toInt(), 9);
        QTRY_COMPARE(second.lastState()["poweron"].toBool(), true);
        QCOMPARE(second.lastState()["rgainbox"].toString(),
                 window->control<QLineEdit>("rgainbox")->text());
        window->control<QPushButton>("RESET")->click();
        window->select("addrone");
        QTRY_COMPARE(first.lastState()["addrone"].toBool(), true);
        window->control<QPushButton>("RESET")->click();
        QTRY_COMPARE(first.lastState()["addrzero"].toBool(), true);
        QTRY_COMPARE(second.lastState()["addrone"].toBool(), false);
    }

    // The failure reaches every page while it is reported, and a page opened afterwards hears
    // of it on connect; nothing a page sends from then on runs.
    void aPortFailureReachesEveryPage()
    {
        Page sender(server->port());
        Page watcher(server->port());
        QTRY_VERIFY(sender.has("state") && watcher.has("state"));
        bool heardMeanwhile = false;
        window->whileReporting = [&] {
            heardMeanwhile = QTest::qWaitFor([&] { return watcher.has("failure"); });
        };
        recording::failAtWrite(10);
        sender.socket->sendTextMessage("power on");
        QTRY_VERIFY(sender.has("failure"));
        QVERIFY(heardMeanwhile);
        QCOMPARE(watcher.messages.last()["failure"].toString(),
                 window->failure.section('\n', 0, 0));
        Page late(server->port());
        QTRY_VERIFY(late.has("failure"));
        late.socket->sendTextMessage("speaker-volume 3");
        QTRY_VERIFY(late.has("error"));
        QCOMPARE(window->failures, 1);
        QCOMPARE(recording::writes().size(), 9U);
    }
};

QTEST_MAIN(TestPages)
#include "test_pages.moc"
