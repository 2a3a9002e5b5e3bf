// The protocol's plain facts, free of any toolkit and operating system: the
// modes, statuses and rates, their texts (UTF-8), the CRC-16 and the sending
// time estimate. The component's engine builds on these; so can any program
// that talks to an instrument without a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mbcore {

enum TMBMode { modeMaster, modeSlave, modeASCIIMaster, modeASCIISlave, modeDiagnostic, modeByte, modeString };
enum TMBStatus { stOK, stSlaveError, stTimeOut, stClosedPort };
enum TMBStatusNow {
    stnReady,
    stnSending,
    stnWaitingForAnswer,
    stnReceiving,
    stnPortError,
    stnTimeOut,
    stnWaitingForCommand,
    stnReceivedCommand
};
// The 21 rates of the line, from 75 to 921600 baud, in ascending order.
enum TMBBaud {
    baud000075,
    baud000110,
    baud000134,
    baud000150,
    baud000300,
    baud000600,
    baud001200,
    baud001800,
    baud002400,
    baud004800,
    baud007200,
    baud009600,
    baud014400,
    baud019200,
    baud038400,
    baud057600,
    baud115200,
    baud128000,
    baud230400,
    baud460800,
    baud921600
};
constexpr int BaudCount = 21;

// Sizes of the frame areas.
constexpr int MaxPayload = 8187; // highest payload index
constexpr int RxBufferSize = 8192;
constexpr int FrameAreaSize = 8195;

// CRC-16 with the reflected polynomial 0xA001, starting at 0xFFFF, no final XOR.
uint16_t Crc16(const uint8_t *bytes, std::size_t count);

// The rate of a TMBBaud value; 9600 for a value out of range.
uint32_t BaudRateOf(TMBBaud baud);
// The TMBBaud of an exact rate; false when the rate is not one of the 21.
bool BaudOf(uint32_t rate, TMBBaud &baud);

// Estimated line time of a query with the given payload, in ms: two 10-bit
// characters per byte, five bytes of framing, halves to even, plus one; held at 65535.
uint16_t SendingTimeEstimate(uint16_t payloadBytes, uint32_t baud);

std::string VersionText();            // "v2016.10.11."
std::string ModeText(TMBMode mode);   // "ASCII Master " ...
std::string StatusText(TMBStatus status, uint8_t code);
std::string StatusNowText(TMBStatusNow state);

} // namespace mbcore
