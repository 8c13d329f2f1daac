// Ten thousand operator actions in a seeded random order, through the real widgets, against
// a model of the chip's registers kept here from the actions alone.
#include "panel_under_test.h"
#include "recording_port.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include <random>

namespace {

// What the chip should hold, from the operator's actions.
struct Model {
    bool power = false, speaker3d = false, headphone3d = false, ocl = false;
    int addressBit = 0;
    int speakerPrefix = 0x80, headphonePrefix = 0x40; // 0xA0 and 0x60 after a reset
    int speakerVolume = 0, headphoneVolume = 0;

    std::uint8_t address() const { return std::uint8_t(0xF8 | addressBit << 1); }
    recording::Transaction mode() const
    {
        return {address(), std::uint8_t(headphone3d << 3 | speaker3d << 2 | ocl << 1 | power)};
    }
};

struct Option {
    const char *name;
    bool Model::*setting; // null for the address bit
    bool value;
};

const Option kOptions[] = {
    {"poweron", &Model::power, true},
    {"poweroff", &Model::power, false},
    {"ls3don", &Model::speaker3d, true},
    {"ls3doff", &Model::speaker3d, false},
    {"hp3don", &Model::headphone3d, true},
    {"hp3doff", &Model::headphone3d, false},
    {"OCL", &Model::ocl, true},
    {"CCUPL", &Model::ocl, false},
    {"addrone", nullptr, true},
    {"addrzero", nullptr, false},
};

const Qt::Key kSliderKeys[] = {Qt::Key_Left,     Qt::Key_Right, Qt::Key_PageUp,
                               Qt::Key_PageDown, Qt::Key_Home,  Qt::Key_End};

int stepped(int position, Qt::Key key)
{
    const int moved = key == Qt::Key_Left       ? position - 1
                      : key == Qt::Key_Right    ? position + 1
                      : key == Qt::Key_PageUp   ? position + 5
                      : key == Qt::Key_PageDown ? position - 5
                                                : position; // Home and End do nothing
    return std::clamp(moved, 0, 31);
}

} // namespace

class TestLongUse : public QObject {
    Q_OBJECT
    PanelUnderTest window;
    Model model;
    std::vector<recording::Transaction> expected;

    void chooseOption(const Option &option)
    {
        window.select(option.name);
        if (option.setting == nullptr) {
            model.addressBit = option.value ? 1 : 0;
            return;
        }
        model.*option.setting = option.value;
        expected.push_back(model.mode());
    }

    void moveSlider(bool speaker, Qt::Key key)
    {
        int &volume = speaker ? model.speakerVolume : model.headphoneVolume;
        QTest::keyClick(window.control<QSlider>(speaker ? "monovol" : "rightvol"), key);
        const int to = stepped(volume, key);
        while (volume != to) { // each position on the way is written in turn
            volume += to > volume ? 1 : -1;
            const int prefix = speaker ? model.speakerPrefix : model.headphonePrefix;
            expected.emplace_back(model.address(), std::uint8_t(prefix | volume));
        }
    }

    void reset()
    {
        QTest::mouseClick(window.control<QPushButton>("RESET"), Qt::LeftButton);
        model = Model{};
        model.speakerPrefix = 0xA0;
        model.headphonePrefix = 0x60;
        expected.insert(expected.end(), {{0xF8, 0xA0}, {0xF8, 0x60}, {0xF8, 0x00}, {0xF8, 0x80}});
    }

private slots:
    void tenThousandActionsMatchTheModel()
    {
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        expected = {{0xF8, 0x80}, {0xF8, 0x40}, {0xF8, 0x00}};

        std::mt19937 random(80415);
        for (int action = 0; action < 10000; ++action) {
            const unsigned pick = random() % 100;
            if (pick < 45) {
                chooseOption(kOptions[random() % std::size(kOptions)]);
            } else if (pick < 90) {
                moveSlider(pick % 2 == 0, kSliderKeys[random() % std::size(kSliderKeys)]);
            } else if (pick < 93) {
                reset();
            } else { // typing into a gain box sends and changes nothing
                QTest::keyClicks(window.control<QLineEdit>(pick % 2 ? "hfgainbox" : "rgainbox"),
                                 "9");
            }
        }

        QCOMPARE(window.failures, 0);
        const auto &writes = recording::writes();
        const std::size_t recovery = 72; // the pulses that free the bus before the first write
        QCOMPARE(writes.size(), recovery + expected.size() * 162);
        for (std::size_t end = recovery + 161; end < writes.size(); end += 162) {
            QCOMPARE(writes[end].value, 0x3F); // every write ends with the bus idle
        }
        QCOMPARE(recording::transactions(), expected); // decoded, protocol and timing checked
        QCOMPARE(window.control<QSlider>("monovol")->value(), model.speakerVolume);
        QCOMPARE(window.control<QSlider>("rightvol")->value(), model.headphoneVolume);
        QCOMPARE(window.control<QRadioButton>("poweron")->isChecked(), model.power);
        QCOMPARE(window.control<QRadioButton>("addrone")->isChecked(), model.addressBit == 1);
    }
};

QTEST_MAIN(TestLongUse)
#include "test_long_use.moc"
