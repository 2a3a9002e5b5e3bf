#include "PlainFakeLink.h"

std::shared_ptr<PlainLinkState> UseFakeLink(mbcore::TMBEngine &engine)
{
    auto state = std::make_shared<PlainLinkState>();
    engine.SetLinkFactory([state] { return std::make_unique<PlainFakeLink>(state); });
    return state;
}

void Deliver(mbcore::TMBEngine &engine, std::string_view bytes)
{
    if (auto *link = dynamic_cast<PlainFakeLink *>(Core(engine).m_link.get()))
        link->Deliver(std::string(bytes));
}
