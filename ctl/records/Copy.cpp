// records copy: every record of one location into another (a bench's file
// onto the server, say). Run again it doubles nothing: a record is known in
// the target by its tag, serial and creation time, under its own number or
// the one it was renumbered to; one left half copied (the run broke off) is
// completed, never overwritten.
#include "Records.h"

#include "Output.h"

#include <QDir>

#include <algorithm>

namespace ctlrec {

using calib::TRecord;
using calib::TRecordStore;

namespace {

struct TCounts {
    int copied = 0, skipped = 0, renumbered = 0, completed = 0;
};

bool SameRecord(const calib::TRecordSummary &a, const TRecord &b)
{
    // Seconds: an engine may keep more or fewer decimals of the time than the other.
    return a.tag == b.tag && a.serial == b.serial && a.created.isValid() &&
           a.created.toSecsSinceEpoch() == b.created.toSecsSinceEpoch();
}

std::string Where(const TRecordStore &store)
{
    return store.IsServer() ? "on the server" : "in " + Utf8(QDir::toNativeSeparators(store.Location().Text()));
}

// The year a number is of: KV-2026-0003 is 2026; another form goes by the record's date.
int YearOf(const TRecord &r)
{
    const QStringList parts = r.certificate.split(QLatin1Char('-'));
    bool ok = false;
    const int year = parts.size() == 3 ? parts.at(1).toInt(&ok) : 0;
    return ok && year > 0 ? year : r.created.toLocalTime().date().year();
}

// The points the target lacks; finished when the source is and every point is in.
void Complete(TRecordStore &to, const TRecord &source, TRecord target)
{
    for (const calib::TPoint &p : source.entered)
        if (!target.Find(p.phase, p.index)) {
            if (!to.SavePoint(target.id, p))
                StoreFailed(to, "a point of " + Utf8(source.certificate) + " was not copied");
            target.Put(p);
        }
    if (!source.finished)
        return;
    TRecord header = source;
    header.id = target.id;
    header.certificate = target.certificate;
    header.entered = target.entered;
    if (!to.Finish(header))
        StoreFailed(to, Utf8(target.certificate) + " was copied but could not be finished");
    if (!source.approvedBy.isEmpty() && !to.Approve(target.id, source.approvedBy))
        StoreFailed(to, "the approval of " + Utf8(target.certificate) + " was not copied");
}

void CopyOne(TRecordStore &to, const TRecord &source, TCounts &n)
{
    TRecord copy = source;
    copy.id = 0;
    copy.finished = false; // finished once its points are in
    copy.approvedBy.clear();
    copy.approvedAt = {};
    copy.entered.clear();
    bool renumbered = false;
    if (!to.Create(copy)) {
        if (to.Error() != calib::TStoreError::CertificateTaken)
            StoreFailed(to, Utf8(source.certificate) + " was not copied");
        copy.certificate.clear();
        if (!to.Create(copy, YearOf(source)))
            StoreFailed(to, Utf8(source.certificate) + " was not copied");
        renumbered = true;
    }
    TRecord target = copy;
    Complete(to, source, target);
    ++n.copied;
    if (renumbered) {
        ++n.renumbered;
        ctl::Out(Utf8(source.certificate) + " (" + Utf8(source.tag.isEmpty() ? QStringLiteral("no tag") : source.tag) + " of " +
                 LocalDate(source.created) + ") is taken " + Where(to) + ": copied as " + Utf8(copy.certificate) + "\n");
    }
}

} // namespace

int RunCopy(const QString &fromLocation, const QString &toLocation)
{
    const std::unique_ptr<TRecordStore> from = OpenStore(fromLocation);
    const std::unique_ptr<TRecordStore> to = OpenStore(toLocation);
    if (from->Location().Text() == to->Location().Text())
        throw TFailure(ctl::exitUsage, "--from and --to name the same records (" + Utf8(to->Location().Text()) + "): nothing to copy");
    NeedWritable(*to);
    const std::vector<calib::TRecordSummary> sources = from->List({});
    if (from->Error() != calib::TStoreError::None)
        StoreFailed(*from, "the records to copy cannot be listed");
    std::vector<calib::TRecordSummary> there = to->List({});
    if (to->Error() != calib::TStoreError::None)
        StoreFailed(*to, "the records already there cannot be listed");
    TCounts n;
    // Oldest first, so that numbers handed out anew follow the records' order.
    for (auto s = sources.rbegin(); s != sources.rend(); ++s) {
        std::optional<TRecord> source = from->Load(s->id);
        if (!source)
            StoreFailed(*from, Utf8(s->certificate) + " cannot be read");
        const auto known = std::find_if(there.begin(), there.end(), [&](const calib::TRecordSummary &t) { return SameRecord(t, *source); });
        if (known == there.end()) {
            CopyOne(*to, *source, n);
            continue;
        }
        if (known->finished) {
            ++n.skipped;
            continue;
        }
        std::optional<TRecord> target = to->Load(known->id);
        if (!target)
            StoreFailed(*to, Utf8(known->certificate) + " cannot be read");
        const bool missing = std::any_of(source->entered.begin(), source->entered.end(),
                                         [&](const calib::TPoint &p) { return !target->Find(p.phase, p.index); });
        if (!missing && !source->finished) {
            ++n.skipped;
            continue;
        }
        Complete(*to, *source, *target);
        ++n.completed;
        ctl::Out(Utf8(known->certificate) + " was copied before in part: completed\n");
    }
    std::string summary = "copied " + std::to_string(n.copied) + ", skipped " + std::to_string(n.skipped) + ", renumbered " +
                          std::to_string(n.renumbered);
    if (n.completed)
        summary += ", completed " + std::to_string(n.completed);
    ctl::Out(summary + "\n");
    return ctl::exitOK;
}

} // namespace ctlrec
