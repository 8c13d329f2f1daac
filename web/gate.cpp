#include "gate.h"

#include <QHostInfo>
#include <QList>
#include <QNetworkInterface>

#include <algorithm>

namespace {

struct Head {
    QByteArray method;
    QByteArray target;
    QList<QPair<QByteArray, QByteArray>> fields; // names in lower case
};

Verdict refused(int status, const char *reason)
{
    return {Verdict::Refused, status, reason, 0};
}

// The request line and the fields of a complete head, or false when they are malformed.
bool split(const QByteArray &head, Head &into)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> request = lines.first().trimmed().split(' ');
    if (request.size() != 3 || !request[2].startsWith("HTTP/1.")) {
        return false;
    }
    into.method = request[0];
    into.target = request[1];
    for (qsizetype at = 1; at < lines.size(); ++at) {
        const QByteArray line = lines[at].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (line.isEmpty()) {
            continue;
        }
        if (colon <= 0 || line.left(colon).contains(' ')) {
            return false;
        }
        into.fields.append({line.left(colon).toLower(), line.mid(colon + 1).trimmed()});
    }
    return true;
}

// The values of the field `name`.
QList<QByteArray> values(const Head &head, const char *name)
{
    QList<QByteArray> found;
    for (const auto &[field, value] : head.fields) {
        if (field == name) {
            found << value;
        }
    }
    return found;
}

Verdict judgeHead(const Head &head, qsizetype headLength, const OwnNames &names)
{
    const QList<QByteArray> hosts = values(head, "host");
    if (hosts.size() != 1) {
        return refused(400, "a request names exactly one Host");
    }
    if (!names.host(hosts.first())) {
        return refused(421, "this panel does not answer to that Host");
    }
    const QList<QByteArray> origins = values(head, "origin");
    const bool upgrade = values(head, "upgrade").join(',').toLower().contains("websocket");
    const bool reads = head.method == "GET" || head.method == "HEAD";
    if ((upgrade || !reads) && !std::all_of(origins.begin(), origins.end(),
                                            [&](const auto &o) { return names.origin(o); })) {
        return refused(403, "a page of another site may not do this");
    }
    if (!values(head, "transfer-encoding").isEmpty()) {
        return refused(413, "this panel takes no request body");
    }
    const QList<QByteArray> lengths = values(head, "content-length");
    bool number = lengths.isEmpty();
    const qlonglong body = lengths.isEmpty() ? 0 : lengths.first().toLongLong(&number);
    if (lengths.size() > 1 || !number || body < 0) {
        return refused(400, "malformed Content-Length");
    }
    if (body > kMaxBody) {
        return refused(413, "this panel takes no request body");
    }
    if (upgrade) {
        return head.method == "GET" && head.target == "/channel"
                   ? Verdict{Verdict::Channel, 0, {}, headLength}
                   : refused(404, "the channel is at /channel");
    }
    return {Verdict::Http, 0, {}, headLength + qsizetype(body)};
}

} // namespace

OwnNames::OwnNames(QHostAddress listening, quint16 port)
    : localAddresses(&QNetworkInterface::allAddresses)
    , listening_(std::move(listening))
    , port_(port)
{
}

bool OwnNames::address(const QHostAddress &named) const
{
    if (listening_ != QHostAddress::Any && listening_ != QHostAddress::AnyIPv4 &&
        listening_ != QHostAddress::AnyIPv6) {
        return named.isEqual(listening_, QHostAddress::ConvertV4MappedToIPv4);
    }
    const QList<QHostAddress> own = localAddresses();
    return std::any_of(own.begin(), own.end(), [&](const QHostAddress &local) {
        return named.isEqual(local, QHostAddress::ConvertV4MappedToIPv4);
    });
}

bool OwnNames::host(const QByteArray &given) const
{
    QByteArray name = given.toLower();
    const QByteArray suffix = ':' + QByteArray::number(port_);
    if (name.endsWith(suffix)) {
        name.chop(suffix.size());
    } else if (port_ != 80) {
        return false;
    }
    if (name.startsWith('[') && name.endsWith(']')) {
        const QHostAddress v6(QString::fromLatin1(name.mid(1, name.size() - 2)));
        return v6.protocol() == QAbstractSocket::IPv6Protocol && address(v6);
    }
    const QHostAddress v4(QString::fromLatin1(name));
    if (v4.protocol() == QAbstractSocket::IPv4Protocol) {
        return address(v4);
    }
    if (name == "localhost") {
        return listening_.isLoopback() || address(QHostAddress::LocalHost);
    }
    const QByteArray machine = QHostInfo::localHostName().toLower().toUtf8();
    return !listening_.isLoopback() && !machine.isEmpty() &&
           (name == machine || name == machine + ".local" ||
            name == machine + '.' + QHostInfo::localDomainName().toLower().toUtf8());
}

bool OwnNames::origin(const QByteArray &origin) const
{
    const QByteArray scheme = "http://";
    return origin.toLower().startsWith(scheme) && host(origin.mid(scheme.size()));
}

Verdict judge(const QByteArray &received, const OwnNames &names)
{
    const qsizetype lineEnd = received.indexOf("\r\n");
    if (lineEnd < 0 ? received.size() > kMaxRequestLine : lineEnd > kMaxRequestLine) {
        return refused(414, "request line too long");
    }
    const qsizetype headEnd = received.indexOf("\r\n\r\n");
    if (headEnd < 0 ? received.size() > kMaxHead : headEnd + 4 > kMaxHead) {
        return refused(431, "request header fields too large");
    }
    if (headEnd < 0) {
        return {};
    }
    Head head;
    if (!split(received.left(headEnd), head)) {
        return refused(400, "malformed request");
    }
    Verdict verdict = judgeHead(head, headEnd + 4, names);
    if (verdict.kind == Verdict::Http && received.size() < verdict.length) {
        return {}; // the body is still coming
    }
    if (verdict.kind != Verdict::Refused && received.size() > verdict.length) {
        return refused(400, "one request a connection");
    }
    return verdict;
}

QList<QPair<QByteArray, QByteArray>> securityHeaders()
{
    return {{"Content-Security-Policy",
             "default-src 'self'; connect-src 'self'; frame-ancestors 'none'; base-uri 'none'; "
             "form-action 'none'"},
            {"X-Frame-Options", "DENY"},
            {"X-Content-Type-Options", "nosniff"},
            {"Referrer-Policy", "no-referrer"},
            {"Cache-Control", "no-store"},
            {"Connection", "close"}};
}

QByteArray refusal(int status, const QByteArray &reason)
{
    static const QList<QPair<int, const char *>> texts{{400, "Bad Request"},
                                                       {403, "Forbidden"},
                                                       {404, "Not Found"},
                                                       {413, "Content Too Large"},
                                                       {414, "URI Too Long"},
                                                       {421, "Misdirected Request"},
                                                       {431, "Request Header Fields Too Large"},
                                                       {503, "Service Unavailable"}};
    const auto text = std::find_if(texts.begin(), texts.end(),
                                   [status](const auto &entry) { return entry.first == status; });
    QByteArray answer = "HTTP/1.1 " + QByteArray::number(status) + ' ' +
                        (text == texts.end() ? "Error" : text->second) + "\r\n";
    const QByteArray body = reason + '\n';
    for (const auto &[name, value] : securityHeaders()) {
        answer += name + ": " + value + "\r\n";
    }
    return answer + "Content-Type: text/plain; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}
