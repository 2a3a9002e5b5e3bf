// A throwaway PostgreSQL cluster for the tests: initdb into a temporary folder,
// a server on a Unix socket there and on a free loopback port, removed again
// at the end. Run as root, the cluster belongs to an unprivileged account
// (PostgreSQL refuses to run as root), which the server and its tools run as.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace pgtest {

class TPgCluster
{
public:
    TPgCluster();
    ~TPgCluster(); // stops the server and removes the folder
    TPgCluster(const TPgCluster &) = delete;
    TPgCluster &operator=(const TPgCluster &) = delete;

    // Makes and starts the cluster, with the superuser "kv508admin" trusted on
    // the socket and password logins (scram) on the loopback port. False with
    // the reason when PostgreSQL is missing or fails.
    bool Start(QString &error);
    void Stop();
    // Stops the server as a crash would (immediate) or cleanly, and starts it
    // again on the same port: what a client sees when its server goes away.
    bool Restart(bool immediate, QString &error);
    bool Running() const { return m_running; }

    QString SocketDir() const;
    int Port() const { return m_port; }
    // postgresql://USER@/DB?host=SOCKETDIR&port=PORT (the socket),
    // or postgresql://USER@127.0.0.1:PORT/DB with tcp.
    QString Uri(const QString &user, const QString &database, bool tcp = false) const;

    // Runs SQL through psql as the superuser in database; false with psql's
    // words on failure, its output in output.
    bool Sql(const QString &database, const QString &sql, QString *output = nullptr, QString *error = nullptr) const;
    // The same as another role (trusted on the socket).
    bool SqlAs(const QString &user, const QString &database, const QString &sql, QString *output = nullptr, QString *error = nullptr) const;

private:
    bool Run(const QString &program, const QStringList &args, QString &output) const;
    QString Tool(const QString &name) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_bin;
    QString m_owner; // the account the cluster runs as when we are root; empty otherwise
    int m_port = 0;
    bool m_running = false;
};

} // namespace pgtest
