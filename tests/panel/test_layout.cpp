// The window as the operator first sees it: controls, places, texts, selections, focus order,
// and that every caption fits its control.
#include "palette_check.h"
#include "panel_under_test.h"
#include "recording_port.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>

namespace {

struct Placed {
    const char *name;
    const char *parent;
    int left, top, width, height; // twips, from the parent's outer edge
};

// The designed layout, in twips.
const Placed kLayout[] = {
    {"Picture1", "ZQ7130", 120, 0, 3345, 1080},   {"Frame1", "ZQ7130", 3600, 240, 2295, 855},
    {"ls3don", "Frame1", 240, 360, 855, 255},     {"ls3doff", "Frame1", 1200, 360, 615, 255},
    {"Frame29", "ZQ7130", 6000, 240, 2295, 855},  {"poweron", "Frame29", 360, 360, 615, 255},
    {"poweroff", "Frame29", 1320, 360, 615, 255}, {"Frame28", "ZQ7130", 120, 1320, 3375, 855},
    {"OCL", "Frame28", 600, 360, 855, 255},       {"CCUPL", "Frame28", 1800, 360, 975, 255},
    {"Frame2", "ZQ7130", 3600, 1320, 2295, 855},  {"hp3don", "Frame2", 240, 360, 735, 255},
    {"hp3doff", "Frame2", 1200, 360, 735, 255},   {"addr", "ZQ7130", 6000, 1320, 2295, 855},
    {"addrone", "addr", 360, 360, 612, 192},      {"addrzero", "addr", 1320, 360, 495, 192},
    {"Frame30", "ZQ7130", 120, 2280, 7095, 2415}, {"Frame32", "Frame30", 240, 480, 6615, 735},
    {"monovol", "Frame32", 120, 240, 5535, 375},  {"hfgainbox", "Frame32", 5640, 240, 855, 285},
    {"Frame33", "Frame30", 240, 1440, 6615, 735}, {"rightvol", "Frame33", 120, 240, 5535, 375},
    {"rgainbox", "Frame33", 5640, 240, 855, 285}, {"RESET", "ZQ7130", 7320, 2520, 975, 2055},
};

int pixels(int twips)
{
    return qRound(twips / 15.0);
}

// The room the style gives a control's caption, and the size its text needs there.
std::pair<QRect, QSize> captionRoom(const QWidget *control)
{
    const QStyle *style = control->style();
    if (const auto *group = qobject_cast<const QGroupBox *>(control)) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.textAlignment = group->alignment();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect label =
            style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
        return {label.intersected(group->rect()), group->fontMetrics().size(0, group->title())};
    }
    const auto *button = qobject_cast<const QAbstractButton *>(control);
    if (button == nullptr) {
        return {};
    }
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const auto element = qobject_cast<const QRadioButton *>(button) ? QStyle::SE_RadioButtonContents
                                                                    : QStyle::SE_PushButtonContents;
    return {style->subElementRect(element, &option, button),
            button->fontMetrics().size(Qt::TextShowMnemonic, button->text())};
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT
    PanelUnderTest *window = nullptr;

private slots:
    void init()
    {
        recording::clear();
        window = new PanelUnderTest;
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window));
    }
    void cleanup() { delete window; }

    void windowIsFixedAtItsDesignedSize()
    {
        QCOMPARE(window->windowTitle(), QString("ZQ80415 Audio Program v1.2 "));
        QCOMPARE(window->size(), QSize(559, 319));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(!window->windowIcon().isNull());
    }

    void everyControlSitsWhereDesigned()
    {
        QCOMPARE(window->findChildren<QWidget *>(Qt::FindChildrenRecursively).size(),
                 std::size(kLayout));
        for (const Placed &p : kLayout) {
            const QWidget *control = window->control(p.name);
            QCOMPARE(control->parentWidget()->objectName(), QString(p.parent));
            QCOMPARE(control->geometry(),
                     QRect(pixels(p.left), pixels(p.top), pixels(p.width), pixels(p.height)));
            QVERIFY2(control->isVisible(), p.name);
        }
        // Positions add up through the parents: the loudspeaker slider is at (480, 3000).
        QCOMPARE(window->control("monovol")->mapTo(window, QPoint(0, 0)), QPoint(32, 200));
    }

    void startsInItsDesignedState()
    {
        const char *selected[] = {"ls3doff", "hp3doff", "poweroff", "CCUPL", "addrzero"};
        const char *cleared[] = {"ls3don", "hp3don", "poweron", "OCL", "addrone"};
        for (const char *name : selected) {
            QVERIFY2(window->control<QRadioButton>(name)->isChecked(), name);
        }
        for (const char *name : cleared) {
            QVERIFY2(!window->control<QRadioButton>(name)->isChecked(), name);
        }
        for (const char *name : {"monovol", "rightvol"}) {
            const auto *slider = window->control<QSlider>(name);
            QCOMPARE(slider->value(), 0);
            QCOMPARE(slider->minimum(), 0);
            QCOMPARE(slider->maximum(), 31);
            QCOMPARE(slider->orientation(), Qt::Horizontal);
        }
        QCOMPARE(window->control<QLineEdit>("hfgainbox")->text(), QString("-47.0 dB"));
        QCOMPARE(window->control<QLineEdit>("rgainbox")->text(), QString("-59.0 dB"));
        QCOMPARE(window->control<QGroupBox>("Frame2")->title(), QString("HEADPHONE 3D "));
        const auto *reset = window->control<QPushButton>("RESET");
        QCOMPARE(reset->text(), QString(" DEFAULT"));
        QVERIFY(!reset->isDefault() && !reset->autoDefault());
        QCOMPARE(QApplication::focusWidget(), reset);
    }

    void focusFollowsTheDesignedOrder()
    {
        const QStringList order{"RESET",    "addrzero", "addrone", "OCL",      "CCUPL",
                                "poweron",  "poweroff", "monovol", "rightvol", "hfgainbox",
                                "rgainbox", "ls3don",   "ls3doff", "hp3don",   "hp3doff"};
        QStringList chain;
        QWidget *widget = window->control("RESET");
        do {
            if (widget->focusPolicy() != Qt::NoFocus) {
                chain << widget->objectName();
            }
            widget = widget->nextInFocusChain();
        } while (widget != window->control("RESET"));
        QCOMPARE(chain, order);

        // Tab enters each option group at its selected option (arrow keys move within it).
        QStringList tabbed;
        do {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            tabbed << QApplication::focusWidget()->objectName();
        } while (tabbed.size() < 20 && tabbed.back() != "RESET");
        QCOMPARE(tabbed, QStringList({"addrzero", "CCUPL", "poweroff", "monovol", "rightvol",
                                      "hfgainbox", "rgainbox", "ls3doff", "hp3doff", "RESET"}));
        QCOMPARE(recording::writes().size(), 72 + 3 * 162U); // the start-up write, nothing more
    }

    void everyCaptionFitsItsControl()
    {
        int captions = 0;
        for (const Placed &p : kLayout) {
            const auto [room, needed] = captionRoom(window->control(p.name));
            if (needed.isEmpty()) {
                continue;
            }
            ++captions;
            QVERIFY2(needed.width() <= room.width() && needed.height() <= room.height(),
                     qPrintable(QString("%1 needs %2x%3, has %4x%5")
                                    .arg(p.name)
                                    .arg(needed.width())
                                    .arg(needed.height())
                                    .arg(room.width())
                                    .arg(room.height())));
        }
        QCOMPARE(captions, 19); // 10 options, 8 group boxes, the button

        const auto *box = window->control<QLineEdit>("hfgainbox");
        const int room = box->contentsRect().width() - 4; // the line edit's own text margins
        for (const GainLabels *labels : {&speakerGainLabels, &headphoneGainLabels}) {
            for (const char *label : *labels) {
                QVERIFY2(box->fontMetrics().horizontalAdvance(label) <= room, label);
            }
        }
    }

    // A clicked option repaints itself alone, so it paints its own background: the group's
    // colour under any palette, with every caption readable on it.
    void underADarkPaletteOptionsMatchTheirGroupsAndCaptionsStayReadable()
    {
        const QPalette desktop = QApplication::palette();
        QApplication::setPalette(darkPalette());
        PanelUnderTest dark;
        QVERIFY(dark.open());
        const QImage shot = dark.grab().toImage();
        QApplication::setPalette(desktop);
        const QColor windowGrey(0x35, 0x35, 0x35);

        const auto options = dark.findChildren<QRadioButton *>();
        QCOMPARE(options.size(), 10);
        for (const QRadioButton *option : options) {
            QVERIFY2(option->autoFillBackground(), qPrintable(option->objectName()));
            const QPoint corner = option->mapTo(&dark, QPoint(option->width() - 1, 0));
            const QPoint beside = option->mapTo(&dark, QPoint(-3, option->height() / 2));
            QCOMPARE(shot.pixelColor(corner), windowGrey);
            QCOMPARE(shot.pixelColor(beside), windowGrey);
        }
        for (const Placed &p : kLayout) {
            const QWidget *control = dark.control(p.name);
            const QRect room = captionRoom(control).first;
            if (room.isEmpty() || qobject_cast<const QPushButton *>(control)) {
                continue;
            }
            const QRect area(control->mapTo(&dark, room.topLeft()), room.size());
            const double ratio = strongestContrast(shot, area, windowGrey);
            QVERIFY2(ratio >= 7, qPrintable(QString("%1: %2").arg(p.name).arg(ratio)));
        }
    }
};

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
