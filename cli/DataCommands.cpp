// diff and patch.
#include <cstdio>

#include "cli/Commands.h"
#include "formats/FileIo.h"
#include "formats/Ips.h"

namespace cli {

using namespace formats;

Result RunDiff(const Args& args) {
    Bytes original;
    Bytes edited;
    if (Result read = ReadFile(args.positional[0], original); !read.Ok()) {
        return read;
    }
    if (Result read = ReadFile(args.positional[1], edited); !read.Ok()) {
        return read;
    }
    Bytes patch;
    if (Result made = MakeIps(original, edited, patch); !made.Ok()) {
        return Fail(made.fault, args.positional[1] + ": " + made.message);
    }
    const std::string& out = args.positional[2];
    if (Result written = WriteFileAtomic(out, patch); !written.Ok()) {
        return written;
    }
    std::printf("Wrote %s (%zu bytes)\n", out.c_str(), patch.size());
    return Done();
}

Result RunPatch(const Args& args) {
    const std::string& target = args.positional[0];
    const std::string& out = args.positional.size() > 2 ? args.positional[2] : target;
    Bytes data;
    Bytes patch;
    if (Result read = ReadFile(target, data); !read.Ok()) {
        return read;
    }
    if (Result read = ReadFile(args.positional[1], patch); !read.Ok()) {
        return read;
    }
    if (Result applied = ApplyIps(patch, args.positional[1], data); !applied.Ok()) {
        return applied;
    }
    if (Result written = WriteFileAtomic(out, data); !written.Ok()) {
        return written;
    }
    std::printf("Patched %s into %s (%zu bytes)\n", target.c_str(), out.c_str(), data.size());
    return Done();
}

} // namespace cli
