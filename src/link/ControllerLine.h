#pragma once
// How the controller's line is set, in SerialPort::SetSettings' notation:
// 9600 baud, no parity, 8 data bits, 1 stop bit. Named here only; every
// host and test rig sets this.

constexpr char ControllerLineSettings[] = "9600,N,8,1";
