// Drives the main window against a fake link: fires the component's start
// timer, decodes the query it wrote, and answers it as the instrument would.
#pragma once

#include "FakeLink.h"
#include "Main.h"

#include <QByteArray>
#include <QDate>
#include <QLocale>

#include <gtest/gtest.h>

#include <memory>

struct TQuery {
    int command = -1; // -1: nothing was sent
    QByteArray payload;
};

inline void PutLE(QByteArray &out, quint64 value, int width)
{
    for (int i = 0; i < width; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline QByteArray LivePayload(const TForm1::TLiveData &d)
{
    QByteArray p;
    PutLE(p, d.FirmwareDateCode, 4);
    PutLE(p, d.CalibrationDateCode, 4);
    PutLE(p, d.Decimals, 1);
    PutLE(p, static_cast<quint16>(d.MeasuredValue), 2);
    PutLE(p, static_cast<quint16>(d.OutputValue), 2);
    PutLE(p, d.ErrorBits, 1);
    PutLE(p, static_cast<quint16>(d.ScaleEnd), 2);
    PutLE(p, static_cast<quint16>(d.BridgeDataAveraged), 2);
    PutLE(p, d.SPS, 2);
    return p;
}

inline QByteArray SettingsPayload(const TForm1::TSettings &s, bool full = true)
{
    QByteArray p;
    PutLE(p, static_cast<quint16>(s.iFizFor4mA), 2);
    PutLE(p, static_cast<quint16>(s.iFizFor20mA), 2);
    PutLE(p, s.bErrorCurrentValue ? 1 : 0, 1);
    PutLE(p, s.bErrorCurrentMode ? 1 : 0, 1);
    if (full) {
        PutLE(p, s.SensorCode, 1);
        PutLE(p, s.Averaging, 2);
        PutLE(p, s.InputCode, 1);
    }
    return p;
}

inline TForm1::TLiveData SomeLiveData()
{
    TForm1::TLiveData d;
    d.FirmwareDateCode = 20170105;
    d.CalibrationDateCode = 20161011;
    d.Decimals = 1;
    d.MeasuredValue = 345;
    d.OutputValue = 4000;
    d.ScaleEnd = 2500;
    d.BridgeDataAveraged = 12345;
    d.SPS = 50;
    return d;
}

// The window with manual component timers on a fake link, Hungarian number format,
// and a fixed calendar (11 October 2016).
class AppTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary));
        form = std::make_unique<TForm1>();
        mb = form->MB1;
        mb->SetManualTimers(true);
        link = UseFakeLink(*mb);
        form->Today = [] { return QDate(2016, 10, 11); };
        m_consumed = 0;
    }

    void TearDown() override
    {
        form.reset();
        QLocale::setDefault(QLocale::c());
    }

    // Opens the port through the window's button.
    void Open()
    {
        form->Button_OpenOrCloceSerialPort->click();
        ASSERT_TRUE(mb->MBPortOpen());
    }

    // Lets the pending start run and decodes what went out on the line.
    TQuery Send()
    {
        if (!Core(*mb).StartTimer.Fire())
            return {};
        return LastQuery();
    }

    // The query written since the previous call.
    TQuery LastQuery()
    {
        const QByteArray all = link->Written();
        const QByteArray text = all.mid(m_consumed);
        m_consumed = all.size();
        const qsizetype start = text.lastIndexOf('M');
        const qsizetype end = text.indexOf(';', start);
        if (start < 0 || end < 0)
            return {};
        const QByteArray bytes = QByteArray::fromHex(text.mid(start + 1, end - start - 1));
        EXPECT_GE(bytes.size(), 6);
        if (bytes.size() < 6)
            return {};
        const auto *b = reinterpret_cast<const quint8 *>(bytes.constData());
        const quint16 crc = TMB::MBCrc16(b, bytes.size() - 2);
        EXPECT_EQ(crc & 0xFF, b[bytes.size() - 2]);
        EXPECT_EQ(crc >> 8, b[bytes.size() - 1]);
        EXPECT_EQ(b[0], 1);  // address
        EXPECT_EQ(b[1], 39); // ID
        TQuery q;
        q.command = b[2];
        q.payload = bytes.mid(4, bytes.size() - 6);
        return q;
    }

    // Answers the query in flight with the given payload.
    void Answer(const QByteArray &payload, quint8 status = 0)
    {
        QByteArray frame;
        frame.append(char(1));
        frame.append(char(39));
        frame.append(char(mb->MBMasterCommandToSlave()));
        frame.append(char(status));
        frame += payload;
        const quint16 crc = TMB::MBCrc16(reinterpret_cast<const quint8 *>(frame.constData()), frame.size());
        frame.append(char(crc & 0xFF));
        frame.append(char(crc >> 8));
        Deliver(*mb, "S" + frame.toHex().toUpper() + ";");
    }

    // Lets every try of the transaction in flight time out.
    void TimeOut()
    {
        while (Core(*mb).AnswerTimer.Fire()) {
        }
    }

    // Sends the pending transaction and answers it: a poll with live data,
    // a settings read with the instrument's settings, anything else empty.
    int Serve()
    {
        const TQuery q = Send();
        if (q.command == TForm1::Cmd_Poll)
            Answer(LivePayload(live));
        else if (q.command == TForm1::Cmd_ReadSettings)
            Answer(SettingsPayload(stored));
        else if (q.command >= 0)
            Answer({});
        return q.command;
    }

    std::unique_ptr<TForm1> form;
    TMB *mb = nullptr;
    std::shared_ptr<FakeLinkState> link;
    TForm1::TLiveData live = SomeLiveData();
    TForm1::TSettings stored;

private:
    qsizetype m_consumed = 0;
};
