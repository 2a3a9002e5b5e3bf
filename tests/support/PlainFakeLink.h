// The fake link for tests of the engine without Qt: its state in std types
// (see FakeLinkOf.h).
#pragma once

#include "EngineTestPeer.h"
#include "FakeLinkOf.h"
#include "MBEngine.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct PlainLinkState {
    using Bytes = std::string;
    static std::string FromStd(const std::string &s) { return s; }
    static std::string ToStd(const std::string &s) { return s; }

    bool open = false;
    bool failOpen = false;
    std::string openError = "Device or resource busy";
    bool failWrites = false;
    std::string port;
    uint32_t baud = 0;
    std::vector<std::string> writes; // one entry per WriteBytes call
    std::string rx;                  // bytes queued for reading
    int opens = 0;
    int closes = 0;
    std::vector<uint32_t> hints; // ExpectChars, in order

    std::string Written() const { return JoinWrites(writes); }
};

using PlainFakeLink = TFakeLinkOf<PlainLinkState>;

// Installs a fake-link factory on the engine; returns the state shared with every link it makes.
std::shared_ptr<PlainLinkState> UseFakeLink(mbcore::TMBEngine &engine);
// Delivers bytes to the engine's current fake link.
void Deliver(mbcore::TMBEngine &engine, std::string_view bytes);
