#include "call.h"

#include "tree.h"

#include <cmath>

void Call::error(int code, const QByteArray &detail)
{
    status.push(code, detail.isEmpty() ? unit.header : unit.header + ": " + detail);
    abort = abort || (code <= -100 && code > -200);
}

bool Call::readBoolean(int index, bool &value)
{
    const Parameter &parameter = unit.parameters[index];
    if (parameter.type == Parameter::Type::Number) {
        value = std::lround(parameter.number) != 0;
        return true;
    }
    if (parameter.type == Parameter::Type::Character &&
        (parameter.text == "ON" || parameter.text == "OFF")) {
        value = parameter.text == "ON";
        return true;
    }
    error(parameter.type == Parameter::Type::String ? -104 : -224,
          "takes ON, OFF, 1 or 0, not " + parameter.text);
    return false;
}

bool Call::readInteger(int index, int low, int high, int preset, int present, int &value)
{
    const Parameter &parameter = unit.parameters[index];
    const QByteArray range = QByteArray::number(low) + " to " + QByteArray::number(high);
    if (parameter.type == Parameter::Type::Number) {
        const double rounded = std::round(parameter.number);
        if (rounded < low || rounded > high) {
            error(-222, parameter.text + " is outside " + range);
            return false;
        }
        value = int(rounded);
        return true;
    }
    static const TreeNode words[] = {
        {"MIN", "MINIMUM"}, {"MAX", "MAXIMUM"}, {"DEF", "DEFAULT"}, {"UP", "UP"}, {"DOWN", "DOWN"}};
    const int count = present < 0 ? 3 : 5;
    for (int word = 0; word < count && parameter.type == Parameter::Type::Character; ++word) {
        if (!matchesNode(words[word], parameter.text)) {
            continue;
        }
        const int values[] = {low, high, preset, present + 1, present - 1};
        if (values[word] < low || values[word] > high) {
            error(-222, parameter.text + " would leave " + range);
            return false;
        }
        value = values[word];
        return true;
    }
    error(-104,
          "takes " + range + (present < 0 ? ", MIN, MAX or DEF" : ", MIN, MAX, DEF, UP or DOWN"));
    return false;
}

bool Call::readChoice(int index, std::initializer_list<const char *> choices, int &value)
{
    const Parameter &parameter = unit.parameters[index];
    QByteArray names;
    int number = 0;
    for (const char *choice : choices) {
        const TreeNode node = compilePattern(choice).nodes[0];
        if (parameter.type == Parameter::Type::Character && matchesNode(node, parameter.text)) {
            value = number;
            return true;
        }
        names += (number++ == 0 ? "" : " or ") + node.shortForm;
    }
    error(parameter.type == Parameter::Type::Character ? -224 : -104, "takes " + names);
    return false;
}
