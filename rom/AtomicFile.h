#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace atomicfile {

// The write primitive used for the temporary file; tests swap it to simulate a full disk.
using WriteFunction = ssize_t (*)(int fd, const void* data, std::size_t size);
void SetWriteFunction(WriteFunction fn); // nullptr restores ::write
// The rename that puts a written file in place; tests swap it to fail one of a set.
using RenameFunction = int (*)(const char* from, const char* to);
void SetRenameFunction(RenameFunction fn); // nullptr restores ::rename
// The hard link that keeps a replaced file's old content while a set is put in place;
// tests swap it for a file system without hard links.
using LinkFunction = int (*)(const char* from, const char* to);
void SetLinkFunction(LinkFunction fn); // nullptr restores ::link

// Writes the given blocks, in order, to a temporary file beside the real target of `path`
// (symbolic links followed), syncs it and renames it over the target, keeping the
// target's permission bits. On failure the target is as it was, no temporary remains,
// and errno says why. The temporary has no name until it is whole (where the file system
// allows), so a process killed while writing leaves nothing; one killed in the moment
// between naming and renaming leaves a temporary that the next save in that folder
// removes, having proved that its writer is gone.
struct Block {
    const void* data;
    std::size_t size;
};
bool ReplaceFile(const std::string& path, const Block* blocks, std::size_t count);

// Replaces several files as a set: all or none. Each is written and synced beside its
// target first; only then are they renamed into place, in order, and should a rename fail
// the files already renamed get their old content back (or go, when they were new). The
// old content is kept under a second name, or copied where the file system has no hard
// links.
struct Contents {
    std::string path;
    const Block* blocks;
    std::size_t count;
};
// On failure `failed`, when given, says which file it was.
bool ReplaceFiles(const Contents* files, std::size_t count, std::size_t* failed);

// The folder that holds `path`: "." for a bare name, "/" for a file at the root.
std::string FolderOf(const std::string& path);

} // namespace atomicfile
