// A records server that stops answering in the middle of a record: what was
// typed stays in the record (shown, never said to be stored), is stored once
// the server answers again, or goes to this computer's file instead.
#include "CalibrationSession.h"

#include "StoreRunner.h"

#include <QDir>
#include <QTimer>

namespace calib {

namespace {

constexpr int kRetryMs = 5000;

// What a retry stored, and where it stopped.
struct TRetried {
    bool header = false;
    std::vector<std::pair<qint64, TPoint>> stored;
    TStoreError error = TStoreError::None;
    QString message;
    std::optional<std::pair<qint64, TPoint>> failed;
};

QString Sentence(const QString &text)
{
    QString s = text.left(1).toUpper() + text.mid(1);
    if (!s.endsWith(QLatin1Char('.')))
        s += QLatin1Char('.');
    return s;
}

} // namespace

bool TCalibrationSession::IsStored(TPhase phase, int index) const
{
    return m_unstored.count({m_record.id, int(phase), index}) == 0;
}

QString TCalibrationSession::Location() const
{
    return m_runner->Path();
}

bool TCalibrationSession::HoldPoint(const TResult<bool> &result, qint64 id, const TPoint &p, const std::optional<TRecord> &header)
{
    if (result.Error() != TStoreError::Unreachable)
        return false;
    const bool first = Unstored() == 0;
    m_unstored[{id, int(p.phase), p.index}] = p;
    if (header && !m_unstoredHeader)
        m_unstoredHeader = header;
    Say(tr("%1 Point %2 (%3) is kept here but NOT stored yet: it is stored as soon as the server answers (tried every %4 s). "
                       "Keep this window open until then, or press \"Save here…\" to keep the record in this computer's file.")
            .arg(Sentence(result.ErrorMessage()))
            .arg(p.index + 1)
            .arg(QString::fromUtf8(PhaseName(p.phase)))
            .arg(kRetryMs / 1000),
        true);
    if (first)
        emit ServerLost(true);
    Retry();
    emit RecordChanged();
    return true;
}

bool TCalibrationSession::HoldHeader(const TResult<bool> &result, const TRecord &header)
{
    if (result.Error() != TStoreError::Unreachable)
        return false;
    const bool first = Unstored() == 0;
    m_unstoredHeader = header;
    Say(tr("%1 The record's header is kept here but NOT stored yet: it is stored as soon as the server answers.")
            .arg(Sentence(result.ErrorMessage())),
        true);
    if (first)
        emit ServerLost(true);
    Retry();
    return true;
}

void TCalibrationSession::Stored(qint64 id, const TPoint &p)
{
    const auto it = m_unstored.find({id, int(p.phase), p.index});
    // Entered again meanwhile: the newer one is still to be stored.
    if (it != m_unstored.end() && it->second == p)
        m_unstored.erase(it);
}

void TCalibrationSession::Retry()
{
    if (!m_retry) {
        m_retry = new QTimer(this);
        m_retry->setSingleShot(true);
        m_retry->setInterval(kRetryMs);
        connect(m_retry, &QTimer::timeout, this, [this] {
            if (m_retrying || Unstored() == 0)
                return;
            m_retrying = true;
            std::optional<TRecord> header = m_unstoredHeader;
            // The newest of the open record's header, unless it was finished meanwhile.
            if (header && header->id == m_record.id && !m_record.finished)
                header = m_record;
            std::vector<std::pair<qint64, TPoint>> points;
            for (const auto &[key, point] : m_unstored)
                points.emplace_back(std::get<0>(key), point);
            m_runner->Run<TRetried>(
                [header, points](TRecordStore &s) {
                    TRetried out;
                    if (header && !s.SaveHeader(*header)) {
                        out.error = s.Error();
                        out.message = s.ErrorMessage();
                        return out;
                    }
                    out.header = header.has_value();
                    for (const auto &[id, p] : points) {
                        if (!s.SavePoint(id, p)) {
                            out.error = s.Error();
                            out.message = s.ErrorMessage();
                            out.failed = std::pair(id, p);
                            return out;
                        }
                        out.stored.emplace_back(id, p);
                    }
                    return out;
                },
                [this, sent = m_unstoredHeader](const TRetried &r) {
                    m_retrying = false;
                    if (r.header && m_unstoredHeader && sent && m_unstoredHeader->id == sent->id)
                        m_unstoredHeader.reset();
                    for (const auto &[id, p] : r.stored)
                        Stored(id, p);
                    if (r.error != TStoreError::None && r.error != TStoreError::Unreachable) {
                        // The server answers but refuses it: held no longer, taken back and said.
                        if (r.failed) {
                            Stored(r.failed->first, r.failed->second);
                            if (m_record.id == r.failed->first && m_record.Find(r.failed->second.phase, r.failed->second.index)) {
                                m_record.Remove(r.failed->second.phase, r.failed->second.index);
                                emit RecordChanged();
                            }
                            Say(tr("Point %1 (%2) was NOT saved: %3 Enter it again once the cause is fixed.")
                                    .arg(r.failed->second.index + 1)
                                    .arg(QString::fromUtf8(PhaseName(r.failed->second.phase)), Sentence(r.message)),
                                true);
                        } else {
                            m_unstoredHeader.reset();
                            Say(tr("The record header was not saved: %1").arg(Sentence(r.message)), true);
                        }
                    }
                    if (Unstored() == 0) {
                        Say(tr("The records server answers again: everything typed is stored."));
                        emit ServerLost(false);
                        emit RecordChanged();
                        RefreshHistory();
                    } else {
                        m_retry->start();
                    }
                });
        });
    }
    if (!m_retrying && !m_retry->isActive())
        m_retry->start();
}

void TCalibrationSession::SaveToFile(const QString &path)
{
    if (!HasRecord()) {
        Say(tr("There is no record to save."), true);
        return;
    }
    const TRecord snapshot = m_record;
    const int year = Today().year();
    m_runner->Run<TResult<QString>>(
        [snapshot, path, year](TRecordStore &) -> TResult<QString> {
            TRecordStore file(QStringLiteral("sqlite:") + path);
            if (!file.IsOpen())
                return file.Failure<QString>();
            TRecord r = snapshot;
            r.id = 0;
            r.finished = false;
            // The server's number where the file has it free, else the file's next one.
            if (!file.Create(r, 0) && (file.Error() != TStoreError::CertificateTaken || !file.Create(r, year)))
                return file.Failure<QString>();
            for (const TPoint &p : snapshot.entered)
                if (!file.SavePoint(r.id, p))
                    return file.Failure<QString>();
            r.entered = snapshot.entered;
            if (snapshot.finished && !file.Finish(r))
                return file.Failure<QString>();
            return r.certificate;
        },
        [this, path, points = snapshot.entered.size(), certificate = snapshot.certificate](const TResult<QString> &saved) {
            const QString file = QDir::toNativeSeparators(path);
            if (!saved.Ok()) {
                Say(tr("The record was NOT saved to %1: %2").arg(file, Sentence(saved.ErrorMessage())), true);
                return;
            }
            Say(tr("The record is saved in %1 as %2 with its %3 points%4. Once the server answers, take it there with: "
                               "kv508ctl records copy --from sqlite:%1 --to <the server>")
                    .arg(file, saved.Value())
                    .arg(points)
                    .arg(saved.Value() == certificate ? QString() : tr(" (%1 was taken in that file)").arg(certificate)));
        });
}

TResult<bool> TCalibrationSession::UseLocation(const QString &location)
{
    if (Unstored() > 0)
        return TResult<bool>::Refused(tr("Points typed here are not stored on the records server yet; wait until they are, or "
                                                     "save the record here first."));
    if (m_creating)
        return TResult<bool>::Refused(tr("A record is being started; change the location once it is."));
    const TResult<TRecordsLocation> parsed = TRecordsLocation::Parse(location);
    if (!parsed.Ok())
        return TResult<bool>::Refused(parsed.ErrorMessage());
    ++m_generation; // answers about the old location's record are dropped
    m_record = TRecord{};
    m_savedCertificate.clear();
    m_historyTag.clear();
    m_runner->SwitchTo(location);
    emit RecordChanged();
    emit EditableChanged();
    OpenStore();
    RefreshHistory();
    Say(tr("Records are kept in %1 from now on.").arg(parsed.Value().Text()));
    return true;
}

} // namespace calib
