// The bit image of one I2C register write, and the images the panel starts and resets with.
#pragma once

#include <array>
#include <cstdint>

// Slots 0..17, each 0 or 1, sent in slot order: the device address 1111 10A (slots 0-6, A the
// selectable address bit), write (7, always 0), acknowledge clock (8, always 1), the data byte
// bit 7 first (9-16: data bit n is slot 16 - n), acknowledge clock (17, always 1). A slot
// equal to 1 is sent as a one bit, any other value as a zero bit.
using BitFrame = std::array<std::int16_t, 18>;

inline constexpr int kAddressBitSlot = 6;

// clang-format off
//                                      address byte F8      data byte         ack
inline constexpr BitFrame kSpeakerStartup   {1,1,1,1,1,0,0,0,1, 1,0,0,0,0,0,0,0, 1}; // 0x80
inline constexpr BitFrame kHeadphoneStartup {1,1,1,1,1,0,0,0,1, 0,1,0,0,0,0,0,0, 1}; // 0x40
inline constexpr BitFrame kModeStartup      {1,1,1,1,1,0,0,0,1, 0,0,0,0,0,0,0,0, 1}; // 0x00
inline constexpr BitFrame kDefaultStartup   {1,1,1,1,1,0,0,0,1, 1,0,0,0,0,0,0,0, 1}; // 0x80

// Reset differs from start-up in data bit 5 of the two volume frames.
inline constexpr BitFrame kSpeakerReset     {1,1,1,1,1,0,0,0,1, 1,0,1,0,0,0,0,0, 1}; // 0xA0
inline constexpr BitFrame kHeadphoneReset   {1,1,1,1,1,0,0,0,1, 0,1,1,0,0,0,0,0, 1}; // 0x60
inline constexpr BitFrame kModeReset        {1,1,1,1,1,0,0,0,1, 0,0,0,0,0,0,0,0, 1}; // 0x00
inline constexpr BitFrame kDefaultReset     {1,1,1,1,1,0,0,0,1, 1,0,0,0,0,0,0,0, 1}; // 0x80
// clang-format on
