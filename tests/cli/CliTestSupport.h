#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "cli/DemoRom.h"
#include "rom/RomImage.h"
#include "tests/support/RomBuilder.h"
#include "worldmap/WorldMap.h"

namespace clitest {

using Bytes = std::vector<uint8_t>;
using testsupport::Grid;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        std::string pattern =
            std::filesystem::temp_directory_path().string() + "/atlasforge-cli-XXXXXX";
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
inline Bytes ReadBytes(const std::string& path) {
    const std::string text = ReadText(path);
    return Bytes(text.begin(), text.end());
}
inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    WriteText(path, std::string(bytes.begin(), bytes.end()));
}

struct RunResult {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs the built atlasforge-cli with `args` in `workDir` and waits for it.
inline RunResult RunCli(const std::vector<std::string>& args, const std::string& workDir = ".") {
    const auto quote = [](const std::string& word) {
        std::string out = "'";
        for (char c : word) {
            out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        return out + "'";
    };
    const TempDir capture;
    std::string command = "cd " + quote(workDir) + " && " + quote(ATLASFORGE_CLI);
    for (const std::string& a : args) {
        command += " " + quote(a);
    }
    command += " >" + quote(capture / "out") + " 2>" + quote(capture / "err");
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(capture / "out"),
            ReadText(capture / "err")};
}

// The demo image, built once.
inline const CRomImage& DemoRom() {
    static const std::unique_ptr<CRomImage> rom = [] {
        auto made = std::make_unique<CRomImage>();
        demo::BuildDemoRom(*made);
        return made;
    }();
    return *rom;
}

inline Bytes BytesOf(const CRomImage& rom) {
    return Bytes(rom.RomBytes, rom.RomBytes + RomFileSize);
}

inline Grid Decode(const CRomImage& rom, int mapId) {
    Grid grid(worldmap::GridSize);
    worldmap::DecodeWorldMap(rom, mapId, grid.data());
    return grid;
}

// Tiles 0 to 127 in runs of one and no repeated rows: every digit count, many bytes.
inline Grid NoiseGrid(uint32_t seed) {
    return testsupport::RandomGrid(seed, 1, 0, 128);
}

} // namespace clitest
