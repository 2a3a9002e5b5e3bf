// The calibration session when its records server goes away in the middle of
// a record: the point typed meanwhile is kept (never said to be stored), the
// loss is said at once, the point is stored when the server is back, or the
// record is saved to this computer's file instead; finishing waits for it.
#include "CalibrationSession.h"
#include "RecordsFixture.h"

#include <QSignalSpy>
#include <QTest>

namespace {

using namespace calib;
using namespace recordstest;

constexpr int kWait = 30000;

kv508::TInstrumentSnapshot Instrument()
{
    kv508::TInstrumentSnapshot s;
    s.settings.iFizFor4mA = 0;
    s.settings.iFizFor20mA = 2500;
    s.settings.SensorCode = 1;
    s.sensorName = "1 = HSCDRRN001ND2A5   (Honeywell, +-250.0 Pa)";
    s.live.FirmwareDateCode = 20170105;
    s.live.CalibrationDateCode = 20170112;
    s.live.Decimals = 1;
    s.live.OutputValue = 4000;
    s.today = 20261210;
    return s;
}

bool Idle(const TCalibrationSession &session)
{
    return QTest::qWaitFor([&] { return session.PendingWrites() == 0; }, kWait);
}

TEST(RecordsSession, APointTypedWhileTheServerIsAwayIsKeptAndStoredWhenItIsBack)
{
    ASSERT_TRUE(Cluster());
    const QString db = ReadyDatabase();
    TCalibrationSession session(Cluster()->Uri(kBench, db), Instrument());
    session.Follow(kv508::Cmd_ReadSettings, true, Instrument());
    for (int i = 0; i < TReadings::kPolls; ++i)
        session.Follow(kv508::Cmd_Poll, true, Instrument());
    ASSERT_TRUE(session.NewRecord(QStringLiteral("Kovács Éva"), DefaultReferences()).Ok());
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.HasRecord() && !session.Creating(); }, kWait)) << session.LastMessage().toStdString();
    ASSERT_TRUE(session.EnterPoint(TPhase::AsFound, 0, QStringLiteral("0.0"), QStringLiteral("4.001")).Ok());
    ASSERT_TRUE(Idle(session));
    EXPECT_TRUE(session.IsStored(TPhase::AsFound, 0)) << session.LastMessage().toStdString();

    QString error;
    ASSERT_TRUE(Cluster()->Restart(true, error)) << error.toStdString();
    QSignalSpy lost(&session, &TCalibrationSession::ServerLost);
    ASSERT_TRUE(session.EnterPoint(TPhase::AsFound, 1, QStringLiteral("62.5"), QStringLiteral("8.002")).Ok());
    ASSERT_TRUE(lost.wait(kWait)) << session.LastMessage().toStdString();
    EXPECT_TRUE(lost.at(0).at(0).toBool());
    EXPECT_TRUE(session.LastMessage().contains(QStringLiteral("was lost"))) << session.LastMessage().toStdString();
    EXPECT_TRUE(session.LastMessage().contains(QStringLiteral("NOT stored yet"))) << session.LastMessage().toStdString();
    EXPECT_FALSE(session.IsStored(TPhase::AsFound, 1));
    ASSERT_TRUE(session.Record().Find(TPhase::AsFound, 1)) << "what was typed stays";
    EXPECT_FALSE(session.Finish().Ok()) << "not finished before everything is stored";
    EXPECT_FALSE(session.UseLocation(QStringLiteral("sqlite:/tmp/elsewhere.sqlite")).Ok()) << "not left with points held";

    // Kept here as well, meanwhile: the file has both points under the server's number.
    QTemporaryDir here;
    const QString file = here.filePath(QStringLiteral("kept.sqlite"));
    session.SaveToFile(file);

    ASSERT_TRUE(QTest::qWaitFor([&] { return lost.size() == 2; }, kWait)) << session.LastMessage().toStdString();
    EXPECT_FALSE(lost.at(1).at(0).toBool());
    EXPECT_TRUE(session.IsStored(TPhase::AsFound, 1));
    EXPECT_EQ(session.Unstored(), 0);
    ASSERT_TRUE(Idle(session));
    {
        TRecordStore kept(file);
        const std::optional<TRecord> r = kept.LoadCertificate(session.Record().certificate);
        ASSERT_TRUE(r) << kept.ErrorMessage().toStdString();
        EXPECT_EQ(r->entered.size(), 2u);
    }
    ASSERT_TRUE(session.Finish().Ok());
    ASSERT_TRUE(Idle(session));
    TRecordStore server(Cluster()->Uri(kBench, db));
    const std::optional<TRecord> r = server.Load(session.Record().id);
    ASSERT_TRUE(r) << server.ErrorMessage().toStdString();
    EXPECT_TRUE(r->finished) << session.LastMessage().toStdString();
    ASSERT_EQ(r->entered.size(), 2u);
    EXPECT_EQ(r->entered[1].milliAmps, (TDecimal{8002, 3}));

    // Then the records move to the file: the record closes, the file's history is read.
    QSignalSpy history(&session, &TCalibrationSession::HistoryRead);
    ASSERT_TRUE(session.UseLocation(QStringLiteral("sqlite:") + file).Ok());
    EXPECT_FALSE(session.HasRecord());
    ASSERT_TRUE(history.wait(kWait));
    EXPECT_EQ(history.last().at(1).value<std::vector<TRecordSummary>>().size(), 1u) << "the record saved here";
    EXPECT_EQ(session.Location(), QStringLiteral("sqlite:") + file);
}

} // namespace
