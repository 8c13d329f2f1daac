#include "restore.h"

#include "controls.h"

#include <QAbstractButton>
#include <QHash>

namespace {

using Fields = QHash<QByteArray, QByteArray>;

bool known(const QByteArray &name)
{
    return findOption(name) != nullptr ||
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
        return word + kTakesPosition;
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
        if (value != fields.end() && optionFor(option, *value) == nullptr) {
            return option.word + takes(option);
        }
    }
    for (const VolumeCommand &volume : kVolumes) {
        if (const QByteArray problem = checkVolume(volume, fields); !problem.isEmpty()) {
            return problem;
        }
    }
    return {};
}

// The address first, as it decides where every other write goes. Power goes where it keeps the
// chip quietest: turned off, before anything else is written; turned on, after the volumes and
// the other options, so the chip is never powered with a louder setting than both the old and
// the new state. The other options keep the state line's order, then the volumes.
void apply(QWidget &window, const Fields &fields)
{
    const OptionCommand *address = findOption("address");
    const OptionCommand *power = findOption("power");
    const auto select = [&](const OptionCommand &option) {
        if (const auto value = fields.find(option.word); value != fields.end()) {
            control<QAbstractButton>(window, optionFor(option, *value))->click();
        }
    };
    const bool powerOn = fields.value(power->word) == power->values[0];
    select(*address);
    if (!powerOn) {
        select(*power);
    }
    for (const OptionCommand &option : kOptions) {
        if (&option != address && &option != power) {
            select(option);
        }
    }
    for (const VolumeCommand &volume : kVolumes) {
        if (fields.contains(volume.word)) {
            moveSlider(*control<QSlider>(window, volume.slider), position(fields[volume.word]));
        }
    }
    if (powerOn) {
        select(*power);
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
