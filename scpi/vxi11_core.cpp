#include "vxi11_core.h"

#include "control/commands.h"
#include "control/connection.h"
#include "data_register.h"
#include "instrument.h"
#include "vxi11.h"

#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

// VXI-11's error codes, flags and read reasons.
enum : long {
    kNoError = 0,
    kDeviceNotAccessible = 3,
    kInvalidLink = 4,
    kParameterError = 5,
    kNotSupported = 8,
    kOutOfResources = 9,
    kLockedByAnother = 11,
    kNoLockHeld = 12,
    kTimeout = 15,
    kChannelNotEstablished = 6,
};
constexpr long kEndFlag = 8;
constexpr long kTermCharFlag = 128;
constexpr long kRequestCount = 1;
constexpr long kTermChar = 2;
constexpr long kEnd = 4;

// The most response bytes one device_read returns; the client reads again for the rest.
constexpr unsigned kMostRead = 4096;

// xdr_void, declared without parameters, as the XDR routine type.
xdrproc_t voidResult()
{
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(xdr_void));
}

// A reply message as its record holds it (empty if it cannot be encoded).
QByteArray encoded(rpc_msg &message)
{
    QByteArray record(int(kMostRead + 256), Qt::Uninitialized);
    XDR out;
    xdrmem_create(&out, record.data(), u_int(record.size()), XDR_ENCODE);
    const bool done = xdr_replymsg(&out, &message) != 0;
    record.truncate(done ? int(xdr_getpos(&out)) : 0);
    xdr_destroy(&out);
    return record;
}

// An accepted reply (or, with `stat` not SUCCESS, the refusal of a call), record ready.
QByteArray reply(u_int32_t xid, accept_stat stat, xdrproc_t encode = nullptr,
                 void *result = nullptr)
{
    rpc_msg message{};
    message.rm_xid = xid;
    message.rm_direction = REPLY;
    message.rm_reply.rp_stat = MSG_ACCEPTED;
    message.acpted_rply.ar_verf = _null_auth;
    message.acpted_rply.ar_stat = stat;
    if (stat == SUCCESS) {
        message.acpted_rply.ar_results.where = static_cast<char *>(result);
        message.acpted_rply.ar_results.proc = encode != nullptr ? encode : voidResult();
    } else if (stat == PROG_MISMATCH) {
        message.acpted_rply.ar_vers.low = DEVICE_CORE_VERSION;
        message.acpted_rply.ar_vers.high = DEVICE_CORE_VERSION;
    }
    return encoded(message);
}

QByteArray rpcVersionMismatch(u_int32_t xid)
{
    rpc_msg message{};
    message.rm_xid = xid;
    message.rm_direction = REPLY;
    message.rm_reply.rp_stat = MSG_DENIED;
    message.rjcted_rply.rj_stat = RPC_MISMATCH;
    message.rjcted_rply.rj_vers.low = RPC_MSG_VERSION;
    message.rjcted_rply.rj_vers.high = RPC_MSG_VERSION;
    return encoded(message);
}

// The transaction id of a call whose RPC version is not 2, read from its first three words.
std::optional<u_int32_t> otherRpcVersion(const QByteArray &record)
{
    if (record.size() < 12) {
        return std::nullopt;
    }
    const auto word = [&record](int index) {
        return qFromBigEndian<quint32>(record.constData() + 4 * index);
    };
    if (word(1) != CALL || word(2) == RPC_MSG_VERSION) {
        return std::nullopt;
    }
    return word(0);
}

// Decodes a call's parameters, runs `procedure` and sends its result; what it left to do once
// the reply is out (a written message to run, read bytes to drop) runs after.
template <typename Parameters, typename Result, typename Procedure>
void serveCall(Connection &channel, XDR &in, u_int32_t xid, xdrproc_t decode, xdrproc_t encode,
               Procedure procedure)
{
    Parameters parameters{};
    if (!decode(&in, &parameters, 0)) {
        xdr_free(decode, reinterpret_cast<char *>(&parameters));
        channel.sendRecord(reply(xid, GARBAGE_ARGS));
        return;
    }
    std::function<void()> then;
    Result result = procedure(static_cast<const Parameters &>(parameters), then);
    channel.sendRecord(reply(xid, SUCCESS, encode, &result));
    xdr_free(decode, reinterpret_cast<char *>(&parameters));
    if (then) {
        then();
    }
}

} // namespace

struct Vxi11Core::Link {
    Link(Instrument &instrument, Connection *channel)
        : interpreter(instrument)
        , channel(channel)
    {
    }

    Interpreter interpreter;
    Connection *channel;   // the core channel that created it: the link ends with it
    QByteArray input;      // what was written of a message not yet ended
    bool overlong = false; // inside a message too long to take: skipping to its end
    QByteArray output;     // responses not yet read
};

Vxi11Core::Vxi11Core(Instrument &instrument, QObject *parent)
    : QObject(parent)
    , instrument_(instrument)
{
}

Vxi11Core::~Vxi11Core()
{
    links_.clear();
    qDeleteAll(channels_);
}

void Vxi11Core::adopt(int descriptor, bool withinCap)
{
    auto *channel = new Connection(descriptor, nullptr, Connection::Framing::Records);
    channels_ << channel;
    if (!withinCap) {
        turnedAway_ << channel;
    }
    connect(channel, &Connection::ready, this, [this, channel] { serve(channel); });
}

// The calls a client has sent, while it takes its replies.
void Vxi11Core::serve(Connection *channel)
{
    while (!channel->backedUp()) {
        const std::optional<QByteArray> record = channel->nextRecord();
        if (!record) {
            break;
        }
        answer(*channel, *record);
    }
    if (channel->finished()) {
        close(channel);
    }
}

// The channel's end releases its links and the lock one of them held.
void Vxi11Core::close(Connection *channel)
{
    if (channel->overran()) {
        std::fprintf(stderr,
                     "%s: VXI-11: closed a connection whose record does not end within %lld "
                     "bytes, more than any call takes; its links and lock are released.\n",
                     linkedPort().program, static_cast<long long>(Connection::kReadAhead));
    }
    for (auto link = links_.begin(); link != links_.end();) {
        if (link->second->channel == channel) {
            lockHolder_ = lockHolder_ == link->first ? 0 : lockHolder_;
            link = links_.erase(link);
        } else {
            ++link;
        }
    }
    channels_.removeOne(channel);
    turnedAway_.remove(channel);
    channel->deleteLater();
}

void Vxi11Core::answer(Connection &channel, const QByteArray &record)
{
    XDR in;
    xdrmem_create(&in, const_cast<char *>(record.constData()), u_int(record.size()), XDR_DECODE);
    rpc_msg message{};
    char credentials[2 * MAX_AUTH_BYTES];
    message.rm_call.cb_cred.oa_base = credentials;
    message.rm_call.cb_verf.oa_base = credentials + MAX_AUTH_BYTES;
    if (!xdr_callmsg(&in, &message) || message.rm_direction != CALL) {
        xdr_destroy(&in);
        // xdr_callmsg refuses a call of another RPC version outright: that is answered.
        if (const auto xid = otherRpcVersion(record)) {
            channel.sendRecord(rpcVersionMismatch(*xid));
        }
        return; // not a call: nothing to answer
    }
    const u_int32_t xid = message.rm_xid;
    const call_body &body = message.rm_call;
    if (body.cb_prog != DEVICE_CORE) {
        channel.sendRecord(reply(xid, PROG_UNAVAIL));
    } else if (body.cb_vers != DEVICE_CORE_VERSION) {
        channel.sendRecord(reply(xid, PROG_MISMATCH));
    } else if (!dispatch(channel, u_int(body.cb_proc), in, xid)) {
        channel.sendRecord(reply(xid, PROC_UNAVAIL));
    }
    xdr_destroy(&in);
}

bool Vxi11Core::dispatch(Connection &channel, unsigned procedure, XDR &in, unsigned xid)
{
    // Each procedure of the core channel with its parameters' and result's XDR routines.
#define SERVE(Parameters, Result, member)                                                          \
    serveCall<Parameters, Result>(channel, in, xid, xdrproc_t(xdr_##Parameters),                   \
                                  xdrproc_t(xdr_##Result),                                         \
                                  [&](const Parameters &parameters, Then &then) {                  \
                                      return member(channel, parameters, then);                    \
                                  })
    switch (procedure) {
    case NULLPROC:
        channel.sendRecord(reply(xid, SUCCESS));
        return true;
    case create_link:
        SERVE(Create_LinkParms, Create_LinkResp, createLink);
        return true;
    case device_write:
        SERVE(Device_WriteParms, Device_WriteResp, write);
        return true;
    case device_read:
        SERVE(Device_ReadParms, Device_ReadResp, read);
        return true;
    case device_readstb:
        SERVE(Device_GenericParms, Device_ReadStbResp, readStatus);
        return true;
    case device_clear:
        SERVE(Device_GenericParms, Device_Error, clear);
        return true;
    case device_trigger:
    case device_remote:
    case device_local:
        SERVE(Device_GenericParms, Device_Error, unsupported);
        return true;
    case device_lock:
        SERVE(Device_LockParms, Device_Error, lock);
        return true;
    case device_unlock:
        SERVE(Device_Link, Device_Error, unlock);
        return true;
    case destroy_link:
        SERVE(Device_Link, Device_Error, destroyLink);
        return true;
    case device_enable_srq:
    case device_docmd:
    case create_intr_chan:
    case destroy_intr_chan: {
        // No interrupt channel and no device-specific commands: each is refused by its
        // result's error field, which every one of these results begins with.
        Device_Error refused{procedure == destroy_intr_chan ? kChannelNotEstablished
                                                            : kNotSupported};
        Device_DocmdResp docmd{refused.error, {0, nullptr}};
        channel.sendRecord(procedure == device_docmd
                               ? reply(xid, SUCCESS, xdrproc_t(xdr_Device_DocmdResp), &docmd)
                               : reply(xid, SUCCESS, xdrproc_t(xdr_Device_Error), &refused));
        return true;
    }
    default:
        return false;
    }
#undef SERVE
}

Vxi11Core::Link *Vxi11Core::find(Connection &channel, long id, long &error)
{
    const auto found = links_.find(id);
    if (found == links_.end() || found->second->channel != &channel) {
        error = kInvalidLink;
        return nullptr;
    }
    if (lockHolder_ != 0 && lockHolder_ != id) {
        error = kLockedByAnother;
        return nullptr;
    }
    error = kNoError;
    return found->second.get();
}

Create_LinkResp Vxi11Core::createLink(Connection &channel, const Create_LinkParms &parameters,
                                      Then &)
{
    Create_LinkResp result{};
    if (QByteArray(parameters.device).toLower() != "inst0") {
        result.error = kDeviceNotAccessible;
    } else if (links_.size() >= kMaxLinks || turnedAway_.contains(&channel)) {
        result.error = kOutOfResources;
    } else if (parameters.lockDevice && lockHolder_ != 0) {
        result.error = kLockedByAnother;
    } else {
        result.lid = ++lastLink_;
        auto link = std::make_unique<Link>(instrument_, &channel);
        if (instrument_.failed()) {
            link->interpreter.status.questionable.setCondition(kPortFailedBit);
        }
        links_.emplace(result.lid, std::move(link));
        lockHolder_ = parameters.lockDevice ? result.lid : lockHolder_;
        result.maxRecvSize = kMaxRecvSize;
    }
    return result;
}

// The bytes join the link's input; each message they end (by a newline, or by END at the end
// of the write) runs once the reply is out.
Device_WriteResp Vxi11Core::write(Connection &channel, const Device_WriteParms &parameters,
                                  Then &then)
{
    Device_WriteResp result{};
    Link *link = find(channel, parameters.lid, result.error);
    if (link == nullptr) {
        return result;
    }
    if (parameters.data.data_len > kMaxRecvSize) {
        result.error = kParameterError; // more than create_link said it takes
        return result;
    }
    const QByteArray data(parameters.data.data_val, qsizetype(parameters.data.data_len));
    link->input += data;
    result.size = parameters.data.data_len;
    const long id = parameters.lid;
    const bool end = (parameters.flags & kEndFlag) != 0;
    then = [this, id, end] { written(id, end); };
    return result;
}

void Vxi11Core::written(long id, bool end)
{
    const auto found = links_.find(id);
    if (found == links_.end()) {
        return;
    }
    Link &link = *found->second;
    for (qsizetype newline; (newline = link.input.indexOf('\n')) >= 0;) {
        const QByteArray message = link.input.left(newline);
        link.input.remove(0, newline + 1);
        run(link, message);
    }
    if (end && (!link.input.isEmpty() || link.overlong)) {
        run(link, std::exchange(link.input, {}));
    } else if (link.input.size() > kMaxCommandLength + 1) {
        link.overlong = true; // too long to be a message however it ends: not held
        link.input.clear();
    }
}

void Vxi11Core::run(Link &link, QByteArray message)
{
    if (std::exchange(link.overlong, false)) {
        link.interpreter.overrun();
        return;
    }
    if (message.endsWith('\r')) {
        message.chop(1);
    }
    if (!link.output.isEmpty()) {
        link.interpreter.status.push(-410, "a new message came before the last response was "
                                           "read; that response is gone");
        link.output.clear();
    }
    link.interpreter.begin(message);
    QByteArray response;
    if (link.interpreter.finish(response)) {
        link.output += response + '\n';
    }
}

// Answers from the responses held: nothing to wait for, since a message has run in full by
// the time its write is answered.
Device_ReadResp Vxi11Core::read(Connection &channel, const Device_ReadParms &parameters, Then &then)
{
    Device_ReadResp result{};
    Link *link = find(channel, parameters.lid, result.error);
    if (link == nullptr) {
        return result;
    }
    if (link->output.isEmpty()) {
        link->interpreter.status.push(-420, "nothing to read: no query was sent");
        result.error = kTimeout;
        return result;
    }
    qsizetype size = std::min<qsizetype>(link->output.size(),
                                         std::min<qsizetype>(parameters.requestSize, kMostRead));
    const qsizetype terminator =
        (parameters.flags & kTermCharFlag) != 0 ? link->output.indexOf(parameters.termChar) : -1;
    if (terminator >= 0 && terminator < size) {
        size = terminator + 1;
        result.reason |= kTermChar;
    }
    if (size == link->output.size()) {
        result.reason |= kEnd;
    } else if (size == qsizetype(parameters.requestSize)) {
        result.reason |= kRequestCount;
    }
    result.data.data_len = u_int(size);
    result.data.data_val = link->output.data();
    const long id = parameters.lid;
    then = [this, id, size] {
        if (const auto found = links_.find(id); found != links_.end()) {
            found->second->output.remove(0, size);
        }
    };
    return result;
}

Device_ReadStbResp Vxi11Core::readStatus(Connection &channel, const Device_GenericParms &parameters,
                                         Then &)
{
    Device_ReadStbResp result{};
    if (const Link *link = find(channel, parameters.lid, result.error)) {
        result.stb = u_char(link->interpreter.status.statusByte(!link->output.isEmpty()));
    }
    return result;
}

// Device clear: the input and the responses not read are dropped; the error queue and the
// status registers stay, as IEEE 488.2 has it.
Device_Error Vxi11Core::clear(Connection &channel, const Device_GenericParms &parameters, Then &)
{
    Device_Error result{};
    if (Link *link = find(channel, parameters.lid, result.error)) {
        link->input.clear();
        link->output.clear();
        link->overlong = false;
    }
    return result;
}

// Trigger, remote and local: the panel has no trigger, and its window stays live whoever
// drives it.
Device_Error Vxi11Core::unsupported(Connection &channel, const Device_GenericParms &parameters,
                                    Then &)
{
    Device_Error result{};
    if (find(channel, parameters.lid, result.error) != nullptr) {
        result.error = kNotSupported;
    }
    return result;
}

Device_Error Vxi11Core::lock(Connection &channel, const Device_LockParms &parameters, Then &)
{
    Device_Error result{};
    if (find(channel, parameters.lid, result.error) != nullptr) {
        lockHolder_ = parameters.lid;
    }
    return result;
}

Device_Error Vxi11Core::unlock(Connection &channel, const long &id, Then &)
{
    Device_Error result{};
    const auto found = links_.find(id);
    if (found == links_.end() || found->second->channel != &channel) {
        result.error = kInvalidLink;
    } else if (lockHolder_ != id) {
        result.error = kNoLockHeld;
    } else {
        lockHolder_ = 0;
    }
    return result;
}

Device_Error Vxi11Core::destroyLink(Connection &channel, const long &id, Then &)
{
    Device_Error result{};
    const auto found = links_.find(id);
    if (found == links_.end() || found->second->channel != &channel) {
        result.error = kInvalidLink;
    } else {
        lockHolder_ = lockHolder_ == id ? 0 : lockHolder_;
        links_.erase(found);
    }
    return result;
}

void Vxi11Core::portFailing()
{
    for (auto &[id, link] : links_) {
        Status &status = link->interpreter.status;
        status.questionable.setCondition(status.questionable.condition | kPortFailedBit);
        QByteArray response;
        if (link->interpreter.running() && link->interpreter.finish(response)) {
            link->output += response + '\n';
        }
    }
}
