#include "restore.h"

#include "controls.h"

#include <QAbstractButton>
#include <QHash>

namespace {

using Fields = QHash<QByteArray, QByteArray>;

// The options in the order they are set: the address before anything that writes.
constexpr const char *kOptionOrder[] = {"address", "power", "speaker-3d", "headphone-3d",
                                        "coupling"};

const OptionCommand *option(const QByteArray &word)
{
    for (const OptionCommand &option : kOptions) {
        if (word == option.word) {
            return &option;
        }
    }
    return nullptr;
}

bool known(const QByteArray &name)
{
    return option(name) != nullptr ||
           std::any_of(std::begin(kVolumes), std::end(kVolumes), [&](const VolumeCommand &v) {
               return name == v.word || name == v.gainField;
           });
}

// Reads each word as field=value; what is wrong with them, or nothing.
QByteArray read(const QList<QByteArray> &words, Fields &fields)
{
    for (const QByteArray &word : words) {
        const qsizetype equals = word.indexOf('=');
        const QByteArray name = word.left(equals);
        if (equals < 0) {
            return "'" + word + "' is not field=value";
        }
        if (!known(name)) {
            return "unknown field '" + name + "'";
        }
        if (fields.contains(name)) {
            return name + " is given twice";
        }
        fields.insert(name, word.mid(equals + 1));
    }
    return {};
}

QByteArray checkVolume(const VolumeCommand &volume, const Fields &fields)
{
    const QByteArray word(volume.word);
    const QByteArray gainName(volume.gainField);
    const int to = fields.contains(word) ? position(fields[word]) : -1;
    if (fields.contains(word) && to < 0) {
        return word + " takes a position from 0 to 31";
    }
    if (!fields.contains(gainName)) {
        return {};
    }
    if (to < 0) {
        return gainName + " needs " + word + " beside it";
    }
    const QByteArray gain = gainWord(QString::fromLatin1((*volume.labels)[to]));
    if (fields[gainName] != gain) {
        return gainName + " at " + word + "=" + QByteArray::number(to) + " is " + gain + ", not " +
               fields[gainName];
    }
    return {};
}

// What is wrong with the values, or nothing.
QByteArray check(const Fields &fields)
{
    for (const OptionCommand &option : kOptions) {
        const auto value = fields.find(option.word);
        if (value != fields.end() && *value != option.values[0] && *value != option.values[1]) {
            return QByteArray(option.word) + " takes " + option.values[0] + " or " +
                   option.values[1];
        }
    }
    for (const VolumeCommand &volume : kVolumes) {
        if (const QByteArray problem = checkVolume(volume, fields); !problem.isEmpty()) {
            return problem;
        }
    }
    return {};
}

void apply(QWidget &window, const Fields &fields)
{
    for (const char *word : kOptionOrder) {
        const OptionCommand &chosen = *option(word);
        if (fields.contains(word)) {
            const bool first = fields[word] == chosen.values[0];
            control<QAbstractButton>(window, chosen.controls[first ? 0 : 1])->click();
        }
    }
    for (const VolumeCommand &volume : kVolumes) {
        if (fields.contains(volume.word)) {
            moveSlider(*control<QSlider>(window, volume.slider), position(fields[volume.word]));
        }
    }
}

} // namespace

QByteArray restoreState(QWidget &window, const QList<QByteArray> &words)
{
    Fields fields;
    QByteArray problem = read(words, fields);
    if (problem.isEmpty()) {
        problem = check(fields);
    }
    if (!problem.isEmpty()) {
        return "error: " + problem;
    }
    apply(window, fields);
    return "ok";
}
