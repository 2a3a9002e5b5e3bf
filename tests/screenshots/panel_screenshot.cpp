// Renders two panels side by side into a PNG: closed (as after start-up with
// three ports found) and open with a minute and a half of polling traffic
// from a fake instrument. Usage: panel_screenshot <out.png> [hu|en]
// (docs/panel.png in Hungarian, the design's; docs/panel-en.png in English).
#include "FakeLink.h"
#include "Language.h"
#include "MB.h"

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <cmath>
#include <cstdio>

namespace {

// An ASCII answer as the instrument sends it: address, ID, command, error code 0, payload, CRC.
QByteArray AsciiAnswer(quint8 address, quint8 id, quint8 command, const QByteArray &payload)
{
    QByteArray frame;
    frame.append(char(address)).append(char(id)).append(char(command)).append('\0').append(payload);
    const quint16 crc = TMB::MBCrc16(reinterpret_cast<const quint8 *>(frame.constData()), frame.size());
    frame.append(char(crc & 0xFF)).append(char(crc >> 8));
    return QByteArray("S") + frame.toHex().toUpper() + ";";
}

void ListPorts(TMB &mb)
{
    // What a probe finding three ports shows.
    mb.PortList->addItems({QStringLiteral("ttyUSB0"), QStringLiteral("ttyS1"), QStringLiteral("ttyS0")});
    mb.PortList->setCurrentRow(0);
    mb.OpenButton->setEnabled(true);
}

void Poll(TMB &mb, quint8 command, const QByteArray &answerPayload)
{
    mb.setMBMasterCommandToSlave(command);
    mb.MBClearTxData();
    mb.MBPutByte(1);
    mb.MBMasterStart(0);
    Deliver(mb, AsciiAnswer(mb.MBMasterAddressToSlave(), mb.MBMasterIDToSlave(), command, answerPayload));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: panel_screenshot <out.png> [hu|en]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const auto language = Language::FromCode(QString::fromLocal8Bit(argc > 2 ? argv[2] : "hu"));
    if (!language || !Language::Apply(*language)) {
        std::fprintf(stderr, "panel_screenshot: the language is hu or en, and its translations must be built in\n");
        return 2;
    }

    QWidget window;
    window.setWindowTitle(QStringLiteral("TMB panel"));
    window.setAutoFillBackground(true);
    window.setFixedSize(2 * TMB::PanelWidth + 3 * 8, TMB::PanelHeight + 2 * 8);

    auto *closed = new TMB(&window);
    closed->move(8, 8);
    closed->SetManualTimers(true);
    UseFakeLink(*closed);
    closed->setMBRefreshListOnStartup(false);
    Core(*closed).SpeedTimer.Fire(); // start-up
    // The list is filled by hand below, as a refresh would: no stale-list mark.
    QFont f = closed->RefreshButton->font();
    f.setBold(false);
    closed->RefreshButton->setFont(f);
    ListPorts(*closed);

    auto *open = new TMB(&window);
    open->move(TMB::PanelWidth + 16, 8);
    open->SetManualTimers(true);
    UseFakeLink(*open);
    open->setMBRefreshListOnStartup(false);
    open->setMBBaud(TMB::baud004800);
    open->setMBMasterIDToSlave(39);
    open->setMBBaudEditVisible(false);
    Core(*open).SpeedTimer.Fire(); // start-up
    ListPorts(*open);
    open->MBOpenPort();

    // 90 seconds of polling at a varying rate, with a settings read now and then.
    const QByteArray measurement = QByteArray::fromHex("0010270000A00F");
    for (int second = 0; second < 90; ++second) {
        const int polls = 9 + int(std::lround(4.0 * std::sin(second / 9.0))) + (second > 70 ? 3 : 0);
        for (int i = 0; i < polls; ++i)
            Poll(*open, (second % 23 == 5 && i == 0) ? 8 : 1, measurement);
        if (second == 40) {
            // Two answers lost: the third try gets through, and the try display keeps 3.
            open->setMBMasterCommandToSlave(1);
            open->MBClearTxData();
            open->MBPutByte(1);
            open->MBMasterStart(0);
            Core(*open).AnswerTimer.Fire();
            Core(*open).AnswerTimer.Fire();
            Deliver(*open, AsciiAnswer(1, 39, 1, measurement));
        }
        Core(*open).SpeedTimer.Fire();
    }
    Poll(*open, 1, measurement); // the lamps are lit by the last exchange

    std::printf("fonts: Arial -> %s, Courier New -> %s, group box -> %s %dpx\n",
                qPrintable(QFontInfo(open->StatusLine->font()).family()),
                qPrintable(QFontInfo(open->TxIdLabel->font()).family()),
                qPrintable(QFontInfo(open->font()).family()), QFontInfo(open->font()).pixelSize());
    std::printf("open: speed \"%s\", tx \"%s\", rx \"%s\", traffic \"%s\", history \"%s\"\n",
                qPrintable(open->SpeedLabel->text()), qPrintable(open->TxFramesLabel->text()),
                qPrintable(open->RxFramesLabel->text()), qPrintable(open->TrafficLabel->text()),
                qPrintable(open->HistoryLabel->text()));

    window.show();
    int rc = 1;
    QTimer::singleShot(500, &window, [&] {
        rc = window.grab().save(out) ? 0 : 1;
        app.quit();
    });
    app.exec();
    return rc;
}
