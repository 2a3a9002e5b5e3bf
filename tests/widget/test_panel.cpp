// The component's panel: controls, start-up, views, lamps, try display,
// traffic history, status line, baud display and the probe hint.
#include "PanelTestPeer.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFontInfo>
#include <QFrame>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const QColor kOrange(249, 124, 0);
const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);

enum class FontKind { Default, Arial, Courier };

struct ControlRow {
    const char *name;
    std::function<QWidget *(TMB &)> get;
    bool inOpenView;
    QRect geometry; // width 0: sized to its text
    FontKind font;
    Qt::Alignment align; // horizontal alignment of a label
    const char *text;
    bool hidden;
    const char *hint;
};

const std::vector<ControlRow> &ControlTable()
{
    const auto L = Qt::AlignLeft, R = Qt::AlignRight, C = Qt::AlignHCenter;
    using F = FontKind;
    static const std::vector<ControlRow> rows = {
        {"TxIdLabel", [](TMB &m) { return m.TxIdLabel; }, false, {12, 13, 28, 13}, F::Courier, L, "---", false, ""},
        {"RxIdLabel", [](TMB &m) { return m.RxIdLabel; }, false, {12, 26, 28, 13}, F::Courier, L, "---", false, ""},
        {"TxLamp", [](TMB &m) { return m.TxLamp; }, false, {4, 13, 8, 13}, F::Courier, L, "T", false, ""},
        {"RxLamp", [](TMB &m) { return m.RxLamp; }, false, {4, 26, 8, 13}, F::Courier, L, "R", false, ""},
        {"SpeedLabel", [](TMB &m) { return m.SpeedLabel; }, false, {5, 40, 0, 0}, F::Default, L, "0", false, ""},
        {"PortList", [](TMB &m) { return m.PortList; }, false, {5, 56, 88, 44}, F::Arial, {}, nullptr, false, ""},
        {"OpenFrame", [](TMB &m) { return m.OpenFrame; }, false, {97, 56, 55, 21}, F::Default, {}, nullptr, false, ""},
        {"RefreshButton", [](TMB &m) { return m.RefreshButton; }, false, {97, 81, 28, 19}, F::Default, {}, "Ref",
         false, "Refresh list"},
        {"OpenButton", [](TMB &m) { return m.OpenButton; }, false, {99, 58, 51, 17}, F::Default, {}, "Open", false,
         ""},
        {"BaudCombo", [](TMB &m) { return m.BaudCombo; }, false, {5, 119, 144, 25}, F::Default, {}, nullptr, true, ""},
        {"BaudLabel", [](TMB &m) { return m.BaudLabel; }, false, {5, 115, 143, 15}, F::Default, C, "", true, ""},
        {"TryLabel", [](TMB &m) { return m.TryLabel; }, false, {131, 40, 24, 13}, F::Courier, L, "", true, ""},
        {"TxFramesLabel", [](TMB &m) { return m.TxFramesLabel; }, false, {68, 13, 85, 13}, F::Arial, R, "0 F", false,
         ""},
        {"RxFramesLabel", [](TMB &m) { return m.RxFramesLabel; }, false, {68, 26, 85, 13}, F::Arial, R, "0 F", false,
         ""},
        {"StatusLine", [](TMB &m) { return m.StatusLine; }, false, {2, 103, 149, 13}, F::Arial, C,
         "Last status: Closed Port", false, ""},
        {"HistoryLabel", [](TMB &m) { return m.HistoryLabel; }, false, {6, 129, 145, 13}, F::Arial, R, "", false, ""},
        {"OpenViewPanel", [](TMB &m) { return m.OpenViewPanel; }, false, {5, 56, 88, 44}, F::Arial, {}, nullptr,
         true, ""},
        {"PortLabel", [](TMB &m) { return m.PortLabel; }, true, {2, 0, 84, 13}, F::Arial, C, "", false, ""},
        {"TrafficLabel", [](TMB &m) { return m.TrafficLabel; }, true, {2, 11, 84, 13}, F::Arial, C, "", false, ""},
        {"TxCountLabel", [](TMB &m) { return m.TxCountLabel; }, false, {43, 13, 21, 13}, F::Courier, R, "0", false,
         ""},
        {"RxCountLabel", [](TMB &m) { return m.RxCountLabel; }, false, {43, 26, 21, 13}, F::Courier, R, "0", false,
         ""},
        {"ClearButton", [](TMB &m) { return m.ClearButton; }, false, {128, 81, 23, 19}, F::Default, {}, "C", false,
         "Clear all counters"},
        {"ChartImage", [](TMB &m) { return m.ChartImage; }, true, {1, 24, 86, 19}, F::Default, {}, nullptr, false, ""},
    };
    return rows;
}

QString Text(QWidget *w)
{
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *b = qobject_cast<QPushButton *>(w))
        return b->text();
    return QString();
}

TEST(PanelControls, EveryControlAsDesigned)
{
    TMB mb;
    const QFont groupFont = mb.font();
    EXPECT_EQ(groupFont.pixelSize(), 11); // 8 point at 96 dpi
    for (const ControlRow &row : ControlTable()) {
        SCOPED_TRACE(row.name);
        QWidget *w = row.get(mb);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget(), row.inOpenView ? static_cast<QWidget *>(mb.OpenViewPanel) : &mb);
        if (row.geometry.width() > 0) {
            EXPECT_EQ(w->geometry(), row.geometry);
        } else {
            EXPECT_EQ(w->pos(), row.geometry.topLeft());
        }
        switch (row.font) {
        case FontKind::Courier:
            EXPECT_EQ(w->font().family(), QStringLiteral("Courier New"));
            EXPECT_TRUE(QFontInfo(w->font()).fixedPitch());
            break;
        case FontKind::Arial:
            EXPECT_EQ(w->font().family(), QStringLiteral("Arial"));
            EXPECT_FALSE(QFontInfo(w->font()).fixedPitch());
            break;
        case FontKind::Default:
            EXPECT_EQ(w->font().family(), groupFont.family());
            break;
        }
        EXPECT_EQ(w->font().pixelSize(), 11);
        if (auto *l = qobject_cast<QLabel *>(w); l && row.text) {
            EXPECT_EQ(l->alignment() & Qt::AlignHorizontal_Mask, row.align);
        }
        if (row.text) {
            EXPECT_EQ(Text(w), QString::fromUtf8(row.text));
        }
        EXPECT_EQ(w->isHidden(), row.hidden);
        EXPECT_EQ(w->toolTip(), QString::fromUtf8(row.hint));
        // Only the lamps and the status line paint their own background.
        const bool opaque = w == mb.TxLamp || w == mb.RxLamp || w == mb.StatusLine || w == mb.OpenFrame;
        EXPECT_EQ(w->autoFillBackground(), opaque);
        if (opaque) {
            EXPECT_EQ(Background(w), TMB::FaceColor());
        }
    }
}

TEST(PanelControls, CreationOrderAndKinds)
{
    TMB mb;
    std::vector<QWidget *> expected;
    for (const ControlRow &row : ControlTable())
        if (!row.inOpenView)
            expected.push_back(row.get(mb));
    std::vector<QWidget *> children;
    for (QObject *o : mb.children())
        if (auto *w = qobject_cast<QWidget *>(o))
            children.push_back(w);
    EXPECT_EQ(children, expected);

    EXPECT_TRUE(mb.OpenButton->isCheckable());
    EXPECT_FALSE(mb.OpenButton->isEnabled());
    EXPECT_TRUE(mb.RefreshButton->isEnabled());
    EXPECT_TRUE(mb.ClearButton->isEnabled());
    EXPECT_FALSE(mb.BaudCombo->isEditable());
    EXPECT_EQ(mb.BaudCombo->count(), 0);
    EXPECT_EQ(mb.PortList->count(), 0);
    EXPECT_EQ(mb.OpenFrame->frameShape(), QFrame::Box);
    EXPECT_EQ(mb.OpenFrame->palette().color(QPalette::WindowText), QColor(Qt::black));
    EXPECT_EQ(mb.OpenViewPanel->frameShape(), QFrame::Panel);
    EXPECT_EQ(mb.OpenViewPanel->frameShadow(), QFrame::Sunken);
    EXPECT_TRUE(TMBTestPeer::Engine(mb).StartUpPending());
    EXPECT_TRUE(Core(mb).SpeedTimer.Enabled());
    EXPECT_FALSE(Core(mb).UserTimer.Enabled());
    EXPECT_FALSE(TMBTestPeer::TxLampTimer(mb).Enabled());
    EXPECT_EQ(TMBTestPeer::TxLampTimer(mb).Interval(), 50);
    EXPECT_EQ(Core(mb).SpeedTimer.Interval(), 1000);
    // The port list shows three 13-pixel rows.
    mb.PortList->addItems({QStringLiteral("ttyS2"), QStringLiteral("ttyS1")});
    EXPECT_EQ(mb.PortList->sizeHintForRow(0), 13);
}

TEST(PanelStartUp, RunsOnTheFirstTickWithTheStoredValues)
{
    TMB mb;
    mb.SetManualTimers(true);
    // Stored values arrive after construction, before the first tick.
    mb.setMBBaud(TMB::baud004800);
    mb.setMBMode(TMB::modeByte);
    mb.setMBBaudEditVisible(false);
    mb.setMBRefreshListOnStartup(false);
    mb.RefreshButton->setEnabled(false);
    EXPECT_EQ(mb.BaudCombo->count(), 0);

    ASSERT_TRUE(Core(mb).SpeedTimer.Fire());
    EXPECT_FALSE(TMBTestPeer::Engine(mb).StartUpPending());
    ASSERT_EQ(mb.BaudCombo->count(), 21);
    EXPECT_EQ(mb.BaudCombo->itemText(0), QStringLiteral("75 baud"));
    EXPECT_EQ(mb.BaudCombo->itemText(9), QStringLiteral("4800 baud"));
    EXPECT_EQ(mb.BaudCombo->itemText(20), QStringLiteral("921600 baud"));
    EXPECT_EQ(mb.BaudCombo->currentIndex(), 9);
    EXPECT_EQ(mb.BaudLabel->text(), QStringLiteral(" 4 800 bits / second"));
    EXPECT_TRUE(mb.BaudCombo->isHidden());
    EXPECT_FALSE(mb.BaudLabel->isHidden());
    EXPECT_TRUE(mb.RefreshButton->font().bold());
    EXPECT_TRUE(mb.RefreshButton->isEnabled());
    EXPECT_EQ(mb.PortList->count(), 0);
    EXPECT_FALSE(mb.OpenButton->isEnabled());
    EXPECT_EQ(mb.title(), QStringLiteral("Byte Mode v2016.10.11."));
    EXPECT_EQ(mb.TxFramesLabel->text(), QStringLiteral("   0  B"));
    EXPECT_EQ(mb.SpeedLabel->text(), QStringLiteral("0 Bytes / sec [0]"));
    EXPECT_EQ(mb.TryLabel->text(), QStringLiteral("0/0"));
    for (qint32 s : TMBTestPeer::SpeedSamples(mb))
        EXPECT_EQ(s, -1);
    EXPECT_TRUE(Core(mb).SpeedTimer.Enabled()); // keeps ticking

    // Later ticks sample the speed; start-up does not run again.
    mb.BaudCombo->clear();
    Core(mb).SpeedTimer.Fire();
    EXPECT_EQ(mb.BaudCombo->count(), 0);
}

TEST(PanelStartUp, BaudSelectorSetsTheRate)
{
    TStartedPanel p;
    TMB &mb = p.mb;
    ASSERT_EQ(mb.BaudCombo->currentIndex(), 16);
    EXPECT_FALSE(mb.BaudCombo->isHidden());
    EXPECT_TRUE(mb.BaudLabel->isHidden());
    QTest::keyClick(mb.BaudCombo, Qt::Key_Down); // the user picks the next rate
    EXPECT_EQ(mb.MBBaud(), TMB::baud128000);
    EXPECT_EQ(mb.BaudLabel->text(), QStringLiteral(" 128 000 bits / second"));
    // Writing the property selects the item.
    mb.setMBBaud(TMB::baud000300);
    EXPECT_EQ(mb.BaudCombo->currentIndex(), 4);
}

struct BaudRow {
    TMB::TMBBaud baud;
    const char *label;
};

TEST(PanelBaudRate, LabelsKeepThePatternsLeadingBlanks)
{
    TMB mb;
    const BaudRow rows[] = {
        {TMB::baud000075, "  75 bits / second"},         {TMB::baud000300, "  300 bits / second"},
        {TMB::baud001200, " 1 200 bits / second"},       {TMB::baud004800, " 4 800 bits / second"},
        {TMB::baud115200, " 115 200 bits / second"},     {TMB::baud921600, " 921 600 bits / second"},
    };
    for (const BaudRow &r : rows) {
        mb.setMBBaud(r.baud);
        EXPECT_EQ(mb.BaudLabel->text(), QString::fromUtf8(r.label));
    }
}

TEST(PanelViews, OpenAndCloseSwitchTheViews)
{
    TStartedPanel p;
    TMB &mb = p.mb;
    p.Open();
    ASSERT_TRUE(mb.MBPortOpen());
    EXPECT_TRUE(mb.PortList->isHidden());
    EXPECT_FALSE(mb.PortList->isEnabled());
    EXPECT_FALSE(mb.OpenViewPanel->isHidden());
    EXPECT_FALSE(mb.RefreshButton->isEnabled());
    EXPECT_TRUE(mb.BaudCombo->isHidden());
    EXPECT_FALSE(mb.BaudLabel->isHidden());
    EXPECT_TRUE(mb.OpenButton->isChecked());
    EXPECT_EQ(mb.OpenButton->text(), QStringLiteral("Close"));
    EXPECT_EQ(Background(mb.OpenFrame), kGreen);
    EXPECT_EQ(mb.PortLabel->text(), QStringLiteral("ttyFAKE0"));
    EXPECT_FALSE(mb.TryLabel->isHidden()); // master mode
    EXPECT_EQ(mb.StatusLine->text(), QStringLiteral("Last status: OK"));

    p.Close();
    EXPECT_FALSE(mb.PortList->isHidden());
    EXPECT_TRUE(mb.PortList->isEnabled());
    EXPECT_TRUE(mb.OpenViewPanel->isHidden());
    EXPECT_TRUE(mb.RefreshButton->isEnabled());
    EXPECT_FALSE(mb.BaudCombo->isHidden());
    EXPECT_TRUE(mb.BaudLabel->isHidden());
    EXPECT_TRUE(mb.TryLabel->isHidden());
    EXPECT_EQ(mb.OpenButton->text(), QStringLiteral("Open"));
    EXPECT_EQ(Background(mb.OpenFrame), TMB::FaceColor());
    EXPECT_EQ(mb.StatusLine->text(), QStringLiteral("Last status: Closed Port"));

    // Without the baud selector the label stands in both views.
    mb.setMBBaudEditVisible(false);
    EXPECT_TRUE(mb.BaudCombo->isHidden());
    EXPECT_FALSE(mb.BaudLabel->isHidden());
    p.Open();
    EXPECT_TRUE(mb.BaudCombo->isHidden());
    EXPECT_FALSE(mb.BaudLabel->isHidden());

    // The try display belongs to the master modes only.
    mb.setMBMode(TMB::modeSlave);
    EXPECT_TRUE(mb.TryLabel->isHidden());
    mb.setMBMode(TMB::modeMaster);
    EXPECT_FALSE(mb.TryLabel->isHidden());
}

TEST(PanelViews, FailedOpenShowsARedFrameUntilTheNextReset)
{
    using Reset = std::function<void(TStartedPanel &)>;
    const std::vector<std::pair<const char *, Reset>> resets = {
        {"clear", [](TStartedPanel &p) { p.mb.ClearAllCounters(); }},
        {"mode change", [](TStartedPanel &p) { p.mb.setMBMode(TMB::modeSlave); }},
        {"open", [](TStartedPanel &p) {
             p.link->failOpen = false;
             p.Open();
         }},
    };
    for (const auto &[name, reset] : resets) {
        SCOPED_TRACE(name);
        TStartedPanel p;
        p.link->failOpen = true;
        p.Open();
        EXPECT_FALSE(p.mb.MBPortOpen());
        EXPECT_EQ(Background(p.mb.OpenFrame), kRed);
        EXPECT_FALSE(p.mb.OpenButton->isChecked());
        EXPECT_EQ(p.mb.StatusLine->text(), QStringLiteral("Last status: Closed Port"));
        Core(p.mb).SpeedTimer.Fire(); // a tick changes nothing
        EXPECT_EQ(Background(p.mb.OpenFrame), kRed);
        reset(p);
        EXPECT_NE(Background(p.mb.OpenFrame), kRed);
    }
}

TEST(PanelLamps, FlashForFiftyMillisecondsAndRestartOnASecondWrite)
{
    TMB mb;
    mb.SetManualTimers(true);
    struct Lamp {
        QLabel *label;
        mbcore::TTimer &timer;
        std::function<void()> flash;
    };
    const Lamp lamps[] = {{mb.TxLamp, TMBTestPeer::TxLampTimer(mb), [&] { TMBTestPeer::View(mb).FlashTxLamp(); }},
                          {mb.RxLamp, TMBTestPeer::RxLampTimer(mb), [&] { TMBTestPeer::View(mb).FlashRxLamp(); }}};
    for (const Lamp &lamp : lamps) {
        SCOPED_TRACE(lamp.label->text().toStdString());
        lamp.timer.SetInterval(7);
        lamp.flash();
        EXPECT_EQ(TMBTestPeer::Lamp(lamp.label), kOrange);
        EXPECT_TRUE(lamp.timer.Enabled());
        EXPECT_EQ(lamp.timer.Interval(), 50);
        lamp.flash();
        EXPECT_EQ(TMBTestPeer::Lamp(lamp.label), kOrange);
        ASSERT_TRUE(lamp.timer.Fire());
        EXPECT_EQ(TMBTestPeer::Lamp(lamp.label), TMB::FaceColor());
        EXPECT_FALSE(lamp.timer.Enabled());
    }
    TMBTestPeer::View(mb).FlashTxLamp();
    TMBTestPeer::View(mb).FlashRxLamp();
    Core(mb).ResetPanelState();
    EXPECT_EQ(TMBTestPeer::Lamp(mb.TxLamp), TMB::FaceColor());
    EXPECT_EQ(TMBTestPeer::Lamp(mb.RxLamp), TMB::FaceColor());
}

// A lamp keeps its two faces instead of laying its letter out at every flash:
// they must be exactly what a label of the same text, font and colour paints.
TEST(PanelLamps, KeptFacesAreWhatALabelPaints)
{
    TMB mb;
    mb.SetManualTimers(true);
    for (QLabel *lamp : {mb.TxLamp, mb.RxLamp}) {
        for (int lit = 0; lit < 2; ++lit) {
            SCOPED_TRACE(lamp->text().toStdString() + (lit ? " lit" : " out"));
            if (lit)
                lamp == mb.TxLamp ? TMBTestPeer::View(mb).FlashTxLamp() : TMBTestPeer::View(mb).FlashRxLamp();
            QLabel plain(lamp->text());
            plain.setGeometry(lamp->geometry());
            plain.setFont(lamp->font());
            plain.setAlignment(lamp->alignment());
            plain.setAutoFillBackground(true);
            QPalette palette = lamp->palette();
            palette.setColor(QPalette::Window, TMBTestPeer::Lamp(lamp));
            plain.setPalette(palette);
            for (int round = 0; round < 2; ++round) // drawn, then kept
                EXPECT_EQ(lamp->grab().toImage(), plain.grab().toImage()) << round;
        }
    }
}

// A lamp nearly through its flash goes out with the next change of the panel
// (the answer's lamp with the next query's), not alone a moment later; one
// lit just now keeps its whole flash.
TEST(PanelLamps, ALampNearlyOutGoesOutWithTheNextFlash)
{
    TMB mb;
    TMBTestPeer::View(mb).FlashRxLamp();
    TMBTestPeer::View(mb).FlashTxLamp();
    EXPECT_EQ(TMBTestPeer::Lamp(mb.RxLamp), kOrange) << "lit just now";
    EXPECT_TRUE(TMBTestPeer::RxLampTimer(mb).Enabled());

    TMBTestPeer::LitAgo(mb, false, 40);
    TMBTestPeer::View(mb).FlashTxLamp();
    EXPECT_EQ(TMBTestPeer::Lamp(mb.RxLamp), TMB::FaceColor());
    EXPECT_FALSE(TMBTestPeer::RxLampTimer(mb).Enabled());
    EXPECT_EQ(TMBTestPeer::Lamp(mb.TxLamp), kOrange);

    TMBTestPeer::LitAgo(mb, true, 40);
    TMBTestPeer::View(mb).FlashRxLamp();
    EXPECT_EQ(TMBTestPeer::Lamp(mb.TxLamp), TMB::FaceColor());
    EXPECT_EQ(TMBTestPeer::Lamp(mb.RxLamp), kOrange);

    // The answer's first characters, before its end flashes the other lamp.
    TMBTestPeer::View(mb).FlashTxLamp();
    TMBTestPeer::View(mb).CharactersCame();
    EXPECT_EQ(TMBTestPeer::Lamp(mb.TxLamp), kOrange) << "lit just now";
    TMBTestPeer::LitAgo(mb, true, 40);
    TMBTestPeer::View(mb).CharactersCame();
    EXPECT_EQ(TMBTestPeer::Lamp(mb.TxLamp), TMB::FaceColor());
    EXPECT_FALSE(TMBTestPeer::TxLampTimer(mb).Enabled());
}

TEST(PanelLamps, RealTimerPutsTheLampOut)
{
    TMB mb;
    TMBTestPeer::View(mb).FlashTxLamp();
    EXPECT_EQ(TMBTestPeer::Lamp(mb.TxLamp), kOrange);
    EXPECT_TRUE(QTest::qWaitFor([&] { return TMBTestPeer::Lamp(mb.TxLamp) == TMB::FaceColor(); }, 5000));
}

TEST(PanelCounts, PayloadLengthsAndTries)
{
    TMB mb;
    const std::pair<quint16, const char *> rows[] = {{0, "0"}, {999, "999"}, {1000, ">1k"}, {8187, ">1k"}};
    for (const auto &[n, text] : rows) {
        mb.setMBDataNumberToSend(n);
        TMBTestPeer::View(mb).ShowTxCount();
        EXPECT_EQ(mb.TxCountLabel->text(), QString::fromUtf8(text));
        TMBTestPeer::View(mb).ShowRxCount(n);
        EXPECT_EQ(mb.RxCountLabel->text(), QString::fromUtf8(text));
    }
    Core(mb).ShowTry(1);
    Core(mb).ShowTry(2);
    Core(mb).ShowTry(3);
    EXPECT_EQ(mb.TryLabel->text(), QStringLiteral("3/3"));
    Core(mb).ShowTry(1); // a new query keeps the highest try seen
    EXPECT_EQ(mb.TryLabel->text(), QStringLiteral("1/3"));
    EXPECT_EQ(mb.MBMasterTryNumberMax(), 3);
    Core(mb).ResetPanelState();
    EXPECT_EQ(mb.TryLabel->text(), QStringLiteral("0/0"));
    EXPECT_EQ(mb.MBMasterTryNumberMax(), 0);
}

TEST(PanelHistory, RepeatsAndEarlierEntries)
{
    TStartedPanel p;
    TMB &mb = p.mb;
    p.Open();
    Core(mb).ShowTraffic(1, 5);
    EXPECT_EQ(mb.TrafficLabel->text(), QStringLiteral("1.5"));
    Core(mb).ShowTraffic(1, 5);
    EXPECT_EQ(mb.TrafficLabel->text(), QStringLiteral("2x1.5"));
    Core(mb).ShowTraffic(1, 8);
    EXPECT_EQ(mb.TrafficLabel->text(), QStringLiteral("1.8"));
    EXPECT_TRUE(mb.HistoryLabel->text().endsWith(QStringLiteral(" 2x1.5")));

    // Closing moves the current entry into the history line.
    p.Close();
    EXPECT_TRUE(mb.TrafficLabel->text().isEmpty());
    EXPECT_TRUE(mb.HistoryLabel->text().endsWith(QStringLiteral(" 2x1.5 1.8")));
    // Other modes keep no traffic history.
    mb.setMBMode(TMB::modeMaster);
    Core(mb).ShowTraffic(2, 3);
    EXPECT_TRUE(mb.TrafficLabel->text().isEmpty());

    Core(mb).ClearHistory();
    EXPECT_TRUE(mb.HistoryLabel->text().isEmpty());
}

TEST(PanelHistory, ThousandRepeatsAndTheFortyCharacterLimit)
{
    TStartedPanel p;
    TMB &mb = p.mb;
    mb.setMBMasterCommandToSlave(5);
    Core(mb).ClearHistory();
    for (int i = 1; i <= 999; ++i)
        Core(mb).ShowTraffic(1, 5);
    EXPECT_EQ(mb.TrafficLabel->text(), QStringLiteral("999x1.5"));
    Core(mb).ShowTraffic(1, 5);
    EXPECT_EQ(mb.TrafficLabel->text(), QStringLiteral(">999x1.5"));
    Core(mb).ShowTraffic(1, 5);
    EXPECT_EQ(mb.TrafficLabel->text(), QStringLiteral(">999x1.5"));
    EXPECT_TRUE(mb.HistoryLabel->text().isEmpty()); // same pair as at the clear: nothing pushed

    for (int cmd = 10; cmd < 40; ++cmd) {
        Core(mb).ShowTraffic(200, static_cast<quint8>(cmd));
        Core(mb).ShowTraffic(200, static_cast<quint8>(cmd));
        EXPECT_LE(mb.HistoryLabel->text().size(), 40);
    }
    // The newest entries stay, the oldest drop off at the left.
    EXPECT_EQ(mb.HistoryLabel->text().size(), 40);
    EXPECT_TRUE(mb.HistoryLabel->text().endsWith(QStringLiteral(" 2x200.37 2x200.38")));
}

TEST(PanelStatusLine, BackgroundFollowsTheStatus)
{
    TMB mb;
    SetMBStatus(mb, TMB::stTimeOut);
    EXPECT_EQ(mb.StatusLine->text(), QStringLiteral("Last status: Time Out"));
    EXPECT_EQ(Background(mb.StatusLine), kRed);
    SetMBStatus(mb, TMB::stSlaveError, 7);
    EXPECT_EQ(mb.StatusLine->text(), QStringLiteral("Last status: Slave Error: #7"));
    EXPECT_EQ(Background(mb.StatusLine), kOrange);
    mb.ClearAllCounters(); // the colour goes, the text stays
    EXPECT_EQ(mb.StatusLine->text(), QStringLiteral("Last status: Slave Error: #7"));
    EXPECT_EQ(Background(mb.StatusLine), TMB::FaceColor());
    SetMBStatus(mb, TMB::stOK);
    EXPECT_EQ(Background(mb.StatusLine), TMB::FaceColor());
}

TEST(PanelProbeHint, AnEmptyListSaysWhyAndWhatToDo)
{
    TStartedPanel p;
    TMB &mb = p.mb;
    const QString hint = QStringLiteral("ttyUSB0 cannot be opened: permission denied. "
                                        "Add the user to the group \"dialout\" and log in again.");
    TPanelTestPeer::SetProbeHint(mb, hint);
    EXPECT_EQ(mb.PortList->toolTip(), hint);
    EXPECT_EQ(mb.StatusLine->toolTip(), hint);
    EXPECT_TRUE(mb.StatusLine->text().startsWith(QStringLiteral("ttyUSB0")));
    EXPECT_LE(mb.StatusLine->fontMetrics().horizontalAdvance(mb.StatusLine->text()), mb.StatusLine->width());

    // A list with entries shows the status again, the hint stays in the tooltip.
    mb.PortList->addItem(QStringLiteral("ttyS0"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return mb.StatusLine->text() == QStringLiteral("Last status: Closed Port"); }));
    EXPECT_EQ(mb.PortList->toolTip(), hint);
    // Emptied again (as a probe does, from wherever it runs), the hint is back.
    mb.PortList->clear();
    EXPECT_TRUE(QTest::qWaitFor([&] { return mb.StatusLine->toolTip() == hint; }));
    // Once the cause is gone the tooltips go too.
    TPanelTestPeer::SetProbeHint(mb, QString());
    EXPECT_TRUE(mb.PortList->toolTip().isEmpty());
    EXPECT_EQ(mb.StatusLine->text(), QStringLiteral("Last status: Closed Port"));
}

TEST(PanelTimers, UserTimerRaisesItsEventOnce)
{
    TMB mb;
    mb.SetManualTimers(true);
    int raised = 0;
    mb.OnMBUserTimeOut = [&] { ++raised; };
    Core(mb).UserTimer.Start();
    ASSERT_TRUE(Core(mb).UserTimer.Fire());
    EXPECT_EQ(raised, 1);
    EXPECT_FALSE(Core(mb).UserTimer.Enabled());
    EXPECT_FALSE(Core(mb).UserTimer.Fire());
}

// ---- on a real pseudo-terminal ------------------------------------------------------------

class PanelOnPty : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(m_master, 0);
        ASSERT_EQ(grantpt(m_master), 0);
        ASSERT_EQ(unlockpt(m_master), 0);
        m_slavePath = QString::fromLocal8Bit(ptsname(m_master));
        mb.SetManualTimers(true);
        mb.setMBRefreshListOnStartup(false);
        Core(mb).SpeedTimer.Fire();
        mb.setPort(m_slavePath);
    }
    void TearDown() override
    {
        mb.MBClosePort();
        if (m_holder >= 0)
            ::close(m_holder);
        if (m_master >= 0)
            ::close(m_master);
    }
    TMB mb;
    int m_master = -1;
    int m_holder = -1;
    QString m_slavePath;
};

TEST_F(PanelOnPty, OpenAndClosedViews)
{
    mb.MBOpenPort();
    ASSERT_TRUE(mb.MBPortOpen()) << mb.LastOpenError().toStdString();
    EXPECT_TRUE(mb.PortList->isHidden());
    EXPECT_FALSE(mb.OpenViewPanel->isHidden());
    EXPECT_EQ(mb.PortLabel->text(), m_slavePath);
    EXPECT_EQ(Background(mb.OpenFrame), kGreen);
    EXPECT_EQ(mb.OpenButton->text(), QStringLiteral("Close"));
    mb.MBClosePort();
    EXPECT_FALSE(mb.PortList->isHidden());
    EXPECT_TRUE(mb.OpenViewPanel->isHidden());
    EXPECT_EQ(Background(mb.OpenFrame), TMB::FaceColor());
    EXPECT_EQ(mb.OpenButton->text(), QStringLiteral("Open"));
}

TEST_F(PanelOnPty, PortHeldByAnotherProgramGivesTheRedFrame)
{
    m_holder = ::open(m_slavePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(m_holder, 0);
    ASSERT_EQ(flock(m_holder, LOCK_EX | LOCK_NB), 0);
    mb.MBOpenPort();
    EXPECT_FALSE(mb.MBPortOpen());
    EXPECT_TRUE(mb.LastOpenError().startsWith(QStringLiteral("TMB : cannot open ")));
    EXPECT_EQ(Background(mb.OpenFrame), kRed);
    EXPECT_FALSE(mb.OpenButton->isChecked());
    EXPECT_EQ(mb.OpenButton->text(), QStringLiteral("Open"));
    EXPECT_FALSE(mb.PortList->isHidden());
    EXPECT_TRUE(mb.OpenViewPanel->isHidden());
    // The status line reports the closed port, unless the re-probe found an
    // empty list with a reason, which it then shows instead.
    if (mb.PortList->count() > 0 || mb.ProbeHint().isEmpty())
        EXPECT_EQ(mb.StatusLine->text(), QStringLiteral("Last status: Closed Port"));
    else
        EXPECT_EQ(mb.StatusLine->toolTip(), mb.ProbeHint());
}

// The panel draws itself from the pixels it kept of its first whole painting
// (the window's background, the group box's frame and title): after every
// kind of change, what is on screen must be what a painting from scratch
// makes, and the kept pixels must be in use.
TEST(PanelFace, OnScreenAsAWholePaintingAfterEveryChange)
{
    TStartedPanel p;
    TMB &mb = p.mb;
    QWidget window;
    window.resize(200, 180);
    mb.setParent(&window);
    struct TGiveBack { // the panel belongs to the fixture, not to the window
        TMB &mb;
        ~TGiveBack() { mb.setParent(nullptr); }
    } giveBack{mb};
    mb.move(8, 8);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto settle = [] {
        for (int i = 0; i < 4; ++i)
            QCoreApplication::processEvents();
    };
    const auto onScreen = [&] {
        settle();
        return window.screen()->grabWindow(window.winId()).toImage();
    };
    const auto fromScratch = [&] {
        mb.hide();
        mb.show();
        return onScreen();
    };
    const std::vector<std::pair<const char *, std::function<void()>>> steps = {
        {"shown", [] {}},
        {"opened", [&] { p.Open(); }},
        {"traffic", [&] {
             TPanelTestPeer::SetFrames(mb, 1234, 987);
             TMBTestPeer::View(mb).ShowCounters();
             TMBTestPeer::View(mb).FlashTxLamp();
             TMBTestPeer::View(mb).FlashRxLamp();
             Core(mb).ShowTraffic(1, 1);
             p.Second(12);
         }},
        {"lamps out", [&] {
             TMBTestPeer::TxLampTimer(mb).Fire();
             TMBTestPeer::RxLampTimer(mb).Fire();
         }},
        {"title", [&] { mb.setMBMode(TMB::modeMaster); }},
        {"window colour", [&] {
             QPalette palette = window.palette();
             palette.setColor(QPalette::Window, QColor(200, 220, 255));
             window.setPalette(palette);
         }},
        {"moved", [&] { mb.move(20, 14); }},
        {"disabled", [&] { mb.setEnabled(false); }},
        {"enabled", [&] { mb.setEnabled(true); }},
        {"closed", [&] { p.Close(); }},
    };
    for (const auto &[name, change] : steps) {
        SCOPED_TRACE(name);
        onScreen(); // whatever the last step left to paint
        change();
        const QImage shown = onScreen();
        EXPECT_TRUE(mb.testAttribute(Qt::WA_OpaquePaintEvent)) << "drawn from its kept pixels";
        EXPECT_TRUE(shown == fromScratch());
    }
}

} // namespace
