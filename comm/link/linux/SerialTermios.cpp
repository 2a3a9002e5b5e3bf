// termios2 and the serial ioctls. Only kernel headers here: <termios.h> must
// not be included in this file.
#include "SerialTermios.h"

#include "MBLink.h"
#include "SysCall.h"

#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace SerialTermios {

namespace {

using sys::Ioctl;

bool Get(int fd, termios2 &t)
{
    return Ioctl(fd, TCGETS2, &t) == 0;
}

bool Set(int fd, termios2 &t)
{
    return Ioctl(fd, TCSETS2, &t) == 0;
}

struct TClassicRate {
    uint32_t rate;
    tcflag_t code;
};

constexpr TClassicRate kClassicRates[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600},
};

} // namespace

bool IsTerminal(int fd)
{
    termios2 t{};
    return Get(fd, t);
}

bool MakeRaw(int fd)
{
    termios2 t{};
    if (!Get(fd, t))
        return false;
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL
                                        | IUCLC | IXON | IXANY | IXOFF | IMAXBEL | IUTF8);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT | ECHOKE
                                        | NOFLSH | TOSTOP | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (!Set(fd, t))
        return false;
    // TCSETS2 succeeds when any part took: what matters is read back.
    TLineSettings now;
    if (!Read(fd, now))
        return false;
    if (!now.raw || now.dataBits != 8 || now.parity || now.twoStopBits || now.hardwareFlow || now.softwareFlowIn
        || now.softwareFlowOut || !now.receiverOn) {
        errno = EINVAL;
        return false;
    }
    return true;
}

bool SetRate(int fd, uint32_t rate, uint32_t &actual)
{
    actual = 0;
    termios2 t{};
    if (!Get(fd, t))
        return false;
    tcflag_t code = BOTHER;
    for (const TClassicRate &c : kClassicRates)
        if (c.rate == rate)
            code = c.code;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | CIBAUD); // input rate follows the output rate
    t.c_cflag |= code;
    t.c_ospeed = rate;
    t.c_ispeed = rate;
    if (!Set(fd, t))
        return false;
    // A driver that cannot make the rate keeps the nearest it can and says so
    // only in what reads back. Within 2 % a UART still understands the line.
    termios2 now{};
    if (!Get(fd, now))
        return false;
    actual = now.c_ospeed;
    const uint64_t diff = actual > rate ? actual - rate : rate - actual;
    if (diff * 50 > rate) {
        errno = EINVAL;
        return false;
    }
    return true;
}

std::string SetUp(int fd, uint32_t rate, bool modemLines)
{
    const auto because = [](const char *what) { return std::string(what) + ": " + std::strerror(errno); };
    if (!MakeRaw(fd))
        return because("the port does not take raw 8-N-1 settings");
    uint32_t actual = 0;
    if (!SetRate(fd, rate, actual)) {
        if (actual == 0)
            return because(("the port does not take " + std::to_string(rate) + " baud").c_str());
        return "the port's driver cannot make " + std::to_string(rate) + " baud (it set " + std::to_string(actual)
               + "); use a port or adapter that supports this rate";
    }
    if (!modemLines)
        return {};
    if (!DropDtrRts(fd))
        return because("cannot drop the port's DTR and RTS lines");
    if (!Purge(fd))
        return because("cannot clear the port's queues");
    return {};
}

bool Read(int fd, TLineSettings &s)
{
    termios2 t{};
    if (!Get(fd, t))
        return false;
    s.outputRate = t.c_ospeed;
    s.inputRate = t.c_ispeed;
    switch (t.c_cflag & CSIZE) {
    case CS5: s.dataBits = 5; break;
    case CS6: s.dataBits = 6; break;
    case CS7: s.dataBits = 7; break;
    default: s.dataBits = 8; break;
    }
    s.parity = (t.c_cflag & PARENB) != 0;
    s.twoStopBits = (t.c_cflag & CSTOPB) != 0;
    s.hardwareFlow = (t.c_cflag & CRTSCTS) != 0;
    s.softwareFlowOut = (t.c_iflag & IXON) != 0;
    s.softwareFlowIn = (t.c_iflag & IXOFF) != 0;
    s.receiverOn = (t.c_cflag & CREAD) != 0;
    s.modemLinesIgnored = (t.c_cflag & CLOCAL) != 0;
    s.raw = (t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 && (t.c_oflag & OPOST) == 0
            && (t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK)) == 0;
    return true;
}

std::vector<char> Save(int fd)
{
    termios2 t{};
    if (!Get(fd, t))
        return {};
    const char *bytes = reinterpret_cast<const char *>(&t);
    return std::vector<char>(bytes, bytes + sizeof t);
}

bool Restore(int fd, const std::vector<char> &saved)
{
    termios2 t{};
    if (saved.size() != sizeof t)
        return false;
    std::memcpy(&t, saved.data(), sizeof t);
    return Set(fd, t);
}

bool DropDtrRts(int fd)
{
    // Pseudo-terminals and some adapters have no modem lines: nothing to drop.
    const auto noLines = [] { return errno == ENOTTY || errno == EINVAL; };
    int dtr = TIOCM_DTR;
    int rts = TIOCM_RTS;
    if (Ioctl(fd, TIOCMBIC, &dtr) != 0 && !noLines())
        return false;
    if (Ioctl(fd, TIOCMBIC, &rts) != 0 && !noLines())
        return false;
    return true;
}

bool Purge(int fd)
{
    return sys::Retried([&] { return ::ioctl(fd, TCFLSH, TCIOFLUSH); }) == 0;
}

bool ModemLines(int fd, uint32_t &bits)
{
    int lines = 0;
    if (Ioctl(fd, TIOCMGET, &lines) != 0)
        return false;
    bits = 0;
    if (lines & TIOCM_CTS)
        bits |= MBModemStatus::CTS_ON;
    if (lines & TIOCM_DSR)
        bits |= MBModemStatus::DSR_ON;
    if (lines & TIOCM_RI)
        bits |= MBModemStatus::RING_ON;
    if (lines & TIOCM_CD)
        bits |= MBModemStatus::RLSD_ON;
    return true;
}

bool ReadCounts(int fd, TLineCounts &counts)
{
    serial_icounter_struct c{};
    if (Ioctl(fd, TIOCGICOUNT, &c) != 0)
        return false;
    const auto u = [](int v) { return static_cast<uint64_t>(static_cast<unsigned int>(v)); };
    counts.cts = u(c.cts);
    counts.dsr = u(c.dsr);
    counts.ring = u(c.rng);
    counts.carrier = u(c.dcd);
    counts.errors = u(c.frame) + u(c.parity) + u(c.overrun) + u(c.brk) + u(c.buf_overrun);
    return true;
}

} // namespace SerialTermios
