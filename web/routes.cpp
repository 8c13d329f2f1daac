#include "routes.h"

#include "gate.h"

#include <QFile>
#include <QHttpServer>

#include <algorithm>

namespace {

// The page's resources, compiled in: path, resource, type.
struct Resource {
    const char *path;
    const char *file;
    const char *type;
};
constexpr Resource kResources[] = {
    {"/", ":/web/index.html", "text/html; charset=utf-8"},
    {"/panel.css", ":/web/panel.css", "text/css; charset=utf-8"},
    {"/panel.js", ":/web/panel.js", "text/javascript; charset=utf-8"},
};
constexpr const char *kIdentification = "/lxi/identification";

QHttpServerResponse withHeaders(QHttpServerResponse &&response)
{
    for (const auto &[name, value] : securityHeaders()) {
        response.setHeader(name, value);
    }
    return std::move(response);
}

// The resource's answer to GET, or to HEAD its fields alone, with the length GET would give.
void answer(const QHttpServerRequest &request, QHttpServerResponder &&responder,
            const QByteArray &type, const QByteArray &body)
{
    if (request.method() != QHttpServerRequest::Method::Head) {
        withHeaders(QHttpServerResponse(type, body)).write(std::move(responder));
        return;
    }
    responder.writeStatusLine();
    for (const auto &[name, value] : securityHeaders()) {
        responder.writeHeader(name, value);
    }
    responder.writeHeader("Content-Type", type);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeBody(QByteArray());
}

} // namespace

void routePage(QHttpServer &http, const Identity &identity)
{
    const auto reads = QHttpServerRequest::Method::Get | QHttpServerRequest::Method::Head;
    for (const Resource &resource : kResources) {
        http.route(resource.path, reads,
                   [resource](const QHttpServerRequest &request, QHttpServerResponder &&out) {
                       QFile file(QString::fromLatin1(resource.file));
                       file.open(QIODevice::ReadOnly);
                       answer(request, std::move(out), resource.type, file.readAll());
                   });
    }
    http.route(kIdentification, reads,
               [&identity](const QHttpServerRequest &request, QHttpServerResponder &&out) {
                   answer(request, std::move(out), "text/xml; charset=utf-8",
                          identity.lxiDocument());
               });
    http.afterRequest(
        [](QHttpServerResponse &&response) { return withHeaders(std::move(response)); });
    http.setMissingHandler([](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        const QString path = request.url().path();
        const bool known = path == QLatin1String(kIdentification) ||
                           std::any_of(std::begin(kResources), std::end(kResources),
                                       [&](const Resource &r) { return path == r.path; });
        QHttpServerResponse response("text/plain; charset=utf-8",
                                     known ? "only GET and HEAD are answered here\n"
                                           : "not found\n",
                                     known ? QHttpServerResponse::StatusCode::MethodNotAllowed
                                           : QHttpServerResponse::StatusCode::NotFound);
        if (known) {
            response.setHeader("Allow", "GET, HEAD");
        }
        withHeaders(std::move(response)).write(std::move(responder));
    });
}
