// UTF-8 and the system's messages at the Win32 boundary.
#pragma once

#include <cstdint>
#include <string>

namespace wintext {

std::wstring Wide(const std::string &utf8);
std::string Utf8(const std::wstring &wide);
// The system's text for a GetLastError() code, without the trailing line break.
std::string SystemText(uint32_t code);

} // namespace wintext
