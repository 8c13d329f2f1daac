// One client's status reporting, as IEEE 488.2 and SCPI-1999 define it: the error/event queue,
// the standard event status register with its enable, the status byte with its service request
// enable, and SCPI's OPERation and QUEStionable register sets.
#pragma once

#include <QByteArray>

#include <deque>
#include <utility>

// A condition register, the event register latching its rising bits, and the event enable.
struct StatusRegister {
    int condition = 0;
    int event = 0;
    int enable = 0;

    void setCondition(int bits)
    {
        event |= bits & ~condition;
        condition = bits;
    }
    int takeEvent() { return std::exchange(event, 0); }
    bool summary() const { return (event & enable) != 0; }
};

// QUEStionable bit 9 (device-defined): the board cannot be reached, the port failed.
inline constexpr int kPortFailedBit = 1 << 9;

class Status {
public:
    static constexpr std::size_t kQueueLength = 16;

    // Queues error `code` with SCPI's text for it and, after ";", `detail`; sets the standard
    // event bit of its class. A full queue keeps its oldest errors and ends in -350.
    void push(int code, const QByteArray &detail = {});
    // The oldest error as SYSTem:ERRor? answers it, `0,"No error"` when there is none.
    QByteArray next();
    int count() const { return int(queue_.size()); }

    // *CLS: the queue and every event register emptied; enables and conditions stay.
    void clear();
    // *ESR?: the standard event status register, read and cleared.
    int takeEvents() { return std::exchange(events_, 0); }
    void operationComplete() { events_ |= 1; }
    // *STB?: the status byte, bit 6 the master summary; bit 4 (MAV) when a response waits to be
    // read, which only a transport that holds responses can tell.
    int statusByte(bool messageAvailable = false) const;

    int eventEnable = 0;   // *ESE
    int serviceEnable = 0; // *SRE (bit 6 is never kept)
    StatusRegister operation;
    StatusRegister questionable;

private:
    std::deque<QByteArray> queue_;
    int events_ = 0;
};
