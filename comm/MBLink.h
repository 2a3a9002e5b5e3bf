// The seam between the component and whatever carries its bytes.
// The component only opens, closes, writes and reads through this interface;
// the POSIX serial link implements it for real ports, tests give a fake.
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

class TMBLink
{
public:
    TMBLink() = default;
    TMBLink(const TMBLink &) = delete;
    TMBLink &operator=(const TMBLink &) = delete;
    virtual ~TMBLink() = default;

    // Opens the named port at the given rate, 8-N-1, and starts watching it.
    // On failure returns false and puts the system's text for the error into errorText.
    virtual bool Open(const QString &port, quint32 baud, QString &errorText) = 0;
    // Stops watching and releases the port. No callback runs after it returns.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Hands the bytes to the line without waiting; they go out in the order given.
    // Returns false when the line is gone (hang-up, I/O error): nothing was taken.
    virtual bool WriteBytes(const char *data, qsizetype count) = 0;
    // Reads up to count bytes that are already waiting; returns how many were read.
    virtual qsizetype ReadBytes(char *buffer, qsizetype count) = 0;

    // Set by the component. All of them run on the GUI thread.
    std::function<void(quint32 count)> OnDataAvailable;
    std::function<void(quint32 mask, quint32 modemStatus)> OnLineEvent;
    std::function<void()> OnHangUp;
};

// Line event bits handed to OnLineEvent (same meaning as the classic comm event mask).
namespace MBLineEvent {
constexpr quint32 CTS = 0x008;
constexpr quint32 DSR = 0x010;
constexpr quint32 RLSD = 0x020;
constexpr quint32 ERR = 0x080;
constexpr quint32 RING = 0x100;
} // namespace MBLineEvent

// Modem status bits handed to OnLineEvent.
namespace MBModemStatus {
constexpr quint32 CTS_ON = 0x10;
constexpr quint32 DSR_ON = 0x20;
constexpr quint32 RING_ON = 0x40;
constexpr quint32 RLSD_ON = 0x80;
} // namespace MBModemStatus
