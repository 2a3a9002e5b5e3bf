// The records on either engine: a file in a temporary folder, or a fresh
// database on the program's own PostgreSQL cluster (started on first use,
// removed at exit), set up as a lab would: an owner runs `records init`, the
// benches' role writes, the quality office's role reads.
#pragma once

#include "PgCluster.h"
#include "RecordStore.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace recordstest {

inline const QString kOwner = QStringLiteral("kv508owner");
inline const QString kBench = QStringLiteral("bench");
inline const QString kOffice = QStringLiteral("office");
inline const QString kBenchPassword = QStringLiteral("bench-secret");

// The program's cluster with the lab's roles; fails the test when it cannot start.
inline pgtest::TPgCluster *Cluster()
{
    static std::unique_ptr<pgtest::TPgCluster> cluster;
    static QString failure;
    if (!cluster && failure.isEmpty()) {
        auto c = std::make_unique<pgtest::TPgCluster>();
        QString error;
        if (!c->Start(error))
            failure = error;
        else if (!c->Sql(QStringLiteral("postgres"), QStringLiteral("CREATE ROLE %1 LOGIN; CREATE ROLE %2 LOGIN PASSWORD '%3'; CREATE ROLE %4 LOGIN")
                                                         .arg(kOwner, kBench, kBenchPassword, kOffice),
                         nullptr, &error))
            failure = error;
        else
            cluster = std::move(c);
    }
    if (!cluster)
        ADD_FAILURE() << "the test's PostgreSQL server cannot start (scripts/bootstrap installs it): " << failure.toStdString();
    return cluster.get();
}

// A new empty database owned by the owner role; its name.
inline QString NewDatabase()
{
    static int n = 0;
    const QString name = QStringLiteral("records_%1").arg(++n);
    pgtest::TPgCluster *c = Cluster();
    if (c) {
        EXPECT_TRUE(c->Sql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE %1 OWNER %2").arg(name, kOwner)));
    }
    return name;
}

// What the README tells a lab to grant after `records init`: the benches make
// and change records and add to the audit trail; the office reads.
inline const char *kGrants = "GRANT SELECT, INSERT, UPDATE ON records TO bench;"
                             " GRANT SELECT, INSERT, UPDATE, DELETE ON points, reference_instruments TO bench;"
                             " GRANT SELECT, INSERT ON audit TO bench; GRANT USAGE ON ALL SEQUENCES IN SCHEMA public TO bench;"
                             " GRANT SELECT ON ALL TABLES IN SCHEMA public TO office;";

// A database with the schema made by the owner and the lab's grants.
inline QString ReadyDatabase()
{
    const QString name = NewDatabase();
    if (pgtest::TPgCluster *c = Cluster()) {
        calib::TRecordStore init(c->Uri(kOwner, name), calib::TOpenMode::Init);
        EXPECT_TRUE(init.IsOpen()) << init.ErrorMessage().toStdString();
        EXPECT_TRUE(c->SqlAs(kOwner, name, QString::fromLatin1(kGrants)));
    }
    return name;
}

enum class TEngine { File, Server };

class EngineTest : public ::testing::TestWithParam<TEngine>
{
protected:
    void SetUp() override
    {
        if (GetParam() == TEngine::Server) {
            m_location = Cluster() ? Cluster()->Uri(kBench, ReadyDatabase()) : QString();
            if (m_location.isEmpty())
                GTEST_FAIL() << "no server";
        } else {
            m_location = QStringLiteral("sqlite:") + m_dir.filePath(QStringLiteral("records.sqlite"));
        }
    }
    bool Server() const { return GetParam() == TEngine::Server; }
    QString Location() const { return m_location; }

    QTemporaryDir m_dir;
    QString m_location;
};

inline std::string EngineName(const ::testing::TestParamInfo<TEngine> &info)
{
    return info.param == TEngine::File ? "File" : "Server";
}

} // namespace recordstest
