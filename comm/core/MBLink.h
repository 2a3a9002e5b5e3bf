// The seam between the component and whatever carries its bytes.
// The component only opens, closes, writes and reads through this interface;
// the POSIX serial link implements it for real ports, tests give a fake.
// Plain C++: port names and error texts are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class TMBLink
{
public:
    TMBLink() = default;
    TMBLink(const TMBLink &) = delete;
    TMBLink &operator=(const TMBLink &) = delete;
    virtual ~TMBLink() = default;

    // Opens the named port at the given rate, 8-N-1, and starts watching it.
    // On failure returns false and puts the system's text for the error into errorText.
    virtual bool Open(const std::string &port, uint32_t baud, std::string &errorText) = 0;
    // Stops watching and releases the port. No callback runs after it returns.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Hands the bytes to the line without waiting; they go out in the order given.
    // Returns false when the line is gone (hang-up, I/O error): nothing was taken.
    virtual bool WriteBytes(const char *data, std::ptrdiff_t count) = 0;
    // Reads up to count bytes that are already waiting; returns how many were read.
    virtual std::ptrdiff_t ReadBytes(char *buffer, std::ptrdiff_t count) = 0;

    // The reader's hint: it expects the next count characters to come
    // together (the rest of a frame it has started). The link may leave the
    // line alone until that many could have crossed it at the line's rate and
    // announce them at once, so that a frame costs a few wake-ups instead of
    // one per character. It announces what has come by then, fewer if fewer
    // came, and from then on each character as it comes until told again.
    // 0 or 1: announce each as it comes. The hint ends with the announcement,
    // a ReadBytes or a close; links that cannot wait so keep announcing as now.
    virtual void ExpectChars(uint32_t count) { (void)count; }

    // Set by the component. All of them run on the GUI thread.
    std::function<void(uint32_t count)> OnDataAvailable;
    std::function<void(uint32_t mask, uint32_t modemStatus)> OnLineEvent;
    std::function<void()> OnHangUp;
};

// Line event bits handed to OnLineEvent (same meaning as the classic comm event mask).
namespace MBLineEvent {
constexpr uint32_t CTS = 0x008;
constexpr uint32_t DSR = 0x010;
constexpr uint32_t RLSD = 0x020;
constexpr uint32_t ERR = 0x080;
constexpr uint32_t RING = 0x100;
} // namespace MBLineEvent

// Modem status bits handed to OnLineEvent.
namespace MBModemStatus {
constexpr uint32_t CTS_ON = 0x10;
constexpr uint32_t DSR_ON = 0x20;
constexpr uint32_t RING_ON = 0x40;
constexpr uint32_t RLSD_ON = 0x80;
} // namespace MBModemStatus
