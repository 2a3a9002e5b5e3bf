// One conversation with the instrument: the engine on the plain event loop and
// the serial link, opened on the chosen port, one transaction at a time. Each
// call runs the loop until the engine's end event (with a deadline), so the
// commands read as a script.
#pragma once

#include "EventLoop.h"
#include "KV508Commands.h"
#include "LoopHost.h"
#include "MBEngine.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace ctl {

// The program's exit codes.
enum TExit : int {
    exitOK = 0,
    exitUsage = 1,      // the command line, a file, or a refused operation
    exitPort = 2,       // the port cannot be opened
    exitNoAnswer = 3,   // no (valid) answer after every try
    exitInstrument = 4, // the instrument answered with an error status
    exitMismatch = 5,   // read back (or compared) values differ
    exitOtherInstrument = 6, // after a lost adapter came back, another instrument answered
    exitNotCalibrated = 7,   // a calibration point not taken (the reading did not settle), or the
                             // instrument still reports "not calibrated" or "output out of range"
    exitRecords = 8,         // the calibration records' location cannot be used (kv508ctl records)
    exitVerdictFail = 9,     // kv508ctl station: the record is finished and its verdict is FAIL
    exitReference = 10       // kv508ctl station: a reference instrument (meter, pressure controller) failed
};

// An error that ends the program: the text names the cause and the fix.
struct TFailure : std::runtime_error {
    TFailure(TExit code, const std::string &text) : std::runtime_error(text), code(code) {}
    TExit code;
};

struct TLinkOptions {
    std::string port; // empty: the only port the probe lists
    int address = kv508::Address;
    int id = kv508::Id;
    uint32_t baud = 4800;
    int timeoutMs = 1000;
    int tries = 5;
    bool quiet = false;
    bool verbose = false;
};

// Sees the characters of the session's own link (read --watch --trace).
using TLinkWrapper = std::function<std::unique_ptr<TMBLink>(std::unique_ptr<TMBLink>)>;

// The ports the probe lists now, and the one to use when none is named.
// Throws TFailure: exitPort when there is none, exitUsage when there are several.
std::string ChoosePort(const std::string &named);

class TSession
{
public:
    explicit TSession(TLinkOptions options, TLinkWrapper wrap = {});
    ~TSession();
    TSession(const TSession &) = delete;
    TSession &operator=(const TSession &) = delete;

    // Opens the port (throws TFailure exitPort with the reason and the fix).
    // With learnIdentity the probe first tells who the adapter is, so that
    // Reopen finds it again under another name.
    void Open(bool learnIdentity = false);
    const std::string &Port() const { return m_port; }
    // The adapter's identity as the probe told it at Open (empty: none known).
    const std::string &Identity() const { return m_identity; }
    // After the line went away: if the same adapter (by identity, else by the
    // same name) is listed again, opens it. True when the port is open again.
    // The instrument behind it must then report what it reported before the
    // loss (firmware, calibration date, the settings read): a look-alike
    // throws TFailure exitOtherInstrument naming what differs, unless
    // anyInstrument, which only notes it. When it does not answer yet, the
    // next poll makes the comparison before its values are used.
    bool Reopen(bool anyInstrument = false);

    // One transaction; the status it ended with. text gets the engine's status text.
    mbcore::TMBStatus Transact(const std::function<void(mbcore::TMBEngine &)> &put, std::string *text = nullptr);

    // The poll (command 1) with the force flag and drive value it carries.
    kv508::TLiveData Poll(bool force = false, uint16_t pwm = 0);
    kv508::TSettings ReadSettings();
    // The port's name as messages show it (control characters escaped, cut when long).
    std::string ShownPort() const;
    // Any other request (PutRequest's payload: today's date code, the settings).
    void Request(uint8_t command, const kv508::TSettings &toWrite = {});
    // Frames handed to the port so far: whether a failed request left this computer.
    uint32_t SentFrames() const { return m_engine.MBNumberOfTxFrames(); }

    TEventLoop &Loop() { return m_loop; }
    const TLinkOptions &Options() const { return m_options; }
    // A note on standard error unless --quiet.
    void Note(const std::string &text) const;

private:
    // Throws the TFailure that status means for the request named what.
    [[noreturn]] void Fail(mbcore::TMBStatus status, const std::string &text, const std::string &what) const;
    void NeedBytes(uint16_t bytes, uint8_t command) const;
    kv508::TLiveData PollOnce(bool force, uint16_t pwm);
    kv508::TSettings ReadSettingsOnce();
    // Compares the instrument that answers now with the one seen before the loss.
    void CheckSameInstrument(const kv508::TLiveData &now);

    TLinkOptions m_options;
    TLinkWrapper m_wrap;
    std::string m_port;
    std::string m_identity;
    TEventLoop m_loop;
    std::unique_ptr<TLoopHost> m_host;
    mbcore::TMBEngine m_engine;
    // What the instrument reported, to know it again after a loss.
    std::optional<kv508::TLiveData> m_seen;
    std::optional<kv508::TSettings> m_seenSettings;
    bool m_checkPending = false;
    bool m_anyInstrument = false;
};

// The name of an instrument command for messages: "poll (1)", "set as 0 (3)".
std::string CommandName(uint8_t command);

} // namespace ctl
