#include "MBProtocol.h"

#include <cmath>

namespace mbcore {

namespace {

constexpr uint32_t kBaudRates[BaudCount] = {75,    110,   134,   150,   300,    600,    1200,   1800,   2400,   4800,  7200,
                                            9600,  14400, 19200, 38400, 57600, 115200, 128000, 230400, 460800, 921600};

// Eight tables so that eight bytes are folded per step (slicing-by-8); table 0
// alone is the classic byte table.
struct CrcTables {
    uint16_t t[8][256];
    constexpr CrcTables() : t{}
    {
        for (int i = 0; i < 256; ++i) {
            uint16_t r = static_cast<uint16_t>(i);
            for (int k = 0; k < 8; ++k)
                r = (r & 1) ? static_cast<uint16_t>((r >> 1) ^ 0xA001) : static_cast<uint16_t>(r >> 1);
            t[0][i] = r;
        }
        for (int i = 0; i < 256; ++i)
            for (int s = 1; s < 8; ++s)
                t[s][i] = static_cast<uint16_t>((t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF]);
    }
};

constexpr CrcTables kCrc;

} // namespace

uint16_t Crc16(const uint8_t *p, std::size_t count)
{
    uint32_t crc = 0xFFFF;
    while (count >= 8) {
        const uint32_t lo = crc ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8);
        crc = kCrc.t[7][lo & 0xFF] ^ kCrc.t[6][lo >> 8] ^ kCrc.t[5][p[2]] ^ kCrc.t[4][p[3]] ^ kCrc.t[3][p[4]] ^
              kCrc.t[2][p[5]] ^ kCrc.t[1][p[6]] ^ kCrc.t[0][p[7]];
        p += 8;
        count -= 8;
    }
    while (count-- > 0)
        crc = (crc >> 8) ^ kCrc.t[0][(crc ^ *p++) & 0xFF];
    return static_cast<uint16_t>(crc);
}

uint32_t BaudRateOf(TMBBaud baud)
{
    const int i = static_cast<int>(baud);
    return (i >= 0 && i < BaudCount) ? kBaudRates[i] : 9600;
}

bool BaudOf(uint32_t rate, TMBBaud &baud)
{
    for (int i = 0; i < BaudCount; ++i)
        if (kBaudRates[i] == rate) {
            baud = static_cast<TMBBaud>(i);
            return true;
        }
    return false;
}

uint16_t SendingTimeEstimate(uint16_t payloadBytes, uint32_t baud)
{
    const double perByteMs = 1.0 / baud * 10 * 2 * 1000;
    const double ms = std::nearbyint((payloadBytes + 5) * perByteMs) + 1;
    return ms > 65535 ? 65535 : static_cast<uint16_t>(ms);
}

std::string VersionText()
{
    return "v2016.10.11."; // the component's own release date
}

std::string ModeText(TMBMode mode)
{
    switch (mode) {
    case modeMaster: return "Master ";
    case modeSlave: return "Slave ";
    case modeASCIIMaster: return "ASCII Master ";
    case modeASCIISlave: return "ASCII Slave ";
    case modeDiagnostic: return "Diagnostic ";
    case modeByte: return "Byte Mode ";
    case modeString: return "String Mode ";
    }
    return std::string();
}

std::string StatusText(TMBStatus status, uint8_t code)
{
    switch (status) {
    case stOK: return "OK";
    case stSlaveError:
        if (code == 254)
            return "Unknown Command";
        if (code == 255)
            return "ID Error";
        return "Slave Error: #" + std::to_string(code);
    case stTimeOut: return "Time Out";
    case stClosedPort: return "Closed Port";
    }
    return std::string();
}

std::string StatusNowText(TMBStatusNow state)
{
    switch (state) {
    case stnReady: return "Ready";
    case stnSending: return "Sending";
    case stnWaitingForAnswer: return "Waiting For Answer";
    case stnReceiving: return "Receiving";
    case stnPortError: return "Port Error";
    case stnTimeOut: return "Time Out";
    case stnWaitingForCommand: return "Waiting For Command";
    case stnReceivedCommand: return "Received Command";
    }
    return std::string();
}

} // namespace mbcore
