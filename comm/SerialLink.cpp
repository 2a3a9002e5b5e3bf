#include "SerialLink.h"

#include <cerrno>
#include <cstring>

namespace {

class TUnavailableLink : public TMBLink
{
public:
    bool Open(const QString &, quint32, QString &errorText) override
    {
        errorText = QString::fromLocal8Bit(std::strerror(ENOENT));
        return false;
    }
    void Close() override {}
    bool IsOpen() const override { return false; }
    bool WriteBytes(const char *, qsizetype) override { return false; }
    qsizetype ReadBytes(char *, qsizetype) override { return 0; }
};

} // namespace

std::unique_ptr<TMBLink> MakeSerialLink()
{
    return std::make_unique<TUnavailableLink>();
}
