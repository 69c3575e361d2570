#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace atomicfile {

// The write primitive used for the temporary file; tests swap it to simulate a full disk.
using WriteFunction = ssize_t (*)(int fd, const void* data, std::size_t size);
void SetWriteFunction(WriteFunction fn); // nullptr restores ::write

// Writes the given blocks, in order, to a temporary file beside the real target of `path`
// (symbolic links followed), syncs it and renames it over the target, keeping the
// target's permission bits. On failure the target is as it was, no temporary remains,
// and errno says why.
struct Block {
    const void* data;
    std::size_t size;
};
bool ReplaceFile(const std::string& path, const Block* blocks, std::size_t count);

} // namespace atomicfile
