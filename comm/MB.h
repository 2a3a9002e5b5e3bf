// TMB: the communication component. A fixed-size group box that owns the serial
// link, the frame engine (payload buffers, codec, master cycle, receivers, slave
// modes) and its own small status panel.
//
// Everything runs on the GUI thread: the link waits on the port in the GUI
// thread's own event loop.
#pragma once

#include "MBLink.h"
#include "MBFrame.h"
#include "MBPayload.h"
#include "MBProtocol.h"
#include "MBTimer.h"

#include <QByteArray>
#include <QColor>
#include <QGroupBox>
#include <QImage>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QPushButton;

// The only exception of the component: a port that cannot be opened.
class EComError : public std::runtime_error
{
public:
    explicit EComError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {
    }
    const QString &Message() const { return m_message; }

private:
    QString m_message;
};

class TMB : public QGroupBox
{
    Q_OBJECT

public:
    // The core's enumerations, published with their names for the window description.
    enum TMBMode {
        modeMaster = mbcore::modeMaster,
        modeSlave = mbcore::modeSlave,
        modeASCIIMaster = mbcore::modeASCIIMaster,
        modeASCIISlave = mbcore::modeASCIISlave,
        modeDiagnostic = mbcore::modeDiagnostic,
        modeByte = mbcore::modeByte,
        modeString = mbcore::modeString
    };
    Q_ENUM(TMBMode)
    enum TMBStatus {
        stOK = mbcore::stOK,
        stSlaveError = mbcore::stSlaveError,
        stTimeOut = mbcore::stTimeOut,
        stClosedPort = mbcore::stClosedPort
    };
    Q_ENUM(TMBStatus)
    enum TMBStatusNow {
        stnReady = mbcore::stnReady,
        stnSending = mbcore::stnSending,
        stnWaitingForAnswer = mbcore::stnWaitingForAnswer,
        stnReceiving = mbcore::stnReceiving,
        stnPortError = mbcore::stnPortError,
        stnTimeOut = mbcore::stnTimeOut,
        stnWaitingForCommand = mbcore::stnWaitingForCommand,
        stnReceivedCommand = mbcore::stnReceivedCommand
    };
    Q_ENUM(TMBStatusNow)
    enum TMBBaud {
        baud000075 = mbcore::baud000075,
        baud000110 = mbcore::baud000110,
        baud000134 = mbcore::baud000134,
        baud000150 = mbcore::baud000150,
        baud000300 = mbcore::baud000300,
        baud000600 = mbcore::baud000600,
        baud001200 = mbcore::baud001200,
        baud001800 = mbcore::baud001800,
        baud002400 = mbcore::baud002400,
        baud004800 = mbcore::baud004800,
        baud007200 = mbcore::baud007200,
        baud009600 = mbcore::baud009600,
        baud014400 = mbcore::baud014400,
        baud019200 = mbcore::baud019200,
        baud038400 = mbcore::baud038400,
        baud057600 = mbcore::baud057600,
        baud115200 = mbcore::baud115200,
        baud128000 = mbcore::baud128000,
        baud230400 = mbcore::baud230400,
        baud460800 = mbcore::baud460800,
        baud921600 = mbcore::baud921600
    };
    Q_ENUM(TMBBaud)

    // Events: single-cast, only the named parameters, raised only when assigned.
    using TMasterEvent = std::function<void(TMBStatus MBStatus, const QString &MBStatusString)>;
    using TStatusNowChanged = std::function<void(TMBStatusNow MBStatusNow, const QString &MBStatusNowString)>;
    using TPortOpenedOrClosed = std::function<void(bool MBbPortOpen)>;
    using TOnMBBusyChanged = std::function<void(bool MBbBusy)>;
    using TOnMBDiagnosticReceivedAFrame = std::function<void(quint16 ReceivedDataNumber)>;
    using TOnMBSlaveReceivedCommand = std::function<void(quint8 Command, bool QueryMode, quint16 ReceivedDataNumber)>;
    using TOnMBReceivedAByte = std::function<void(quint16 ReceivedBytesNumber)>;
    using TOnMBReceivedAString = std::function<void(const QByteArray &ReceivedString)>;
    using TOnMBUserTimeOut = std::function<void()>;
    using TOnMBASCIISlaveTimeOut = std::function<void()>;
    using TLineHook = std::function<void(bool)>;
    using TComponentHook = std::function<void(TMB *)>;

    // Sizes of the frame areas.
    static constexpr int MaxPayload = mbcore::MaxPayload; // highest payload index
    static constexpr int RxBufferSize = mbcore::RxBufferSize;
    static constexpr int FrameAreaSize = mbcore::FrameAreaSize;
    static constexpr int PanelWidth = 157;
    static constexpr int PanelHeight = 145;

    // Published properties, in declared order.
    Q_PROPERTY(QString Port READ Port WRITE setPort)
    Q_PROPERTY(quint32 WinQSizeIn READ WinQSizeIn WRITE setWinQSizeIn)
    Q_PROPERTY(quint32 WinQSizeOut READ WinQSizeOut WRITE setWinQSizeOut)
    Q_PROPERTY(TMBMode MBMode READ MBMode WRITE setMBMode)
    Q_PROPERTY(quint8 MBSlaveOwnAddress READ MBSlaveOwnAddress WRITE setMBSlaveOwnAddress)
    Q_PROPERTY(TMBBaud MBBaud READ MBBaud WRITE setMBBaud)
    Q_PROPERTY(quint8 MBSlaveID READ MBSlaveID WRITE setMBSlaveID)
    Q_PROPERTY(QString MBSlaveName READ MBSlaveName WRITE setMBSlaveName)
    Q_PROPERTY(QString MBLastUsedPort READ MBLastUsedPort WRITE setMBLastUsedPort)
    Q_PROPERTY(bool MBMasterQueryMode READ MBMasterQueryMode WRITE setMBMasterQueryMode)
    Q_PROPERTY(quint8 MBMasterAddressToSlave READ MBMasterAddressToSlave WRITE setMBMasterAddressToSlave)
    Q_PROPERTY(quint8 MBMasterIDToSlave READ MBMasterIDToSlave WRITE setMBMasterIDToSlave)
    Q_PROPERTY(quint8 MBMasterCommandToSlave READ MBMasterCommandToSlave WRITE setMBMasterCommandToSlave)
    Q_PROPERTY(quint8 MBSlaveErrorCode READ MBSlaveErrorCode WRITE setMBSlaveErrorCode)
    Q_PROPERTY(quint16 MBMBTXDataBufferIndex READ MBMBTXDataBufferIndex WRITE setMBMBTXDataBufferIndex)
    Q_PROPERTY(quint16 MBMBRXDataBufferIndex READ MBMBRXDataBufferIndex WRITE setMBMBRXDataBufferIndex)
    Q_PROPERTY(quint16 MBReceivedDataNumber READ MBReceivedDataNumber)
    Q_PROPERTY(quint16 MBDataNumberToSend READ MBDataNumberToSend WRITE setMBDataNumberToSend)
    Q_PROPERTY(TMBStatus MBStatus READ MBStatus)
    Q_PROPERTY(QString MBStatusString READ MBStatusString)
    Q_PROPERTY(quint8 MBMasterTryNumber READ MBMasterTryNumber)
    Q_PROPERTY(quint8 MBMasterTryNumberMax READ MBMasterTryNumberMax)
    Q_PROPERTY(quint32 MBNumberOfTxFrames READ MBNumberOfTxFrames)
    Q_PROPERTY(quint32 MBNumberOfRxFrames READ MBNumberOfRxFrames)
    Q_PROPERTY(quint16 MBMasterTimeOut READ MBMasterTimeOut WRITE setMBMasterTimeOut)
    Q_PROPERTY(quint8 MBMasterMaxTryNumber READ MBMasterMaxTryNumber WRITE setMBMasterMaxTryNumber)
    Q_PROPERTY(quint16 MBSlaveDelayTime READ MBSlaveDelayTime WRITE setMBSlaveDelayTime)
    Q_PROPERTY(TMBStatusNow MBStatusNow READ MBStatusNow)
    Q_PROPERTY(quint16 MBReminder READ MBReminder WRITE setMBReminder)
    Q_PROPERTY(bool MBBusy READ MBBusy)
    Q_PROPERTY(quint16 MBNumberOfReceivedBytes READ MBNumberOfReceivedBytes)
    Q_PROPERTY(QString MBStatusNowString READ MBStatusNowString)
    Q_PROPERTY(bool MBRxBufferFull READ MBRxBufferFull)
    Q_PROPERTY(quint16 MBCalculatedTimeOfSending READ MBCalculatedTimeOfSending)
    Q_PROPERTY(bool MBPortOpen READ MBPortOpen)
    Q_PROPERTY(bool MBRefreshListOnStartup READ MBRefreshListOnStartup WRITE setMBRefreshListOnStartup)
    Q_PROPERTY(quint8 MBStopByteInStringMode READ MBStopByteInStringMode WRITE setMBStopByteInStringMode)
    Q_PROPERTY(bool MBThereWasOpenEvent READ MBThereWasOpenEvent WRITE setMBThereWasOpenEvent)
    Q_PROPERTY(quint32 MBSpeed READ MBSpeed)
    Q_PROPERTY(quint32 MBSpeedMax READ MBSpeedMax)
    Q_PROPERTY(bool MBBaudEditVisible READ MBBaudEditVisible WRITE setMBBaudEditVisible)
    Q_PROPERTY(quint16 MBASCIISlaveTimeOut READ MBASCIISlaveTimeOut WRITE setMBASCIISlaveTimeOut)

public:
    explicit TMB(QWidget *parent = nullptr);
    ~TMB() override;

    // ---- property accessors -------------------------------------------------
    QString Port() const { return m_Port; }
    void setPort(const QString &v) { m_Port = v; }
    quint32 WinQSizeIn() const { return m_WinQSizeIn; }
    void setWinQSizeIn(quint32 v) { m_WinQSizeIn = v; }
    quint32 WinQSizeOut() const { return m_WinQSizeOut; }
    void setWinQSizeOut(quint32 v) { m_WinQSizeOut = v; }
    TMBMode MBMode() const { return m_MBMode; }
    void setMBMode(TMBMode m);
    quint8 MBSlaveOwnAddress() const { return m_MBSlaveOwnAddress; }
    void setMBSlaveOwnAddress(quint8 v) { m_MBSlaveOwnAddress = v == 0 ? 1 : v; }
    TMBBaud MBBaud() const;
    void setMBBaud(TMBBaud v);
    quint8 MBSlaveID() const { return m_MBSlaveID; }
    void setMBSlaveID(quint8 v) { m_MBSlaveID = v; }
    QString MBSlaveName() const { return m_MBSlaveName; }
    void setMBSlaveName(const QString &v) { m_MBSlaveName = v; }
    QString MBLastUsedPort() const { return m_MBLastUsedPort; }
    void setMBLastUsedPort(const QString &v) { m_MBLastUsedPort = v; }
    bool MBMasterQueryMode() const { return m_MBMasterQueryMode; }
    void setMBMasterQueryMode(bool v) { m_MBMasterQueryMode = v; }
    quint8 MBMasterAddressToSlave() const { return m_MBMasterAddressToSlave; }
    void setMBMasterAddressToSlave(quint8 v);
    quint8 MBMasterIDToSlave() const { return m_MBMasterIDToSlave; }
    void setMBMasterIDToSlave(quint8 v) { m_MBMasterIDToSlave = v; }
    quint8 MBMasterCommandToSlave() const { return m_MBMasterCommandToSlave; }
    void setMBMasterCommandToSlave(quint8 v) { m_MBMasterCommandToSlave = v; }
    quint8 MBSlaveErrorCode() const { return m_MBSlaveErrorCode; }
    void setMBSlaveErrorCode(quint8 v) { m_MBSlaveErrorCode = v; }
    quint16 MBMBTXDataBufferIndex() const { return m_MBMBTXDataBufferIndex; }
    void setMBMBTXDataBufferIndex(quint16 v);
    quint16 MBMBRXDataBufferIndex() const { return m_MBMBRXDataBufferIndex; }
    void setMBMBRXDataBufferIndex(quint16 v);
    quint16 MBReceivedDataNumber() const { return m_MBReceivedDataNumber; }
    quint16 MBDataNumberToSend() const { return m_MBDataNumberToSend; }
    void setMBDataNumberToSend(quint16 v);
    TMBStatus MBStatus() const { return m_MBStatus; }
    QString MBStatusString() const { return m_MBStatusString; }
    quint8 MBMasterTryNumber() const { return m_MBMasterTryNumber; }
    quint8 MBMasterTryNumberMax() const { return m_MBMasterTryNumberMax; }
    quint32 MBNumberOfTxFrames() const { return m_MBNumberOfTxFrames; }
    quint32 MBNumberOfRxFrames() const { return m_MBNumberOfRxFrames; }
    quint16 MBMasterTimeOut() const { return m_MBMasterTimeOut; }
    void setMBMasterTimeOut(quint16 v) { m_MBMasterTimeOut = v; }
    quint8 MBMasterMaxTryNumber() const { return m_MBMasterMaxTryNumber; }
    void setMBMasterMaxTryNumber(quint8 v);
    quint16 MBSlaveDelayTime() const { return m_MBSlaveDelayTime; }
    void setMBSlaveDelayTime(quint16 v) { m_MBSlaveDelayTime = v; }
    TMBStatusNow MBStatusNow() const { return m_MBStatusNow; }
    quint16 MBReminder() const { return m_MBReminder; }
    void setMBReminder(quint16 v) { m_MBReminder = v; }
    bool MBBusy() const { return m_MBBusy; }
    quint16 MBNumberOfReceivedBytes() const { return m_MBNumberOfReceivedBytes; }
    QString MBStatusNowString() const { return m_MBStatusNowString; }
    bool MBRxBufferFull() const { return m_MBRxBufferFull; }
    quint16 MBCalculatedTimeOfSending() const { return m_MBCalculatedTimeOfSending; }
    bool MBPortOpen() const { return m_MBPortOpen; }
    bool MBRefreshListOnStartup() const { return m_MBRefreshListOnStartup; }
    void setMBRefreshListOnStartup(bool v) { m_MBRefreshListOnStartup = v; }
    quint8 MBStopByteInStringMode() const { return m_MBStopByteInStringMode; }
    void setMBStopByteInStringMode(quint8 v) { m_MBStopByteInStringMode = v; }
    bool MBThereWasOpenEvent() const { return m_MBThereWasOpenEvent; }
    void setMBThereWasOpenEvent(bool v) { m_MBThereWasOpenEvent = v; }
    quint32 MBSpeed() const { return m_MBSpeed; }
    quint32 MBSpeedMax() const { return m_MBSpeedMax; }
    bool MBBaudEditVisible() const { return m_MBBaudEditVisible; }
    void setMBBaudEditVisible(bool v);
    quint16 MBASCIISlaveTimeOut() const { return m_MBASCIISlaveTimeOut; }
    void setMBASCIISlaveTimeOut(quint16 v) { m_MBASCIISlaveTimeOut = v; }

    // ---- published events ---------------------------------------------------
    TMasterEvent OnMBMasterEndOfEvent;
    TPortOpenedOrClosed OnMBPortOpenedOrClosed;
    TStatusNowChanged OnMBStatusNowChanged;
    TOnMBBusyChanged OnMBBusyChanged;
    TOnMBDiagnosticReceivedAFrame OnMBDiagnosticReceivedAFrame;
    TOnMBSlaveReceivedCommand OnMBSlaveReceivedCommand;
    TOnMBReceivedAByte OnMBReceivedAByte;
    TOnMBReceivedAString OnMBReceivedAString;
    TOnMBUserTimeOut OnMBUserTimeOut;
    TOnMBASCIISlaveTimeOut OnMBASCIISlaveTimeOut;

    // Optional line hooks (not published; the application assigns none).
    TLineHook OnCTSChange;
    TLineHook OnDSRChange;
    TLineHook OnRingChange;
    TLineHook OnRLSDChange;
    TComponentHook OnLineError;
    TComponentHook OnPortOpened;
    TComponentHook OnPortClosed;

    // ---- public operations --------------------------------------------------
    void MBClearTxData();
    void MBPutByte(quint8 value);
    void MBPutWord(quint16 value);
    void MBPutSmallInt(qint16 value);
    void MBPutDWord(quint32 value);
    void MBPutBoolean(bool value);
    void MBPutString(const QByteArray &text);
    quint8 MBGetByte();
    quint16 MBGetWord();
    qint16 MBGetSmallInt();
    quint32 MBGetDWord();
    bool MBGetBoolean();

    void MBMasterStart(quint16 delay);
    void MBOpenPort();
    void MBClosePort();

    // ---- helpers shared with the panel, the tests and the application --------
    static quint16 MBCrc16(const quint8 *bytes, qsizetype count);
    static quint32 BaudRateOf(TMBBaud baud); // 75 .. 921600
    static QString VersionText();            // "v2016.10.11."
    static QString ModeText(TMBMode mode);   // "ASCII Master " ...
    static QString StatusText(TMBStatus status, quint8 code);
    static QString StatusNowText(TMBStatusNow state);
    static QColor FaceColor();
    static QColor StatusColor(TMBStatus status);

    // Where the link comes from. The default makes the POSIX serial link;
    // tests install a factory that returns a fake.
    using TLinkFactory = std::function<std::unique_ptr<TMBLink>()>;
    void SetLinkFactory(TLinkFactory factory) { m_linkFactory = std::move(factory); }
    TMBLink *Link() const { return m_link.get(); }
    bool LinkOpen() const { return m_LinkOpen; }

    // Makes every component timer manual (tests fire them directly).
    void SetManualTimers(bool manual);

    // Payload and frame areas, readable for tests and the panel.
    const std::array<quint8, FrameAreaSize> &TXDataBuffer() const { return m_TXDataBuffer; }
    const std::array<quint8, FrameAreaSize> &RXDataBuffer() const { return m_RXDataBuffer; }
    const std::array<quint8, RxBufferSize> &RxBuffer() const { return m_RxBuffer; }
    int PayloadOffset() const { return m_PayloadOffset; }
    QString CounterUnit() const { return m_CounterUnit; }
    QString SpeedUnit() const { return m_SpeedUnit; }

    // The component's timers (one-shots that disable themselves, except SpeedTimer).
    TMBTimer StartTimer;
    TMBTimer AnswerTimer;
    TMBTimer TxLampTimer;
    TMBTimer RxLampTimer;
    TMBTimer SpeedTimer;
    TMBTimer UserTimer;

    // ---- status model ---------------------------------------------------------
    void SetMBStatus(TMBStatus status, quint8 code = 0);
    void SetMBStatusNow(TMBStatusNow state);
    void SetMBBusy(bool value);

    // ---- frame codec ----------------------------------------------------------
    void MBSendFrame();
    void MBSendHexPair(quint8 byte);
    enum TNibblePosition { npFirst = mbcore::npFirst, npMiddle = mbcore::npMiddle, npLast = mbcore::npLast };
    void MBSendNibblePair(quint8 byte, TNibblePosition position);
    void MBSendRawByte(quint8 byte);
    void SendNow(const char *chars, int count);
    // Writes to the link while LinkOpen; false when the link refused (line gone).
    bool WriteToPort(const QByteArray &bytes);

    // ---- receive machinery -------------------------------------------------------
    void HandleRxData(quint32 count);
    void DecodeRxChunk(const QByteArray &chunk);
    inline void AppendRxByte(quint8 b);
    void ResetReceiver();
    void CopyRxFrame();
    bool FrameCheckOK() const;

    // ---- link, open/close sequence, port list ------------------------------------
    void OpenLink();  // throws EComError
    void CloseLink();
    void OpenButtonClick();
    void RefreshPortList();
    void SelectPort();
    void DispatchLineEvent(quint32 mask, quint32 modemStatus);
    // The reason the last probe could not list a device (empty when none).
    QString ProbeHint() const { return m_probeHint; }
    // Text of the last failed open ("TMB : cannot open ..."), kept for the user.
    QString LastOpenError() const { return m_lastOpenError; }

    // ---- master cycle -------------------------------------------------------------
    void MBStartTransaction();
    void MBMasterRetry();
    // Estimated line time of a query with the given payload, in ms (held at 65535).
    static quint16 SendingTimeEstimate(quint16 payloadBytes, quint32 baud);
    // True while a master transaction waits for its answer.
    bool AwaitingAnswer() const { return m_awaitingAnswer; }

    // ---- slave modes ---------------------------------------------------------------
    void SendSlaveAnswer();

    // ---- panel display routines (no-ops without a window system) ----------------
    void FlashTxLamp();
    void FlashRxLamp();
    void ShowTxCount();
    void ShowRxCount(quint16 length);
    void ShowTry(quint8 n);
    void ShowTraffic(quint8 address, quint8 command);
    void PushHistory();
    void ClearHistory();
    void ResetPanelState();
    void UpdateView();
    void ShowBaudRate();
    void ShowStatusLine();
    void ShowRxId(const QString &text); // "000"-formatted ID or "---"
    void ShowTxId(quint8 id);
    void StartUp();
    bool StartUpPending() const { return m_startUpPending; }

    // ---- traffic counters and speed -------------------------------------------------
    void ShowCounters();
    void CountSpeedEvent();
    void RestartSpeedWindow();
    void ResetSpeedRange();
    void ShowSpeed();
    void SampleSpeed();
    void DrawChart();
    void ClearChart(QImage &image);
    void ClearAllCounters();
    QString FormatSpeed(quint32 value) const;
    const std::array<qint32, 100> &SpeedSamples() const { return m_SpeedSamples; }
    quint32 SpeedMin() const { return m_SpeedMin; }

    // ---- panel controls, in creation order (children of the group box) -------
    QLabel *TxIdLabel = nullptr;
    QLabel *RxIdLabel = nullptr;
    QLabel *TxLamp = nullptr;
    QLabel *RxLamp = nullptr;
    QLabel *SpeedLabel = nullptr;
    QListWidget *PortList = nullptr;
    QFrame *OpenFrame = nullptr;
    QPushButton *RefreshButton = nullptr;
    QPushButton *OpenButton = nullptr;
    QComboBox *BaudCombo = nullptr;
    QLabel *BaudLabel = nullptr;
    QLabel *TryLabel = nullptr;
    QLabel *TxFramesLabel = nullptr;
    QLabel *RxFramesLabel = nullptr;
    QLabel *StatusLine = nullptr;
    QLabel *HistoryLabel = nullptr;
    QFrame *OpenViewPanel = nullptr;
    QLabel *PortLabel = nullptr;
    QLabel *TrafficLabel = nullptr;
    QLabel *TxCountLabel = nullptr;
    QLabel *RxCountLabel = nullptr;
    QPushButton *ClearButton = nullptr;
    QLabel *ChartImage = nullptr;  // shows ChartImagePixels
    QImage ChartBufferPixels;      // off-screen drawing surface
    QImage ChartImagePixels;       // what ChartImage shows

private:
    void CreatePanel();
    void CloseSteps();
    void SetOpenFrameColor(const QColor &color);
    void ResetLamp(bool tx);
    void SelectBaudInCombo();
    void ApplyTryVisibility();
    void StartTimerExpired();
    void AnswerTimerExpired();
    void SpeedTimerTick();
    void UserTimerExpired();
    void LinkHungUp();
    void PutFixed(quint64 value, int width);
    quint64 GetFixed(int width);
    void SendFailed();
    void RaiseMasterEnd();

    // receivers per mode
    void DecodeBinaryMaster(quint8 c);
    void DecodeAsciiMaster(quint8 c);
    void DecodeBinarySlave(quint8 c);
    void DecodeAsciiSlave(quint8 c);
    void DecodeDiagnostic(quint8 c);
    void DecodeByteChunk(const QByteArray &chunk);
    void DecodeStringChar(quint8 c);
    // framing steps shared by the receivers
    static int HexDigitValue(quint8 c);
    inline bool AsciiDigitCompletesByte(int digit, quint8 &value);
    inline bool BinaryCharCompletesByte(quint8 c, quint8 &value);
    void StartBinaryFrame(quint8 first);
    bool BinaryFrameCompleted(quint8 c, quint8 value);
    void AcceptBinarySlaveRequest();
    void AcceptAsciiSlaveRequest();
    void AnswerOrDelay();

    // ---- property storage ---------------------------------------------------------
    QString m_Port = QStringLiteral("ttyS0");
    quint32 m_WinQSizeIn = 8192;
    quint32 m_WinQSizeOut = 8192;
    TMBMode m_MBMode = modeASCIIMaster;
    quint8 m_MBSlaveOwnAddress = 1;
    quint32 m_baudRate = 115200;
    quint8 m_MBSlaveID = 0;
    QString m_MBSlaveName = QStringLiteral("MB Slave");
    QString m_MBLastUsedPort;
    bool m_MBMasterQueryMode = false;
    quint8 m_MBMasterAddressToSlave = 1;
    quint8 m_MBMasterIDToSlave = 0;
    quint8 m_MBMasterCommandToSlave = 0;
    quint8 m_MBSlaveErrorCode = 0;
    quint16 m_MBMBTXDataBufferIndex = 1;
    quint16 m_MBMBRXDataBufferIndex = 1;
    quint16 m_MBReceivedDataNumber = 0;
    quint16 m_MBDataNumberToSend = 0;
    TMBStatus m_MBStatus = stOK;
    QString m_MBStatusString = QStringLiteral("OK");
    quint8 m_MBMasterTryNumber = 0;
    quint8 m_MBMasterTryNumberMax = 0;
    quint32 m_MBNumberOfTxFrames = 0;
    quint32 m_MBNumberOfRxFrames = 0;
    quint16 m_MBMasterTimeOut = 1000;
    quint8 m_MBMasterMaxTryNumber = 5;
    quint16 m_MBSlaveDelayTime = 0;
    TMBStatusNow m_MBStatusNow = stnPortError;
    quint16 m_MBReminder = 0;
    bool m_MBBusy = true;
    quint16 m_MBNumberOfReceivedBytes = 0;
    QString m_MBStatusNowString = QStringLiteral("Port Error");
    bool m_MBRxBufferFull = false;
    quint16 m_MBCalculatedTimeOfSending = 0;
    bool m_MBPortOpen = false;
    bool m_MBRefreshListOnStartup = true;
    quint8 m_MBStopByteInStringMode = 0;
    bool m_MBThereWasOpenEvent = false;
    quint32 m_MBSpeed = 0;
    quint32 m_MBSpeedMax = 0;
    bool m_MBBaudEditVisible = true;
    quint16 m_MBASCIISlaveTimeOut = 1000;

    // ---- engine state ----------------------------------------------------------------
    int m_PayloadOffset = 3;
    mbcore::TFrameArea m_TXDataBuffer{};
    mbcore::TFrameArea m_RXDataBuffer{};
    std::array<quint8, RxBufferSize> m_RxBuffer{};
    quint32 m_RxLastChar = 0;
    quint32 m_RxLowNibble = 0;
    bool m_AsciiFrameOpen = false;
    bool m_AsciiHighNibbleNext = true;
    bool m_rxOverflowed = false; // the frame being collected lost bytes past the buffer
    bool m_StringReceptionArmed = false;
    bool m_LinkOpen = false;
    // The characters of the frame being written, handed to the link at once.
    QByteArray m_batch;
    bool m_sendFailed = false;

    // master: an answer is accepted only while its transaction waits for one
    bool m_awaitingAnswer = false;

    std::unique_ptr<TMBLink> m_link;
    TLinkFactory m_linkFactory;
    QString m_probeHint;
    QString m_lastOpenError;

    // ---- panel and counter state -------------------------------------------------------
    QString m_CounterUnit;
    QString m_SpeedUnit;
    bool m_TryDisplayEnabled = true;
    bool m_startUpPending = true;
    quint8 m_HistoryAddress = 0;
    quint8 m_HistoryCommand = 0;
    quint16 m_HistoryRepeat = 0;
    quint16 m_SpeedCount = 0;
    quint32 m_SpeedMin = 0;
    std::array<qint32, 100> m_SpeedSamples{};

    // ---- serial link area ----
    // ---- end of serial link area ----

    // ---- master area ----
    void MasterFirstTry();
    bool SendFirstTry(quint32 framesCounted);
    void OneWaySend();
    void EndWithClosedPort();
    // ---- end of master area ----

    // ---- slave area ----
    // ---- end of slave area ----

    // ---- panel area ----
    friend struct TPanelTestPeer; // tests reach the counters and the probe hint
    void BaudComboActivated(int index);
    void RefreshButtonClick();
    void OpenButtonClicked();
    // Shows the probe's hint where a user looking at an empty port list sees it.
    void ShowProbeHint();
    void ApplyStatusLineText();
    // What ShowCounters last wrote, so a burst of receive events formats nothing twice.
    quint64 m_ShownTxFrames = ~quint64(0);
    quint64 m_ShownRxFrames = ~quint64(0);
    QString m_ShownCounterUnit;
    // The status line's own text; a probe hint may stand in for it.
    QString m_StatusLineText = QStringLiteral("Last status: Closed Port");
    // ---- end of panel area ----
};

using TMBMode = TMB::TMBMode;
using TMBStatus = TMB::TMBStatus;
using TMBStatusNow = TMB::TMBStatusNow;
using TMBBaud = TMB::TMBBaud;

// ---- hot receive steps, inline: they run once per character ----------------------------

inline int TMB::HexDigitValue(quint8 c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1; // lower case is not a digit on this line
}

inline void TMB::AppendRxByte(quint8 b)
{
    if (m_MBNumberOfReceivedBytes < RxBufferSize)
        m_RxBuffer[m_MBNumberOfReceivedBytes++] = b;
    else
        m_rxOverflowed = true;
    m_MBRxBufferFull = m_MBNumberOfReceivedBytes >= RxBufferSize;
}

inline bool TMB::AsciiDigitCompletesByte(int digit, quint8 &value)
{
    if (m_AsciiHighNibbleNext) {
        m_RxLastChar = static_cast<quint32>(digit) * 16;
        m_AsciiHighNibbleNext = false;
        return false;
    }
    value = static_cast<quint8>(m_RxLastChar + static_cast<quint32>(digit));
    return true;
}

inline bool TMB::BinaryCharCompletesByte(quint8 c, quint8 &value)
{
    m_RxLastChar = c;
    if (!(c & 0x40)) {
        m_RxLowNibble = c & 0x0F;
        return false;
    }
    value = static_cast<quint8>((c & 0x0F) * 16 + m_RxLowNibble);
    return true;
}
