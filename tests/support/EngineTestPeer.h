// Test access to the engine's inside, without Qt. Tests reach the engine's
// internals only through here (TestPeer.h adds the Qt face's parts).
#pragma once

#include "MBEngine.h"
#include "MBEngineImpl.h"

#include <cstdint>
#include <string_view>

namespace mbcore {
struct TMBEngineTestPeer {
    static detail::TEngine &Core(TMBEngine &e) { return *e.m_d; }
};
} // namespace mbcore

inline mbcore::detail::TEngine &Core(mbcore::TMBEngine &e) { return mbcore::TMBEngineTestPeer::Core(e); }
inline const mbcore::detail::TEngine &Core(const mbcore::TMBEngine &e)
{
    return Core(const_cast<mbcore::TMBEngine &>(e));
}

// Feeds characters to the receiver of the current mode, as a read would.
inline void DecodeRx(mbcore::TMBEngine &e, std::string_view chunk)
{
    Core(e).DecodeRxChunk(reinterpret_cast<const uint8_t *>(chunk.data()), chunk.size());
}
