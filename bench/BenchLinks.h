// Links for measuring the engine without a port: one that swallows every write,
// and the bitwise CRC the table-driven one must equal.
#pragma once

#include "MB.h"
#include "MBLink.h"

#include <memory>

class NullLink : public TMBLink
{
public:
    bool Open(const std::string &, uint32_t, std::string &) override { return m_open = true; }
    void Close() override { m_open = false; }
    bool IsOpen() const override { return m_open; }
    bool WriteBytes(const char *, std::ptrdiff_t count) override
    {
        m_written += count;
        return true;
    }
    std::ptrdiff_t ReadBytes(char *, std::ptrdiff_t) override { return 0; }
    qint64 Written() const { return m_written; }

private:
    bool m_open = false;
    qint64 m_written = 0;
};

inline void UseNullLink(TMB &mb)
{
    mb.SetLinkFactory([] { return std::make_unique<NullLink>(); });
}

// The CRC exactly as defined: one bit at a time.
inline quint16 BitwiseCrc16(const quint8 *p, qsizetype count)
{
    quint16 crc = 0xFFFF;
    for (qsizetype i = 0; i < count; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : static_cast<quint16>(crc >> 1);
    }
    return crc;
}
