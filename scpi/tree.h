// The command tree as a table of patterns written as the manual prints them: each node's short
// form in capitals and the rest of its long form in small letters, an optional node in
// brackets, a query ending in '?': "SPEaker:VOLume[:LEVel]?". The matcher knows no command.
#pragma once

#include <QByteArray>
#include <QList>

struct TreeNode {
    QByteArray shortForm; // "VOL"
    QByteArray longForm;  // "VOLUME"
    bool optional = false;
};

struct TreePattern {
    QList<TreeNode> nodes;
    bool query = false;
};

// Reads a pattern such as "STATus:OPERation[:EVENt]?" or "*IDN?".
TreePattern compilePattern(const char *pattern);

// Whether `word` (in capitals) is the node's short or long form, exactly.
bool matchesNode(const TreeNode &node, const QByteArray &word);

// Whether the mnemonics, the path included, name this pattern; optional nodes may be left out.
bool matchesPattern(const TreePattern &pattern, const QList<QByteArray> &mnemonics, bool query);
