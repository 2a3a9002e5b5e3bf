#include "StateFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
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

// The file a chain of symbolic links ends at (existing or not): the rename must
// replace the target, not the user's link.
QByteArray FollowLinks(const QByteArray &path)
{
    QByteArray current = path;
    for (int depth = 0; depth < 40; ++depth) { // the kernel's own limit on a chain
        struct stat st {};
        if (::lstat(current.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(current.constData(), buffer, sizeof buffer);
        if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer))
            return current;
        const QByteArray next(buffer, n);
        const qsizetype slash = current.lastIndexOf('/');
        current = next.startsWith('/') || slash < 0 ? next : current.left(slash + 1) + next;
    }
    return current;
}

} // namespace

bool WriteFileAtomically(const QString &path, const QByteArray &data, QString &error)
{
    const QByteArray target = FollowLinks(QFile::encodeName(path));
    const QByteArray dir = QFile::encodeName(QFileInfo(QFile::decodeName(target)).absolutePath());
    // A rename would replace a read-only file all the same: honour the user's
    // "do not write this" (also for root, who passes every access check).
    struct stat existing {};
    if (::stat(target.constData(), &existing) == 0 &&
        ((existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)) {
        error = QStringLiteral("cannot write %1: the file is read-only (make it writable, e.g. chmod u+w, to keep the memory there)")
                    .arg(path);
        return false;
    }
    QByteArray temp = target + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = QStringLiteral("cannot create a temporary file beside %1: %2").arg(QFile::decodeName(target), SystemError(errno));
        return false;
    }
    int err = 0;
    // The replacement keeps the mode the user gave the file.
    struct stat old {};
    if (::stat(target.constData(), &old) == 0 && S_ISREG(old.st_mode) && ::fchmod(fd, old.st_mode & 07777) != 0)
        err = errno;
    if (err == 0 && (!WriteAll(fd, data) || ::fsync(fd) != 0))
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
    const QByteArray local = QFile::encodeName(path);
    struct stat st {};
    if (::stat(local.constData(), &st) != 0) {
        if (errno == ENOENT)
            return LoadResult::Missing;
        error = QStringLiteral("cannot read %1: %2").arg(path, SystemError(errno));
        return LoadResult::Invalid;
    }
    const QString notRegular =
        QStringLiteral("%1 is not a regular file; give --state the name of a plain file (or of one to create)").arg(path);
    if (!S_ISREG(st.st_mode)) {
        error = notRegular;
        return LoadResult::Invalid;
    }
    // Non-blocking: should a FIFO have taken the file's place since, the open
    // does not wait for a writer; fstat then refuses it.
    const int fd = ::open(local.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = QStringLiteral("cannot read %1: %2").arg(path, SystemError(errno));
        return LoadResult::Invalid;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = notRegular;
        return LoadResult::Invalid;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
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
