#include "CliTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

#include "cli/DemoRom.h"
#include "worldmap/WorldMap.h"

namespace clitest {

TempDir::TempDir() {
    std::string pattern =
        std::filesystem::temp_directory_path().string() + "/atlasforge-cli-XXXXXX";
    path_ = ::mkdtemp(pattern.data());
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

namespace {

std::string Quote(const std::string& word) {
    std::string out = "'";
    for (char c : word) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

RunResult RunCli(const std::vector<std::string>& args, const std::string& workDir) {
    TempDir capture;
    std::string command = "cd " + Quote(workDir) + " && " + Quote(ATLASFORGE_CLI);
    for (const std::string& a : args) {
        command += " " + Quote(a);
    }
    command += " >" + Quote(capture / "out") + " 2>" + Quote(capture / "err");
    const int status = std::system(command.c_str());
    RunResult result;
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = Slurp(capture / "out");
    result.err = Slurp(capture / "err");
    return result;
}

const CRomImage& DemoRom() {
    static const std::unique_ptr<CRomImage> rom = [] {
        auto made = std::make_unique<CRomImage>();
        demo::BuildDemoRom(*made);
        return made;
    }();
    return *rom;
}

std::unique_ptr<CRomImage> CopyOf(const CRomImage& rom) {
    auto copy = std::make_unique<CRomImage>();
    std::memcpy(copy->RomBytes, rom.RomBytes, RomFileSize);
    return copy;
}

std::unique_ptr<CRomImage> RomWithMaps(const std::array<Grid, 4>& grids) {
    auto rom = std::make_unique<CRomImage>();
    uint32_t next = worldmap::RowDataStart;
    std::vector<uint8_t> coded(worldmap::MaxEncodedSize);
    uint16_t pointers[worldmap::MapHeight];
    for (int m = 0; m < worldmap::MapCount; ++m) {
        const int length = worldmap::EncodeWorldMap(
            grids[static_cast<std::size_t>(m)].data(),
            static_cast<uint16_t>(next - worldmap::RegionStart), coded.data(), pointers);
        std::memcpy(rom->RomBytes + next, coded.data(), static_cast<std::size_t>(length));
        for (int r = 0; r < worldmap::MapHeight; ++r) {
            rom->WriteWord(worldmap::TableStart(m) + 2 * static_cast<uint32_t>(r), pointers[r]);
        }
        next += static_cast<uint32_t>(length);
    }
    return rom;
}

Grid Decode(const CRomImage& rom, int mapId) {
    Grid grid(worldmap::GridSize);
    worldmap::DecodeWorldMap(rom, mapId, grid.data());
    return grid;
}

Grid NoiseGrid(uint32_t seed) {
    Grid grid(worldmap::GridSize);
    uint32_t state = seed * 2654435761u + 1;
    for (uint8_t& cell : grid) {
        state = state * 1664525u + 1013904223u;
        cell = static_cast<uint8_t>((state >> 16) % 128);
    }
    return grid;
}

} // namespace clitest
