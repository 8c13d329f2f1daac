// The instrument's command tree: every header it knows, each mapped to one small function.
#pragma once

#include "call.h"
#include "tree.h"

struct TreeEntry {
    const char *pattern; // as the manual prints it
    int fewest;          // parameters it needs
    int most;            // and takes
    void (*run)(Call &);
};

// The entry the header names, the current path before it, or nullptr.
const TreeEntry *findEntry(const QList<QByteArray> &mnemonics, bool query);

// The common commands and SCPI's required ones (common_commands.cpp), then the board's own.
extern const QList<TreeEntry> kCommonEntries;
extern const QList<TreeEntry> kDeviceEntries;
