// What the page's HTTP server answers: the page, its style and script (compiled in as
// resources), the LXI identification document, each to GET and HEAD, with the page's security
// fields; 405 for another method on them and 404 for any other path.
#pragma once

#include "identity.h"

class QHttpServer;

// Routes `http`'s requests; `identity` is read at each request for the document.
void routePage(QHttpServer &http, const Identity &identity);
