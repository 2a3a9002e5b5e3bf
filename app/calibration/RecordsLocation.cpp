#include "RecordsLocation.h"

#include "RecordStore.h"

#include <QDir>
#include <QUrl>

namespace calib {

namespace {

QString Decoded(const QString &part)
{
    return QUrl::fromPercentEncoding(part.toUtf8());
}

TResult<TRecordsLocation> PasswordRefused()
{
    return TResult<TRecordsLocation>::Refused(
        QStringLiteral("The records location carries a password. Remove it and put the password in ~/.pgpass (or PGPASSWORD) "
                       "instead, so that it is never on a command line or in a settings file."));
}

// postgresql://[USER[:PASSWORD]@][HOST][:PORT][/DATABASE][?KEY=VALUE&...], as libpq reads it.
TResult<TRecordsLocation> ParseServer(const QString &text)
{
    QString rest = text.mid(text.indexOf(QLatin1String("://")) + 3);
    QString query;
    if (const qsizetype q = rest.indexOf(QLatin1Char('?')); q >= 0) {
        query = rest.mid(q + 1);
        rest.truncate(q);
    }
    TRecordsLocation l;
    l.kind = TRecordsLocation::TKind::Server;
    QString authority = rest;
    if (const qsizetype slash = rest.indexOf(QLatin1Char('/')); slash >= 0) {
        authority = rest.left(slash);
        l.database = Decoded(rest.mid(slash + 1));
    }
    if (const qsizetype at = authority.lastIndexOf(QLatin1Char('@')); at >= 0) {
        const QString userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        if (userInfo.contains(QLatin1Char(':')))
            return PasswordRefused();
        l.user = Decoded(userInfo);
    }
    QString host = authority;
    QString port;
    if (host.startsWith(QLatin1Char('['))) { // [::1]:5432
        const qsizetype close = host.indexOf(QLatin1Char(']'));
        if (close < 0)
            return TResult<TRecordsLocation>::Refused(QStringLiteral("%1: the address in [ ] is not closed.").arg(text));
        port = host.mid(close + 1).startsWith(QLatin1Char(':')) ? host.mid(close + 2) : QString();
        host = host.mid(1, close - 1);
    } else if (const qsizetype colon = host.lastIndexOf(QLatin1Char(':')); colon >= 0) {
        port = host.mid(colon + 1);
        host.truncate(colon);
    }
    l.host = Decoded(host);
    const auto portOf = [&](const QString &p) {
        bool ok = false;
        const int n = p.toInt(&ok);
        l.port = ok && n > 0 && n < 65536 ? n : -2;
    };
    if (!port.isEmpty())
        portOf(port);
    QStringList options;
    for (const QString &item : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const QString key = Decoded(item.section(QLatin1Char('='), 0, 0));
        const QString value = Decoded(item.section(QLatin1Char('='), 1));
        if (key == QLatin1String("host"))
            l.host = value;
        else if (key == QLatin1String("port"))
            portOf(value);
        else if (key == QLatin1String("user"))
            l.user = value;
        else if (key == QLatin1String("dbname"))
            l.database = value;
        else if (key == QLatin1String("password"))
            return PasswordRefused();
        else if (key.isEmpty() || key.contains(QLatin1Char(';')) || value.contains(QLatin1Char(';')))
            return TResult<TRecordsLocation>::Refused(QStringLiteral("%1: the parameter \"%2\" cannot be passed on.").arg(text, key));
        else
            options << key + QLatin1Char('=') + value;
    }
    if (l.port == -2)
        return TResult<TRecordsLocation>::Refused(QStringLiteral("%1: the port is no number from 1 to 65535.").arg(text));
    if (l.database.contains(QLatin1Char('/')))
        return TResult<TRecordsLocation>::Refused(QStringLiteral("%1: a database name cannot contain '/'.").arg(text));
    l.options = options.join(QLatin1Char(';'));
    return l;
}

} // namespace

QString TRecordsLocation::Text() const
{
    if (!IsServer())
        return QDir::toNativeSeparators(path);
    const auto enc = [](const QString &v) { return QString::fromLatin1(QUrl::toPercentEncoding(v)); };
    const bool socket = host.startsWith(QLatin1Char('/'));
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty())
        text += enc(user) + QLatin1Char('@');
    if (!socket)
        text += host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : enc(host);
    if (port >= 0 && !socket)
        text += QLatin1Char(':') + QString::number(port);
    text += QLatin1Char('/') + enc(database);
    QStringList query;
    if (socket)
        query << QStringLiteral("host=") + enc(host);
    if (socket && port >= 0)
        query << QStringLiteral("port=%1").arg(port);
    for (const QString &option : options.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        query << enc(option.section(QLatin1Char('='), 0, 0)) + QLatin1Char('=') + enc(option.section(QLatin1Char('='), 1));
    if (!query.isEmpty())
        text += QLatin1Char('?') + query.join(QLatin1Char('&'));
    return text;
}

TResult<TRecordsLocation> TRecordsLocation::Parse(const QString &given)
{
    const QString text = given.trimmed();
    if (text.isEmpty())
        return TResult<TRecordsLocation>::Refused(QStringLiteral("No records location was given: write sqlite:PATH or postgresql://USER@HOST:PORT/DATABASE."));
    if (text.startsWith(QLatin1String("postgresql://")) || text.startsWith(QLatin1String("postgres://")))
        return ParseServer(text);
    TRecordsLocation l;
    l.path = text.startsWith(QLatin1String("sqlite:")) ? text.mid(7) : text;
    if (l.path.isEmpty())
        return TResult<TRecordsLocation>::Refused(QStringLiteral("sqlite: needs the path of the records file after it."));
    return l;
}

QString TRecordsLocation::Configured(const QString &setting)
{
    const QString env = qEnvironmentVariable("KV508_RECORDS").trimmed();
    if (!env.isEmpty())
        return env;
    if (!setting.trimmed().isEmpty())
        return setting.trimmed();
    return TRecordStore::DefaultPath();
}

} // namespace calib
