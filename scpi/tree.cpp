#include "tree.h"

namespace {

TreeNode nodeFrom(const QByteArray &written, bool optional)
{
    qsizetype capitals = 0;
    while (capitals < written.size() && !(written[capitals] >= 'a' && written[capitals] <= 'z')) {
        ++capitals;
    }
    return {written.left(capitals), written.toUpper(), optional};
}

bool matchFrom(const QList<TreeNode> &nodes, qsizetype node, const QList<QByteArray> &words,
               qsizetype word)
{
    if (node == nodes.size()) {
        return word == words.size();
    }
    if (word < words.size() && matchesNode(nodes[node], words[word]) &&
        matchFrom(nodes, node + 1, words, word + 1)) {
        return true;
    }
    return nodes[node].optional && matchFrom(nodes, node + 1, words, word);
}

} // namespace

TreePattern compilePattern(const char *pattern)
{
    QByteArray text(pattern);
    TreePattern compiled;
    compiled.query = text.endsWith('?');
    if (compiled.query) {
        text.chop(1);
    }
    // "A[:B]:C" reads as the nodes "A", "[B]", "C".
    text.replace("[:", ":[");
    for (const QByteArray &part : text.split(':')) {
        if (part.startsWith('[')) {
            compiled.nodes << nodeFrom(part.mid(1, part.size() - 2), true);
        } else if (!part.isEmpty()) {
            compiled.nodes << nodeFrom(part, false);
        }
    }
    return compiled;
}

bool matchesNode(const TreeNode &node, const QByteArray &word)
{
    return word == node.shortForm || word == node.longForm;
}

bool matchesPattern(const TreePattern &pattern, const QList<QByteArray> &mnemonics, bool query)
{
    return pattern.query == query && matchFrom(pattern.nodes, 0, mnemonics, 0);
}
