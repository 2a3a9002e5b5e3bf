#include "StateFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace sim {

namespace {

QString SystemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

bool WriteAll(int fd, const QByteArray &data)
{
    const char *p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

bool WriteFileAtomically(const QString &path, const QByteArray &data, QString &error)
{
    const QByteArray target = QFile::encodeName(path);
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    QByteArray temp = target + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = QStringLiteral("cannot create a temporary file beside %1: %2").arg(path, SystemError(errno));
        return false;
    }
    int err = 0;
    if (!WriteAll(fd, data) || ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(temp.constData(), target.constData()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(temp.constData());
        error = QStringLiteral("cannot write %1: %2").arg(path, SystemError(err));
        return false;
    }
    // The rename itself must reach the disk too.
    const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

LoadResult LoadMemory(const QString &path, Memory &memory, QString &error)
{
    QFile file(path);
    if (!file.exists())
        return LoadResult::Missing;
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return LoadResult::Invalid;
    }
    constexpr qint64 kLimit = 64 * 1024; // a memory is a few hundred bytes
    const QByteArray bytes = file.read(kLimit + 1);
    if (bytes.size() > kLimit) {
        error = QStringLiteral("%1 is too large to be a simulator memory").arg(path);
        return LoadResult::Invalid;
    }
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        error = QStringLiteral("%1 is not valid JSON: %2").arg(path, parseError.errorString());
        return LoadResult::Invalid;
    }
    QString reason;
    const std::optional<Memory> m = Memory::FromJson(doc.object(), reason);
    if (!m) {
        error = QStringLiteral("%1: %2").arg(path, reason);
        return LoadResult::Invalid;
    }
    memory = *m;
    return LoadResult::Loaded;
}

bool SaveMemory(const QString &path, const Memory &memory, QString &error)
{
    return WriteFileAtomically(path, QJsonDocument(memory.ToJson()).toJson(QJsonDocument::Indented), error);
}

} // namespace sim
