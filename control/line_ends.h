// Where a line ends, for a connection whose lines may hold '\n' inside them (the SCPI server's,
// whose blocks carry any bytes and are read by their length): the line's bytes are fed in
// pieces as they arrive, so a scanner keeps its place between pieces.
#pragma once

#include <QByteArrayView>

class LineEnds {
public:
    virtual ~LineEnds() = default;
    // The index in `bytes` of the '\n' that ends the line, the bytes after it beginning the
    // next one; -1 when every byte of `bytes` still belongs to the line.
    virtual qsizetype find(QByteArrayView bytes) = 0;
};
