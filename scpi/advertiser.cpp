#include "advertiser.h"

#include "data_register.h"

#include <QNetworkInterface>

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>

#include <cstdio>

namespace {

// Where a listener bound to `address` is reached: the interface and the protocol (IPv4, IPv6
// or both) to publish on. False for a loopback address, which avahi never publishes on.
bool placeOf(const QHostAddress &address, int &interface, int &protocol)
{
    const auto family = address.protocol();
    protocol = family == QAbstractSocket::IPv4Protocol   ? AVAHI_PROTO_INET
               : family == QAbstractSocket::IPv6Protocol ? AVAHI_PROTO_INET6
                                                         : AVAHI_PROTO_UNSPEC;
    interface = AVAHI_IF_UNSPEC; // a wildcard address: every interface
    if (address.isLoopback()) {
        return false;
    }
    if (address == QHostAddress::Any || address == QHostAddress::AnyIPv4 ||
        address == QHostAddress::AnyIPv6) {
        return true;
    }
    for (const QNetworkInterface &candidate : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry &entry : candidate.addressEntries()) {
            if (entry.ip().isEqual(address)) {
                interface = candidate.index();
                return true;
            }
        }
    }
    return true; // the interfaces could not be listed: every interface
}

} // namespace

Advertiser::Advertiser(const QString &instanceName)
    : name_(instanceName.toUtf8())
{
}

Advertiser::~Advertiser()
{
    if (poll_ == nullptr) {
        return;
    }
    avahi_threaded_poll_stop(poll_);
    avahi_client_free(client_); // frees the entry group: the daemon withdraws its services
    avahi_threaded_poll_free(poll_);
}

void Advertiser::advertise(const char *type, quint16 port, const QHostAddress &boundTo,
                           const QList<QByteArray> &txt)
{
    Service service{type, port, txt, 0, 0};
    if (!placeOf(boundTo, service.interface, service.protocol)) {
        note(QStringLiteral("%1 on port %2 is not advertised, as it listens on loopback only.")
                 .arg(QLatin1String(type))
                 .arg(port));
        return;
    }
    if (poll_ == nullptr) { // the first service: avahi's thread does not run yet
        if (!unreachable_) {
            services_ << service;
            unreachable_ = !connect();
        }
        return;
    }
    avahi_threaded_poll_lock(poll_);
    services_ << service;
    if (running_) {
        publish(client_);
    }
    avahi_threaded_poll_unlock(poll_);
}

bool Advertiser::connect()
{
    int error = AVAHI_ERR_NO_MEMORY;
    poll_ = avahi_threaded_poll_new();
    auto changed = [](AvahiClient *client, AvahiClientState state, void *self) {
        static_cast<Advertiser *>(self)->clientChanged(client, state);
    };
    // The callback runs inside avahi_client_new too, with the daemon's state at connection.
    // Without a daemon the client waits for one (a panel started before it, at boot).
    if (poll_ != nullptr) {
        client_ = avahi_client_new(avahi_threaded_poll_get(poll_), AVAHI_CLIENT_NO_FAIL, changed,
                                   this, &error);
    }
    if (client_ != nullptr && avahi_threaded_poll_start(poll_) == 0) {
        return true;
    }
    note(QStringLiteral("not advertised, as the system's D-Bus cannot be reached: %1.")
             .arg(QLatin1String(avahi_strerror(error))));
    if (client_ != nullptr) {
        avahi_client_free(client_);
        client_ = nullptr;
    }
    if (poll_ != nullptr) {
        avahi_threaded_poll_free(poll_);
        poll_ = nullptr;
    }
    return false;
}

void Advertiser::clientChanged(AvahiClient *client, int state)
{
    running_ = state == AVAHI_CLIENT_S_RUNNING;
    if (running_) {
        publish(client);
    } else if (state == AVAHI_CLIENT_S_COLLISION || state == AVAHI_CLIENT_S_REGISTERING) {
        // The daemon renames its host: the services come back once it runs again.
        if (group_ != nullptr) {
            avahi_entry_group_reset(group_);
        }
    } else if (state == AVAHI_CLIENT_CONNECTING) {
        note(QStringLiteral("avahi-daemon is not running: not advertised until it starts."));
    } else if (state == AVAHI_CLIENT_FAILURE && client_ != nullptr) {
        // The daemon went away (stopped or restarted): this client is done, and no new one is
        // made; the services are advertised again when the panel starts again.
        note(QStringLiteral("no longer advertised: %1.")
                 .arg(QLatin1String(avahi_strerror(avahi_client_errno(client)))));
    }
}

void Advertiser::publish(AvahiClient *client)
{
    auto changed = [](AvahiEntryGroup *group, AvahiEntryGroupState state, void *self) {
        static_cast<Advertiser *>(self)->groupChanged(group, state);
    };
    if (group_ == nullptr) {
        group_ = avahi_entry_group_new(client, changed, this);
    } else {
        avahi_entry_group_reset(group_);
    }
    int error = group_ == nullptr ? avahi_client_errno(client) : AVAHI_OK;
    for (const Service &service : std::as_const(services_)) {
        if (error == AVAHI_OK) {
            AvahiStringList *txt = nullptr;
            for (const QByteArray &entry : service.txt) {
                txt = avahi_string_list_add(txt, entry.constData());
            }
            error = avahi_entry_group_add_service_strlst(
                group_, service.interface, service.protocol, AvahiPublishFlags(0),
                name_.constData(), service.type.constData(), nullptr, nullptr, service.port, txt);
            avahi_string_list_free(txt);
        }
    }
    if (error == AVAHI_ERR_COLLISION) { // this daemon has the name already
        rename(client);
        return;
    }
    if (error == AVAHI_OK) {
        error = avahi_entry_group_commit(group_);
    }
    if (error != AVAHI_OK) {
        note(QStringLiteral("not advertised: %1.").arg(QLatin1String(avahi_strerror(error))));
    }
}

void Advertiser::groupChanged(AvahiEntryGroup *group, int state)
{
    if (state == AVAHI_ENTRY_GROUP_COLLISION) { // another host on the network has the name
        rename(avahi_entry_group_get_client(group));
    } else if (state == AVAHI_ENTRY_GROUP_FAILURE) {
        note(QStringLiteral("not advertised: %1.")
                 .arg(QLatin1String(
                     avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(group))))));
    }
}

void Advertiser::rename(AvahiClient *client)
{
    char *other = avahi_alternative_service_name(name_.constData());
    note(QStringLiteral("the name '%1' is taken; advertised as '%2'.")
             .arg(QString::fromUtf8(name_), QString::fromUtf8(other)));
    name_ = other;
    avahi_free(other);
    publish(client);
}

void Advertiser::note(const QString &text) const
{
    std::fprintf(stderr, "%s: DNS-SD: %s\n", linkedPort().program, text.toLocal8Bit().constData());
}
