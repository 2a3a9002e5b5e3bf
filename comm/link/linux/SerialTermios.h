// Line settings of a terminal device through the Linux termios2 interface.
// Kept apart because the kernel's termios headers clash with <termios.h>;
// this header includes neither.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace SerialTermios {

// What a terminal is set to, as far as the serial link cares.
struct TLineSettings {
    uint32_t outputRate = 0;
    uint32_t inputRate = 0;
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
    uint64_t cts = 0, dsr = 0, ring = 0, carrier = 0;
    uint64_t errors = 0; // framing, parity, overrun and break
    bool operator==(const TLineCounts &) const = default;
};

// True when fd is a terminal (its settings can be read).
bool IsTerminal(int fd);
// Raw 8-N-1, binary, receiver on, modem control lines ignored, no flow control
// of any kind, reads return at once. Keeps the rate. False when not a terminal
// or when the driver did not take the settings (read back to be sure).
bool MakeRaw(int fd);
// Sets both directions to rate: the classic code when the rate has one, else
// the exact rate. False when the driver refuses it or keeps another rate
// (read back into actual; 0 when nothing could be read).
bool SetRate(int fd, uint32_t rate, uint32_t &actual);
// The whole setup of an opened port: raw, the rate, DTR and RTS dropped, both
// queues purged; each step checked. Empty when all took, else which step
// failed and why, in words for the user. modemLines: drop DTR/RTS and purge
// (not for the simulator's own side of a pseudo-terminal).
std::string SetUp(int fd, uint32_t rate, bool modemLines);
bool Read(int fd, TLineSettings &settings);
// The complete settings as they are (empty when not a terminal), and putting
// them back; a port that was somebody's terminal is left as it was found.
std::vector<char> Save(int fd);
bool Restore(int fd, const std::vector<char> &saved);
// Drops DTR, then RTS. True also for devices without modem lines.
bool DropDtrRts(int fd);
// Discards what waits in either direction.
bool Purge(int fd);
// Modem lines as MBModemStatus bits; false when the device has none.
bool ModemLines(int fd, uint32_t &bits);
// False when the driver keeps no counters (pseudo-terminals, many adapters).
bool ReadCounts(int fd, TLineCounts &counts);

} // namespace SerialTermios
