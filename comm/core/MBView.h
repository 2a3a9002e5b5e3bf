// What the engine shows, for a host with a panel. The engine calls these at
// the moments the panel must change; they read the engine's state and change
// nothing in it. Every routine does nothing by default.
#pragma once

#include "MBProtocol.h"

#include <cstdint>
#include <string>

namespace mbcore {

class TMBView
{
public:
    virtual ~TMBView() = default;

    virtual void FlashTxLamp() {}
    virtual void FlashRxLamp() {}
    virtual void TxLampOff() {}                    // a write was refused
    virtual void CharactersCame() {}               // a read brought some: the program is awake anyway
    virtual void ShowTxCount() {}                  // payload length of the frame sent
    virtual void ShowRxCount(uint16_t /*length*/) {}
    virtual void ShowTry(uint8_t /*n*/) {}         // n of MBMasterTryNumberMax
    virtual void ShowTraffic() {}                  // TrafficText and HistoryText changed
    virtual void ShowCounters() {}
    virtual void ShowSpeed() {}
    virtual void SampleTaken() {}                  // a new MBSpeed for the chart (port open)
    virtual void ClearSpeedChart() {}
    virtual void ShowStatusLine() {}
    virtual void ShowRxId(const std::string & /*text*/) {} // "039" or "---"
    virtual void ShowTxId(uint8_t /*id*/) {}
    virtual void ShowMode(TMBMode /*mode*/) {}     // title and try display for the mode
    virtual void ShowBaudRate() {}
    virtual void UpdateView() {}                   // open or closed view, baud editor
    virtual void ResetPanelState() {}              // lamps and status line to the face colour
    // The open/close sequence: the panel takes the port name to open in
    // Opening (it may call setPort), then learns how the open went.
    virtual void Opening() {}
    virtual void OpenFailed() {}
    virtual void Opened() {}
    virtual void Closing() {}
    virtual void Closed() {}
    // The line went away and the port was closed: the port list is stale.
    virtual void PortVanished() {}
    // The start-up of the panel's own parts (selector items, port list).
    virtual void StartUpPanel() {}
    virtual void StartUpDone() {}
};

} // namespace mbcore
