// Defaults, setter clamps, the mode setter and the status model of the engine.
#include "PlainFakeLink.h"
#include "RecordingView.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace mbcore;

namespace {

TEST(Properties, DefaultsAtConstruction)
{
    TMBEngine mb;
    EXPECT_EQ(mb.Port(), "ttyS0");
    EXPECT_EQ(mb.WinQSizeIn(), 8192u);
    EXPECT_EQ(mb.WinQSizeOut(), 8192u);
    EXPECT_EQ(mb.MBMode(), modeASCIIMaster);
    EXPECT_EQ(mb.MBSlaveOwnAddress(), 1);
    EXPECT_EQ(mb.MBBaud(), baud115200);
    EXPECT_EQ(mb.MBSlaveName(), "MB Slave");
    EXPECT_EQ(mb.MBMasterAddressToSlave(), 1);
    EXPECT_EQ(mb.MBMasterTimeOut(), 1000);
    EXPECT_EQ(mb.MBMasterMaxTryNumber(), 5);
    EXPECT_EQ(mb.MBASCIISlaveTimeOut(), 1000);
    EXPECT_EQ(mb.MBStatus(), stOK);
    EXPECT_EQ(mb.MBStatusString(), "OK");
    EXPECT_EQ(mb.MBStatusNow(), stnPortError);
    EXPECT_EQ(mb.MBStatusNowString(), "Port Error");
    EXPECT_TRUE(mb.MBBusy());
    EXPECT_TRUE(mb.MBRefreshListOnStartup());
    EXPECT_TRUE(mb.MBBaudEditVisible());
    EXPECT_FALSE(mb.MBPortOpen());
    EXPECT_EQ(Core(mb).m_PayloadOffset, 3);
}

TEST(Properties, SettersClamp)
{
    TMBEngine mb;
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
    mb.setMBMode(modeMaster);
    EXPECT_EQ(mb.MBMasterAddressToSlave(), 15); // kept, it would set the answer bit of a binary frame
    mb.setMBMasterAddressToSlave(200);
    EXPECT_EQ(mb.MBMasterAddressToSlave(), 15);
}

TEST(Properties, BaudTableAndUnknownRates)
{
    TMBEngine mb;
    const uint32_t expected[21] = {75,   110,   134,   150,   300,   600,    1200,   1800,   2400,   4800,  7200,
                                   9600, 14400, 19200, 38400, 57600, 115200, 128000, 230400, 460800, 921600};
    for (int i = 0; i < 21; ++i) {
        mb.setMBBaud(static_cast<TMBBaud>(i));
        EXPECT_EQ(mb.MBBaud(), i);
        EXPECT_EQ(BaudRateOf(static_cast<TMBBaud>(i)), expected[i]);
    }
    mb.setMBBaud(static_cast<TMBBaud>(25)); // out of the table stores 9600
    EXPECT_EQ(mb.MBBaud(), baud009600);
}

TEST(StatusModel, Texts)
{
    TMBEngine mb;
    Core(mb).SetMBStatus(stSlaveError, 7);
    EXPECT_EQ(mb.MBStatusString(), "Slave Error: #7");
    EXPECT_EQ(mb.MBStatus(), stSlaveError);
    Core(mb).SetMBStatus(stSlaveError, 254);
    EXPECT_EQ(mb.MBStatusString(), "Unknown Command");
    Core(mb).SetMBStatus(stSlaveError, 255);
    EXPECT_EQ(mb.MBStatusString(), "ID Error");
    Core(mb).SetMBStatus(stTimeOut);
    EXPECT_EQ(mb.MBStatusString(), "Time Out");
    Core(mb).SetMBStatus(stClosedPort);
    EXPECT_EQ(mb.MBStatusString(), "Closed Port");

    const char *nowTexts[] = {"Ready",      "Sending",  "Waiting For Answer",  "Receiving",
                              "Port Error", "Time Out", "Waiting For Command", "Received Command"};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(StatusNowText(static_cast<TMBStatusNow>(i)), nowTexts[i]);
}

TEST(StatusModel, EventsOnlyOnChange)
{
    TMBEngine mb;
    std::vector<TMBStatusNow> states;
    std::vector<bool> busy;
    mb.OnMBStatusNowChanged = [&](TMBStatusNow s, const std::string &text) {
        states.push_back(s);
        EXPECT_EQ(text, StatusNowText(s));
    };
    mb.OnMBBusyChanged = [&](bool b) { busy.push_back(b); };
    Core(mb).SetMBStatusNow(stnReady);
    Core(mb).SetMBStatusNow(stnReady);
    Core(mb).SetMBStatusNow(stnSending);
    Core(mb).SetMBBusy(true); // already true
    Core(mb).SetMBBusy(false);
    Core(mb).SetMBBusy(false);
    EXPECT_EQ(states, (std::vector<TMBStatusNow>{stnReady, stnSending}));
    EXPECT_EQ(busy, std::vector<bool>{false});
}

TEST(ModeSetter, RealChangeResetsCountersAndState)
{
    TMBEngine mb;
    TRecordingView view(mb);
    mb.SetView(&view);
    mb.setMBMode(modeASCIISlave);
    EXPECT_EQ(mb.MBStatusNow(), stnReady);
    EXPECT_EQ(view.modes, std::vector<TMBMode>{modeASCIISlave}); // the title follows at once
    EXPECT_EQ(Core(mb).m_PayloadOffset, 3);
    EXPECT_TRUE(mb.MBBusy());

    mb.setMBMode(modeSlave);
    EXPECT_EQ(mb.MBStatusNow(), stnWaitingForCommand);
    EXPECT_EQ(Core(mb).m_PayloadOffset, 2);
    EXPECT_EQ(mb.CounterUnit(), " F");

    mb.setMBMode(modeByte);
    EXPECT_EQ(view.modes.back(), modeByte);
    EXPECT_EQ(mb.CounterUnit(), " B");
    EXPECT_EQ(mb.SpeedUnit(), " Bytes / sec");
    mb.setMBMode(modeString);
    EXPECT_EQ(mb.CounterUnit(), " S");
    EXPECT_EQ(mb.SpeedUnit(), " string / sec");

    // A master mode is busy while the port is closed: busy = not open.
    mb.setMBMode(modeMaster);
    EXPECT_TRUE(mb.MBBusy());
    EXPECT_EQ(view.modes.back(), modeMaster);
    mb.SetView(nullptr);
}

TEST(ModeSetter, SameModeRepeatsOnlyTheTexts)
{
    TMBEngine mb;
    auto link = UseFakeLink(mb);
    mb.MBOpenPort();
    ASSERT_TRUE(mb.MBPortOpen());
    Core(mb).SetMBStatus(stTimeOut);
    Core(mb).SetMBStatusNow(stnTimeOut);
    mb.setMBMode(modeASCIIMaster);
    EXPECT_EQ(mb.MBStatus(), stTimeOut);
    EXPECT_EQ(mb.MBStatusNow(), stnTimeOut);
    EXPECT_FALSE(mb.MBBusy()); // master mode, port open
    mb.MBClosePort();
}

} // namespace
