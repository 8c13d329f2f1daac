// How the panel sets up every TCP connection a client opens to it (SCPI's raw port, VXI-11's
// core channel, any TCP server of its own): replies leave at once, a setting that nothing
// answers is acknowledged at once, what the panel holds of a client's messages is small, and a
// peer that vanished is noticed.
#pragma once

// Receive buffer asked of the kernel for each client (Linux doubles it for its bookkeeping):
// with the connection's read-ahead, all of a client's messages the panel holds. (What the
// client's own kernel holds still arrives after its close: a close and an end of sending look
// alike from here.)
constexpr int kClientReceiveBuffer = 4096;

// Sets `descriptor`, a listening TCP socket, up so that the connections it accepts start with
// the small receive buffer: the window they are first offered is sized by it.
void tuneListeningSocket(int descriptor);

// Sets `descriptor`, an accepted TCP socket, up: TCP_NODELAY, the small receive buffer, TCP
// keepalive (idle 60 s, then 6 probes 10 s apart, unless ZQ_TCP_KEEPALIVE="IDLE,INTERVAL,COUNT"
// in seconds says otherwise, for tests) and the matching limit on unacknowledged replies, and
// quick acknowledgements.
void tuneClientSocket(int descriptor);

// Acknowledges what was just read at once and keeps doing so: the kernel falls back to delayed
// acknowledgements on its own, so this is armed again after every read. A client with Nagle's
// algorithm on (most clients' default) otherwise holds a query back until the delayed
// acknowledgement of the setting before it, about 40 ms.
void acknowledgeAtOnce(int descriptor);
