// diff and patch: IPS and BPS patches, the format told by the patch's name when making one
// and by its first bytes when applying one.
#include <cstdio>

#include "cli/Commands.h"
#include "cli/RomFile.h"
#include "formats/FileIo.h"
#include "formats/Patch.h"

namespace cli {

using namespace formats;

Result RunDiff(const Args& args) {
    const std::string& out = args.positional[2];
    const bool bps = HasExtension(out, ".bps");
    if (!bps && !HasExtension(out, ".ips")) {
        return Fail(Fault::Usage, Clip(out) + ": the patch's name must end in .ips or .bps");
    }
    Bytes original;
    Bytes edited;
    if (Result read = ReadFile(args.positional[0], original); !read.Ok()) {
        return read;
    }
    if (Result read = ReadFile(args.positional[1], edited); !read.Ok()) {
        return read;
    }
    Bytes patch;
    const Result made =
        MakePatch(bps ? PatchFormat::Bps : PatchFormat::Ips, original, edited, patch);
    if (!made.Ok()) {
        return FileFail(made.fault, args.positional[1], made.message);
    }
    if (Result written = WriteFileAtomic(out, patch); !written.Ok()) {
        return written;
    }
    std::printf("Wrote %s (%zu bytes)\n", Shown(out).c_str(), patch.size());
    return Done();
}

Result RunPatch(const Args& args) {
    const std::string& target = args.positional[0];
    const std::string& patchPath = args.positional[1];
    const std::string& out = args.positional.size() > 2 ? args.positional[2] : target;
    Bytes data;
    Bytes patch;
    // The file written is locked from before the read, whether it is ROM or another.
    RomUpdate update;
    if (Result locked = update.Lock(out); !locked.Ok()) {
        return locked;
    }
    if (Result read = ReadFile(target, data); !read.Ok()) {
        return read;
    }
    if (Result read = ReadFile(patchPath, patch); !read.Ok()) {
        return read;
    }
    if (Result applied = ApplyPatch(patch, patchPath, data); !applied.Ok()) {
        return applied;
    }
    if (Result written = WriteRom(update, data.data(), data.size()); !written.Ok()) {
        return written;
    }
    std::printf("Patched %s into %s (%zu bytes)\n", Shown(target).c_str(), Shown(out).c_str(),
                data.size());
    return Done();
}

} // namespace cli
