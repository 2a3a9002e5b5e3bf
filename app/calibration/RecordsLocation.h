// Where the calibration records live: a local SQLite file (the default) or a
// shared PostgreSQL server. One text says it, the same for the window, the
// INI and kv508ctl: "sqlite:PATH", a plain path, or a libpq URI
// "postgresql://USER@HOST:PORT/DB" (also "?host=/socket/dir"). Passwords come
// the libpq way (~/.pgpass, PGPASSWORD): a URI that carries one is refused, so
// it never lands on a command line or in the INI.
#pragma once

#include "Result.h"

#include <QString>

namespace calib {

struct TRecordsLocation {
    enum class TKind { File, Server };
    TKind kind = TKind::File;
    QString path;     // File: the database file
    QString user;     // Server: empty for libpq's default (the OS user)
    QString host;     // a name, an address or a socket folder; empty: libpq's default
    int port = -1;    // -1: libpq's default
    QString database; // empty: libpq's default (the user's name)
    QString options;  // the URI's other parameters, as Qt's QPSQL connect options ("k=v;k=v")

    bool IsServer() const { return kind == TKind::Server; }
    // For a person and for the INI: the file's path, or the URI without a password.
    QString Text() const;

    // The text parsed; refused (with what is wrong) when it is neither.
    static TResult<TRecordsLocation> Parse(const QString &text);
    // KV508_RECORDS when set, else the setting given (may be empty), else the
    // default file.
    static QString Configured(const QString &setting = QString());
};

} // namespace calib
