// The panel's one window. It owns the four register images and every operation on them: the
// I2C line primitives, the frame sender, start-up and reset, and the control handlers.
#pragma once

#include "bit_frame.h"
#include "gain_labels.h"

#include <QWidget>

class PortError;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QMouseEvent;
class QTimer;
class QWheelEvent;

class ZQ7130 : public QWidget {
    Q_OBJECT

public:
    // addressBit: the I2C ADDRESS BIT the window opens with, and the one reset returns to.
    explicit ZQ7130(std::int16_t addressBit = 0, QWidget *parent = nullptr);

    // Bus signalling (bus.cpp). Each writes a fixed sequence of port bytes; a port failure
    // propagates as PortError with the rest of the sequence unwritten.
    void I2C_START();
    void I2C_STOP();
    void I2C_ONE();
    void I2C_ZERO();
    // Clocks the bus free before the first write of a run; ends idle.
    void I2C_RECOVER();
    // Sends one register write: start, slots 0..17 in order, stop.
    void PPort(const BitFrame &frame);

    // Takes the port before the window loads, so that any wait for a port another program
    // holds comes before the first write; a failure goes to portFailed, as in any handler.
    void takePort();

signals:
    // A port failure is about to be reported, with the first line of what failed: anything
    // that speaks for the panel (a script's socket) can say so before the program ends.
    void portFailing(const QString &what);

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    // The one place a port failure reaches: tells the operator what failed and how to fix
    // it, on stderr and in a message box, and ends the program with status 1.
    virtual void portFailed(const PortError &error);

private:
    using Handler = void (ZQ7130::*)();

    // Layout (layout.cpp).
    void createTopBand();
    void createMiddleBand();
    void createVolumeBand();
    void setTabOrderAsDesigned();
    void putTabStopsOnSelectedOptions();
    void applyLook();
    void connectHandlers();
    void connectOption(QRadioButton *option, Handler handler);
    void connectSlider(QSlider *slider, Handler handler);
    bool optionKey(QObject *watched, const QEvent &event);
    void nameControlsForAssistiveTechnology();
    void showGain(QSlider &slider, QLineEdit &gainBox, const char *label);

    // Runs one handler to completion; a port failure stops it at the failing write and goes
    // to portFailed, so no exception leaves through the event loop.
    void guarded(Handler handler);
    void preparePort();

    // Register images (frames.cpp).
    void buildStartupFrames();
    void buildResetFrames();
    void startupWrite();

    // Volume (volume.cpp).
    void applyVolume(QSlider &slider, QLineEdit &gainBox, BitFrame &frame,
                     const GainLabels &labels);
    void wheelVolume(QSlider &slider, QWheelEvent &event);
    bool jumpsTooFar(const QSlider &slider, const QEvent &event) const;
    bool holdOnGroove(QSlider &slider, const QMouseEvent &event);
    void holdStep();
    void releaseGroove();
    void monovol_Change();
    void rightvol_Change();

    // Load, options and reset (handlers.cpp).
    void Form_Load();
    void poweron_Click();
    void poweroff_Click();
    void ls3don_Click();
    void ls3doff_Click();
    void hp3don_Click();
    void hp3doff_Click();
    void OCL_Click();
    void CCUPL_Click();
    void addrone_Click();
    void addrzero_Click();
    void setAddressBit(std::int16_t bit);
    void RESET_Click();

    const std::int16_t homeAddressBit; // sent by the start-up and reset frames
    BitFrame speakerFrame{};
    BitFrame headphoneFrame{};
    BitFrame modeFrame{};
    BitFrame defaultFrame{};
    bool loaded = false;
    bool reportingFailure = false; // portFailed is telling the operator: no handler runs
    int wheelRest = 0;        // wheel turn not yet worth a whole notch (high-resolution wheels)
    bool movedByHand = false; // the coming position change is the operator's, not code's
    QSlider *heldSlider = nullptr; // the slider whose groove the operator holds a click on
    int heldTarget = 0;            // the position under that click
    QTimer *holdRepeat = nullptr;  // steps the held click

    QLabel *Picture1;
    QGroupBox *Frame1;
    QRadioButton *ls3don;
    QRadioButton *ls3doff;
    QGroupBox *Frame29;
    QRadioButton *poweron;
    QRadioButton *poweroff;
    QGroupBox *Frame28;
    QRadioButton *OCL;
    QRadioButton *CCUPL;
    QGroupBox *Frame2;
    QRadioButton *hp3don;
    QRadioButton *hp3doff;
    QGroupBox *addr;
    QRadioButton *addrone;
    QRadioButton *addrzero;
    QGroupBox *Frame30;
    QGroupBox *Frame32;
    QSlider *monovol;
    QLineEdit *hfgainbox;
    QGroupBox *Frame33;
    QSlider *rightvol;
    QLineEdit *rgainbox;
    QPushButton *RESET;
};
