// Test access to the engine's inside and the panel's private parts. Tests
// reach internals only through here.
#pragma once

#include "EngineTestPeer.h"
#include "MB.h"
#include "MBLamp.h"

#include <QByteArray>
#include <QString>

struct TMBTestPeer {
    static mbcore::TMBEngine &Engine(TMB &mb) { return *mb.m_engine; }
    static mbcore::TTimer &TxLampTimer(TMB &mb) { return mb.TxLampTimer; }
    static mbcore::TTimer &RxLampTimer(TMB &mb) { return mb.RxLampTimer; }
    // What a lamp shows now, and one lit that long ago.
    static QColor Lamp(const QLabel *lamp) { return static_cast<const TMBLamp *>(lamp)->Color(); }
    static void LitAgo(TMB &mb, bool tx, qint64 ms) { (tx ? mb.m_txLitAtMs : mb.m_rxLitAtMs) -= ms; }
    static const std::array<qint32, 100> &SpeedSamples(const TMB &mb) { return mb.m_SpeedSamples; }
    static QString FormatSpeed(const TMB &mb, quint32 v) { return mb.FormatSpeed(v); }
    static void SetProbeHint(TMB &mb, const QString &hint)
    {
        mb.m_probeHint = hint;
        mb.ShowProbeHint();
    }
    static mbcore::TMBView &View(TMB &mb) { return mb; }
    // The reconnect timer's next look, at once; and the minute run out.
    static void ReconnectTick(TMB &mb) { mb.ReconnectTick(); }
    static void EndReconnectWindow(TMB &mb) { mb.m_reconnectUntil.setRemainingTime(0); }
};

inline mbcore::detail::TEngine &Core(TMB &mb) { return Core(TMBTestPeer::Engine(mb)); }
inline const mbcore::detail::TEngine &Core(const TMB &mb) { return Core(const_cast<TMB &>(mb)); }

// Feeds characters to the receiver of the current mode, as a read would.
inline void DecodeRx(TMB &mb, const QByteArray &chunk)
{
    Core(mb).DecodeRxChunk(reinterpret_cast<const uint8_t *>(chunk.constData()), size_t(chunk.size()));
}
inline void SetMBStatus(TMB &mb, TMB::TMBStatus status, quint8 code = 0)
{
    Core(mb).SetMBStatus(static_cast<mbcore::TMBStatus>(status), code);
}
inline void SetMBStatusNow(TMB &mb, TMB::TMBStatusNow state)
{
    Core(mb).SetMBStatusNow(static_cast<mbcore::TMBStatusNow>(state));
}
inline bool WriteToPort(TMB &mb, const QByteArray &bytes)
{
    return Core(mb).WriteToPort(bytes.constData(), size_t(bytes.size()));
}
inline TMBLink *LinkOf(TMB &mb) { return Core(mb).m_link.get(); }
inline QString CounterUnit(TMB &mb) { return QString::fromStdString(TMBTestPeer::Engine(mb).CounterUnit()); }
inline QString SpeedUnit(TMB &mb) { return QString::fromStdString(TMBTestPeer::Engine(mb).SpeedUnit()); }
