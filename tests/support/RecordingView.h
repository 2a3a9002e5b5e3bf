// A view that remembers what the engine asked a panel to show, for engine
// tests that check the moments and values a panel is given.
#pragma once

#include "MBEngine.h"
#include "MBView.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TRecordingView : mbcore::TMBView {
    explicit TRecordingView(const mbcore::TMBEngine &e) : engine(e) {}

    void ShowTxCount() override { txCounts.push_back(engine.MBDataNumberToSend()); }
    void ShowRxId(const std::string &text) override { rxIds.push_back(text); }
    void ShowTxId(uint8_t id) override { txIds.push_back(id); }
    void ShowTry(uint8_t n) override { tries.push_back({n, engine.MBMasterTryNumberMax()}); }
    void ShowMode(mbcore::TMBMode mode) override { modes.push_back(mode); }

    const mbcore::TMBEngine &engine;
    std::vector<uint16_t> txCounts; // the payload length at each frame sent
    std::vector<std::string> rxIds;
    std::vector<uint8_t> txIds;
    std::vector<std::pair<int, int>> tries; // n of the highest so far, as a panel shows it
    std::vector<mbcore::TMBMode> modes; // the mode a title would show
};
