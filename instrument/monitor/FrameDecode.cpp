#include "FrameDecode.h"

#include "FrameMonitor.h"
#include "KV508Commands.h"
#include "KV508Payload.h"

#include <cstdio>

namespace kv508 {

const char *CommandName(uint8_t command)
{
    switch (command) {
    case Cmd_Poll: return "poll";
    case Cmd_Zero: return "zero";
    case Cmd_SetAs0: return "set-as-0";
    case Cmd_SetAs4mA: return "set-as-4mA";
    case Cmd_SetAs20mA: return "set-as-20mA";
    case Cmd_EraseEEPROM: return "erase-eeprom";
    case Cmd_WriteSettings: return "write-settings";
    case Cmd_ReadSettings: return "read-settings";
    case Cmd_SetAsScaleEnd: return "set-as-scale-end";
    case Cmd_WriteSettings2: return "write-settings-2";
    case Cmd_Reset: return "reset";
    default: return nullptr;
    }
}

} // namespace kv508

namespace kv508::detail {

namespace {

std::string Flags(uint8_t bits)
{
    std::string text;
    auto add = [&text](const std::string &name) { text += (text.empty() ? "" : ",") + name; };
    uint8_t known = 0;
    for (const TErrorFlag &f : ErrorFlags) {
        known |= f.bit;
        if (bits & f.bit)
            add(f.name);
    }
    if (bits & ~known) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", unsigned(bits & ~known));
        add(hex);
    }
    return text.empty() ? "-" : text;
}

std::string LiveDataText(const TLiveData &d)
{
    return "p=" + FormatScaled(d.MeasuredValue, d.Decimals) + " out=" + FormatScaled(d.OutputValue, 3) +
           "mA flags=" + Flags(d.ErrorBits) + " firmware=" + FormatDateCode(d.FirmwareDateCode) +
           " calibrated=" + FormatDateCode(d.CalibrationDateCode) + " end=" + FormatScaled(d.ScaleEnd, d.Decimals) +
           " adc=" + std::to_string(d.BridgeDataAveraged) + " sps=" + std::to_string(d.SPS);
}

std::string SettingsText(const TSettings &s, bool full)
{
    std::string text = "4mA=" + std::to_string(s.iFizFor4mA) + " 20mA=" + std::to_string(s.iFizFor20mA) +
                       " error-current=" + (s.bErrorCurrentMode ? "off" : "on") +
                       " level=" + (s.bErrorCurrentValue ? "22mA" : "3.2mA");
    if (!full)
        return text;
    text += " sensor=" + std::to_string(s.SensorCode) + " averaging=" + std::to_string(s.Averaging) + " input=";
    text += s.InputCode == 0 ? "pressure" : s.InputCode == 1 ? "temperature" : std::to_string(s.InputCode);
    return text;
}

std::string SizeText(std::size_t n)
{
    return std::string("(") + std::to_string(n) + (n == 1 ? " byte)" : " bytes)");
}

} // namespace

std::string DecodeFrame(bool answer, uint8_t id, uint8_t command, uint8_t status,
                        const std::vector<uint8_t> &payload)
{
    const char *known = id == Id ? CommandName(command) : nullptr;
    if (!known) {
        std::string text = id == Id ? "" : "id " + std::to_string(id) + " ";
        text += "command " + std::to_string(command);
        return payload.empty() ? text : text + ' ' + SizeText(payload.size());
    }
    const std::string name = known;
    if (status == 254 || status == 255)
        return name + " slave-error=" + std::to_string(status);
    const std::string statusText = status != 0 ? " status=" + std::to_string(status) : "";

    std::size_t expected = 0;
    if (answer)
        expected = command == Cmd_Poll ? LiveDataSize : command == Cmd_ReadSettings ? SettingsSize : 0;
    else
        switch (command) {
        case Cmd_Poll: expected = PollRequestSize; break;
        case Cmd_SetAs0:
        case Cmd_SetAs4mA:
        case Cmd_SetAs20mA:
        case Cmd_SetAsScaleEnd: expected = DateCodeSize; break;
        case Cmd_WriteSettings: expected = SettingsSize; break;
        case Cmd_WriteSettings2: expected = Settings2Size; break;
        default: break;
        }
    // a payload of another size is not what the layout says: show its size only
    if (payload.size() != expected)
        return name + statusText + ' ' + SizeText(payload.size()) + ", expected " + std::to_string(expected);
    if (expected == 0)
        return answer ? name + statusText + " ok" : name + statusText;

    TPayloadReader in(payload.data(), payload.size());
    std::string fields;
    if (answer && command == Cmd_Poll)
        fields = LiveDataText(GetLiveData(in));
    else if (command == Cmd_ReadSettings || command == Cmd_WriteSettings || command == Cmd_WriteSettings2)
        // the short write's missing fields read as zero and are not shown
        fields = SettingsText(GetSettings(in), command != Cmd_WriteSettings2);
    else if (command == Cmd_Poll) {
        const TPollRequest poll = GetPollRequest(in);
        fields = "force=" + std::to_string(poll.force) + " pwm=" + std::to_string(poll.pwm);
    } else
        fields = "date=" + FormatDateCode(in.MBGetDWord());
    return name + statusText + ' ' + fields;
}

} // namespace kv508::detail
