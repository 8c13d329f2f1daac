// The panel's one window. It owns the four register images and every operation on them: the
// I2C line primitives, the frame sender, start-up and reset, and the control handlers.
#pragma once

#include "bit_frame.h"

#include <QWidget>

class PortError;

class ZQ7130 : public QWidget {
    Q_OBJECT

public:
    explicit ZQ7130(QWidget *parent = nullptr);

    // Bus signalling (bus.cpp). Each writes a fixed sequence of port bytes; a port failure
    // propagates as PortError with the rest of the sequence unwritten.
    void I2C_START();
    void I2C_STOP();
    void I2C_ONE();
    void I2C_ZERO();
    // Sends one register write: start, slots 0..17 in order, stop.
    void PPort(const BitFrame &frame);

protected:
    void showEvent(QShowEvent *event) override;
    // The one place a port failure reaches: tells the operator what failed and how to fix
    // it, on stderr and in a message box, and ends the program with status 1.
    virtual void portFailed(const PortError &error);

private:
    // Runs one handler to completion; a port failure stops it at the failing write and goes
    // to portFailed, so no exception leaves through the event loop.
    void guarded(void (ZQ7130::*handler)());

    // Register images (frames.cpp).
    void buildStartupFrames();
    void buildResetFrames();
    void startupWrite();

    void Form_Load();

    BitFrame speakerFrame{};
    BitFrame headphoneFrame{};
    BitFrame modeFrame{};
    BitFrame defaultFrame{};
    bool loaded = false;
};
