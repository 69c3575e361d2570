#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "formats/Result.h"

namespace formats {

// The patch formats this tool reads and makes, told apart by their first bytes.
enum class PatchFormat { Unknown, Ips, Bps };
inline constexpr std::string_view IpsMagic = "PATCH";
inline constexpr std::string_view BpsMagic = "BPS1";

inline bool StartsWith(const std::vector<uint8_t>& patch, std::string_view magic) {
    return patch.size() >= magic.size() && std::equal(magic.begin(), magic.end(), patch.begin());
}

PatchFormat TellPatchFormat(const std::vector<uint8_t>& patch);

// A patch that turns `original` into `edited` in `format` (Ips or Bps): see MakeIps and
// MakeBps for what each can reach.
Result MakePatch(PatchFormat format, const std::vector<uint8_t>& original,
                 const std::vector<uint8_t>& edited, std::vector<uint8_t>& patch);

// Tells the patch's format by its first bytes, checks the whole patch, then applies it to
// `data`. A patch in neither format, or one its format refuses, fails with Fault::BadData
// and one line naming `name`; `data` is then unchanged.
Result ApplyPatch(const std::vector<uint8_t>& patch, const std::string& name,
                  std::vector<uint8_t>& data);

// A fault at a place in a patch, worded alike for both formats.
inline Result Malformed(const std::string& name, std::size_t at, const std::string& what) {
    char where[48];
    std::snprintf(where, sizeof where, "offset %zu (0x%zX)", at, at);
    return FileFail(Fault::BadData, name, std::string(where) + ": " + what);
}
// A patch whose first bytes are not its format's.
inline Result NotThisFormat(const std::string& name, const char* format, std::string_view magic) {
    return Malformed(name, 0,
                     std::string("not ") + format + " patch (it does not start with " +
                         std::string(magic) + ")");
}

} // namespace formats
