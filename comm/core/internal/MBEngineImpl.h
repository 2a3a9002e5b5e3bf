// The engine's inside: state and steps. Only the engine's own sources and the
// tests (through TMBEngineTestPeer) include this.
#pragma once

#include "MBEngine.h"
#include "MBFrame.h"
#include "MBPayload.h"

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace mbcore {

// The only exception of the engine: a port that cannot be opened. It never
// leaves the open/close sequence.
class EComError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

namespace detail {

struct TEngine {
    explicit TEngine(TMBEngine &owner);
    ~TEngine();

    TMBEngine &pub; // its events
    TMBView *view;  // never null

    // ---- status model ----
    void SetMBStatus(TMBStatus status, uint8_t code = 0);
    void SetMBStatusNow(TMBStatusNow state);
    void SetMBBusy(bool value);
    void setMBMode(TMBMode m);

    // ---- payload ----
    void PutFixed(uint64_t value, int width);
    void PutText(const char *text, std::size_t size);
    void ClearTx();
    uint64_t GetFixed(int width);

    // ---- frames ----
    void MBSendFrame();
    bool WriteToPort(const char *data, std::size_t count);
    void SendFailed();

    // ---- receive machinery ----
    // Reads and decodes what the link holds; the count read. With hint, tells
    // the link afterwards how much of the answer is still to come.
    std::ptrdiff_t HandleRxData(uint32_t count, bool hint = true);
    std::ptrdiff_t ReadPending(uint32_t count); // into m_readBuffer
    void DecodeRxChunk(const uint8_t *p, std::size_t n);
    void AppendRxByte(uint8_t b)
    {
        if (m_MBNumberOfReceivedBytes < RxBufferSize)
            m_RxBuffer[m_MBNumberOfReceivedBytes++] = b;
        else
            m_rxOverflowed = true;
        m_MBRxBufferFull = m_MBNumberOfReceivedBytes >= RxBufferSize;
    }
    void ResetReceiver();
    void CopyRxFrame();
    bool FrameCheckOK() const;
    static int HexDigitValue(uint8_t c)
    {
        // lower case is not a digit on this line
        static constexpr auto kValue = [] {
            std::array<int8_t, 256> v{};
            for (int i = 0; i < 256; ++i)
                v[i] = static_cast<int8_t>(i >= '0' && i <= '9' ? i - '0' : i >= 'A' && i <= 'F' ? i - 'A' + 10 : -1);
            return v;
        }();
        return kValue[c];
    }
    bool AsciiDigitCompletesByte(int digit, uint8_t &value)
    {
        if (m_AsciiHighNibbleNext) {
            m_RxLastChar = static_cast<uint32_t>(digit) * 16;
            m_AsciiHighNibbleNext = false;
            return false;
        }
        value = static_cast<uint8_t>(m_RxLastChar + static_cast<uint32_t>(digit));
        return true;
    }
    bool BinaryCharCompletesByte(uint8_t c, uint8_t &value)
    {
        m_RxLastChar = c;
        if (!(c & 0x40)) {
            m_RxLowNibble = c & 0x0F;
            return false;
        }
        value = static_cast<uint8_t>((c & 0x0F) * 16 + m_RxLowNibble);
        return true;
    }
    void StartBinaryFrame(uint8_t first);
    bool BinaryFrameCompleted(uint8_t c, uint8_t value);
    void DecodeBinaryMaster(uint8_t c);
    void DecodeAsciiMaster(uint8_t c);
    void DecodeBinarySlave(uint8_t c);
    void DecodeAsciiSlave(uint8_t c);
    void DecodeDiagnostic(uint8_t c);
    void DecodeByteChunk(const uint8_t *p, std::size_t n);
    void DecodeStringChar(uint8_t c);

    // ---- master cycle ----
    void MBMasterStart(uint16_t delay);
    void StartTimerExpired();
    void MBStartTransaction();
    void RaiseMasterEnd();
    void EndWithClosedPort();
    bool SendFirstTry(uint32_t framesCounted);
    void OneWaySend();
    void MasterFirstTry();

    // ---- answers read in batches (MBEngineBatch.cpp) ----
    uint32_t AnswerCharsAhead() const;
    uint16_t ExpectedAnswerBytes() const;
    void LearnAnswerSize();
    void ForgetAnswerSizes();
    void HintLink();
    bool HeldAnswerEnded();
    void MBMasterRetry();
    void AnswerTimerExpired();

    // ---- slave modes ----
    void SendSlaveAnswer();
    void AnswerOrDelay();
    void AcceptBinarySlaveRequest();
    void AcceptAsciiSlaveRequest();

    // ---- link and the open/close sequence ----
    void OpenLink(); // throws EComError
    void CloseLink();
    void OpenSequence(bool open);
    void CloseSteps();
    void LinkHungUp();
    void DispatchLineEvent(uint32_t mask, uint32_t modemStatus);

    // ---- counters, speed, history ----
    void ShowTry(uint8_t n);
    void ShowTraffic(uint8_t address, uint8_t command);
    void PushHistory();
    void ClearHistory();
    void ResetPanelState();
    void CountSpeedEvent();
    void RestartSpeedWindow();
    void ResetSpeedRange();
    void ShowSpeed();
    void SampleSpeed();
    void ClearAllCounters();
    void StartUp();
    void SpeedTimerTick();
    void UserTimerExpired();

    // ---- timers ----
    TTimer StartTimer;
    TTimer AnswerTimer;
    TTimer SpeedTimer;
    TTimer UserTimer;

    // ---- property storage ----
    std::string m_Port = "ttyS0";
    uint32_t m_WinQSizeIn = 8192;
    uint32_t m_WinQSizeOut = 8192;
    TMBMode m_MBMode = modeASCIIMaster;
    uint8_t m_MBSlaveOwnAddress = 1;
    uint32_t m_baudRate = 115200;
    uint8_t m_MBSlaveID = 0;
    std::string m_MBSlaveName = "MB Slave";
    std::string m_MBLastUsedPort;
    bool m_MBMasterQueryMode = false;
    uint8_t m_MBMasterAddressToSlave = 1;
    uint8_t m_MBMasterIDToSlave = 0;
    uint8_t m_MBMasterCommandToSlave = 0;
    uint8_t m_MBSlaveErrorCode = 0;
    uint16_t m_MBMBTXDataBufferIndex = 1;
    uint16_t m_MBMBRXDataBufferIndex = 1;
    uint16_t m_MBReceivedDataNumber = 0;
    uint16_t m_MBDataNumberToSend = 0;
    TMBStatus m_MBStatus = stOK;
    std::string m_MBStatusString = "OK";
    uint8_t m_MBMasterTryNumber = 0;
    uint8_t m_MBMasterTryNumberMax = 0;
    uint32_t m_MBNumberOfTxFrames = 0;
    uint32_t m_MBNumberOfRxFrames = 0;
    uint16_t m_MBMasterTimeOut = 1000;
    uint8_t m_MBMasterMaxTryNumber = 5;
    uint16_t m_MBSlaveDelayTime = 0;
    TMBStatusNow m_MBStatusNow = stnPortError;
    uint16_t m_MBReminder = 0;
    bool m_MBBusy = true;
    uint16_t m_MBNumberOfReceivedBytes = 0;
    std::string m_MBStatusNowString = "Port Error";
    bool m_MBRxBufferFull = false;
    uint16_t m_MBCalculatedTimeOfSending = 0;
    bool m_MBPortOpen = false;
    bool m_MBRefreshListOnStartup = true;
    uint8_t m_MBStopByteInStringMode = 0;
    bool m_MBThereWasOpenEvent = false;
    uint32_t m_MBSpeed = 0;
    uint32_t m_MBSpeedMax = 0;
    bool m_MBBaudEditVisible = true;
    uint16_t m_MBASCIISlaveTimeOut = 1000;

    // ---- engine state ----
    int m_PayloadOffset = 3;
    TFrameArea m_TXDataBuffer{};
    // Past the last byte of the transmit area written since it was cleared:
    // a clear zeroes only up to here, not the whole 8 KiB each time.
    std::size_t m_TxWrittenEnd = 0;
    TFrameArea m_RXDataBuffer{};
    std::array<uint8_t, RxBufferSize> m_RxBuffer{};
    uint32_t m_RxLastChar = 0;
    uint32_t m_RxLowNibble = 0;
    bool m_AsciiFrameOpen = false;
    bool m_AsciiHighNibbleNext = true;
    bool m_rxOverflowed = false; // the frame being collected lost bytes past the buffer
    bool m_StringReceptionArmed = false;
    bool m_LinkOpen = false;
    bool m_awaitingAnswer = false; // an answer is accepted only while its transaction waits
    uint32_t m_transactionSerial = 0; // counts transactions started: tells a new one from the one before
    // The size in bytes of the last good answer to each command, with the
    // request it answered; the link is told to expect that many.
    struct TAnswerSize {
        uint8_t address = 0, id = 0;
        bool query = false;
        uint16_t bytes = 0; // 0: no answer seen yet
    };
    std::array<TAnswerSize, 256> m_answerSizes{};
    // What the link was last told to expect; while not 0 it may hold characters back until then.
    uint32_t m_hintedChars = 0;
    // A hint the line did not keep (fewer came by their time): the driver holds
    // characters back (a FIFO, a USB adapter's latency), so the rest of this
    // answer is taken as it comes, never later than it is handed over.
    bool m_hintsOff = false;
    std::string m_batch;           // the characters of the frame being written, handed over at once
    std::vector<char> m_readBuffer;
    std::unique_ptr<TMBLink> m_link;
    TMBEngine::TLinkFactory m_linkFactory;
    std::string m_lastOpenError;

    // ---- counters and history ----
    std::string m_CounterUnit = " F";
    std::string m_SpeedUnit = " frames / sec";
    bool m_TryDisplayEnabled = true;
    bool m_startUpPending = true;
    uint8_t m_HistoryAddress = 0;
    uint8_t m_HistoryCommand = 0;
    uint16_t m_HistoryRepeat = 0;
    std::string m_TrafficText;
    std::string m_HistoryText;
    uint16_t m_SpeedCount = 0;
    uint32_t m_SpeedMin = 0;
};

} // namespace detail
} // namespace mbcore
