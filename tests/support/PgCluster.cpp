#include "PgCluster.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pgtest {

namespace {

const QString kSuperuser = QStringLiteral("kv508admin");

// A loopback port nobody listens on now (the server takes it moments later).
int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 && ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

// The newest PostgreSQL's programs (Debian keeps them out of PATH).
QString FindBin()
{
    QDir lib(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(), [](const QString &a, const QString &b) { return a.toInt() > b.toInt(); });
    for (const QString &v : versions)
        if (QFile::exists(lib.filePath(v + QStringLiteral("/bin/initdb"))))
            return lib.filePath(v + QStringLiteral("/bin"));
    return {};
}

} // namespace

TPgCluster::TPgCluster() = default;

TPgCluster::~TPgCluster()
{
    Stop();
}

QString TPgCluster::Tool(const QString &name) const
{
    return m_bin + QLatin1Char('/') + name;
}

QString TPgCluster::SocketDir() const
{
    return m_dir ? m_dir->filePath(QStringLiteral("socket")) : QString();
}

bool TPgCluster::Run(const QString &program, const QStringList &args, QString &output) const
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (m_owner.isEmpty())
        p.start(program, args);
    else
        p.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), m_owner, QStringLiteral("--"), program} + args);
    const bool done = p.waitForFinished(120000);
    output = QString::fromLocal8Bit(p.readAll()).trimmed();
    return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool TPgCluster::Start(QString &error)
{
    m_bin = FindBin();
    if (m_bin.isEmpty()) {
        error = QStringLiteral("PostgreSQL's server programs are not installed (Debian: postgresql, which scripts/bootstrap installs)");
        return false;
    }
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kv508-pg-XXXXXX"));
    if (!m_dir->isValid()) {
        error = QStringLiteral("no temporary folder for the cluster: ") + m_dir->errorString();
        return false;
    }
    QDir(m_dir->path()).mkdir(QStringLiteral("socket"));
    if (::geteuid() == 0) {
        // The server refuses root: the folder goes to an account without rights.
        const passwd *pw = ::getpwnam("nobody");
        if (!pw) {
            error = QStringLiteral("running as root and there is no account 'nobody' to run PostgreSQL as");
            return false;
        }
        m_owner = QStringLiteral("nobody");
        for (const QString &p : {m_dir->path(), SocketDir()})
            if (::chown(QFile::encodeName(p).constData(), pw->pw_uid, pw->pw_gid) != 0) {
                error = QStringLiteral("cannot give %1 to nobody").arg(p);
                return false;
            }
    }
    QString out;
    const QString data = m_dir->filePath(QStringLiteral("data"));
    if (!Run(Tool(QStringLiteral("initdb")),
             {QStringLiteral("-D"), data, QStringLiteral("-U"), kSuperuser, QStringLiteral("-E"), QStringLiteral("UTF8"),
              QStringLiteral("--locale=C.UTF-8"), QStringLiteral("--auth-local=trust"), QStringLiteral("--auth-host=scram-sha-256"),
              QStringLiteral("--no-sync")},
             out)) {
        error = QStringLiteral("initdb failed: ") + out;
        return false;
    }
    m_port = FreePort();
    QString restartError;
    if (!Restart(false, restartError)) {
        error = restartError;
        return false;
    }
    return true;
}

bool TPgCluster::Restart(bool immediate, QString &error)
{
    QString out;
    const QString data = m_dir->filePath(QStringLiteral("data"));
    if (m_running) {
        Run(Tool(QStringLiteral("pg_ctl")),
            {QStringLiteral("-D"), data, QStringLiteral("-m"), immediate ? QStringLiteral("immediate") : QStringLiteral("fast"),
             QStringLiteral("-w"), QStringLiteral("stop")},
            out);
        m_running = false;
    }
    // fsync off: a process that dies keeps what it committed in the page cache,
    // which is all the tests ask; the machine does not crash under them.
    const QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off -c full_page_writes=off")
                                .arg(m_port)
                                .arg(SocketDir());
    if (!Run(Tool(QStringLiteral("pg_ctl")),
             {QStringLiteral("-D"), data, QStringLiteral("-l"), m_dir->filePath(QStringLiteral("server.log")), QStringLiteral("-o"),
              options, QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("start")},
             out)) {
        QFile log(m_dir->filePath(QStringLiteral("server.log")));
        log.open(QIODevice::ReadOnly);
        error = QStringLiteral("the PostgreSQL server did not start: %1\n%2").arg(out, QString::fromLocal8Bit(log.readAll().right(2000)));
        return false;
    }
    m_running = true;
    return true;
}

void TPgCluster::Stop()
{
    if (!m_dir)
        return;
    if (m_running) {
        QString out;
        Run(Tool(QStringLiteral("pg_ctl")),
            {QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-m"), QStringLiteral("immediate"),
             QStringLiteral("-w"), QStringLiteral("stop")},
            out);
        m_running = false;
    }
    m_dir.reset(); // removes the folder (we are its owner or root)
}

QString TPgCluster::Uri(const QString &user, const QString &database, bool tcp) const
{
    if (tcp)
        return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3").arg(user).arg(m_port).arg(database);
    return QStringLiteral("postgresql://%1@/%2?host=%3&port=%4").arg(user, database, SocketDir()).arg(m_port);
}

bool TPgCluster::Sql(const QString &database, const QString &sql, QString *output, QString *error) const
{
    return SqlAs(kSuperuser, database, sql, output, error);
}

bool TPgCluster::SqlAs(const QString &user, const QString &database, const QString &sql, QString *output, QString *error) const
{
    QString out;
    const bool ok = Run(Tool(QStringLiteral("psql")),
                        {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"), QStringLiteral("-t"), QStringLiteral("-v"),
                         QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), SocketDir(), QStringLiteral("-p"),
                         QString::number(m_port), QStringLiteral("-U"), user, QStringLiteral("-d"), database, QStringLiteral("-c"), sql},
                        out);
    if (output)
        *output = out;
    if (!ok && error)
        *error = out;
    return ok;
}

} // namespace pgtest
