#include "Pty.h"

#include <QTest>

namespace {

std::string Std(const QString &s)
{
    return s.toStdString();
}

} // namespace

bool TPty::Write(const QByteArray &bytes)
{
    return m_pair.Write(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

QByteArray TPty::ReadAvailable()
{
    return QByteArray::fromStdString(m_pair.ReadAvailable());
}

QByteArray TPty::Read(qsizetype count, int timeoutMs)
{
    QByteArray out = ReadAvailable();
    (void)QTest::qWaitFor(
        [&] {
            out += ReadAvailable();
            return out.size() >= count;
        },
        timeoutMs);
    return out;
}

bool PublishVirtualPort(const QString &name, const QString &target, const QString &serial)
{
    return PtyTools::PublishVirtualPort(Std(name), Std(target), Std(serial));
}

void ReleaseVirtualPortLock(const QString &name)
{
    PtyTools::ReleaseVirtualPortLock(Std(name));
}

pid_t SpawnHolder(const QStringList &paths, int fd)
{
    std::vector<std::string> list;
    for (const QString &path : paths)
        list.push_back(Std(path));
    return PtyTools::SpawnHolder(list, fd);
}

bool AddFakeSerialPort(const QString &root, const QString &name, const QString &target, const QString &driver,
                       const TFakeUsb *usb)
{
    PtyTools::TFakeUsb plain;
    if (usb)
        plain = {Std(usb->vid), Std(usb->pid), Std(usb->manufacturer), Std(usb->product), Std(usb->serial)};
    return PtyTools::AddFakeSerialPort(Std(root), Std(name), Std(target), Std(driver), usb ? &plain : nullptr);
}

QString UseScratchVirtualPortDir()
{
    return QString::fromStdString(PtyTools::UseScratchVirtualPortDir());
}
