#include "Session.h"

#include "Checks.h"
#include "Clock.h"
#include "Values.h"

#include "LoopTimers.h"
#include "Text.h"
#include "MBProtocol.h"
#include "PortProbe.h"
#include "SerialLink.h"

#include <cstdio>
#include <utility>

namespace ctl {

namespace {

// Port names as messages show them: a name is whatever the system or a
// publisher made it, control characters included.
std::string JoinShown(const std::vector<std::string> &items, const char *separator)
{
    std::vector<std::string> shown;
    for (const std::string &s : items)
        shown.push_back(ShownName(s));
    return mbcore::Join(shown, separator);
}

std::string PortListText(const PortProbe::TProbeResult &probe)
{
    std::string text = probe.ports.empty() ? "no serial port is available" : "the ports here: " + JoinShown(probe.ports, ", ");
    if (!probe.hint.empty())
        text += " (" + ShownName(probe.hint, 2000) + ")";
    return text;
}

bool Contains(const std::string &text, const char *part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

std::string ChoosePort(const std::string &named)
{
    if (!named.empty())
        return named;
    const PortProbe::TProbeResult probe = PortProbe::Probe();
    if (probe.ports.size() == 1)
        return probe.ports.front();
    if (probe.ports.empty())
        throw TFailure(exitPort, "no serial port found" + (probe.hint.empty() ? std::string(": connect the instrument's adapter")
                                                                              : ": " + ShownName(probe.hint, 2000)));
    throw TFailure(exitUsage, "several ports: " + JoinShown(probe.ports, ", ") + "; choose one with --port NAME");
}

std::string CommandName(uint8_t command)
{
    const char *name = "command";
    switch (command) {
    case kv508::Cmd_Poll: name = "poll"; break;
    case kv508::Cmd_Zero: name = "zero"; break;
    case kv508::Cmd_SetAs0: name = "set as 0"; break;
    case kv508::Cmd_SetAs4mA: name = "set as 4 mA"; break;
    case kv508::Cmd_SetAs20mA: name = "set as 20 mA"; break;
    case kv508::Cmd_EraseEEPROM: name = "erase"; break;
    case kv508::Cmd_WriteSettings: name = "write settings"; break;
    case kv508::Cmd_ReadSettings: name = "read settings"; break;
    case kv508::Cmd_SetAsScaleEnd: name = "set as scale end"; break;
    case kv508::Cmd_WriteSettings2: name = "write settings (first four)"; break;
    case kv508::Cmd_Reset: name = "reset"; break;
    default: break;
    }
    return std::string(name) + " (" + std::to_string(command) + ")";
}

TSession::TSession(TLinkOptions options, TLinkWrapper wrap)
    : m_options(std::move(options)), m_wrap(std::move(wrap)), m_host(std::make_unique<TLoopHost>(m_loop))
{
    m_engine.SetTimerFactory(LoopTimers(m_loop));
    m_engine.setMBRefreshListOnStartup(false);
    m_engine.setMBMode(mbcore::modeASCIIMaster);
    mbcore::TMBBaud baud = mbcore::baud004800;
    if (!mbcore::BaudOf(m_options.baud, baud))
        throw TFailure(exitUsage, "--baud " + std::to_string(m_options.baud) + " is not a rate of the line (4800 for the KV508 I)");
    m_engine.setMBBaud(baud);
    m_engine.setMBMasterAddressToSlave(static_cast<uint8_t>(m_options.address));
    m_engine.setMBMasterIDToSlave(static_cast<uint8_t>(m_options.id));
    m_engine.setMBMasterTimeOut(static_cast<uint16_t>(m_options.timeoutMs));
    m_engine.setMBMasterMaxTryNumber(static_cast<uint8_t>(m_options.tries));
    m_engine.SetLinkFactory([this]() -> std::unique_ptr<TMBLink> {
        std::unique_ptr<TMBLink> link = std::make_unique<TSerialLink>(*m_host);
        return m_wrap ? m_wrap(std::move(link)) : std::move(link);
    });
}

TSession::~TSession()
{
    m_engine.OnMBMasterEndOfEvent = nullptr;
    m_engine.MBClosePort();
}

void TSession::Note(const std::string &text) const
{
    if (m_options.quiet)
        return;
    std::fprintf(stderr, "kv508ctl: %s\n", text.c_str());
    std::fflush(stderr);
}

void TSession::Open(bool learnIdentity)
{
    m_port = ChoosePort(m_options.port);
    if (learnIdentity) {
        const PortProbe::TProbeResult probe = PortProbe::Probe();
        const int i = PortProbe::FindPort(probe, {}, m_port);
        m_identity = i >= 0 && std::size_t(i) < probe.infos.size() ? probe.infos[std::size_t(i)].Identity() : std::string();
    }
    m_engine.setPort(m_port);
    m_engine.MBOpenPort();
    if (m_engine.MBPortOpen()) {
        if (m_options.verbose)
            Note("opened " + ShownPort() + " at " + std::to_string(m_options.baud) + " baud");
        return;
    }
    std::string reason = m_engine.LastOpenError();
    if (const auto cut = reason.find('\r'); cut != std::string::npos)
        reason = reason.substr(cut + 1);
    if (!reason.empty() && reason.back() == '.') // Windows' texts end in a full stop; a hint may follow
        reason.pop_back();
    reason = ShownName(reason, 400); // it may name the port, or the program that holds it
    const std::string path = PortProbe::ResolvePortPath(m_port);
    std::string text = "cannot open " + ShownPort() + (path.empty() || path == m_port ? "" : " (" + ShownName(path) + ")") + ": " + reason;
    if (Contains(reason, "Permission denied") || Contains(reason, "Operation not permitted")) {
        // The probe knows the device's group and says how to join it.
        const PortProbe::TProbeResult probe = PortProbe::Probe();
        text += probe.hint.empty() ? "; ask the administrator for access to the port" : "; " + ShownName(probe.hint, 2000);
    } else if (Contains(reason, "No such file") || Contains(reason, "No such device") ||
               Contains(reason, "cannot find the file") || Contains(reason, "File not found")) { // Windows, Wine
        text += "; " + PortListText(PortProbe::Probe()) + " (kv508ctl ports)";
    } else if (Contains(reason, "in use by another program") && !Contains(reason, "close that program")) {
        text += "; close the program that uses it, then try again";
    } else if (Contains(reason, "Inappropriate ioctl")) {
        text += "; that is not a serial port (kv508ctl ports lists them)";
    }
    throw TFailure(exitPort, text);
}

std::string TSession::ShownPort() const
{
    return ShownName(m_port);
}

bool TSession::Reopen(bool anyInstrument)
{
    if (m_engine.MBPortOpen())
        return true;
    m_anyInstrument = anyInstrument;
    const PortProbe::TProbeResult probe = PortProbe::Probe();
    const int found = PortProbe::FindPort(probe, m_identity, m_port);
    if (found < 0)
        return false;
    // Under its new name; a path given for the same name stays as it was.
    if (!m_identity.empty() || m_port.find('/') == std::string::npos)
        m_port = probe.ports[std::size_t(found)];
    m_engine.setPort(m_port);
    m_engine.MBOpenPort(); // a failed open waits for the next look: the device may still be settling
    if (!m_engine.MBPortOpen())
        return false;
    // The same adapter may carry another instrument now (or two adapters share
    // a serial number): know it again before its values join the log.
    if (!m_seen)
        return true;
    m_checkPending = true;
    try {
        CheckSameInstrument(PollOnce(false, 0));
    } catch (const TFailure &f) {
        if (f.code == exitOtherInstrument)
            throw;
        if (f.code == exitPort) // gone again: the next look finds it or not
            return false;
        // No answer yet: the first answered poll makes the comparison.
    }
    return true;
}

void TSession::CheckSameInstrument(const kv508::TLiveData &now)
{
    const kv508::TLiveData before = *m_seen;
    std::string differs;
    auto add = [&](const std::string &what, const std::string &was, const std::string &is) {
        differs += (differs.empty() ? "" : "; ") + what + " " + was + " before, " + is + " now";
    };
    if (now.FirmwareDateCode != before.FirmwareDateCode)
        add("firmware", kv508::FormatDateCode(before.FirmwareDateCode), kv508::FormatDateCode(now.FirmwareDateCode));
    if (now.CalibrationDateCode != before.CalibrationDateCode)
        add("calibration date", kv508::FormatDateCode(before.CalibrationDateCode), kv508::FormatDateCode(now.CalibrationDateCode));
    std::optional<kv508::TSettings> settings;
    if (m_seenSettings) {
        settings = ReadSettingsOnce();
        for (const TDifference &d : Differences(*m_seenSettings, *settings))
            add(KeyName(d.key), d.wanted, d.actual);
    }
    m_checkPending = false;
    if (!differs.empty() && !m_anyInstrument)
        throw TFailure(exitOtherInstrument, "another instrument answers on " + ShownPort() + " since the adapter came back (" +
                                                differs + "): the watch stops, as its log would mix two instruments; start a "
                                                "new watch for this one, or give --reconnect-any to go on with any");
    if (!differs.empty())
        Note("another instrument answers on " + ShownPort() + " since the adapter came back (" + differs +
             "); the watch goes on (--reconnect-any)");
    m_seen = now;
    if (settings)
        m_seenSettings = settings;
}

mbcore::TMBStatus TSession::Transact(const std::function<void(mbcore::TMBEngine &)> &put, std::string *text)
{
    bool done = false;
    mbcore::TMBStatus status = mbcore::stClosedPort;
    std::string statusText = "port closed";
    m_engine.OnMBMasterEndOfEvent = [&](mbcore::TMBStatus s, const std::string &t) {
        done = true;
        status = s;
        statusText = t;
    };
    put(m_engine);
    const uint8_t command = m_engine.MBMasterCommandToSlave();
    if (m_options.verbose)
        Note("> " + CommandName(command));
    const int64_t started = TEventLoop::NowMs();
    m_engine.MBMasterStart(kv508::RequestDelay);
    // Every try's sending time and time-out, with room to spare: the engine
    // always ends a transaction itself; this only guards against a stall.
    const int perTry = mbcore::SendingTimeEstimate(m_engine.MBDataNumberToSend(), m_options.baud) + m_options.timeoutMs;
    const int deadline = kv508::RequestDelay + m_options.tries * perTry + 5000;
    if (!m_loop.RunUntil([&] { return done; }, deadline)) {
        status = mbcore::stTimeOut;
        statusText = "no end of the transaction";
    }
    m_engine.OnMBMasterEndOfEvent = nullptr;
    if (m_options.verbose)
        Note("< " + CommandName(command) + ": " + statusText + " after " + std::to_string(m_engine.MBMasterTryNumber()) +
             " tries, " + std::to_string(TEventLoop::NowMs() - started) + " ms");
    if (text)
        *text = statusText;
    return status;
}

void TSession::Fail(mbcore::TMBStatus status, const std::string &text, const std::string &what) const
{
    const std::string where = "address " + std::to_string(m_options.address) + ", ID " + std::to_string(m_options.id);
    switch (status) {
    case mbcore::stTimeOut:
        throw TFailure(exitNoAnswer, "no answer to " + what + " from " + where + " on " + ShownPort() + " after " +
                                         std::to_string(m_options.tries) + " tries of " + std::to_string(m_options.timeoutMs) +
                                         " ms: check that the instrument is powered and wired, --address and --baud "
                                         "(the KV508 I answers at address 1, 4800 baud), or raise --timeout/--tries");
    case mbcore::stSlaveError:
        if (Contains(text, "ID Error"))
            throw TFailure(exitInstrument, "the instrument refused " + what + " with \"ID Error\": it does not have ID " +
                                               std::to_string(m_options.id) + "; give its ID with --id (the KV508 I has 39)");
        if (Contains(text, "Unknown Command"))
            throw TFailure(exitInstrument, "the instrument does not know " + what +
                                               " (\"Unknown Command\"): check that it is a KV508 I and its firmware");
        throw TFailure(exitInstrument, "the instrument answered " + what + " with an error (" + text + ")");
    case mbcore::stClosedPort:
        throw TFailure(exitPort, "the port " + ShownPort() + " closed during " + what +
                                     ": the adapter was unplugged or the line went away; reconnect and try again");
    case mbcore::stOK: break;
    }
    throw TFailure(exitNoAnswer, what + ": " + text);
}

kv508::TLiveData TSession::Poll(bool force, uint16_t pwm)
{
    const kv508::TLiveData d = PollOnce(force, pwm);
    if (m_checkPending)
        CheckSameInstrument(d);
    m_seen = d;
    return d;
}

kv508::TLiveData TSession::PollOnce(bool force, uint16_t pwm)
{
    std::string text;
    const mbcore::TMBStatus status = Transact([&](mbcore::TMBEngine &mb) { kv508::PutPoll(mb, force ? 1 : 0, pwm); }, &text);
    if (status != mbcore::stOK)
        Fail(status, text, CommandName(kv508::Cmd_Poll));
    NeedBytes(kv508::LiveDataSize, kv508::Cmd_Poll);
    return kv508::GetLiveData(m_engine);
}

kv508::TSettings TSession::ReadSettings()
{
    m_seenSettings = ReadSettingsOnce();
    return *m_seenSettings;
}

kv508::TSettings TSession::ReadSettingsOnce()
{
    Request(kv508::Cmd_ReadSettings);
    NeedBytes(kv508::SettingsSize, kv508::Cmd_ReadSettings);
    return kv508::GetSettings(m_engine);
}

// Missing bytes would read as zeros: a backup of zeros, a plan made from them.
void TSession::NeedBytes(uint16_t bytes, uint8_t command) const
{
    const uint16_t got = m_engine.MBReceivedDataNumber();
    if (got < bytes)
        throw TFailure(exitInstrument, "the answer to " + CommandName(command) + " carried " + std::to_string(got) +
                                           " bytes of data, not " + std::to_string(bytes) +
                                           ": check that the device at this address is a KV508 I");
}

void TSession::Request(uint8_t command, const kv508::TSettings &toWrite)
{
    std::string text;
    const uint32_t today = TodayCode();
    const mbcore::TMBStatus status =
        Transact([&](mbcore::TMBEngine &mb) { kv508::PutRequest(mb, command, today, toWrite); }, &text);
    if (status != mbcore::stOK)
        Fail(status, text, CommandName(command));
}

} // namespace ctl
