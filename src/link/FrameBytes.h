#pragma once
// The control bytes of the window protocol's frames and replies.

constexpr char STX = 0x02;
constexpr char ETX = 0x03;
constexpr char ACK = 0x06;
constexpr char NAK = 0x15;
