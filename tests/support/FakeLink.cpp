#include "FakeLink.h"

std::shared_ptr<FakeLinkState> UseFakeLink(TMB &mb)
{
    auto state = std::make_shared<FakeLinkState>();
    mb.SetLinkFactory([state] { return std::make_unique<FakeLink>(state); });
    return state;
}

void Deliver(TMB &mb, const QByteArray &bytes)
{
    if (auto *link = dynamic_cast<FakeLink *>(LinkOf(mb)))
        link->Deliver(bytes);
}
