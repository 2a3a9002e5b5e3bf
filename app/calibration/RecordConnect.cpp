// Reaching the records: the local file, or the server with libpq's own words
// for what failed turned into what to do; the connection made again after the
// server went away.
#include "RecordStore.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace calib {

TActor TActor::FromEnvironment()
{
    TActor a;
    a.osUser = qEnvironmentVariable("USER");
    if (a.osUser.isEmpty())
        a.osUser = qEnvironmentVariable("USERNAME");
#ifdef Q_OS_UNIX
    // A service or a rig's script may run without USER: the account itself.
    if (a.osUser.isEmpty())
        if (const passwd *pw = ::getpwuid(::geteuid()))
            a.osUser = QString::fromLocal8Bit(pw->pw_name);
#endif
    a.bench = qEnvironmentVariable("KV508_BENCH");
    if (a.bench.isEmpty())
        a.bench = QSysInfo::machineHostName();
    return a;
}

TRecordStore::TRecordStore(const QString &location, TOpenMode mode) : m_path(location), m_mode(mode)
{
    static QAtomicInteger<int> counter;
    m_connection = QStringLiteral("kv508-records-%1").arg(counter.fetchAndAddRelaxed(1));
    const TResult<TRecordsLocation> parsed = TRecordsLocation::Parse(location);
    if (!parsed.Ok()) {
        Fail(TStoreError::CannotOpen, parsed.ErrorMessage());
        return;
    }
    m_location = parsed.Value();
    m_open = IsServer() ? OpenServer() : OpenFile();
    if (!m_open) {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen())
            db.close();
    }
}

TRecordStore::~TRecordStore()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

QString TRecordStore::Where() const
{
    return m_location.Text();
}

bool TRecordStore::Fail(TStoreError error, const QString &detail)
{
    m_error = error;
    m_message = QString::fromUtf8(StoreErrorText(error));
    if (!detail.isEmpty())
        m_message += QStringLiteral(": ") + detail;
    return false;
}

bool TRecordStore::Failed(TStoreError error, const QSqlError &sqlError)
{
    const QString text = sqlError.text();
    if (!IsServer())
        return Fail(error, text);
    if (Lost(sqlError))
        return Fail(TStoreError::Unreachable, ServerErrorText(text, m_location));
    return Fail(error, ServerErrorText(text, m_location));
}

bool TRecordStore::Lost(const QSqlError &error)
{
    if (!IsServer())
        return false;
    const QString text = error.text();
    const bool lost = error.type() == QSqlError::ConnectionError || text.contains(QLatin1String("server closed the connection")) ||
                      text.contains(QLatin1String("terminating connection")) || text.contains(QLatin1String("no connection to the server")) ||
                      text.contains(QLatin1String("connection to server")) || text.contains(QLatin1String("could not receive data")) ||
                      text.contains(QLatin1String("could not send data"));
    if (lost)
        m_lost = true;
    return lost;
}

bool TRecordStore::Ready(bool write)
{
    if (!m_open)
        return false; // the open's error stays what it said
    if (write && m_readOnly)
        return Fail(TStoreError::NewerSchema, m_notice);
    if (!m_lost)
        return true;
    // The server went away after a call: a fresh connection for this one.
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    db.close();
    if (!db.open())
        return Fail(TStoreError::Unreachable, ServerErrorText(db.lastError().text(), m_location));
    m_lost = false;
    return true;
}

bool TRecordStore::OpenFile()
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return Fail(TStoreError::NoDriver, QStringLiteral("Install Qt's SQLite driver (Debian: libqt6sql6-sqlite)."));
    const QFileInfo info(m_location.path);
    const QString file = Where();
    // SQLite takes a device or a pipe for a file and fails later with nothing to go by.
    if (info.exists() && !info.isFile())
        return Fail(TStoreError::CannotOpen, QStringLiteral("%1 is not a regular file but %2. Remove or rename it; the tool then starts a new records file there.")
                                                 .arg(file, info.isDir() ? QStringLiteral("a folder") : QStringLiteral("a device, a pipe or a socket")));
    if (!QDir().mkpath(info.absolutePath()))
        return Fail(TStoreError::CannotCreate, QStringLiteral("%1: check that you may write there.").arg(QDir::toNativeSeparators(info.absolutePath())));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_location.path);
    if (!db.open())
        return Fail(TStoreError::CannotOpen, QStringLiteral("%1: %2").arg(file, db.lastError().text()));
    // A file that is not a database fails here, at its first read.
    {
        QSqlQuery check(db);
        if (!check.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
            return Fail(TStoreError::CannotOpen, QStringLiteral("%1 is not a record database (%2). Move it aside; the tool then starts a new one.")
                                                     .arg(file, check.lastError().text()));
    }
    // A point is on the disk when its commit returns; another tool writing
    // the file is waited for (on the store's thread, never the window's).
    for (const char *pragma : {"PRAGMA foreign_keys = ON", "PRAGMA synchronous = FULL", "PRAGMA busy_timeout = 10000"}) {
        QSqlQuery q(db);
        if (!q.exec(QString::fromLatin1(pragma)))
            return Fail(TStoreError::CannotOpen, QStringLiteral("%1: %2").arg(file, q.lastError().text()));
    }
    return Migrate();
}

bool TRecordStore::OpenServer()
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return Fail(TStoreError::NoDriver, QStringLiteral("Qt's PostgreSQL driver is missing: install it (Debian: libqt6sql6-psql), or keep the records "
                                                          "in a local file (sqlite:PATH)."));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connection);
    db.setHostName(m_location.host);
    if (m_location.port >= 0)
        db.setPort(m_location.port);
    db.setUserName(m_location.user);
    db.setDatabaseName(m_location.database);
    // Never wait for ever on a server that does not answer; libpq reads the
    // password from ~/.pgpass or PGPASSWORD.
    QStringList options = m_location.options.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (!m_location.options.contains(QLatin1String("connect_timeout=")))
        options << QStringLiteral("connect_timeout=10");
    if (!m_location.options.contains(QLatin1String("application_name=")))
        options << QStringLiteral("application_name=kv508");
    // A network that goes silent (a cable pulled) is noticed in seconds, not
    // after the system's minutes of retransmissions.
    if (!m_location.host.startsWith(QLatin1Char('/')) && !m_location.options.contains(QLatin1String("keepalives")) &&
        !m_location.options.contains(QLatin1String("tcp_user_timeout")))
        options << QStringLiteral("keepalives_idle=10") << QStringLiteral("keepalives_interval=3") << QStringLiteral("keepalives_count=3")
                << QStringLiteral("tcp_user_timeout=15000");
    db.setConnectOptions(options.join(QLatin1Char(';')));
    if (!db.open())
        return Fail(TStoreError::CannotOpen, ServerErrorText(db.lastError().text(), m_location));
    return Migrate();
}

QString TRecordStore::ServerErrorText(const QString &text, const TRecordsLocation &where)
{
    const QString place = where.host.isEmpty() ? QStringLiteral("this computer's default socket")
                          : where.port >= 0   ? QStringLiteral("%1 port %2").arg(where.host).arg(where.port)
                                              : where.host;
    const QString user = where.user.isEmpty() ? QStringLiteral("your login name") : where.user;
    const QString cause = text.simplified();
    if (cause.contains(QLatin1String("password authentication failed")) || cause.contains(QLatin1String("no password supplied")) ||
        cause.contains(QLatin1String("fe_sendauth")))
        return QStringLiteral("the server at %1 refused the password for %2. Put the right password in ~/.pgpass (or PGPASSWORD) and try again. (%3)")
            .arg(place, user, cause);
    if (cause.contains(QLatin1String("does not exist")) && cause.contains(QLatin1String("database")))
        return QStringLiteral("the server at %1 has no database \"%2\". Correct the name in the records location, or have it created (createdb). (%3)")
            .arg(place, where.database.isEmpty() ? user : where.database, cause);
    if (cause.contains(QLatin1String("does not exist")) && cause.contains(QLatin1String("role")))
        return QStringLiteral("the server at %1 has no role %2. Correct the user in the records location, or ask for a bench role. (%3)").arg(place, user, cause);
    if (cause.contains(QLatin1String("pg_hba.conf")))
        return QStringLiteral("the server at %1 does not let %2 in from this computer (pg_hba.conf). Ask whoever runs the server. (%3)").arg(place, user, cause);
    if (cause.contains(QLatin1String("permission denied")))
        return QStringLiteral("the role %1 may not do this on the server at %2. Use a role with write rights to the records (a bench role). (%3)")
            .arg(user, place, cause);
    if (cause.contains(QLatin1String("is finished and is not changed")) || cause.contains(QLatin1String("audit trail is never changed")))
        return QStringLiteral("the server keeps a finished record and the audit trail as they are. (%1)").arg(cause);
    if (cause.contains(QLatin1String("Connection refused")) || cause.contains(QLatin1String("could not connect")) ||
        cause.contains(QLatin1String("No such file or directory")) || cause.contains(QLatin1String("could not translate host name")) ||
        cause.contains(QLatin1String("timeout expired")) || cause.contains(QLatin1String("unreachable")) ||
        cause.contains(QLatin1String("No route to host")))
        return QStringLiteral("the records server at %1 cannot be reached. Check that it runs and that this computer can reach it (network, "
                              "address, port). (%2)")
            .arg(place, cause);
    if (cause.contains(QLatin1String("server closed the connection")) || cause.contains(QLatin1String("terminating connection")) ||
        cause.contains(QLatin1String("no connection to the server")) || cause.contains(QLatin1String("connection to server")) ||
        cause.contains(QLatin1String("could not receive data")) || cause.contains(QLatin1String("could not send data")))
        return QStringLiteral("the connection to the records server at %1 was lost. Nothing after the last stored step was written; it is "
                              "tried again once the server answers. (%2)")
            .arg(place, cause);
    return cause;
}

} // namespace calib
