#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rom/RomImage.h"

namespace clitest {

using Bytes = std::vector<uint8_t>;
using Grid = std::vector<uint8_t>;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
void WriteText(const std::string& path, const std::string& text);

struct RunResult {
    int code = -1;
    std::string out;
    std::string err;
};
// Runs the built atlasforge-cli with `args` in `workDir` and waits for it.
RunResult RunCli(const std::vector<std::string>& args, const std::string& workDir = ".");

// The demo image (built once) and a copy of it.
const CRomImage& DemoRom();
std::unique_ptr<CRomImage> CopyOf(const CRomImage& rom);

// A synthetic image whose four maps are the given grids, packed from the start of the row
// data with the rest of the region free.
std::unique_ptr<CRomImage> RomWithMaps(const std::array<Grid, 4>& grids);

Grid Decode(const CRomImage& rom, int mapId);
// Deterministic tiles 0 to 127 with few repeats: codes to many bytes.
Grid NoiseGrid(uint32_t seed);

} // namespace clitest
