#include "formats/Patch.h"

#include "formats/Bps.h"
#include "formats/Ips.h"

namespace formats {

PatchFormat TellPatchFormat(const std::vector<uint8_t>& patch) {
    return StartsWith(patch, BpsMagic)   ? PatchFormat::Bps
           : StartsWith(patch, IpsMagic) ? PatchFormat::Ips
                                         : PatchFormat::Unknown;
}

Result MakePatch(PatchFormat format, const std::vector<uint8_t>& original,
                 const std::vector<uint8_t>& edited, std::vector<uint8_t>& patch) {
    return format == PatchFormat::Bps ? MakeBps(original, edited, patch)
                                      : MakeIps(original, edited, patch);
}

Result ApplyPatch(const std::vector<uint8_t>& patch, const std::string& name,
                  std::vector<uint8_t>& data) {
    switch (TellPatchFormat(patch)) {
    case PatchFormat::Ips:
        return ApplyIps(patch, name, data);
    case PatchFormat::Bps:
        return ApplyBps(patch, name, data);
    case PatchFormat::Unknown:
        break;
    }
    return FileFail(Fault::BadData, name,
                    "not a patch (an IPS patch starts with " + std::string(IpsMagic) +
                        ", a BPS patch with " + std::string(BpsMagic) + ")");
}

} // namespace formats
