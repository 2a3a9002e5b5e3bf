// The calibration record window's reference instruments on a line: Connect
// fills the references from their *IDN? answers, Read takes the meter's mean
// (and the controller's reading as the applied value) into a point, and
// "Read automatically" does so once the instrument has settled.
#include "CalibrationWindow.h"

#include "AutomaticRun.h"
#include "CertificateHeader.h"
#include "PointTable.h"
#include "ReferencePanel.h"
#include "ReferenceWorker.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

using namespace calib;

namespace {

// Meter readings averaged per point: enough to calm its last digit, few enough to stay quick.
constexpr int kReadingsPerPoint = 3;

QString CellText(QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *cell = table->item(row, column);
    return cell ? cell->text().trimmed() : QString();
}

} // namespace

void TCalibrationWindow::ConnectReferences()
{
    connect(m_refs, &TReferencePanel::ConnectAsked, this, [this] {
        if (m_refs->ConnectAll(m_session->UnitNow()))
            Say(tr("Connecting the reference instruments…"));
    });
    connect(m_refs, &TReferencePanel::Problem, this, [this](const QString &text) { Say(text, true); });
    connect(m_refs, &TReferencePanel::Identified, this, &TCalibrationWindow::ReferenceIdentified);
    connect(m_refs, &TReferencePanel::MeterRead, this,
            [this](quint64 ticket, bool ok, double mA, const QString &error) { MeterAnswered(ticket, ok, mA, error); });
    connect(m_refs, &TReferencePanel::ControllerRead, this,
            [this](quint64 ticket, bool ok, double value, bool, const QString &error) { ControllerAnswered(ticket, ok, value, error); });
    connect(m_refs, &TReferencePanel::ReadAsked, this, [this] {
        QTableWidget *table = m_tables[int(m_lastPhase)];
        if (!ReadPoint(m_lastPhase, table->currentRow()))
            Say(m_lastMessage, true);
    });
    for (int phase = 0; phase < 2; ++phase) {
        connect(m_tables[phase], &QTableWidget::cellChanged, this, [this, phase](int row, int column) { CellTyped(TPhase(phase), row, column); });
        connect(m_tables[phase], &QTableWidget::currentCellChanged, this, [this, phase] { m_lastPhase = TPhase(phase); });
    }
    connect(m_session, &TCalibrationSession::LiveChanged, this, &TCalibrationWindow::TryAutoRead);

    m_auto = new TAutomaticRun(m_form, *this, *m_refs);
    connect(m_refs, &TReferencePanel::AutomaticAsked, this, [this] {
        QString error;
        const QString typed = m_refs->FullScaleEdit()->text().trimmed();
        const std::optional<TDecimal> fullScale = ParseDecimal(typed.toStdString(), 6);
        if (!m_auto->Start(fullScale ? fullScale->Value() : 0.0, error))
            Say(error, true);
        else
            m_refs->ShowRun(true, QString());
    });
    connect(m_refs->PauseButton(), &QPushButton::toggled, m_auto, &TAutomaticRun::SetPaused);
    connect(m_refs->CancelButton(), &QPushButton::clicked, m_auto, &TAutomaticRun::Cancel);
    connect(m_auto, &TAutomaticRun::Progress, this, [this](const QString &text) { m_refs->ShowRun(m_auto->Running(), text); });
    connect(m_auto, &TAutomaticRun::Ended, this, [this](bool ok, const QString &text) {
        m_refs->ShowRun(false, QString());
        Say(text, !ok);
    });
}

void TCalibrationWindow::ReferenceIdentified(int role, const QString &identity)
{
    // A finished record keeps the references it was finished with.
    if (HasRecord() && Record().finished) {
        Say(tr("Connected to %1; the finished record keeps its references.").arg(identity));
        return;
    }
    // Row 0 of the references is the pressure standard, row 1 the ammeter.
    m_header->SetReferenceIdentity(role == TReferenceWorker::Meter ? 1 : 0, identity);
    Say(tr("Connected to %1.").arg(identity));
}

bool TCalibrationWindow::ReadPoint(TPhase phase, int index)
{
    const auto refuse = [this](const QString &why) {
        m_lastMessage = why;
        return false;
    };
    if (!HasRecord() || Record().finished || m_session->Creating())
        return refuse(tr("No open record to read into: start one with \"New record\" or continue one from the history."));
    if (!m_refs->MeterConnected())
        return refuse(tr("No meter connected: type its address (tcp:HOST:PORT or serial:PORT) and press Connect, or type the "
                                     "ammeter's reading by hand."));
    if (index < 0 || index >= m_tables[int(phase)]->rowCount())
        return refuse(tr("No point selected: click the row of the point to read."));
    if (m_read)
        return refuse(tr("A reading is still under way: wait for it, then read again."));
    if (!m_refs->ControllerConnected() && CellText(m_tables[int(phase)], index, TPointTable::ColApplied).isEmpty())
        return refuse(tr("Type the applied value of point %1 first (no pressure controller connected to read it from).").arg(index + 1));
    TRead read;
    read.phase = phase;
    read.index = index;
    read.record = Record().id;
    if (m_refs->ControllerConnected())
        read.controllerTicket = m_refs->ReadController();
    read.meterTicket = m_refs->ReadMeter(kReadingsPerPoint);
    m_read = read;
    m_lastMessage.clear();
    Say(tr("Reading the references for point %1…").arg(index + 1));
    return true;
}

void TCalibrationWindow::ReadFailed(const QString &text)
{
    m_read.reset();
    Say(text, true);
    emit ReferenceRead(false);
}

void TCalibrationWindow::ControllerAnswered(quint64 ticket, bool ok, double value, const QString &error)
{
    if (!m_read || ticket != m_read->controllerTicket)
        return;
    if (!ok) {
        // The meter's answer still to come is dropped: the point needs both.
        m_read->controllerTicket = 0;
        m_read->meterTicket = 0;
        ReadFailed(tr("Point %1 not read: %2").arg(m_read->index + 1).arg(error));
        return;
    }
    const std::optional<TSpan> span = TableSpan(m_read->phase);
    m_read->applied = QString::number(value, 'f', span ? span->decimals + 1 : 2);
}

void TCalibrationWindow::MeterAnswered(quint64 ticket, bool ok, double milliAmps, const QString &error)
{
    if (!m_read || ticket != m_read->meterTicket)
        return;
    const TRead read = *m_read;
    if (!ok) {
        ReadFailed(tr("Point %1 not read: %2").arg(read.index + 1).arg(error));
        return;
    }
    m_read.reset();
    TPointTable *table = m_tables[int(read.phase)];
    if (Record().id != read.record || Record().finished || read.index >= table->rowCount()) {
        Say(tr("The reading came after the record had changed, so it was not entered: read the point again."), true);
        emit ReferenceRead(false);
        return;
    }
    if (read.applied) {
        // Both cells in, then one change: the point is entered once, with both.
        const QSignalBlocker block(table);
        if (!table->item(read.index, TPointTable::ColApplied))
            table->setItem(read.index, TPointTable::ColApplied, new QTableWidgetItem);
        table->item(read.index, TPointTable::ColApplied)->setText(*read.applied);
    }
    if (!table->item(read.index, TPointTable::ColAmmeter))
        table->setItem(read.index, TPointTable::ColAmmeter, new QTableWidgetItem);
    QTableWidgetItem *cell = table->item(read.index, TPointTable::ColAmmeter);
    const QString text = QString::number(milliAmps, 'f', kCurrentDecimals);
    if (cell->text() == text) // no change would enter nothing: enter it as typed
        PointTyped(read.phase, read.index, CellText(table, read.index, TPointTable::ColApplied), text);
    else
        cell->setText(text);
    Say(tr("Point %1 read: %2 mA%3.").arg(read.index + 1).arg(text, read.applied ? tr(" at %1 Pa").arg(*read.applied) : QString()));
    emit ReferenceRead(true);
}

void TCalibrationWindow::CellTyped(TPhase phase, int row, int column)
{
    if (m_filling || column != TPointTable::ColApplied || !m_refs->AutoReadBox()->isChecked() || !m_refs->MeterConnected())
        return;
    QTableWidget *table = m_tables[int(phase)];
    if (CellText(table, row, TPointTable::ColApplied).isEmpty() || !CellText(table, row, TPointTable::ColAmmeter).isEmpty())
        return;
    m_autoRead = std::pair{phase, row};
    TryAutoRead();
}

void TCalibrationWindow::TryAutoRead()
{
    if (!m_autoRead || m_read || !m_session->InstrumentStable())
        return;
    const auto [phase, row] = *m_autoRead;
    m_autoRead.reset();
    if (!ReadPoint(phase, row))
        Say(m_lastMessage, true);
}
