// record new, point, mark-calibrated and finish: a check made from the
// command line, the instrument read through kv508ctl's session as the
// window's calibration page reads it.
#include "Records.h"

#include "Commands.h"
#include "Interrupt.h"
#include "Output.h"
#include "Values.h"

#include <cmath>

namespace ctlrec {

using calib::TPhase;
using calib::TRecord;

QString SensorName(const kv508::TSettings &settings)
{
    // The window's list (its settings page): the record names the sensor as the window does.
    static const char *const names[kv508::SensorCount] = {
        "1 = HSCDRRN001ND2A5   (Honeywell, +-250.0 Pa)", "2 = MS4515DD3BK002DPL", "3 = MS4515DD3BK010DPL",
        "4 = DLVR-L05D E1BD-C", "5 = DLVR-L01D E1BD-C", "6 = DLVR-L01D E1BD-C, 10x", "7 = DLVR-F50D E1ND-C",
        "8 = DLVR-F50D E1ND-C, +-25.00 Pa", "9 = HSCDRRD005ND2A3   (Honeywell, +-1250 Pa)",
        "10 = HSCDRRD0.5ND2A3   (Honeywell, +-125 Pa)", "11 = HSCDRRD002ND2A3   (Honeywell, +-500 Pa)",
        "12 = HSCDRRD100MD2A3   (Honeywell, +-5000 Pa)"};
    if (settings.InputCode == 1)
        return QStringLiteral("Temperature input");
    if (settings.SensorCode >= 1 && settings.SensorCode <= kv508::SensorCount)
        return QString::fromUtf8(names[settings.SensorCode - 1]);
    return QStringLiteral("code %1 (unknown)").arg(settings.SensorCode);
}

namespace {

QString UnitOf(const kv508::TSettings &settings)
{
    return settings.InputCode == 1 ? QStringLiteral("°C") : QStringLiteral("Pa");
}

calib::TSpan SpanOf(const kv508::TSettings &s, const kv508::TLiveData &d)
{
    return {s.iFizFor4mA, s.iFizFor20mA, d.Decimals};
}

std::string Code(quint32 code)
{
    return Utf8(calib::DateCodeText(code));
}

TRecord Unfinished(calib::TRecordStore &store, const std::string &certificate)
{
    TRecord r = LoadCertificate(store, certificate);
    if (r.finished)
        throw TFailure(ctl::exitUsage, Utf8(r.certificate) + " is finished and stays as it is; record new starts another check");
    return r;
}

// The firmware tells another instrument on the port from the record's.
void SameInstrument(const TRecord &r, const kv508::TLiveData &d, const ctl::TSession &s)
{
    if (r.firmware != 0 && d.FirmwareDateCode != r.firmware)
        throw TFailure(ctl::exitUsage, "the instrument on " + s.ShownPort() + " reports firmware " + Code(d.FirmwareDateCode) + ", " +
                                           Utf8(r.certificate) + " was started on firmware " + Code(r.firmware) +
                                           ": connect the record's instrument (" + Utf8(r.tag) + ", serial " + Utf8(r.serial) + ")");
}

} // namespace

TRecord NewRecord(const TNewOptions &o)
{
    TRecord r;
    r.tag = Q(o.tag).trimmed();
    r.serial = Q(o.serial).trimmed();
    r.technician = Q(o.technician).trimmed();
    if (r.tag.isEmpty() || r.serial.isEmpty() || r.technician.isEmpty())
        throw TFailure(ctl::exitUsage, "--tag, --serial and --technician must not be empty: the certificate names them");
    const std::optional<std::vector<calib::TDecimal>> points = calib::ParsePoints(o.points);
    if (!points)
        throw TFailure(ctl::exitUsage, "--points " + o.points + ": percentages of span from -10 to 110 with up to two decimals, "
                                       "separated by commas (\"0,25,50,75,100\")");
    const std::optional<calib::TDecimal> tol = calib::ParseDecimal(o.tolerance, calib::kToleranceDecimals);
    if (!tol || tol->units <= 0 || tol->At(calib::kToleranceDecimals) > 100000)
        throw TFailure(ctl::exitUsage, "--tolerance " + o.tolerance + ": a number above 0 and at most 100 (% of span) with up to " +
                                           std::to_string(calib::kToleranceDecimals) + " decimals");
    r.points = *points;
    r.tolerance = *tol;
    r.hysteresis = o.hysteresis;
    r.references = calib::DefaultReferences();
    return r;
}

void CreateRecord(calib::TRecordStore &store, ctl::TSession &s, TRecord &r)
{
    const kv508::TLiveData d = s.Poll();
    const kv508::TSettings settings = s.ReadSettings();
    const QDate today = QDate::currentDate();
    r.created = QDateTime::currentDateTimeUtc();
    r.firmware = d.FirmwareDateCode;
    r.foundCalibrationDate = d.CalibrationDateCode;
    r.sensor = SensorName(settings);
    r.unit = UnitOf(settings);
    r.nextDue = today.addYears(1);
    if (!store.Create(r, today.year()))
        StoreFailed(store, "the record was not started");
    const calib::TSpanError spanError = calib::CheckSpan(SpanOf(settings, d));
    if (spanError != calib::TSpanError::None)
        s.Note("the instrument's span cannot be checked against: " + std::string(calib::SpanErrorText(spanError)) +
               "; set 4ma and 20ma (kv508ctl settings set) before the first point");
    s.Note("record " + Utf8(r.certificate) + " started for " + Utf8(r.tag) + " (serial " + Utf8(r.serial) + "), firmware " +
           Code(r.firmware) + ", calibrated " + Code(r.foundCalibrationDate));
}

int RunNew(const QString &location, const ctl::TLinkOptions &link, const TNewOptions &o)
{
    TRecord r = NewRecord(o);
    const std::unique_ptr<calib::TRecordStore> store = OpenStore(location);
    NeedWritable(*store);
    ctl::TSession s(link);
    s.Open();
    CreateRecord(*store, s, r);
    ctl::Out(Utf8(r.certificate) + "\n");
    return ctl::exitOK;
}

namespace {

int PointIndex(const TRecord &r, TPhase phase, int given)
{
    const int count = int(r.Sequence().size());
    if (given > 0) {
        if (given > count)
            throw TFailure(ctl::exitUsage, "--index " + std::to_string(given) + ": " + Utf8(r.certificate) + " has " +
                                               std::to_string(count) + " points per phase");
        return given - 1;
    }
    for (int i = 0; i < count; ++i)
        if (!r.Find(phase, i))
            return i;
    throw TFailure(ctl::exitUsage, "every " + std::string(calib::PhaseName(phase)) + " point of " + Utf8(r.certificate) +
                                       " is entered; --index N enters one again");
}

TPhase PhaseOf(const std::string &text)
{
    if (text == "as-found")
        return TPhase::AsFound;
    if (text == "as-left")
        return TPhase::AsLeft;
    throw TFailure(ctl::exitUsage, "--phase " + text + ": as-found or as-left");
}

} // namespace

calib::TReadings Settled(ctl::TSession &s, kv508::TLiveData d, const calib::TSpan &span, const TRecord &r, int maxWaitMs,
                         const ctl::TInterrupt &interrupt, const std::string &waitOption)
{
    calib::TReadings readings;
    readings.Add(d.MeasuredValue, d.Decimals, d.OutputValue);
    const int64_t started = TEventLoop::NowMs();
    while (!readings.Stable(span, r.tolerance)) {
        if (TEventLoop::NowMs() - started >= maxWaitMs)
            throw TFailure(ctl::exitNotCalibrated, "the reading did not settle within " + std::to_string(maxWaitMs / 1000) +
                                                       " s (last " + ctl::FormatScaled(d.MeasuredValue, d.Decimals) + " " +
                                                       Utf8(r.unit) + "): hold the pressure steady and run it again "
                                                       "(" + waitOption + " MS waits longer); no point was stored");
        if (!ctl::Pause(s.Loop(), interrupt, kv508::RequestDelay))
            throw TFailure(ctl::exitUsage, "interrupted while waiting for the reading to settle: no point was stored");
        d = s.Poll();
        readings.Add(d.MeasuredValue, d.Decimals, d.OutputValue);
    }
    return readings;
}


calib::TSpan PhaseSpan(TRecord &r, ctl::TSession &s, const kv508::TLiveData &d, TPhase phase)
{
    if (r.span[int(phase)])
        return *r.span[int(phase)];
    const kv508::TSettings settings = s.ReadSettings();
    const calib::TSpan span = SpanOf(settings, d);
    const calib::TSpanError error = calib::CheckSpan(span);
    if (error != calib::TSpanError::None)
        throw TFailure(ctl::exitUsage, "the check cannot start: " + std::string(calib::SpanErrorText(error)) + " (4 mA = " +
                                           span.Lower().Text() + ", 20 mA = " + span.Upper().Text() +
                                           "); set 4ma and 20ma with kv508ctl settings set");
    if (r.sensor.isEmpty() && !r.HasPoints(TPhase::AsFound)) {
        r.sensor = SensorName(settings);
        r.unit = UnitOf(settings);
    }
    return span;
}

calib::TPoint StorePoint(calib::TRecordStore &store, TRecord &r, const TPointTaken &taken, const kv508::TLiveData &d)
{
    bool header = !r.span[int(taken.phase)];
    if (taken.phase == TPhase::AsFound && !r.HasPoints(TPhase::AsFound) && !r.calibrated &&
        (r.firmware != d.FirmwareDateCode || r.foundCalibrationDate != d.CalibrationDateCode)) {
        r.firmware = d.FirmwareDateCode; // as found: what the instrument says before anything is changed
        r.foundCalibrationDate = d.CalibrationDateCode;
        header = true;
    }
    r.span[int(taken.phase)] = taken.span;
    calib::TPoint p;
    p.phase = taken.phase;
    p.index = taken.index;
    p.percent = r.Sequence()[size_t(taken.index)];
    p.applied = taken.applied;
    p.milliAmps = taken.milliAmps;
    p.instrumentValue = taken.readings.MeanValue();
    p.instrumentMilliAmps = taken.readings.MeanMilliAmps();
    p.stable = true;
    // The repeatability of the point's uncertainty, over a full window of polls as the window takes it.
    if (taken.readings.Count() == calib::TReadings::kPolls)
        p.instrumentSpreadMilliAmps = taken.readings.SpreadMilliAmps();
    p.taken = QDateTime::currentDateTimeUtc();
    // The phase's span goes with its first point, before it.
    if (header && !store.SaveHeader(r))
        StoreFailed(store, "the point was not stored (the record's header could not be saved)");
    if (!store.SavePoint(r.id, p))
        StoreFailed(store, "the point was not stored");
    r.Put(p);
    return p;
}

int RunPoint(const QString &location, const ctl::TLinkOptions &link, const TPointOptions &o)
{
    const TPhase phase = PhaseOf(o.phase);
    const std::optional<calib::TDecimal> mA = calib::ParseDecimal(o.meterMilliAmps, calib::kCurrentDecimals);
    if (!mA || std::abs(mA->Value()) > 100)
        throw TFailure(ctl::exitUsage, "--meter-ma " + o.meterMilliAmps + ": the ammeter's reading in mA with at most " +
                                           std::to_string(calib::kCurrentDecimals) + " decimals");
    const std::unique_ptr<calib::TRecordStore> store = OpenStore(location);
    NeedWritable(*store);
    TRecord r = Unfinished(*store, o.certificate);
    const int index = PointIndex(r, phase, o.index);

    ctl::TSession s(link);
    s.Open();
    kv508::TLiveData d = s.Poll();
    SameInstrument(r, d, s);
    if (phase == TPhase::AsLeft && !r.calibrated && !r.HasPoints(TPhase::AsLeft) && d.CalibrationDateCode != r.foundCalibrationDate)
        throw TFailure(ctl::exitUsage, "the instrument was calibrated since As-Found (" + Code(r.foundCalibrationDate) + ", now " +
                                           Code(d.CalibrationDateCode) + "): run kv508ctl record mark-calibrated " +
                                           Utf8(r.certificate) + " first, so the record says so");
    const calib::TSpan span = PhaseSpan(r, s, d, phase);
    const int decimals = span.decimals + calib::kExtraPressureDecimals;
    const std::optional<calib::TDecimal> applied = calib::ParseDecimal(o.applied, decimals);
    if (!applied)
        throw TFailure(ctl::exitUsage, "--applied " + o.applied + ": the reference value in " + Utf8(r.unit) + " with at most " +
                                           std::to_string(decimals) + " decimals");
    const ctl::TInterrupt interrupt(s.Loop());
    const calib::TReadings readings = Settled(s, d, span, r, o.maxWaitMs, interrupt, "--max-wait");
    const calib::TPoint p = StorePoint(*store, r, {phase, index, span, *applied, *mA, readings}, d);
    ctl::Out(Table({PointHeader(), PointCells(r, p)}));
    return ctl::exitOK;
}

void MarkCalibrated(calib::TRecordStore &store, TRecord &r, const kv508::TLiveData &d, bool acknowledged)
{
    if (!acknowledged && d.CalibrationDateCode == r.foundCalibrationDate)
        throw TFailure(ctl::exitNotCalibrated, "nothing changed: the instrument's calibration date is still " +
                                                   Code(d.CalibrationDateCode) + " as found; calibrate it first (kv508ctl "
                                                   "calibrate ...), then run this again");
    r.calibrated = true;
    r.newCalibrationDate = d.CalibrationDateCode;
    if (!store.SaveHeader(r))
        StoreFailed(store, "the calibration was not noted");
}

int RunMarkCalibrated(const QString &location, const ctl::TLinkOptions &link, const std::string &certificate)
{
    const std::unique_ptr<calib::TRecordStore> store = OpenStore(location);
    NeedWritable(*store);
    TRecord r = Unfinished(*store, certificate);
    if (r.HasPoints(TPhase::AsLeft))
        throw TFailure(ctl::exitUsage, Utf8(r.certificate) + " has As-Left points already: a calibration after them is not part "
                                                           "of this check; finish it and start a new record");
    ctl::TSession s(link);
    s.Open();
    const kv508::TLiveData d = s.Poll();
    SameInstrument(r, d, s);
    MarkCalibrated(*store, r, d);
    ctl::Out(Utf8(r.certificate) + ": calibrated, calibration date " + Code(r.foundCalibrationDate) + " -> " +
             Code(r.newCalibrationDate) + "; the As-Left points follow\n");
    return ctl::exitOK;
}

void FinishRecord(calib::TRecordStore &store, TRecord &r)
{
    r.finished = true;
    if (!store.Finish(r)) {
        r.finished = false;
        StoreFailed(store, Utf8(r.certificate) + " was not finished");
    }
}

int RunFinish(const QString &location, const std::string &certificate)
{
    const std::unique_ptr<calib::TRecordStore> store = OpenStore(location);
    NeedWritable(*store);
    TRecord r = Unfinished(*store, certificate);
    FinishRecord(*store, r);
    ctl::Out(Utf8(r.certificate) + " finished: " + Verdict(r.Overall()) + " (As-Found " + Verdict(r.Verdict(TPhase::AsFound)) +
             ", As-Left " + Verdict(r.Verdict(TPhase::AsLeft)) + ")\n");
    return ctl::exitOK;
}

} // namespace ctlrec
