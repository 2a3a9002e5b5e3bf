// The communication engine: payload buffers, frames, the master cycle, the
// receivers and slave modes, the status model, counters and the history, in
// plain C++ without any toolkit or system call. The host gives it a link
// (TMBLink), timers (TTimerFactory) and, if it has a panel, a view (TMBView).
// Everything runs on the host's thread. Texts are UTF-8.
#pragma once

#include "MBLink.h"
#include "MBProtocol.h"
#include "MBTimer.h"
#include "MBView.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace mbcore {

namespace detail {
struct TEngine;
}

class TMBEngine
{
public:
    TMBEngine();
    ~TMBEngine();
    TMBEngine(const TMBEngine &) = delete;
    TMBEngine &operator=(const TMBEngine &) = delete;

    // ---- seams ----
    using TLinkFactory = std::function<std::unique_ptr<TMBLink>()>;
    void SetLinkFactory(TLinkFactory factory);
    // Without a factory the timers only run when fired (see TTimer::Fire).
    void SetTimerFactory(const TTimerFactory &factory);
    void SetView(TMBView *view); // null: nothing is shown
    void SetManualTimers(bool manual);

    // ---- properties (setters clamp) ----
    std::string Port() const;
    void setPort(const std::string &v);
    uint32_t WinQSizeIn() const;
    void setWinQSizeIn(uint32_t v);
    uint32_t WinQSizeOut() const;
    void setWinQSizeOut(uint32_t v);
    TMBMode MBMode() const;
    void setMBMode(TMBMode m);
    uint8_t MBSlaveOwnAddress() const;
    void setMBSlaveOwnAddress(uint8_t v);
    TMBBaud MBBaud() const;
    void setMBBaud(TMBBaud v);
    uint32_t BaudRate() const;    // the rate the next open uses
    void SetBaudRate(uint32_t v); // one of the 21 rates, else 9600
    uint8_t MBSlaveID() const;
    void setMBSlaveID(uint8_t v);
    std::string MBSlaveName() const;
    void setMBSlaveName(const std::string &v);
    std::string MBLastUsedPort() const;
    void setMBLastUsedPort(const std::string &v);
    bool MBMasterQueryMode() const;
    void setMBMasterQueryMode(bool v);
    uint8_t MBMasterAddressToSlave() const;
    void setMBMasterAddressToSlave(uint8_t v);
    uint8_t MBMasterIDToSlave() const;
    void setMBMasterIDToSlave(uint8_t v);
    uint8_t MBMasterCommandToSlave() const;
    void setMBMasterCommandToSlave(uint8_t v);
    uint8_t MBSlaveErrorCode() const;
    void setMBSlaveErrorCode(uint8_t v);
    uint16_t MBMBTXDataBufferIndex() const;
    void setMBMBTXDataBufferIndex(uint16_t v);
    uint16_t MBMBRXDataBufferIndex() const;
    void setMBMBRXDataBufferIndex(uint16_t v);
    uint16_t MBReceivedDataNumber() const;
    uint16_t MBDataNumberToSend() const;
    void setMBDataNumberToSend(uint16_t v);
    TMBStatus MBStatus() const;
    std::string MBStatusString() const;
    uint8_t MBMasterTryNumber() const;
    uint8_t MBMasterTryNumberMax() const;
    uint32_t MBNumberOfTxFrames() const;
    uint32_t MBNumberOfRxFrames() const;
    uint16_t MBMasterTimeOut() const;
    void setMBMasterTimeOut(uint16_t v);
    uint8_t MBMasterMaxTryNumber() const;
    void setMBMasterMaxTryNumber(uint8_t v);
    uint16_t MBSlaveDelayTime() const;
    void setMBSlaveDelayTime(uint16_t v);
    TMBStatusNow MBStatusNow() const;
    std::string MBStatusNowString() const;
    uint16_t MBReminder() const;
    void setMBReminder(uint16_t v);
    bool MBBusy() const;
    uint16_t MBNumberOfReceivedBytes() const;
    bool MBRxBufferFull() const;
    uint16_t MBCalculatedTimeOfSending() const;
    bool MBPortOpen() const;
    bool MBRefreshListOnStartup() const;
    void setMBRefreshListOnStartup(bool v);
    uint8_t MBStopByteInStringMode() const;
    void setMBStopByteInStringMode(uint8_t v);
    bool MBThereWasOpenEvent() const;
    void setMBThereWasOpenEvent(bool v);
    uint32_t MBSpeed() const;
    uint32_t MBSpeedMax() const;
    uint32_t SpeedMin() const;
    bool MBBaudEditVisible() const;
    void setMBBaudEditVisible(bool v);
    uint16_t MBASCIISlaveTimeOut() const;
    void setMBASCIISlaveTimeOut(uint16_t v);
    // Display state a panel reads.
    std::string CounterUnit() const; // " F", " B", " S"
    std::string SpeedUnit() const;   // " frames / sec" ...
    std::string TrafficText() const; // "3x1.8": repeats, address, command
    std::string HistoryText() const; // the last 40 characters of earlier traffic
    bool TryDisplayEnabled() const;
    std::string LastOpenError() const; // "TMB : cannot open ..." of the last failed open
    // The frame areas: being sent, and the last accepted frame (header included).
    const std::array<uint8_t, FrameAreaSize> &TXDataBuffer() const;
    const std::array<uint8_t, FrameAreaSize> &RXDataBuffer() const;

    // ---- events: raised only when assigned ----
    std::function<void(TMBStatus MBStatus, const std::string &MBStatusString)> OnMBMasterEndOfEvent;
    std::function<void(bool MBbPortOpen)> OnMBPortOpenedOrClosed;
    std::function<void(TMBStatusNow MBStatusNow, const std::string &MBStatusNowString)> OnMBStatusNowChanged;
    std::function<void(bool MBbBusy)> OnMBBusyChanged;
    std::function<void(uint16_t ReceivedDataNumber)> OnMBDiagnosticReceivedAFrame;
    std::function<void(uint8_t Command, bool QueryMode, uint16_t ReceivedDataNumber)> OnMBSlaveReceivedCommand;
    std::function<void(uint16_t ReceivedBytesNumber)> OnMBReceivedAByte;
    std::function<void(const std::string &ReceivedString)> OnMBReceivedAString;
    std::function<void()> OnMBUserTimeOut;
    std::function<void()> OnMBASCIISlaveTimeOut;
    std::function<void(bool)> OnCTSChange, OnDSRChange, OnRingChange, OnRLSDChange;
    std::function<void()> OnLineError, OnPortOpened, OnPortClosed;
    // Not published: every character that crosses the open link, in order, on
    // the host's thread; tx for those written. Received characters come here
    // before the receiver sees them, so a monitor's record precedes any event
    // the frame raises.
    std::function<void(bool tx, const uint8_t *bytes, std::size_t count)> OnLineTap;

    // ---- operations ----
    void MBClearTxData();
    void MBPutByte(uint8_t value);
    void MBPutWord(uint16_t value);
    void MBPutSmallInt(int16_t value);
    void MBPutDWord(uint32_t value);
    void MBPutBoolean(bool value);
    void MBPutString(std::string_view bytes);
    uint8_t MBGetByte();
    uint16_t MBGetWord();
    int16_t MBGetSmallInt();
    uint32_t MBGetDWord();
    bool MBGetBoolean();
    void MBMasterStart(uint16_t delay);
    void MBOpenPort();
    void MBClosePort();
    // Counters, speed range, history and try display back to zero.
    void ClearAllCounters();
    // The first tick of the speed timer runs it when the host has not.
    void StartUp();
    bool StartUpPending() const;

private:
    friend struct TMBEngineTestPeer;
    std::unique_ptr<detail::TEngine> m_d;
};

// The line's single-byte code page for names: UTF-8 in, windows-1250 out; a
// name with characters it lacks goes out as Latin-1 ("?" beyond).
std::string SingleByteName(std::string_view utf8);

} // namespace mbcore
