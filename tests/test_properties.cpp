// Defaults, setter clamps, the mode setter and the status model.
#include "FakeLink.h"
#include "MB.h"

#include <QMetaEnum>
#include <QMetaProperty>

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Properties, DefaultsAtConstruction)
{
    TMB mb;
    EXPECT_EQ(mb.Port(), QStringLiteral("ttyS0"));
    EXPECT_EQ(mb.WinQSizeIn(), 8192u);
    EXPECT_EQ(mb.WinQSizeOut(), 8192u);
    EXPECT_EQ(mb.MBMode(), TMB::modeASCIIMaster);
    EXPECT_EQ(mb.MBSlaveOwnAddress(), 1);
    EXPECT_EQ(mb.MBBaud(), TMB::baud115200);
    EXPECT_EQ(mb.MBSlaveName(), QStringLiteral("MB Slave"));
    EXPECT_EQ(mb.MBMasterAddressToSlave(), 1);
    EXPECT_EQ(mb.MBMasterTimeOut(), 1000);
    EXPECT_EQ(mb.MBMasterMaxTryNumber(), 5);
    EXPECT_EQ(mb.MBASCIISlaveTimeOut(), 1000);
    EXPECT_EQ(mb.MBStatus(), TMB::stOK);
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("OK"));
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnPortError);
    EXPECT_EQ(mb.MBStatusNowString(), QStringLiteral("Port Error"));
    EXPECT_TRUE(mb.MBBusy());
    EXPECT_TRUE(mb.MBRefreshListOnStartup());
    EXPECT_TRUE(mb.MBBaudEditVisible());
    EXPECT_FALSE(mb.MBPortOpen());
    EXPECT_EQ(Core(mb).m_PayloadOffset, 3);
    EXPECT_EQ(mb.title(), QStringLiteral("ASCII Master v2016.10.11."));
    EXPECT_EQ(mb.size(), QSize(157, 145));
    EXPECT_EQ(mb.minimumSize(), mb.maximumSize());
}

TEST(Properties, EnumerationsInDeclaredOrderAndVisibleToTheMetaSystem)
{
    const QMetaObject &mo = TMB::staticMetaObject;
    const QMetaEnum modes = mo.enumerator(mo.indexOfEnumerator("TMBMode"));
    ASSERT_TRUE(modes.isValid());
    EXPECT_EQ(modes.keyToValue("modeString"), 6);
    const QMetaEnum baud = mo.enumerator(mo.indexOfEnumerator("TMBBaud"));
    EXPECT_EQ(baud.keyCount(), 21);
    EXPECT_EQ(baud.keyToValue("baud004800"), 9);
    // A stored window description sets properties by name.
    TMB mb;
    EXPECT_TRUE(mb.setProperty("MBBaud", QVariant::fromValue(TMB::baud004800)));
    EXPECT_EQ(mb.MBBaud(), TMB::baud004800);
    EXPECT_TRUE(mb.setProperty("MBMasterIDToSlave", 39));
    EXPECT_EQ(mb.MBMasterIDToSlave(), 39);
    // Read-only properties stay read-only.
    const QMetaProperty busy = mo.property(mo.indexOfProperty("MBBusy"));
    EXPECT_FALSE(busy.isWritable());
}

TEST(Properties, SettersClamp)
{
    TMB mb;
    mb.setMBMasterMaxTryNumber(0);
    EXPECT_EQ(mb.MBMasterMaxTryNumber(), 1);
    mb.setMBMasterMaxTryNumber(9);
    EXPECT_EQ(mb.MBMasterMaxTryNumber(), 5);
    mb.setMBSlaveOwnAddress(0);
    EXPECT_EQ(mb.MBSlaveOwnAddress(), 1);
    mb.setMBMBRXDataBufferIndex(0);
    EXPECT_EQ(mb.MBMBRXDataBufferIndex(), 1);
    mb.setMBMBRXDataBufferIndex(9000);
    EXPECT_EQ(mb.MBMBRXDataBufferIndex(), 8187);
    mb.setMBMBTXDataBufferIndex(0);
    EXPECT_EQ(mb.MBMBTXDataBufferIndex(), 1);
    mb.setMBDataNumberToSend(9000);
    EXPECT_EQ(mb.MBDataNumberToSend(), 8187);
    mb.setMBDataNumberToSend(0);
    EXPECT_EQ(mb.MBDataNumberToSend(), 0);

    mb.setMBMasterAddressToSlave(200); // ASCII master keeps any byte
    EXPECT_EQ(mb.MBMasterAddressToSlave(), 200);
    mb.setMBMode(TMB::modeMaster);
    mb.setMBMasterAddressToSlave(200);
    EXPECT_EQ(mb.MBMasterAddressToSlave(), 15);
}

TEST(Properties, BaudTableAndUnknownRates)
{
    TMB mb;
    const quint32 expected[21] = {75,   110,   134,   150,   300,   600,    1200,   1800,   2400,   4800,  7200,
                                  9600, 14400, 19200, 38400, 57600, 115200, 128000, 230400, 460800, 921600};
    for (int i = 0; i < 21; ++i) {
        mb.setMBBaud(static_cast<TMB::TMBBaud>(i));
        EXPECT_EQ(mb.MBBaud(), i);
        EXPECT_EQ(TMB::BaudRateOf(static_cast<TMB::TMBBaud>(i)), expected[i]);
    }
    mb.setMBBaud(static_cast<TMB::TMBBaud>(25)); // out of the table stores 9600
    EXPECT_EQ(mb.MBBaud(), TMB::baud009600);
}

TEST(StatusModel, TextsAndColours)
{
    TMB mb;
    SetMBStatus(mb, TMB::stSlaveError, 7);
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("Slave Error: #7"));
    EXPECT_EQ(TMB::StatusColor(mb.MBStatus()), QColor(249, 124, 0));
    SetMBStatus(mb, TMB::stSlaveError, 254);
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("Unknown Command"));
    SetMBStatus(mb, TMB::stSlaveError, 255);
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("ID Error"));
    SetMBStatus(mb, TMB::stTimeOut);
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("Time Out"));
    EXPECT_EQ(TMB::StatusColor(TMB::stTimeOut), QColor(255, 0, 0));
    SetMBStatus(mb, TMB::stClosedPort);
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("Closed Port"));
    EXPECT_EQ(TMB::StatusColor(TMB::stClosedPort), TMB::FaceColor());

    const char *nowTexts[] = {"Ready",   "Sending",  "Waiting For Answer",  "Receiving",
                              "Port Error", "Time Out", "Waiting For Command", "Received Command"};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(TMB::StatusNowText(static_cast<TMB::TMBStatusNow>(i)).toStdString(), nowTexts[i]);
}

TEST(StatusModel, EventsOnlyOnChange)
{
    TMB mb;
    std::vector<TMB::TMBStatusNow> states;
    std::vector<bool> busy;
    mb.OnMBStatusNowChanged = [&](TMB::TMBStatusNow s, const QString &text) {
        states.push_back(s);
        EXPECT_EQ(text, TMB::StatusNowText(s));
    };
    mb.OnMBBusyChanged = [&](bool b) { busy.push_back(b); };
    SetMBStatusNow(mb, TMB::stnReady);
    SetMBStatusNow(mb, TMB::stnReady);
    SetMBStatusNow(mb, TMB::stnSending);
    Core(mb).SetMBBusy(true); // already true
    Core(mb).SetMBBusy(false);
    Core(mb).SetMBBusy(false);
    EXPECT_EQ(states, (std::vector<TMB::TMBStatusNow>{TMB::stnReady, TMB::stnSending}));
    EXPECT_EQ(busy, std::vector<bool>{false});
}

TEST(ModeSetter, RealChangeResetsCountersAndState)
{
    TMB mb;
    mb.setMBMode(TMB::modeASCIISlave);
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnReady);
    EXPECT_EQ(mb.title(), QStringLiteral("ASCII Slave v2016.10.11."));
    EXPECT_EQ(Core(mb).m_PayloadOffset, 3);
    EXPECT_TRUE(mb.MBBusy());

    mb.setMBMode(TMB::modeSlave);
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnWaitingForCommand);
    EXPECT_EQ(Core(mb).m_PayloadOffset, 2);
    EXPECT_EQ(CounterUnit(mb), QStringLiteral(" F"));

    mb.setMBMode(TMB::modeByte);
    EXPECT_EQ(mb.title(), QStringLiteral("Byte Mode v2016.10.11."));
    EXPECT_EQ(CounterUnit(mb), QStringLiteral(" B"));
    EXPECT_EQ(SpeedUnit(mb), QStringLiteral(" Bytes / sec"));
    mb.setMBMode(TMB::modeString);
    EXPECT_EQ(CounterUnit(mb), QStringLiteral(" S"));
    EXPECT_EQ(SpeedUnit(mb), QStringLiteral(" string / sec"));

    // The master modes are not busy while the port is closed? They are: busy = not open.
    mb.setMBMode(TMB::modeMaster);
    EXPECT_TRUE(mb.MBBusy());
    EXPECT_EQ(mb.title(), QStringLiteral("Master v2016.10.11."));
}

TEST(ModeSetter, SameModeRepeatsOnlyTheTexts)
{
    TMB mb;
    auto link = UseFakeLink(mb);
    mb.MBOpenPort();
    ASSERT_TRUE(mb.MBPortOpen());
    SetMBStatus(mb, TMB::stTimeOut);
    SetMBStatusNow(mb, TMB::stnTimeOut);
    mb.setMBMode(TMB::modeASCIIMaster);
    EXPECT_EQ(mb.MBStatus(), TMB::stTimeOut);
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnTimeOut);
    EXPECT_FALSE(mb.MBBusy()); // master mode, port open
    mb.MBClosePort();
}

} // namespace
