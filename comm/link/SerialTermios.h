// Line settings of a terminal device through the Linux termios2 interface.
// Kept apart because the kernel's termios headers clash with <termios.h>;
// this header includes neither.
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace SerialTermios {

// What a terminal is set to, as far as the serial link cares.
struct TLineSettings {
    quint32 outputRate = 0;
    quint32 inputRate = 0;
    int dataBits = 0;
    bool parity = false;
    bool twoStopBits = false;
    bool hardwareFlow = false;    // RTS/CTS
    bool softwareFlowOut = false; // XON/XOFF on output
    bool softwareFlowIn = false;  // XON/XOFF on input
    bool receiverOn = false;
    bool modemLinesIgnored = false;
    bool raw = false; // no line editing, echo, signals, character mapping or output processing
};

// Line-state counters of a serial driver (TIOCGICOUNT).
struct TLineCounts {
    quint64 cts = 0, dsr = 0, ring = 0, carrier = 0;
    quint64 errors = 0; // framing, parity, overrun and break
    bool operator==(const TLineCounts &) const = default;
};

// True when fd is a terminal (its settings can be read).
bool IsTerminal(int fd);
// Raw 8-N-1, binary, receiver on, modem control lines ignored, no flow control
// of any kind, reads return at once. Keeps the rate. False when not a terminal.
bool MakeRaw(int fd);
// Sets both directions to rate: the classic code when the rate has one, else
// the exact rate. A rate the device refuses is left as the driver decides.
void SetRate(int fd, quint32 rate);
bool Read(int fd, TLineSettings &settings);
// The complete settings as they are (empty when not a terminal), and putting
// them back; a port that was somebody's terminal is left as it was found.
QByteArray Save(int fd);
bool Restore(int fd, const QByteArray &saved);
// Drops DTR, then RTS. Devices without modem lines ignore it.
void DropDtrRts(int fd);
// Discards what waits in either direction.
void Purge(int fd);
// Modem lines as MBModemStatus bits; false when the device has none.
bool ModemLines(int fd, quint32 &bits);
// False when the driver keeps no counters (pseudo-terminals, many adapters).
bool ReadCounts(int fd, TLineCounts &counts);

} // namespace SerialTermios
