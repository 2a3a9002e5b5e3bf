// kv508ctl station: As-Found, the eleven steps, As-Left, the record finished
// and its certificate written. On any failure the output is released, the
// controller's control turned off and the record left open, and the message
// says which calibration requests the instrument took.
#include "Station.h"

#include "Output.h"
#include "Values.h"

#include <cmath>
#include <cstdio>

namespace ctlrec {

using calib::TPhase;
using calib::TRecord;

namespace {

calib::TDecimal Decimal(double value, int decimals)
{
    const std::optional<calib::TDecimal> d = calib::ParseDecimal(Fixed(value, decimals), decimals);
    if (!d)
        throw TFailure(ctl::exitReference, "the reading " + Fixed(value, decimals) + " is out of range: check the references");
    return *d;
}

// The As-Left point at 0 % (4 mA) or 100 % (20 mA) of span, if the check has one.
std::optional<calib::TPointResult> AsLeftAt(const TRecord &r, int percent)
{
    for (const calib::TPoint &p : r.entered)
        if (p.phase == TPhase::AsLeft && p.percent.Value() == percent)
            return r.Result(p);
    return std::nullopt;
}

std::string ErrorText(const std::optional<calib::TPointResult> &res)
{
    if (!res)
        return "-";
    std::string text = res->errorPercent >= 0 ? "+" : "";
    text += Fixed(res->errorPercent, 4);
    return text + " % of span";
}

nlohmann::ordered_json ErrorJson(const std::optional<calib::TPointResult> &res)
{
    return res ? nlohmann::ordered_json(res->errorPercent) : nlohmann::ordered_json();
}

std::string TrimText(const TTrimResult &t)
{
    return "drive " + std::to_string(t.drive) + ": " + Fixed(t.milliAmps, 4) + " mA after " + std::to_string(t.steps) +
           (t.steps == 1 ? " step" : " steps");
}

nlohmann::ordered_json TrimJson(const TTrimResult &t)
{
    nlohmann::ordered_json j;
    j["drive"] = t.drive;
    j["meter-ma"] = t.milliAmps;
    j["steps"] = t.steps;
    return j;
}

std::string ReferenceName(const TRecord &r, int index)
{
    if (size_t(index) >= r.references.size() || r.references[size_t(index)].name.isEmpty())
        return {};
    const calib::TReference &ref = r.references[size_t(index)];
    return Utf8(ref.name) + (ref.serial.isEmpty() ? "" : ", serial " + Utf8(ref.serial));
}

void Summary(const TRecord &r, const TStation &st, const std::string &certificateFile, const std::string &format)
{
    const std::optional<calib::TPointResult> at4 = AsLeftAt(r, 0), at20 = AsLeftAt(r, 100);
    if (format == "json") {
        nlohmann::ordered_json j;
        j["certificate"] = Utf8(r.certificate);
        j["verdict"] = Verdict(r.Overall());
        j["as-found"] = Verdict(r.Verdict(TPhase::AsFound));
        j["as-left"] = Verdict(r.Verdict(TPhase::AsLeft));
        j["as-left-error-4ma-percent"] = ErrorJson(at4);
        j["as-left-error-20ma-percent"] = ErrorJson(at20);
        j["trim-4ma"] = TrimJson(st.Trim4());
        j["trim-20ma"] = TrimJson(st.Trim20());
        j["pressure-standard"] = ReferenceName(r, 0);
        j["ammeter"] = ReferenceName(r, 1);
        j["certificate-file"] = certificateFile;
        ctl::Out(j.dump(2) + "\n");
        return;
    }
    ctl::Out(Table({{"certificate", Utf8(r.certificate)},
                    {"verdict", Verdict(r.Overall())},
                    {"As-Found", Verdict(r.Verdict(TPhase::AsFound))},
                    {"As-Left", Verdict(r.Verdict(TPhase::AsLeft))},
                    {"As-Left error at 4 mA", ErrorText(at4)},
                    {"As-Left error at 20 mA", ErrorText(at20)},
                    {"trim 4 mA", TrimText(st.Trim4())},
                    {"trim 20 mA", TrimText(st.Trim20())},
                    {"pressure standard", ReferenceName(r, 0).empty() ? "applied by hand" : ReferenceName(r, 0)},
                    {"ammeter", ReferenceName(r, 1)},
                    {"certificate file", certificateFile}}));
}

// What a failure leaves behind, for its message.
std::string Aftermath(const TStation &st, const TRecord &r)
{
    std::string text;
    if (r.id != 0)
        text += "; record " + Utf8(r.certificate) + " is left open (not finished) with the points taken so far";
    if (st.CalibrationChanged())
        text += "; the instrument acknowledged these calibration requests: " + st.Acknowledged() +
                ", so its stored calibration has changed: run the station again (or calibrate it by hand) before it is used";
    else
        text += "; the instrument acknowledged no calibration request: its stored calibration is unchanged";
    return text;
}

} // namespace

void TStation::Check(calib::TRecordStore &store, TRecord &r, TPhase phase)
{
    const std::string name = calib::PhaseName(phase);
    const std::vector<calib::TDecimal> sequence = r.Sequence();
    for (size_t i = 0; i < sequence.size(); ++i) {
        const std::string where = name + " " + sequence[i].Text() + " %";
        kv508::TLiveData d = Poll();
        const calib::TSpan span = PhaseSpan(r, m_session, d, phase);
        const double nominal = span.Lower().Value() + sequence[i].Value() / 100.0 * (span.Upper().Value() - span.Lower().Value());
        double applied = Apply(nominal, where);
        d = Poll();
        const calib::TReadings readings = Settled(m_session, d, span, r, m_o.settleTimeoutMs, *m_interrupt, "--settle-timeout");
        const double mA = MeterMilliAmps(3);
        if (m_controller)
            applied = ControllerReading(); // what was applied while the meter was read
        const int decimals = span.decimals + calib::kExtraPressureDecimals;
        const calib::TPoint p =
            StorePoint(store, r, {phase, int(i), span, Decimal(applied, decimals), Decimal(mA, calib::kCurrentDecimals), readings}, d);
        const std::optional<calib::TPointResult> res = r.Result(p);
        Progress(where + ": applied " + Fixed(applied, std::max(2, int(span.decimals))) + " " + m_unit + ", instrument " +
                 Fixed(readings.MeanValue(), span.decimals + 1) + " " + m_unit + ", meter " + Fixed(mA, 4) + " mA" +
                 (res ? ", error " + ErrorText(res) + (res->pass ? " PASS" : " FAIL") : ""));
    }
    Progress(name + ": " + Verdict(r.Verdict(phase)));
}

int RunStation(const QString &location, const ctl::TLinkOptions &link, const TStationOptions &o)
{
    TRecord r = NewRecord(o.record);
    const std::optional<calib::TDecimal> trimTolerance = calib::ParseDecimal(o.trimTolerance, calib::kCurrentDecimals);
    if (!trimTolerance || trimTolerance->units <= 0 || trimTolerance->Value() > 0.5)
        throw TFailure(ctl::exitUsage, "--trim-tolerance " + o.trimTolerance + ": mA above 0 and at most 0.5, with up to " +
                                           std::to_string(calib::kCurrentDecimals) + " decimals (0.001 is 1 µA)");
    if (o.controllerUnit != "PA" && o.controllerUnit != "KPA")
        throw TFailure(ctl::exitUsage, "--controller-unit " + o.controllerUnit + ": PA or KPA (the instrument measures in Pa)");
    const std::unique_ptr<calib::TRecordStore> store = OpenStore(location);
    NeedWritable(*store);

    TStation st(o, link);
    try {
        st.Open(r);
        CreateRecord(*store, st.Session(), r);
        st.Check(*store, r, TPhase::AsFound);
        st.Calibrate();
        MarkCalibrated(*store, r, st.Session().Poll(), true);
        st.CheckInterrupt("before As-Left");
        st.Check(*store, r, TPhase::AsLeft);
        st.CheckInterrupt("before the record was finished");
        FinishRecord(*store, r);
    } catch (const std::exception &e) {
        st.CleanUp();
        const TFailure *f = dynamic_cast<const TFailure *>(&e);
        throw TFailure(f ? f->code : ctl::exitUsage, e.what() + Aftermath(st, r));
    }
    st.CleanUp();
    st.Progress(Utf8(r.certificate) + " finished: " + Verdict(r.Overall()));
    const std::string file = o.certificate.empty() ? Utf8(r.certificate) + ".pdf" : o.certificate;
    std::string written;
    try {
        written = WriteCertificate(*store, r, file, o.issuer);
    } catch (const TFailure &f) {
        throw TFailure(f.code, f.what() + std::string("; record ") + Utf8(r.certificate) + " is finished (" + Verdict(r.Overall()) +
                                   "): kv508ctl records certificate " + Utf8(r.certificate) + " FILE writes it");
    }
    Summary(r, st, written, o.format);
    return r.Overall() == calib::TVerdict::Pass ? ctl::exitOK : ctl::exitVerdictFail;
}

} // namespace ctlrec
