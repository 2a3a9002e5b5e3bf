// What only a server does: its schema made only when asked, and read-only
// when newer; the failures a bench meets in words (password, database, host,
// rights); a finished record refused through SQL too; the server going away
// in the middle of a record.
#include "RecordsFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace calib;
using namespace recordstest;

TRecord Sample()
{
    TRecord r;
    r.tag = QStringLiteral("PT-7");
    r.serial = QStringLiteral("S-1");
    r.created = QDateTime::currentDateTimeUtc();
    r.technician = QStringLiteral("Tóth Ádám");
    r.references = DefaultReferences();
    r.span[0] = TSpan{0, 2500, 1};
    return r;
}

TPoint Point(int index, const char *mA)
{
    TPoint p;
    p.index = index;
    p.percent = TDecimal{index * 25, 0};
    p.applied = TDecimal{index * 625, 1};
    p.milliAmps = ParseDecimal(mA, 4).value();
    p.taken = QDateTime::currentDateTimeUtc();
    return p;
}

// A loopback port nothing listens on: bound, then let go.
int ClosedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &size) != 0)
        return 1;
    ::close(fd);
    return ntohs(a.sin_port);
}

QString Tables(const QString &database)
{
    QString out;
    Cluster()->Sql(database, QStringLiteral("SELECT string_agg(table_name, ',' ORDER BY table_name) FROM information_schema.tables"
                                            " WHERE table_schema = 'public'"),
                   &out);
    return out.trimmed();
}

// A bench never creates or migrates a server's schema by itself; the owner's
// init does, once; a schema from a newer tool is read, never written.
TEST(RecordsServer, TheSchemaIsMadeOnlyWhenAskedAndANewerOneIsOnlyRead)
{
    ASSERT_TRUE(Cluster());
    const QString db = NewDatabase();
    {
        TRecordStore bench(Cluster()->Uri(kOwner, db));
        EXPECT_FALSE(bench.IsOpen());
        EXPECT_TRUE(bench.ErrorMessage().contains(QStringLiteral("kv508ctl records init"))) << bench.ErrorMessage().toStdString();
    }
    EXPECT_EQ(Tables(db), QString()) << "nothing made on the way";
    {
        TRecordStore init(Cluster()->Uri(kOwner, db), TOpenMode::Init);
        ASSERT_TRUE(init.IsOpen()) << init.ErrorMessage().toStdString();
        EXPECT_EQ(init.Version(), TRecordStore::kSchemaVersion);
        TRecord r = Sample();
        ASSERT_TRUE(init.Create(r, 2026));
    }
    { TRecordStore again(Cluster()->Uri(kOwner, db), TOpenMode::Init); EXPECT_TRUE(again.IsOpen()) << "init twice changes nothing"; }

    ASSERT_TRUE(Cluster()->Sql(db, QStringLiteral("UPDATE kv508_schema SET version = 99")));
    TRecordStore newer(Cluster()->Uri(kOwner, db), TOpenMode::Init);
    ASSERT_TRUE(newer.IsOpen()) << newer.ErrorMessage().toStdString();
    EXPECT_TRUE(newer.ReadOnly());
    EXPECT_TRUE(newer.Notice().contains(QStringLiteral("schema version 99"))) << newer.Notice().toStdString();
    EXPECT_EQ(newer.History(QString()).size(), 1u) << "its records are read";
    TRecord r = Sample();
    EXPECT_FALSE(newer.Create(r, 2026));
    EXPECT_EQ(newer.Error(), TStoreError::NewerSchema);
    QString version;
    Cluster()->Sql(db, QStringLiteral("SELECT version FROM kv508_schema"), &version);
    EXPECT_EQ(version.trimmed(), QStringLiteral("99")) << "left as the newer tool wrote it";
}

// A server of the tool before the certificate's language was a record's:
// init brings it up to date, its records print English as they did, and the
// server keeps a finished record's language as it keeps its other fields.
TEST(RecordsServer, OldRecordsKeepTheirEnglishCertificate)
{
    ASSERT_TRUE(Cluster());
    const QString db = ReadyDatabase();
    qint64 id = 0;
    {
        TRecordStore bench(Cluster()->Uri(kBench, db));
        TRecord r = Sample();
        r.certificateLanguage = TCertificateLanguage::Hungarian;
        ASSERT_TRUE(bench.Create(r, 2026)) << bench.ErrorMessage().toStdString();
        ASSERT_TRUE(bench.Finish(r)) << bench.ErrorMessage().toStdString();
        id = r.id;
    }
    ASSERT_TRUE(Cluster()->SqlAs(kOwner, db, QStringLiteral("ALTER TABLE records DROP COLUMN certificate_language; UPDATE kv508_schema SET version = 4")));
    {
        TRecordStore init(Cluster()->Uri(kOwner, db), TOpenMode::Init);
        ASSERT_TRUE(init.IsOpen()) << init.ErrorMessage().toStdString();
        EXPECT_EQ(init.Version(), TRecordStore::kSchemaVersion);
    }
    TRecordStore bench(Cluster()->Uri(kBench, db));
    ASSERT_TRUE(bench.IsOpen()) << bench.ErrorMessage().toStdString();
    EXPECT_EQ(bench.Load(id)->certificateLanguage, TCertificateLanguage::English);
    EXPECT_FALSE(Cluster()->SqlAs(kOwner, db,
                                  QStringLiteral("UPDATE records SET approved_by = 'Nagy Anna', certificate_language = 'hu' WHERE id = %1").arg(id)))
        << "the server keeps a finished record's language";
}

// Each failure a bench can meet, in words that say what to do; nothing changed.
TEST(RecordsServer, FailuresNameTheirCause)
{
    ASSERT_TRUE(Cluster());
    const QString db = ReadyDatabase();
    struct TCase {
        QString location;
        QByteArray password;
        QString says;
    };
    const int closedPort = ClosedPort();
    const TCase cases[] = {
        {Cluster()->Uri(kBench, db, true), "wrong", QStringLiteral("refused the password for bench")},
        {Cluster()->Uri(kBench, db, true), "", QStringLiteral("refused the password for bench")},
        {Cluster()->Uri(kBench, QStringLiteral("no_such_db")), "", QStringLiteral("has no database \"no_such_db\"")},
        {Cluster()->Uri(QStringLiteral("nobody_here"), db), "", QStringLiteral("has no role nobody_here")},
        {QStringLiteral("postgresql://bench@127.0.0.1:%1/%2").arg(closedPort).arg(db), "", QStringLiteral("cannot be reached")},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.location.toStdString());
        qputenv("PGPASSWORD", c.password);
        if (c.password.isEmpty())
            qunsetenv("PGPASSWORD");
        TRecordStore store(c.location);
        EXPECT_FALSE(store.IsOpen());
        EXPECT_TRUE(store.ErrorMessage().contains(c.says)) << store.ErrorMessage().toStdString();
    }
    qputenv("PGPASSWORD", kBenchPassword.toUtf8());
    TRecordStore tcp(Cluster()->Uri(kBench, db, true));
    EXPECT_TRUE(tcp.IsOpen()) << "the right password from PGPASSWORD: " << tcp.ErrorMessage().toStdString();
    qunsetenv("PGPASSWORD");

    // The quality office reads but may not write.
    TRecordStore office(Cluster()->Uri(kOffice, db));
    ASSERT_TRUE(office.IsOpen()) << office.ErrorMessage().toStdString();
    TRecord r = Sample();
    EXPECT_FALSE(office.Create(r, 2026));
    EXPECT_TRUE(office.ErrorMessage().contains(QStringLiteral("may not do this"))) << office.ErrorMessage().toStdString();
    EXPECT_TRUE(office.History(QString()).empty());
}

// The benches' role cannot change a finished record or the audit trail
// through SQL either: the server's triggers refuse it.
TEST(RecordsServer, AFinishedRecordCannotBeChangedThroughSql)
{
    ASSERT_TRUE(Cluster());
    const QString db = ReadyDatabase();
    TRecordStore store(Cluster()->Uri(kBench, db));
    ASSERT_TRUE(store.IsOpen()) << store.ErrorMessage().toStdString();
    TRecord r = Sample();
    ASSERT_TRUE(store.Create(r, 2026));
    ASSERT_TRUE(store.SavePoint(r.id, Point(0, "4")));
    ASSERT_TRUE(store.Finish(r));
    const QString id = QString::number(r.id);
    for (const QString &sql : {QStringLiteral("UPDATE points SET milliamps = '4.5' WHERE record_id = %1"),
                               QStringLiteral("DELETE FROM points WHERE record_id = %1"),
                               QStringLiteral("INSERT INTO points (record_id, phase, idx, percent, applied, milliamps, taken) VALUES (%1, 1, 0, '0', '0', '4', '')"),
                               QStringLiteral("UPDATE records SET remarks = 'later' WHERE id = %1"),
                               QStringLiteral("UPDATE records SET finished = 0 WHERE id = %1"),
                               QStringLiteral("UPDATE reference_instruments SET name = 'other' WHERE record_id = %1"),
                               QStringLiteral("UPDATE audit SET new_value = 'x' WHERE record_id = %1"),
                               QStringLiteral("DELETE FROM audit WHERE record_id = %1")}) {
        QString error;
        EXPECT_FALSE(Cluster()->SqlAs(kBench, db, sql.arg(id), nullptr, &error)) << sql.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    const std::optional<TRecord> after = store.Load(r.id);
    ASSERT_TRUE(after);
    EXPECT_TRUE(after->finished);
    EXPECT_EQ(after->entered.size(), 1u);
    EXPECT_EQ(after->entered[0].milliAmps, (TDecimal{4, 0}));
    EXPECT_EQ(store.Audit(r.id).size(), 3u) << "created, point, finished";
}

// The server stops hard between two points and comes back: the call that
// met the loss says so in words, nothing committed is lost, and the record
// goes on on a fresh connection.
TEST(RecordsServer, TheServerGoingAwayLosesNothingAcknowledged)
{
    ASSERT_TRUE(Cluster());
    const QString db = ReadyDatabase();
    TRecordStore store(Cluster()->Uri(kBench, db));
    ASSERT_TRUE(store.IsOpen()) << store.ErrorMessage().toStdString();
    TRecord r = Sample();
    ASSERT_TRUE(store.Create(r, 2026));
    ASSERT_TRUE(store.SavePoint(r.id, Point(0, "4")));
    ASSERT_TRUE(store.SavePoint(r.id, Point(1, "8")));
    QString error;
    ASSERT_TRUE(Cluster()->Restart(true, error)) << error.toStdString();

    EXPECT_FALSE(store.SavePoint(r.id, Point(2, "12"))) << "the old connection died with the server";
    EXPECT_EQ(store.Error(), TStoreError::Unreachable);
    EXPECT_TRUE(store.ErrorMessage().contains(QStringLiteral("was lost"))) << store.ErrorMessage().toStdString();
    ASSERT_TRUE(store.SavePoint(r.id, Point(2, "12"))) << store.ErrorMessage().toStdString();
    for (int i = 3; i < 5; ++i)
        ASSERT_TRUE(store.SavePoint(r.id, Point(i, i == 3 ? "16" : "20"))) << store.ErrorMessage().toStdString();
    ASSERT_TRUE(store.Finish(r)) << store.ErrorMessage().toStdString();
    TRecordStore fresh(Cluster()->Uri(kBench, db));
    const std::optional<TRecord> back = fresh.Load(r.id);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->entered.size(), 5u);
    EXPECT_TRUE(back->finished);
}

} // namespace
