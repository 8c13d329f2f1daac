// The line primitives and the frame sender, checked as the bytes and line levels that reach
// the port.
#include "panel/zq7130.h"
#include "recording_port.h"

#include <QTest>

#include <string>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Primitive = void (ZQ7130::*)();

// The data bits on the bus as '0' and '1': SDA as SCL rises, counted once SCL falls again
// (the rise before a stop condition clocks no bit).
std::string sampledBits(const Bytes &bytes)
{
    std::string bits;
    bool sclHigh = true;
    char clocked = 0;
    for (const std::uint8_t byte : bytes) {
        const bool high = (byte & 0x40) == 0;
        if (high && !sclHigh) {
            clocked = (byte & 0x80) == 0 ? '1' : '0';
        } else if (!high && sclHigh && clocked != 0) {
            bits += clocked;
            clocked = 0;
        }
        sclHigh = high;
    }
    return bits;
}

BitFrame frameFor(std::uint8_t addressByte, std::uint8_t data)
{
    BitFrame frame{};
    for (int bit = 0; bit < 8; ++bit) {
        frame[7 - bit] = (addressByte >> bit) & 1;
        frame[16 - bit] = (data >> bit) & 1;
    }
    frame[8] = frame[17] = 1;
    return frame;
}

} // namespace

class TestBus : public QObject {
    Q_OBJECT
    ZQ7130 *window = nullptr;

private slots:
    void initTestCase() { window = new ZQ7130; } // never shown: nothing is sent at start-up
    void cleanupTestCase() { delete window; }
    void init() { recording::clear(); }

    void primitivesWriteTheirBytes_data()
    {
        QTest::addColumn<Primitive>("primitive");
        QTest::addColumn<Bytes>("bytes");
        QTest::newRow("start") << &ZQ7130::I2C_START
                               << Bytes{0x3F, 0x3F, 0xBF, 0xBF, 0xBF, 0xBF, 0xFF, 0xFF};
        QTest::newRow("one") << &ZQ7130::I2C_ONE
                             << Bytes{0xFF, 0xFF, 0x7F, 0x7F, 0x3F, 0x3F, 0x7F, 0x7F};
        QTest::newRow("zero") << &ZQ7130::I2C_ZERO
                              << Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xBF, 0xBF, 0xFF, 0xFF};
        QTest::newRow("stop") << &ZQ7130::I2C_STOP
                              << Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xBF, 0xBF, 0xBF, 0xBF, 0x3F, 0x3F};
    }
    void primitivesWriteTheirBytes()
    {
        QFETCH(Primitive, primitive);
        QFETCH(Bytes, bytes);
        (window->*primitive)();
        QCOMPARE(recording::bytes(), bytes);
        for (const auto &write : recording::writes()) {
            QCOMPARE(write.address, 0x378);
        }
    }

    // SDA may only change while SCL is low, so one bit into the next is 0x7F then 0xFF.
    void bitBoundariesChangeSdaWithSclLow()
    {
        window->I2C_ONE();
        window->I2C_ZERO();
        window->I2C_ONE();
        const Bytes bytes = recording::bytes();
        QCOMPARE(bytes[7], 0x7F);
        QCOMPARE(bytes[8], 0xFF);
        QCOMPARE(bytes[15], 0xFF);
        QCOMPARE(bytes[16], 0xFF);
        QCOMPARE(bytes[18], 0x7F); // SDA released two writes later, SCL still low
    }

    void frameOfZerosIs162WritesEndingIdle()
    {
        window->PPort(BitFrame{});
        const Bytes bytes = recording::bytes();
        QCOMPARE(bytes.size(), 162U);
        QCOMPARE(bytes.back(), 0x3F);
        QCOMPARE(sampledBits(bytes), std::string(18, '0'));
    }

    void onlyOneIsSentAsAOneBit()
    {
        BitFrame odd{};
        odd[0] = 2;
        odd[9] = -1;
        odd[17] = 1;
        window->PPort(odd);
        QCOMPARE(sampledBits(recording::bytes()), std::string(17, '0') + '1');
    }

    void startupSpeakerFrameGoesOutSlotBySlot()
    {
        window->PPort(kSpeakerStartup);
        QCOMPARE(sampledBits(recording::bytes()), std::string("11111000"
                                                              "1"
                                                              "10000000"
                                                              "1"));
    }

    // Every address byte and data byte decodes back to itself as valid, paced I2C.
    void everyRegisterWriteDecodesCleanly()
    {
        std::vector<recording::Transaction> sent;
        for (const std::uint8_t address : {0xF8, 0xFA}) {
            for (int data = 0; data < 256; ++data) {
                window->PPort(frameFor(address, static_cast<std::uint8_t>(data)));
                sent.emplace_back(address, data);
            }
        }
        QCOMPARE(recording::transactions(), sent);
        for (const std::uint8_t byte : recording::bytes()) {
            QCOMPARE(byte & 0x3F, 0x3F);
        }
    }
};

QTEST_MAIN(TestBus)
#include "test_bus.moc"
