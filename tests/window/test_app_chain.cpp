// The transaction chain of the main window: what goes out, in which order,
// and what a failure leaves behind.
#include "AppTest.h"

#include <QRadioButton>

#include <vector>

namespace {

using Cmd = TForm1::TCommand;

TEST_F(AppTest, OpeningPollsThenReadsSettingsThenPollsOnAndOn)
{
    stored.iFizFor4mA = -250;
    stored.iFizFor20mA = 345;
    stored.bErrorCurrentValue = true;
    stored.SensorCode = 9;
    stored.Averaging = 160;
    Open();
    EXPECT_EQ(form->Button_OpenOrCloceSerialPort->text(), QStringLiteral("Soros port bezárása"));

    const TQuery first = Send();
    EXPECT_EQ(first.command, Cmd::Cmd_Poll);
    EXPECT_EQ(first.payload, QByteArray("\x00\x00\x00", 3));
    Answer(LivePayload(live));
    EXPECT_EQ(Serve(), Cmd::Cmd_ReadSettings);
    EXPECT_FALSE(form->SpeedButton_ReadSettings->isChecked());
    EXPECT_EQ(form->Edit_iFizFor4mA->text(), "-250");
    EXPECT_EQ(form->Edit_iFizFor20mA->text(), "345");
    EXPECT_EQ(form->RadioGroup_ErrorCurrentValue->ItemIndex(), 1);
    EXPECT_EQ(form->RadioGroup_ErrorCurrentMode->ItemIndex(), 0);
    EXPECT_EQ(form->RadioGroup_Sensor->ItemIndex(), 8);
    EXPECT_EQ(form->Edit_Averaging->text(), "160");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Serve(), Cmd::Cmd_Poll);

    form->Button_OpenOrCloceSerialPort->click();
    EXPECT_FALSE(mb->MBPortOpen());
    EXPECT_EQ(form->Button_OpenOrCloceSerialPort->text(), QStringLiteral("Soros port megnyitása"));
    EXPECT_EQ(Send().command, -1);
}

TEST_F(AppTest, NothingIsSentBeforeThePortOpens)
{
    form->SpeedButton_Zero->setChecked(true);
    EXPECT_FALSE(Core(*mb).StartTimer.Enabled());
    EXPECT_TRUE(link->writes.isEmpty());
}

// After one successful poll the latched requests are served one per cycle in
// the fixed order, and the chain falls back to polling when none is left.
TEST_F(AppTest, LatchedRequestsAreServedInTheirFixedOrder)
{
    struct Case {
        const char *name;
        std::vector<TSpeedButton *TForm1::*> latched;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"reset and zero", {&TForm1::SpeedButton_Reset, &TForm1::SpeedButton_Zero}, {2, 251, 1}},
        {"all input calibration",
         {&TForm1::SpeedButton_SetAsScaleEnd, &TForm1::SpeedButton_Zero},
         {2, 9, 1}},
        {"erase is followed by a read", {&TForm1::SpeedButton_EraseEEPROM}, {6, 8, 1}},
        {"write before read", {&TForm1::SpeedButton_ReadSettings, &TForm1::SpeedButton_WriteSettings}, {7, 8, 1}},
        {"write then read, before the input points",
         {&TForm1::SpeedButton_SetAs0, &TForm1::SpeedButton_WriteSettings},
         {7, 8, 3, 1}},
        {"output points first",
         {&TForm1::SpeedButton_WriteSettings, &TForm1::SpeedButton_SetAs20mA, &TForm1::SpeedButton_Zero},
         {2, 5, 7, 8, 1}},
        {"user write then read", {&TForm1::SpeedButton_WriteSettings2, &TForm1::SpeedButton_Reset}, {251, 10, 8, 1}},
        // The read the chain latches after 6 or 7 leaves a waiting user write latched and lets it go first.
        {"erase, then the waiting user write, then the read",
         {&TForm1::SpeedButton_EraseEEPROM, &TForm1::SpeedButton_WriteSettings2},
         {6, 10, 8, 1}},
        {"write, then the waiting user write, then the read",
         {&TForm1::SpeedButton_WriteSettings, &TForm1::SpeedButton_WriteSettings2},
         {7, 10, 8, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Open();
        Serve(); // poll
        Serve(); // the read latched by the opening
        ASSERT_EQ(Send().command, Cmd::Cmd_Poll);
        for (auto button : c.latched)
            (form.get()->*button)->setChecked(true);
        Answer(LivePayload(live));
        std::vector<int> sent;
        for (size_t i = 0; i < c.expected.size(); ++i)
            sent.push_back(Serve());
        EXPECT_EQ(sent, c.expected);
        for (auto button : c.latched)
            EXPECT_FALSE((form.get()->*button)->isChecked());
        TearDown();
    }
}

TEST_F(AppTest, CalibrationPointsCarryTodaysDate)
{
    Open();
    Send();
    form->SpeedButton_SetAs4mA->setChecked(true);
    Answer(LivePayload(live));
    const TQuery q = Send();
    EXPECT_EQ(q.command, Cmd::Cmd_SetAs4mA);
    EXPECT_EQ(q.payload, QByteArray("\xF3\xA1\x33\x01", 4)); // 20161011
    Answer({});

    form->Today = [] { return QDate(2017, 1, 5); };
    for (auto button : {&TForm1::SpeedButton_SetAs0, &TForm1::SpeedButton_SetAsScaleEnd, &TForm1::SpeedButton_SetAs20mA}) {
        Serve(); // the read after opening, then polls
        (form.get()->*button)->setChecked(true);
        TQuery poll = Send();
        ASSERT_EQ(poll.command, Cmd::Cmd_Poll);
        Answer(LivePayload(live));
        const TQuery point = Send();
        EXPECT_EQ(point.payload, QByteArray("\x79\xC5\x33\x01", 4)); // 20170105
        Answer({});
    }
}

TEST_F(AppTest, WritesCarryTheLastCollectionAndAreFollowedByARead)
{
    Open();
    Serve();
    Serve();
    form->Edit_iFizFor4mA->setText("-100");
    form->Edit_iFizFor20mA->setText("$3E8");
    form->RadioGroup_ErrorCurrentMode->setItemIndex(1);
    form->RadioGroup_ErrorCurrentValue->setItemIndex(1);
    form->RadioGroup_Sensor->setItemIndex(11);
    form->Edit_Averaging->setText("1600");
    form->RadioGroup_Input->setItemIndex(1);
    form->SpeedButton_WriteSettings->click();
    EXPECT_EQ(form->Edit_iFizFor20mA->text(), "1000");
    // A change after the collection does not reach the instrument.
    form->RadioGroup_ErrorCurrentValue->setItemIndex(0);

    ASSERT_EQ(Send().command, Cmd::Cmd_Poll);
    Answer(LivePayload(live));
    const TQuery write = Send();
    EXPECT_EQ(write.command, Cmd::Cmd_WriteSettings);
    EXPECT_EQ(write.payload, QByteArray("\x9C\xFF\xE8\x03\x01\x01\x0C\x40\x06\x01", 10));
    Answer({});

    // The instrument stored something else: the read shows what it has.
    stored.iFizFor4mA = 7;
    stored.SensorCode = 2;
    stored.Averaging = 80;
    EXPECT_EQ(Serve(), Cmd::Cmd_ReadSettings);
    EXPECT_EQ(form->Edit_iFizFor4mA->text(), "7");
    EXPECT_EQ(form->RadioGroup_Sensor->ItemIndex(), 1);
    EXPECT_EQ(form->RadioGroup_Input->ItemIndex(), 0);
    EXPECT_TRUE(form->RadioGroup_Sensor->isVisibleTo(form->TabSheet2));
    EXPECT_EQ(form->SettingsToWrite.SensorCode, 12); // a read does not touch what is to be written

    // The user page's write sends the first four fields only.
    form->Edit_iFizFor4mA->setText("12");
    form->Edit_iFizFor20mA->setText("-12");
    form->RadioGroup_ErrorCurrentValue->setItemIndex(1);
    form->SpeedButton_WriteSettings2->click();
    form->RadioGroup_ErrorCurrentMode->setItemIndex(1); // after the collection: not sent
    ASSERT_EQ(Send().command, Cmd::Cmd_Poll);
    Answer(LivePayload(live));
    const TQuery write2 = Send();
    EXPECT_EQ(write2.command, Cmd::Cmd_WriteSettings2);
    EXPECT_EQ(write2.payload, QByteArray("\x0C\x00\xF4\xFF\x01\x00", 6));
    Answer({});
    EXPECT_EQ(Serve(), Cmd::Cmd_ReadSettings);
}

// What the technician typed and latched for writing is written before any read
// can replace it: at opening (where the chain latches the read) and when a read
// is already on its way.
TEST_F(AppTest, TypedSettingsWaitingForTheirWriteAreNeverOverwrittenByARead)
{
    stored.iFizFor4mA = -250;
    stored.iFizFor20mA = 345;
    form->Edit_iFizFor4mA->setText("1234");
    form->Edit_iFizFor20mA->setText("4321");
    form->RadioGroup_ErrorCurrentMode->Button(1)->click(); // "Tiltva"
    form->SpeedButton_WriteSettings2->click();
    Open();
    EXPECT_TRUE(form->SpeedButton_WriteSettings2->isChecked());
    EXPECT_EQ(Serve(), Cmd::Cmd_Poll);
    const TQuery write = Send();
    EXPECT_EQ(write.command, Cmd::Cmd_WriteSettings2);
    EXPECT_EQ(write.payload, QByteArray("\xD2\x04\xE1\x10\x00\x01", 6));
    EXPECT_EQ(form->Edit_iFizFor4mA->text(), "1234");
    Answer({});
    stored.iFizFor4mA = 1234;
    stored.iFizFor20mA = 4321;
    stored.bErrorCurrentMode = true;
    EXPECT_EQ(Serve(), Cmd::Cmd_ReadSettings);
    EXPECT_EQ(form->Edit_iFizFor4mA->text(), "1234");
    EXPECT_EQ(form->Edit_iFizFor20mA->text(), "4321");
    EXPECT_EQ(form->RadioGroup_ErrorCurrentMode->ItemIndex(), 1);
    EXPECT_EQ(Serve(), Cmd::Cmd_Poll);

    // A read in flight when the write is latched: its answer leaves the entries alone.
    form->SpeedButton_ReadSettings->click();
    Serve(); // the poll
    ASSERT_EQ(Send().command, Cmd::Cmd_ReadSettings);
    form->Edit_iFizFor4mA->setText("-77");
    form->SpeedButton_WriteSettings2->click();
    stored.iFizFor4mA = 5;
    Answer(SettingsPayload(stored));
    EXPECT_EQ(form->SettingsRead.iFizFor4mA, 5);
    EXPECT_EQ(form->Edit_iFizFor4mA->text(), "-77");
    EXPECT_EQ(form->RadioGroup_ErrorCurrentMode->ItemIndex(), 1);
    EXPECT_EQ(Send().payload.left(2), QByteArray("\xB3\xFF", 2));
    stored.iFizFor4mA = -77;
    Answer({});
    EXPECT_EQ(Serve(), Cmd::Cmd_ReadSettings);
    EXPECT_EQ(form->Edit_iFizFor4mA->text(), "-77");
}

// A request that fails stays latched, the cycle ends with a poll, and the
// request goes out again after the next successful transaction.
TEST_F(AppTest, FailedRequestStaysLatchedAndIsRetriedAfterAGoodPoll)
{
    Open();
    Serve();
    Serve();
    form->SpeedButton_SetAs0->setChecked(true);
    ASSERT_EQ(Send().command, Cmd::Cmd_Poll);
    Answer(LivePayload(live));
    EXPECT_TRUE(form->Panel1->isVisibleTo(form->TabSheet2));

    ASSERT_EQ(Send().command, Cmd::Cmd_SetAs0);
    TimeOut();
    EXPECT_EQ(mb->MBStatus(), TMB::stTimeOut);
    EXPECT_FALSE(form->Panel1->isVisibleTo(form->TabSheet2));
    EXPECT_TRUE(form->SpeedButton_SetAs0->isChecked());

    // The poll after the failure times out as well: still latched, still a poll next.
    ASSERT_EQ(Send().command, Cmd::Cmd_Poll);
    TimeOut();
    ASSERT_EQ(Send().command, Cmd::Cmd_Poll);
    Answer(LivePayload(live));
    EXPECT_TRUE(form->Panel1->isVisibleTo(form->TabSheet2));
    ASSERT_EQ(Send().command, Cmd::Cmd_SetAs0);
    Answer({});
    EXPECT_FALSE(form->SpeedButton_SetAs0->isChecked());
    EXPECT_EQ(Send().command, Cmd::Cmd_Poll);
}

TEST_F(AppTest, SlaveErrorKeepsTheDisplaysAndTheRequest)
{
    Open();
    Serve();
    Serve();
    const QString shown = form->Label_MeasuredValue->text();
    form->SpeedButton_Reset->setChecked(true);
    ASSERT_EQ(Send().command, Cmd::Cmd_Poll);
    live.MeasuredValue = 999;
    Answer(LivePayload(live), 254);
    EXPECT_EQ(mb->MBStatus(), TMB::stSlaveError);
    EXPECT_EQ(form->Label_MeasuredValue->text(), shown);
    EXPECT_FALSE(form->Panel1->isVisibleTo(form->TabSheet2));
    EXPECT_TRUE(form->SpeedButton_Reset->isChecked());
    EXPECT_EQ(Serve(), Cmd::Cmd_Poll);
    EXPECT_EQ(Serve(), Cmd::Cmd_Reset);
}

TEST_F(AppTest, PollsCarryTheForcedOutput)
{
    Open();
    Serve();
    Serve();
    form->SpeedButton_PWMForce->click();
    form->Button9->click();
    form->Button7->click();
    // A poll is built when it is started: the one pending now predates the clicks.
    EXPECT_EQ(Serve(), Cmd::Cmd_Poll);
    TQuery poll = Send();
    ASSERT_EQ(poll.command, Cmd::Cmd_Poll);
    EXPECT_EQ(poll.payload, QByteArray("\x01\xF2\x03", 3)); // flag 1, 1010
    EXPECT_EQ(form->PWMForceFlag, 1);
    Answer(LivePayload(live));
    form->SpeedButton_PWMForce->click();
    EXPECT_EQ(Serve(), Cmd::Cmd_Poll);
    poll = Send();
    EXPECT_EQ(poll.payload, QByteArray("\x00\xF2\x03", 3));
    EXPECT_EQ(form->PWMForceFlag, 0);
}

// Closing the window closes the port; whatever was in flight or pending
// sends nothing more.
TEST_F(AppTest, ClosingTheWindowClosesThePortAndSendsNothingMore)
{
    for (bool answerPending : {true, false}) {
        SCOPED_TRACE(answerPending ? "waiting for an answer" : "start pending");
        SetUp();
        form->show();
        Open();
        Serve();
        if (answerPending) {
            ASSERT_EQ(Send().command, Cmd::Cmd_ReadSettings);
        }
        const qsizetype written = link->Written().size();
        EXPECT_TRUE(form->close());
        EXPECT_FALSE(mb->MBPortOpen());
        EXPECT_EQ(link->closes, 1);
        Core(*mb).StartTimer.Fire();
        TimeOut();
        EXPECT_EQ(link->Written().size(), written);
        TearDown();
    }
}

TEST_F(AppTest, LatchedRequestsSurviveACloseAndAreServedAfterReopening)
{
    Open();
    Serve();
    form->SpeedButton_Zero->setChecked(true);
    form->Button_OpenOrCloceSerialPort->click();
    EXPECT_TRUE(form->SpeedButton_Zero->isChecked());
    Open();
    EXPECT_EQ(Serve(), Cmd::Cmd_Poll);
    EXPECT_EQ(Serve(), Cmd::Cmd_Zero);
    EXPECT_EQ(Serve(), Cmd::Cmd_ReadSettings);
}

} // namespace
