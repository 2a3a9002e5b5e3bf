// TMB: the communication component as the window sees it. A fixed-size group
// box with the published properties and events, its own small status panel,
// and Qt timers; the engine inside (payload buffers, frames, master cycle,
// receivers, slave modes, status model, counters) is the portable core's
// mbcore::TMBEngine, which this class owns and draws.
//
// Everything runs on the GUI thread: the link waits on the port in the GUI
// thread's own event loop.
#pragma once

#include "MBEngine.h"

#include <QByteArray>
#include <QColor>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QImage>
#include <QRegion>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QPushButton;
class QTimer;
namespace PortProbe {
struct TProbeResult;
}

class TMB : public QGroupBox, private mbcore::TMBView
{
    Q_OBJECT

    // Declared first: the event members below refer into it.
    std::unique_ptr<mbcore::TMBEngine> m_engine;

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
    using TLineTap = std::function<void(bool tx, const uint8_t *bytes, std::size_t count)>;

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

    // ---- property accessors (the engine keeps the values) -------------------------
    QString Port() const { return Q(m_engine->Port()); }
    void setPort(const QString &v) { m_engine->setPort(v.toStdString()); }
    quint32 WinQSizeIn() const { return m_engine->WinQSizeIn(); }
    void setWinQSizeIn(quint32 v) { m_engine->setWinQSizeIn(v); }
    quint32 WinQSizeOut() const { return m_engine->WinQSizeOut(); }
    void setWinQSizeOut(quint32 v) { m_engine->setWinQSizeOut(v); }
    TMBMode MBMode() const { return static_cast<TMBMode>(m_engine->MBMode()); }
    void setMBMode(TMBMode m) { m_engine->setMBMode(static_cast<mbcore::TMBMode>(m)); }
    quint8 MBSlaveOwnAddress() const { return m_engine->MBSlaveOwnAddress(); }
    void setMBSlaveOwnAddress(quint8 v) { m_engine->setMBSlaveOwnAddress(v); }
    TMBBaud MBBaud() const { return static_cast<TMBBaud>(m_engine->MBBaud()); }
    void setMBBaud(TMBBaud v) { m_engine->setMBBaud(static_cast<mbcore::TMBBaud>(v)); }
    quint8 MBSlaveID() const { return m_engine->MBSlaveID(); }
    void setMBSlaveID(quint8 v) { m_engine->setMBSlaveID(v); }
    QString MBSlaveName() const { return Q(m_engine->MBSlaveName()); }
    void setMBSlaveName(const QString &v) { m_engine->setMBSlaveName(v.toStdString()); }
    QString MBLastUsedPort() const { return Q(m_engine->MBLastUsedPort()); }
    void setMBLastUsedPort(const QString &v) { m_engine->setMBLastUsedPort(v.toStdString()); }
    bool MBMasterQueryMode() const { return m_engine->MBMasterQueryMode(); }
    void setMBMasterQueryMode(bool v) { m_engine->setMBMasterQueryMode(v); }
    quint8 MBMasterAddressToSlave() const { return m_engine->MBMasterAddressToSlave(); }
    void setMBMasterAddressToSlave(quint8 v) { m_engine->setMBMasterAddressToSlave(v); }
    quint8 MBMasterIDToSlave() const { return m_engine->MBMasterIDToSlave(); }
    void setMBMasterIDToSlave(quint8 v) { m_engine->setMBMasterIDToSlave(v); }
    quint8 MBMasterCommandToSlave() const { return m_engine->MBMasterCommandToSlave(); }
    void setMBMasterCommandToSlave(quint8 v) { m_engine->setMBMasterCommandToSlave(v); }
    quint8 MBSlaveErrorCode() const { return m_engine->MBSlaveErrorCode(); }
    void setMBSlaveErrorCode(quint8 v) { m_engine->setMBSlaveErrorCode(v); }
    quint16 MBMBTXDataBufferIndex() const { return m_engine->MBMBTXDataBufferIndex(); }
    void setMBMBTXDataBufferIndex(quint16 v) { m_engine->setMBMBTXDataBufferIndex(v); }
    quint16 MBMBRXDataBufferIndex() const { return m_engine->MBMBRXDataBufferIndex(); }
    void setMBMBRXDataBufferIndex(quint16 v) { m_engine->setMBMBRXDataBufferIndex(v); }
    quint16 MBReceivedDataNumber() const { return m_engine->MBReceivedDataNumber(); }
    quint16 MBDataNumberToSend() const { return m_engine->MBDataNumberToSend(); }
    void setMBDataNumberToSend(quint16 v) { m_engine->setMBDataNumberToSend(v); }
    TMBStatus MBStatus() const { return static_cast<TMBStatus>(m_engine->MBStatus()); }
    QString MBStatusString() const { return Q(m_engine->MBStatusString()); }
    quint8 MBMasterTryNumber() const { return m_engine->MBMasterTryNumber(); }
    quint8 MBMasterTryNumberMax() const { return m_engine->MBMasterTryNumberMax(); }
    quint32 MBNumberOfTxFrames() const { return m_engine->MBNumberOfTxFrames(); }
    quint32 MBNumberOfRxFrames() const { return m_engine->MBNumberOfRxFrames(); }
    quint16 MBMasterTimeOut() const { return m_engine->MBMasterTimeOut(); }
    void setMBMasterTimeOut(quint16 v) { m_engine->setMBMasterTimeOut(v); }
    quint8 MBMasterMaxTryNumber() const { return m_engine->MBMasterMaxTryNumber(); }
    void setMBMasterMaxTryNumber(quint8 v) { m_engine->setMBMasterMaxTryNumber(v); }
    quint16 MBSlaveDelayTime() const { return m_engine->MBSlaveDelayTime(); }
    void setMBSlaveDelayTime(quint16 v) { m_engine->setMBSlaveDelayTime(v); }
    TMBStatusNow MBStatusNow() const { return static_cast<TMBStatusNow>(m_engine->MBStatusNow()); }
    quint16 MBReminder() const { return m_engine->MBReminder(); }
    void setMBReminder(quint16 v) { m_engine->setMBReminder(v); }
    bool MBBusy() const { return m_engine->MBBusy(); }
    quint16 MBNumberOfReceivedBytes() const { return m_engine->MBNumberOfReceivedBytes(); }
    QString MBStatusNowString() const { return Q(m_engine->MBStatusNowString()); }
    bool MBRxBufferFull() const { return m_engine->MBRxBufferFull(); }
    quint16 MBCalculatedTimeOfSending() const { return m_engine->MBCalculatedTimeOfSending(); }
    bool MBPortOpen() const { return m_engine->MBPortOpen(); }
    bool MBRefreshListOnStartup() const { return m_engine->MBRefreshListOnStartup(); }
    void setMBRefreshListOnStartup(bool v) { m_engine->setMBRefreshListOnStartup(v); }
    quint8 MBStopByteInStringMode() const { return m_engine->MBStopByteInStringMode(); }
    void setMBStopByteInStringMode(quint8 v) { m_engine->setMBStopByteInStringMode(v); }
    bool MBThereWasOpenEvent() const { return m_engine->MBThereWasOpenEvent(); }
    void setMBThereWasOpenEvent(bool v) { m_engine->setMBThereWasOpenEvent(v); }
    quint32 MBSpeed() const { return m_engine->MBSpeed(); }
    quint32 MBSpeedMax() const { return m_engine->MBSpeedMax(); }
    bool MBBaudEditVisible() const { return m_engine->MBBaudEditVisible(); }
    void setMBBaudEditVisible(bool v) { m_engine->setMBBaudEditVisible(v); }
    quint16 MBASCIISlaveTimeOut() const { return m_engine->MBASCIISlaveTimeOut(); }
    void setMBASCIISlaveTimeOut(quint16 v) { m_engine->setMBASCIISlaveTimeOut(v); }

    // ---- published events ---------------------------------------------------
    // Those whose parameters need no conversion are the engine's own.
    TMasterEvent OnMBMasterEndOfEvent;
    TPortOpenedOrClosed &OnMBPortOpenedOrClosed;
    TStatusNowChanged OnMBStatusNowChanged;
    TOnMBBusyChanged &OnMBBusyChanged;
    TOnMBDiagnosticReceivedAFrame &OnMBDiagnosticReceivedAFrame;
    TOnMBSlaveReceivedCommand &OnMBSlaveReceivedCommand;
    TOnMBReceivedAByte &OnMBReceivedAByte;
    TOnMBReceivedAString OnMBReceivedAString;
    TOnMBUserTimeOut &OnMBUserTimeOut;
    TOnMBASCIISlaveTimeOut &OnMBASCIISlaveTimeOut;

    // Optional line hooks (not published; the application assigns none).
    TLineHook &OnCTSChange;
    TLineHook &OnDSRChange;
    TLineHook &OnRingChange;
    TLineHook &OnRLSDChange;
    TComponentHook OnLineError;
    TComponentHook OnPortOpened;
    TComponentHook OnPortClosed;
    // Every character that crosses the open link (tx: written), received ones
    // before the receiver decodes them: a line monitor's feed.
    TLineTap &OnLineTap;

    // ---- public operations --------------------------------------------------
    void MBClearTxData() { m_engine->MBClearTxData(); }
    void MBPutByte(quint8 value) { m_engine->MBPutByte(value); }
    void MBPutWord(quint16 value) { m_engine->MBPutWord(value); }
    void MBPutSmallInt(qint16 value) { m_engine->MBPutSmallInt(value); }
    void MBPutDWord(quint32 value) { m_engine->MBPutDWord(value); }
    void MBPutBoolean(bool value) { m_engine->MBPutBoolean(value); }
    void MBPutString(const QByteArray &text) { m_engine->MBPutString({text.constData(), size_t(text.size())}); }
    quint8 MBGetByte() { return m_engine->MBGetByte(); }
    quint16 MBGetWord() { return m_engine->MBGetWord(); }
    qint16 MBGetSmallInt() { return m_engine->MBGetSmallInt(); }
    quint32 MBGetDWord() { return m_engine->MBGetDWord(); }
    bool MBGetBoolean() { return m_engine->MBGetBoolean(); }

    void MBMasterStart(quint16 delay) { m_engine->MBMasterStart(delay); }
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
    static quint16 SendingTimeEstimate(quint16 payloadBytes, quint32 baud);

    // Where the link comes from. The default makes the POSIX serial link;
    // tests install a factory that returns a fake.
    using TLinkFactory = mbcore::TMBEngine::TLinkFactory;
    void SetLinkFactory(TLinkFactory factory) { m_engine->SetLinkFactory(std::move(factory)); }
    // Makes every component timer manual (tests fire them through the test peer).
    void SetManualTimers(bool manual);
    // Text of the last failed open ("TMB : cannot open ..."), kept for the user.
    QString LastOpenError() const { return Q(m_engine->LastOpenError()); }
    // The reason the last probe could not list a device (empty when none).
    QString ProbeHint() const { return m_probeHint; }
    void RefreshPortList();

    // ---- not published: coming back after a hang-up ---------------------------
    // With it on, a port that hangs up under the user (not one they close) is
    // looked for again once a second for a minute, or until they press any
    // button of the panel: the same adapter under any name (its identity as
    // the probe tells it, else the same name). When it returns it is opened
    // again. Off unless the application turns it on.
    void SetReconnectOnHangUp(bool on);
    bool Reconnecting() const;
    QString ReconnectingText() const; // what is awaited, for a tooltip or the window
    // The identity of the adapter behind the port opened last (empty when the
    // probe knows none: a built-in port, a port on Windows).
    QString PortIdentity() const;
    // The adapter the port list selects after a probe, ahead of the last used name.
    void SetPreferredIdentity(const QString &identity);
    std::function<void(bool reconnecting)> OnReconnectingChanged;
    static constexpr int ReconnectWindowMs = 60000;
    static constexpr int ReconnectIntervalMs = 1000;

    // Counters, speed range, history, chart and try display back to zero (the "C" button).
    void ClearAllCounters();

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

protected:
    // The panel's face (MBFace.cpp): drawn from the pixels under its children.
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    friend struct TMBTestPeer;
    static QString Q(const std::string &utf8) { return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())); }

    void CreatePanel();
    QImage RenderFace(const QImage &like);
    void CheckFace();
    void ForgetFace();
    void RefreshPortList(bool busyCursor);
    QString PortKeyOf(const QString &name) const; // identity, or "name " + name
    // The list's row of the adapter with this key, found in the last probe; -1 if absent.
    int FindPort(const QString &key) const;
    void StartReconnecting();
    void StopReconnecting();
    void ReconnectTick();
    void SelectPort();
    void RefreshButtonClick();
    void OpenButtonClicked();
    void BaudComboActivated(int index);
    void SetOpenFrameColor(const QColor &color);
    void ResetLamp(bool tx);
    void LampOutWithThisChange(bool tx);
    static qint64 SteadyMs();
    void ApplyTryVisibility();
    void ShowProbeHint();
    void ApplyStatusLineText();
    void RetranslatePanel(); // the panel's texts in the language now installed
    static QString BaudRateText(int index);
    void DrawChart();
    void ClearChart(QImage &image);
    QString FormatSpeed(quint32 value) const;

    // ---- the engine's view (display routines) ----
    void FlashTxLamp() override;
    void FlashRxLamp() override;
    void TxLampOff() override;
    void CharactersCame() override;
    void ShowTxCount() override;
    void ShowRxCount(uint16_t length) override;
    void ShowTry(uint8_t n) override;
    void ShowTraffic() override;
    void ShowCounters() override;
    void ShowSpeed() override;
    void SampleTaken() override;
    void ClearSpeedChart() override;
    void ShowStatusLine() override;
    void ShowRxId(const std::string &text) override;
    void ShowTxId(uint8_t id) override;
    void ShowMode(mbcore::TMBMode mode) override;
    void ShowBaudRate() override;
    void UpdateView() override;
    void ResetPanelState() override;
    void Opening() override;
    void OpenFailed() override;
    void Opened() override;
    void Closing() override;
    void Closed() override;
    void PortVanished() override;
    void StartUpPanel() override;
    void StartUpDone() override;

    mbcore::TTimer TxLampTimer;
    mbcore::TTimer RxLampTimer;
    qint64 m_txLitAtMs = 0, m_rxLitAtMs = 0; // when each lamp last lit (SteadyMs)
    QString m_probeHint;
    std::shared_ptr<const PortProbe::TProbeResult> m_probe; // what the list shows, but the open port
    QString m_portKey;           // who the port opened last is
    QString m_preferredIdentity;
    QString m_lostPort;
    bool m_reconnectOnHangUp = false;
    QTimer *m_reconnectTimer = nullptr; // made on the first hang-up
    QDeadlineTimer m_reconnectUntil;
    std::array<qint32, 100> m_SpeedSamples{};
    // What ShowCounters last wrote, so a burst of receive events formats nothing twice.
    quint64 m_ShownTxFrames = ~quint64(0);
    quint64 m_ShownRxFrames = ~quint64(0);
    QString m_ShownCounterUnit;
    // What lies under the children: the pages' and the group box's own
    // painting (MBFace.cpp), and what the normal painting showed to check it.
    QImage m_face;
    QString m_faceTitle; // what the face was drawn for
    bool m_faceFocus = false;
    QImage m_shown;
    QRegion m_shownRegion;
    bool m_renderingFace = false;
    bool m_faceRefused = false;
    // The status line's own text; a probe hint may stand in for it.
    QString m_ShownStatus = QStringLiteral("Closed Port"); // the engine's words, after "Last status:"
};

using TMBMode = TMB::TMBMode;
using TMBStatus = TMB::TMBStatus;
using TMBStatusNow = TMB::TMBStatusNow;
using TMBBaud = TMB::TMBBaud;
