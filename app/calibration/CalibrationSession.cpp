#include "CalibrationSession.h"

#include "StoreRunner.h"

#include <QDir>

#include <cmath>

namespace calib {

namespace {

// Zero, input and output points: the instrument's own calibration.
bool IsCalibrationCommand(quint8 command)
{
    switch (command) {
    case kv508::Cmd_Zero:
    case kv508::Cmd_SetAs0:
    case kv508::Cmd_SetAs4mA:
    case kv508::Cmd_SetAs20mA:
    case kv508::Cmd_SetAsScaleEnd: return true;
    default: return false;
    }
}

// The phases as the messages name them (the record keeps them in English).
const char *const kPhaseWords[] = {QT_TRANSLATE_NOOP("calib::TCalibrationSession", "As-Found"),
                                   QT_TRANSLATE_NOOP("calib::TCalibrationSession", "As-Left")};

} // namespace

TCalibrationSession::TCalibrationSession(const QString &databasePath, const kv508::TInstrumentSnapshot &instrument, QObject *parent)
    : QObject(parent), m_instrument(instrument)
{
    m_runner = new TStoreRunner(databasePath, this);
    connect(m_runner, &TStoreRunner::Idle, this, &TCalibrationSession::Idle);
    // What the form knows already: settings read and a poll answered before.
    m_settingsSeen = instrument.settings != kv508::TSettings{};
    m_pollSeen = instrument.live.FirmwareDateCode != 0;

    OpenStore();
}

void TCalibrationSession::OpenStore()
{
    // The store opens on its thread; the first job reports whether it could,
    // and what bringing the file up to date found.
    m_runner->Run<TResult<QString>>(
        [](TRecordStore &s) -> TResult<QString> {
            if (!s.IsOpen())
                return s.Failure<QString>();
            return s.Notice();
        },
        [this](const TResult<QString> &opened) {
            if (!opened.Ok()) {
                Say(opened.ErrorMessage(), true);
                emit StoreUnusable();
            } else if (!opened.Value().isEmpty()) {
                Say(opened.Value(), true);
            }
        });
}

TCalibrationSession::~TCalibrationSession() = default;

int TCalibrationSession::PendingWrites() const
{
    return m_runner->Pending();
}

void TCalibrationSession::Say(const QString &text, bool error)
{
    m_lastMessage = text;
    emit Message(text, error);
}

// ---- the instrument ------------------------------------------------------------------------------

std::optional<TSpan> TCalibrationSession::SpanNow() const
{
    if (!m_pollSeen || !m_settingsSeen)
        return std::nullopt;
    const kv508::TScaledSpan s = m_instrument.Span();
    return TSpan{s.at4mA, s.at20mA, s.decimals};
}

bool TCalibrationSession::InstrumentStable() const
{
    const std::optional<TSpan> &phaseSpan = m_record.span[m_record.HasPoints(TPhase::AsLeft) || m_record.calibrated ? 1 : 0];
    const kv508::TScaledSpan now = m_instrument.Span();
    const TSpan span = phaseSpan.value_or(TSpan{now.at4mA, now.at20mA, now.decimals});
    return m_readings.Stable(span, m_record.tolerance);
}

QString TCalibrationSession::UnitNow() const
{
    return m_instrument.settings.InputCode == 1 ? QStringLiteral("°C") : QStringLiteral("Pa");
}

QString TCalibrationSession::SensorNow() const
{
    if (!m_settingsSeen)
        return {};
    if (m_instrument.settings.InputCode == 1)
        return QStringLiteral("Temperature input");
    if (!m_instrument.sensorName.empty())
        return QString::fromStdString(m_instrument.sensorName);
    return QStringLiteral("code %1 (unknown)").arg(m_instrument.settings.SensorCode);
}

QDate TCalibrationSession::Today() const
{
    const quint32 code = m_instrument.today;
    return QDate(int(code / 10000), int(code / 100 % 100), int(code % 100));
}

TResult<TSpan> TCalibrationSession::CurrentSpan() const
{
    const std::optional<TSpan> span = SpanNow();
    if (!span)
        return TResult<TSpan>::Refused(tr("The instrument's span is not known yet: open the port in the main window and wait until it has "
                                                      "read the settings (the values for 4 mA and 20 mA)."));
    const TSpanError error = CheckSpan(*span);
    if (error != TSpanError::None)
        return TResult<TSpan>::Refused(tr("The check cannot start: %1 (4 mA = %2, 20 mA = %3). Set the values for 4 mA and 20 mA on the "
                                                      "user page and write them to the instrument.")
                                           .arg(QString::fromUtf8(SpanErrorText(error)), QString::fromStdString(span->Lower().Text()),
                                                QString::fromStdString(span->Upper().Text())));
    return *span;
}

void TCalibrationSession::Follow(quint8 command, bool ok, const kv508::TInstrumentSnapshot &instrument)
{
    m_instrument = instrument;
    if (!ok) {
        if (command == kv508::Cmd_Poll)
            m_readings.Clear(); // a gap: the mean would mix old and new
        emit LiveChanged();
        return;
    }
    if (command == kv508::Cmd_ReadSettings) {
        m_settingsSeen = true;
        if (HasRecord() && !m_record.finished && m_record.sensor.isEmpty() && !m_record.HasPoints(TPhase::AsFound)) {
            m_record.sensor = SensorNow();
            m_record.unit = UnitNow();
            emit RecordChanged();
            SaveHeader();
        }
    } else if (command == kv508::Cmd_Poll) {
        FollowPoll();
    } else if (IsCalibrationCommand(command) && HasRecord() && !m_record.finished && !m_record.HasPoints(TPhase::AsLeft) &&
               !m_record.calibrated) {
        m_record.calibrated = true;
        emit RecordChanged();
        SaveHeader();
    }
    emit LiveChanged();
}

void TCalibrationSession::FollowPoll()
{
    m_pollSeen = true;
    const kv508::TLiveData &d = m_instrument.live;
    m_readings.Add(d.MeasuredValue, d.Decimals, d.OutputValue);
    if (!HasRecord() || m_record.finished)
        return;
    bool changed = false;
    if (!m_record.HasPoints(TPhase::AsFound) && !m_record.calibrated &&
        (m_record.firmware != d.FirmwareDateCode || m_record.foundCalibrationDate != d.CalibrationDateCode)) {
        // As found: what the instrument says before anything is changed.
        m_record.firmware = d.FirmwareDateCode;
        m_record.foundCalibrationDate = d.CalibrationDateCode;
        changed = true;
    }
    if (m_record.calibrated && !m_record.HasPoints(TPhase::AsLeft) && m_record.newCalibrationDate != d.CalibrationDateCode) {
        // The date the calibration left behind, read back from the instrument.
        m_record.newCalibrationDate = d.CalibrationDateCode;
        changed = true;
    }
    if (changed) {
        emit RecordChanged();
        SaveHeader();
    }
}

// ---- the record ---------------------------------------------------------------------------------

TResult<bool> TCalibrationSession::NewRecord(const QString &technician, std::vector<TReference> references, TCertificateLanguage language)
{
    if (m_creating)
        return TResult<bool>::Refused(tr("A record is being started; wait until it is."));
    TRecord r;
    r.created = QDateTime::currentDateTimeUtc();
    r.references = std::move(references);
    r.nextDue = Today().addYears(1);
    r.points = m_record.id ? m_record.points : r.points; // the technician's points carry over
    r.tolerance = m_record.id ? m_record.tolerance : r.tolerance;
    r.hysteresis = m_record.id ? m_record.hysteresis : false;
    r.technician = technician;
    r.certificateLanguage = language;
    if (m_pollSeen) {
        r.firmware = m_instrument.live.FirmwareDateCode;
        r.foundCalibrationDate = m_instrument.live.CalibrationDateCode;
    }
    r.sensor = SensorNow();
    r.unit = UnitNow();
    m_creating = true;
    ++m_generation; // a history load still under way is for the record being left
    m_record = r;
    emit EditableChanged();
    Say(tr("Starting a new record…"));
    const int year = Today().year();
    m_runner->Run<TResult<TRecord>>(
        [r, year](TRecordStore &s) mutable -> TResult<TRecord> {
            if (!s.Create(r, year))
                return s.Failure<TRecord>();
            return r;
        },
        [this](const TResult<TRecord> &result) {
            m_creating = false;
            if (!result.Ok()) {
                m_record = TRecord{};
                emit RecordChanged();
                Say(tr("The record could not be started: %1").arg(result.ErrorMessage()), true);
                emit Saved(false, QStringLiteral("record"));
                return;
            }
            const TRecord &created = result.Value();
            m_record.id = created.id;
            m_savedCertificate = created.certificate;
            m_record.certificate = created.certificate;
            m_historyTag.clear();
            emit RecordChanged();
            RefreshHistory();
            Say(tr("Record %1 started. Type the instrument tag and serial number, then apply the first As-Found point.")
                    .arg(created.certificate));
            emit Saved(true, QStringLiteral("record"));
        });
    return true;
}

void TCalibrationSession::Load(qint64 id)
{
    if (m_creating)
        return;
    const quint64 generation = ++m_generation;
    m_runner->Run<TResult<TRecord>>(
        [id](TRecordStore &s) -> TResult<TRecord> {
            std::optional<TRecord> r = s.Load(id);
            if (!r)
                return s.Failure<TRecord>();
            return std::move(*r);
        },
        [this, generation](const TResult<TRecord> &r) {
            if (generation != m_generation || m_creating)
                return; // another record was asked for meanwhile
            if (!r.Ok()) {
                Say(tr("The record could not be read: %1").arg(r.ErrorMessage()), true);
                return;
            }
            m_record = r.Value();
            m_savedCertificate = m_record.certificate;
            emit RecordChanged();
            Say(m_record.finished ? tr("Record %1 (finished: read-only).").arg(m_record.certificate)
                                  : tr("Record %1 continued.").arg(m_record.certificate));
        });
}

void TCalibrationSession::SetHeader(const THeaderFields &fields)
{
    if (m_record.finished)
        return; // read-only: the record keeps what is stored
    m_record.certificate = fields.certificate;
    m_record.tag = fields.tag;
    m_record.serial = fields.serial;
    m_record.technician = fields.technician;
    m_record.ambientTemperature = fields.ambientTemperature;
    m_record.humidity = fields.humidity;
    m_record.remarks = fields.remarks;
    m_record.nextDue = fields.nextDue;
    m_record.certificateLanguage = fields.certificateLanguage;
    m_record.references = fields.references;
}

void TCalibrationSession::SetCheck(const QString &tolerance, const QString &points, bool hysteresis)
{
    if (!HasRecord() || m_record.finished)
        return;
    if (!Locked()) {
        const std::optional<TDecimal> tol = ParseDecimal(tolerance.toStdString(), kToleranceDecimals);
        if (tol && tol->units > 0 && tol->At(kToleranceDecimals) <= 100000)
            m_record.tolerance = *tol;
        else
            Say(tr("The tolerance must be a number above 0 and at most 100 (% of span), with up to %1 decimals; "
                               "it stays %2.")
                    .arg(kToleranceDecimals)
                    .arg(QString::fromStdString(m_record.tolerance.Text())),
                true);
        if (const std::optional<std::vector<TDecimal>> pts = ParsePoints(points.toStdString()))
            m_record.points = *pts;
        else
            Say(tr("The test points must be percentages of span between -10 and 110, separated by commas or blanks; "
                               "they stay %1.")
                    .arg(QString::fromStdString(PointsText(m_record.points))),
                true);
        m_record.hysteresis = hysteresis;
        SaveHeader();
    }
    emit RecordChanged();
}

void TCalibrationSession::StoreHeader(std::function<void(const QString &error)> then, bool finishing)
{
    if (!HasRecord())
        return;
    const TRecord r = m_record;
    m_runner->Run<TResult<bool>>(
        [r, finishing](TRecordStore &s) -> TResult<bool> {
            if (!(finishing ? s.Finish(r) : s.SaveHeader(r)))
                return s.Failure<bool>();
            return true;
        },
        [this, r, finishing, then = std::move(then)](const TResult<bool> &result) {
            QString error = result.ErrorMessage(); // a sentence to go on from
            if (!error.isEmpty() && !error.endsWith(QLatin1Char('.')))
                error += QLatin1Char('.');
            if (result.Ok()) {
                if (m_record.id == r.id)
                    m_savedCertificate = r.certificate;
            } else if (result.Error() == TStoreError::CertificateTaken && m_record.id == r.id && m_record.certificate == r.certificate) {
                // The number goes back to the one on disk; the rest of what
                // was typed is saved again under it (a finish is asked again).
                m_record.certificate = m_savedCertificate;
                emit CertificateKept(m_savedCertificate);
                error += tr(" This record keeps %1.").arg(m_savedCertificate.isEmpty() ? tr("no number") : m_savedCertificate);
                Say(error.left(1).toUpper() + error.mid(1), true);
                if (!r.finished)
                    SaveHeader();
            } else if (finishing || !HoldHeader(result, r)) {
                Say(tr("The record header was not saved: %1").arg(error), true);
            }
            if (then)
                then(error);
            emit Saved(result.Ok(), QStringLiteral("header"));
        });
}

TResult<bool> TCalibrationSession::EnterPoint(TPhase phase, int index, const QString &appliedText, const QString &milliAmpsText)
{
    if (!HasRecord() || m_creating)
        return TResult<bool>::Refused(tr("Start a record first (\"New record\")."));
    if (m_record.finished)
        return TResult<bool>::Refused(tr("The record is finished; start a new one to check again."));
    const std::vector<TDecimal> seq = m_record.Sequence();
    if (index < 0 || index >= int(seq.size()))
        return TResult<bool>::Refused(tr("There is no test point %1.").arg(index + 1));
    std::optional<TSpan> span = m_record.span[int(phase)];
    if (!span) {
        const TResult<TSpan> now = CurrentSpan();
        if (!now.Ok())
            return TResult<bool>::Refused(now.ErrorMessage());
        span = now.Value();
    }
    const std::optional<TDecimal> applied = ParseDecimal(appliedText.toStdString(), span->decimals + kExtraPressureDecimals);
    if (!applied)
        return TResult<bool>::Refused(tr("The applied value \"%1\" is not a number with at most %2 decimals.")
                                          .arg(appliedText)
                                          .arg(span->decimals + kExtraPressureDecimals));
    const std::optional<TDecimal> mA = ParseDecimal(milliAmpsText.toStdString(), kCurrentDecimals);
    if (!mA || std::abs(mA->Value()) > 100)
        return TResult<bool>::Refused(tr("The ammeter reading \"%1\" is not a current in mA with at most %2 decimals.")
                                          .arg(milliAmpsText)
                                          .arg(kCurrentDecimals));
    const bool firstOfPhase = !m_record.span[int(phase)];
    m_record.span[int(phase)] = span;
    TPoint p;
    p.phase = phase;
    p.index = index;
    p.percent = seq[size_t(index)];
    p.applied = *applied;
    p.milliAmps = *mA;
    if (m_readings.Count() > 0) {
        p.instrumentValue = m_readings.MeanValue();
        p.instrumentMilliAmps = m_readings.MeanMilliAmps();
        p.stable = InstrumentStable();
    }
    // The repeatability is reckoned over a full window of polls (TRecord::Uncertainty).
    if (m_readings.Count() == TReadings::kPolls)
        p.instrumentSpreadMilliAmps = m_readings.SpreadMilliAmps();
    p.taken = QDateTime::currentDateTimeUtc();
    std::optional<TPoint> previous;
    if (const TPoint *old = m_record.Find(phase, index))
        previous = *old;
    m_record.Put(p);
    const qint64 id = m_record.id;
    const TRecord header = m_record;
    m_runner->Run<TResult<bool>>(
        [id, p, header, firstOfPhase](TRecordStore &s) -> TResult<bool> {
            // The phase's span goes with its first point, in order before it.
            if ((firstOfPhase && !s.SaveHeader(header)) || !s.SavePoint(id, p))
                return s.Failure<bool>();
            return true;
        },
        [this, phase, index, id, p, previous, firstOfPhase](const TResult<bool> &result) {
            PointStored(result, phase, index, id, p, previous, firstOfPhase);
        });
    emit RecordChanged();
    return true;
}

void TCalibrationSession::PointStored(const TResult<bool> &result, TPhase phase, int index, qint64 id, const TPoint &p,
                                      const std::optional<TPoint> &previous, bool firstOfPhase)
{
    if (!result.Ok() && HoldPoint(result, id, p, firstOfPhase && m_record.id == id ? std::optional<TRecord>(m_record) : std::nullopt)) {
        emit Saved(false, QStringLiteral("point"));
        return;
    }
    if (result.Ok())
        Stored(id, p);
    if (!result.Ok()) {
        // What the database does not hold must not be shown, counted or
        // exported: back to what was there, unless the point was entered again since.
        const TPoint *now = m_record.id == id ? m_record.Find(phase, index) : nullptr;
        if (now && *now == p) {
            if (previous)
                m_record.Put(*previous);
            else
                m_record.Remove(phase, index);
            if (firstOfPhase && !m_record.HasPoints(phase))
                m_record.span[int(phase)].reset();
            emit RecordChanged();
        }
        Say(tr("Point %1 (%2) was NOT saved: %3. Enter it again once the cause is fixed.")
                .arg(index + 1)
                .arg(tr(kPhaseWords[int(phase)]), result.ErrorMessage()),
            true);
        if (!previous)
            emit PointNotSaved(phase, index);
    } else {
        Say(tr("%1 point %2 saved.").arg(tr(kPhaseWords[int(phase)])).arg(index + 1));
        RefreshHistory();
    }
    emit Saved(result.Ok(), QStringLiteral("point"));
}

TResult<bool> TCalibrationSession::Finish()
{
    if (Unstored() > 0)
        return TResult<bool>::Refused(tr("Points typed here are not stored on the records server yet: the record can be finished "
                                                     "once they are (or save it here with \"Save here…\")."));
    if (!HasRecord())
        return TResult<bool>::Refused(tr("Start a record first (\"New record\")."));
    if (m_record.finished)
        return TResult<bool>::Refused(tr("The record is finished already."));
    m_record.finished = true;
    StoreHeader([this, id = m_record.id](const QString &error) {
        if (error.isEmpty()) {
            RefreshHistory();
            return;
        }
        // Not finished on disk: not finished here either, so it can be tried again.
        if (m_record.id == id) {
            m_record.finished = false;
            emit RecordChanged();
        }
        Say(tr("The record was NOT finished: %1 Press \"Finish record\" again once the cause is fixed.").arg(error), true);
    }, true);
    emit RecordChanged();
    Say(tr("Record %1 finished. Export the certificate with \"Certificate PDF…\".").arg(m_record.certificate));
    return true;
}

bool TCalibrationSession::IsTechnician(const QString &name) const
{
    return name.trimmed().compare(m_record.technician.trimmed(), Qt::CaseInsensitive) == 0;
}

TResult<bool> TCalibrationSession::Approve(const QString &approver)
{
    const QString name = approver.trimmed();
    if (!HasRecord())
        return TResult<bool>::Refused(tr("Open a finished record first (double-click it in the history)."));
    if (!m_record.finished)
        return TResult<bool>::Refused(tr("Record %1 is not finished: finish it before it is approved.").arg(m_record.certificate));
    if (!m_record.approvedBy.isEmpty())
        return TResult<bool>::Refused(tr("Record %1 was approved by %2 already.").arg(m_record.certificate, m_record.approvedBy));
    if (name.isEmpty())
        return TResult<bool>::Refused(tr("Type the approver's name."));
    if (IsTechnician(name))
        return TResult<bool>::Refused(tr("%1 made record %2: approval is a second person's. Ask someone else to approve it.")
                                          .arg(name, m_record.certificate));
    const qint64 id = m_record.id;
    const QString certificate = m_record.certificate;
    const quint64 generation = m_generation;
    m_runner->Run<TResult<TRecord>>(
        [id, name](TRecordStore &s) -> TResult<TRecord> {
            if (!s.Approve(id, name))
                return s.Failure<TRecord>();
            std::optional<TRecord> r = s.Load(id);
            if (!r)
                return s.Failure<TRecord>();
            return std::move(*r);
        },
        [this, generation, name, certificate](const TResult<TRecord> &r) {
            if (!r.Ok()) {
                Say(tr("Record %1 was NOT approved: %2.").arg(certificate, r.ErrorMessage()), true);
                emit Saved(false, QStringLiteral("approval"));
                return;
            }
            if (generation == m_generation && !m_creating) {
                m_record = r.Value(); // as stored: the approver and the time with it
                m_savedCertificate = m_record.certificate;
                emit RecordChanged();
            }
            RefreshHistory();
            Say(tr("Record %1 approved by %2.").arg(certificate, name));
            emit Saved(true, QStringLiteral("approval"));
        });
    return true;
}

void TCalibrationSession::NoteCertificate(const QString &where)
{
    if (!HasRecord())
        return;
    const qint64 id = m_record.id;
    const QString certificate = m_record.certificate;
    m_runner->Run<TResult<bool>>(
        [id, where](TRecordStore &s) -> TResult<bool> {
            if (!s.NoteCertificate(id, where))
                return s.Failure<bool>();
            return true;
        },
        [this, certificate](const TResult<bool> &noted) {
            if (!noted.Ok())
                Say(tr("The certificate of %1 went out, but it is NOT noted in the record's audit trail: %2.")
                        .arg(certificate, noted.ErrorMessage()),
                    true);
        });
}

void TCalibrationSession::Export(const QString &path, const TExport &how, std::function<void()> before)
{
    const TRecord r = m_record;
    // The result, and why the audit trail has no note of it (empty: noted, or nothing to note).
    using TWritten = std::pair<TResult<bool>, QString>;
    m_runner->Run<TWritten>(
        [r, path, write = how.write, note = how.note](TRecordStore &s) -> TWritten {
            const TResult<bool> written = write(r, path);
            if (!written.Ok() || note.isEmpty() || r.id == 0 || s.NoteCertificate(r.id, note.arg(QDir::toNativeSeparators(path))))
                return {written, QString()};
            return {written, s.ErrorMessage()};
        },
        [this, path, how, before = std::move(before)](const TWritten &result) {
            if (before)
                before();
            if (!result.first.Ok())
                Say(how.notWritten.arg(result.first.ErrorMessage()), true);
            else if (!result.second.isEmpty())
                Say(how.written.arg(QDir::toNativeSeparators(path)) +
                        tr(" It is NOT noted in the record's audit trail: %1.").arg(result.second),
                    true);
            else
                Say(how.written.arg(QDir::toNativeSeparators(path)));
            emit Exported(result.first.Ok(), path);
        });
}

void TCalibrationSession::ExportCsv(const QString &path)
{
    const auto csv = [](const TRecord &r, const QString &to) -> TResult<bool> {
        QString error;
        if (!WriteCsv(r, to, error))
            return TResult<bool>::Failed(TStoreError::WriteFailed, error);
        return true;
    };
    Export(path, {csv, tr("Record written to %1."), tr("The CSV was not written: %1."), QString()});
}

// ---- the history ---------------------------------------------------------------------------------

void TCalibrationSession::ShowHistoryOf(const QString &tag)
{
    m_historyTag = tag;
    RefreshHistory();
}

void TCalibrationSession::ShowDueBefore(const QDate &day)
{
    m_historyDue = day;
    RefreshHistory();
}

void TCalibrationSession::RefreshHistory()
{
    // A due list is of every instrument unless a tag is chosen.
    const QString tag = m_historyTag.isEmpty() && !m_historyDue.isValid() ? m_record.tag : m_historyTag;
    TRecordFilter filter;
    filter.tag = tag;
    filter.dueBefore = m_historyDue;
    m_runner->Run<std::pair<QStringList, std::vector<TRecordSummary>>>(
        [filter](TRecordStore &s) { return std::pair(s.Tags(), s.List(filter)); },
        [this, tag](const std::pair<QStringList, std::vector<TRecordSummary>> &result) { emit HistoryRead(result.first, result.second, tag); });
}

} // namespace calib
