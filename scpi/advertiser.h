// DNS-SD advertisement of the panel's network services through the system's avahi-daemon, so
// a lab's clients find the panel by browsing (avahi-browse, lxi discover --mdns) instead of
// being told its address. All the services of one panel go in one entry group under one
// instance name; avahi's own thread serves the daemon's D-Bus messages, so nothing here waits
// on Qt's event loop. Without a daemon the panel runs as before and says so, advertised once a
// daemon starts; without a D-Bus system bus it is never advertised.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>

struct AvahiClient;
struct AvahiEntryGroup;
struct AvahiThreadedPoll;

class Advertiser {
public:
    // `instanceName`: what a browser lists the panel as, "ZQ80415 /dev/parport0" say.
    explicit Advertiser(const QString &instanceName);
    // Withdraws every service. A run that ends without it (quick_exit, a crash) is withdrawn
    // all the same: the daemon drops a client's entries when its D-Bus connection closes.
    ~Advertiser();
    Advertiser(const Advertiser &) = delete;
    Advertiser &operator=(const Advertiser &) = delete;

    // Advertises `type` ("_scpi-raw._tcp") at `port` where a listener bound to `boundTo` is
    // reached: every interface for a wildcard address, else the interface holding the address.
    // A loopback-only listener is not advertised (avahi publishes on no loopback interface),
    // and that is said on stderr. `txt`: the service's TXT record, "key=value" strings.
    void advertise(const char *type, quint16 port, const QHostAddress &boundTo,
                   const QList<QByteArray> &txt = {});

private:
    struct Service {
        QByteArray type;
        quint16 port;
        QList<QByteArray> txt;
        int interface; // AvahiIfIndex
        int protocol;  // AvahiProtocol
    };

    // The daemon's answers, on avahi's thread (or in connect()), with its lock held.
    void clientChanged(AvahiClient *client, int state);
    void groupChanged(AvahiEntryGroup *group, int state);
    bool connect();
    // (Re)publishes every service under the name, one that is taken renamed; with the lock held.
    void publish(AvahiClient *client);
    void rename(AvahiClient *client);
    void note(const QString &text) const;

    QByteArray name_;
    QList<Service> services_;
    AvahiThreadedPoll *poll_ = nullptr;
    AvahiClient *client_ = nullptr;
    AvahiEntryGroup *group_ = nullptr;
    bool running_ = false;     // the daemon accepts entries
    bool unreachable_ = false; // no D-Bus system bus: nothing is tried again
};
