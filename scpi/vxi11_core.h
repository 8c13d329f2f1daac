// VXI-11's core channel: ONC RPC calls over TCP, one record each, decoded and answered with
// libtirpc's XDR routines for the interface definition in vxi11.x. A client creates a link to
// the device "inst0"; each link has its own interpreter, error queue and status, as a client of
// the raw port has. Every call is answered at once, so no call waits for a lock or a response
// and there is nothing for an abort channel to abort: none is served, nor an interrupt channel.
#pragma once

#include "interpreter.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>

#include <functional>
#include <map>
#include <memory>

class Connection;
class Instrument;

class Vxi11Core : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxLinks = 16;
    // The most a client may write in one device_write (create_link's maxRecvSize).
    static constexpr unsigned kMaxRecvSize = 1024;

    Vxi11Core(Instrument &instrument, QObject *parent);
    ~Vxi11Core() override;

    // Serves the core channel on `descriptor`, a connected TCP socket it takes over. A channel
    // beyond the cap (not `withinCap`) is answered, but its create_link is refused with error 9
    // (out of resources).
    void adopt(int descriptor, bool withinCap = true);
    // Channels served within the cap, and beyond it.
    int channels() const { return int(channels_.size() - turnedAway_.size()); }
    int turnedAway() const { return int(turnedAway_.size()); }

    // Every link's QUEStionable condition says the port failed; a message a failure
    // interrupted is finished, its response held for device_read.
    void portFailing();

    struct Link;

private:
    using Then = std::function<void()>; // runs once the call's reply is out

    bool dispatch(Connection &channel, unsigned procedure, struct __rpc_xdr &in, unsigned xid);
    void serve(Connection *channel);
    void answer(Connection &channel, const QByteArray &record);
    void close(Connection *channel);
    Link *find(Connection &channel, long id, long &error);
    void written(long id, bool end);
    void run(Link &link, QByteArray message);

    struct Create_LinkResp createLink(Connection &, const struct Create_LinkParms &, Then &);
    struct Device_WriteResp write(Connection &, const struct Device_WriteParms &, Then &);
    struct Device_ReadResp read(Connection &, const struct Device_ReadParms &, Then &);
    struct Device_ReadStbResp readStatus(Connection &, const struct Device_GenericParms &, Then &);
    struct Device_Error clear(Connection &, const struct Device_GenericParms &, Then &);
    struct Device_Error unsupported(Connection &, const struct Device_GenericParms &, Then &);
    struct Device_Error lock(Connection &, const struct Device_LockParms &, Then &);
    struct Device_Error unlock(Connection &, const long &, Then &);
    struct Device_Error destroyLink(Connection &, const long &, Then &);

    Instrument &instrument_;
    QList<Connection *> channels_;
    QSet<const Connection *> turnedAway_;
    std::map<long, std::unique_ptr<Link>> links_;
    long lastLink_ = 0;
    long lockHolder_ = 0; // the link holding the device's lock; 0: none
};
