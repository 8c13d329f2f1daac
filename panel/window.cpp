#include "zq7130.h"

#include <QShowEvent>

namespace {
// Layout unit: 1/1440 inch, 15 to a logical pixel at 96 dots per inch.
constexpr int kClientWidthTwips = 8385;
constexpr int kClientHeightTwips = 4785;
constexpr int kTwipsPerPixel = 15;
} // namespace

ZQ7130::ZQ7130(QWidget *parent)
    : QWidget(parent) {
    setWindowTitle(QStringLiteral("ZQ80415 Audio Program v1.2 "));
    setFixedSize(kClientWidthTwips / kTwipsPerPixel, kClientHeightTwips / kTwipsPerPixel);
}

// The window's load runs once, after every control exists and before the window appears.
void ZQ7130::showEvent(QShowEvent *event) {
    if (!loaded) {
        loaded = true;
        guarded(&ZQ7130::Form_Load);
    }
    QWidget::showEvent(event);
}

void ZQ7130::Form_Load() {
    startupWrite();
}
