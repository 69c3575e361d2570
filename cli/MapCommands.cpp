// info, export, import and tiles: the commands over the world maps.
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

#include "cli/Commands.h"
#include "cli/FileIo.h"
#include "cli/GridCsv.h"
#include "cli/MapImages.h"
#include "cli/TextFormat.h"
#include "cli/Tmx.h"
#include "worldmap/MapLayout.h"
#include "worldmap/WorldMap.h"

namespace cli {

namespace {

using Grid = std::vector<uint8_t>;

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%05X", value);
    return text;
}

// The part of `path` after its last slash, and the folder before it (with the slash).
std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
std::string Folder(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The tileset picture written beside a .tmx: "world.tmx" gets "world-tileset.png".
std::string TilesetName(const std::string& tmxPath) {
    const std::string base = BaseName(tmxPath);
    return base.substr(0, base.size() - 4) + "-tileset.png";
}

Outcome LoadRomAndMap(const Args& args, std::unique_ptr<CRomImage>& rom, int& mapId) {
    if (Outcome map = ParseMapId(args.positional[1], mapId); !map.Ok()) {
        return map;
    }
    rom = std::make_unique<CRomImage>();
    return LoadRom(args.positional[0], *rom);
}

void PrintInfoText(const CRomImage& rom, const std::vector<std::string>& problems) {
    for (int m = 0; m < worldmap::MapCount; ++m) {
        const worldmap::MapExtent e = worldmap::GetMapExtent(rom, m);
        std::printf("%d %-22s start %s  end %s  size %6d bytes  %3d distinct rows\n", m,
                    worldmap::MapName(m), Hex(e.start).c_str(), Hex(e.end).c_str(),
                    static_cast<int>(e.end) - static_cast<int>(e.start), e.uniqueRows);
    }
    std::printf("Free bytes: %d\n", worldmap::CountFreeBytes(rom));
    if (problems.empty()) {
        std::printf("Layout: OK\n");
        return;
    }
    std::printf("Layout: %zu problem(s)\n", problems.size());
    for (const std::string& p : problems) {
        std::printf("  %s\n", p.c_str());
    }
}

void PrintInfoJson(const CRomImage& rom, const std::vector<std::string>& problems) {
    std::printf("{\"free_bytes\": %d, \"layout_ok\": %s, \"problems\": [",
                worldmap::CountFreeBytes(rom), problems.empty() ? "true" : "false");
    for (std::size_t i = 0; i < problems.size(); ++i) {
        std::printf("%s%s", i ? ", " : "", JsonString(problems[i]).c_str());
    }
    std::printf("], \"maps\": [");
    for (int m = 0; m < worldmap::MapCount; ++m) {
        const worldmap::MapExtent e = worldmap::GetMapExtent(rom, m);
        std::printf("%s{\"id\": %d, \"name\": %s, \"start\": %u, \"end\": %u, \"size\": %d, "
                    "\"unique_rows\": %d}",
                    m ? ", " : "", m, JsonString(worldmap::MapName(m)).c_str(), e.start, e.end,
                    static_cast<int>(e.end) - static_cast<int>(e.start), e.uniqueRows);
    }
    std::printf("]}\n");
}

Outcome ExportTmx(const CRomImage& rom, int mapId, const Grid& grid, const std::string& out) {
    Bytes sheet;
    if (Outcome made = TileSheetPng(rom, mapId, sheet); !made.Ok()) {
        return made;
    }
    const std::string sheetName = TilesetName(out);
    const std::string sheetPath = Folder(out) + sheetName;
    const std::string tmx = WriteTmx(grid.data(), sheetName, worldmap::MapName(mapId));
    const bool sheetExisted = ::access(sheetPath.c_str(), F_OK) == 0;
    if (Outcome written = WriteFileAtomic(sheetPath, sheet); !written.Ok()) {
        return written;
    }
    if (Outcome written = WriteFileAtomic(out, tmx); !written.Ok()) {
        if (!sheetExisted) {
            ::unlink(sheetPath.c_str()); // the pair is written whole or not at all
        }
        return written;
    }
    std::printf("Exported %s to %s with its tileset %s\n", worldmap::MapName(mapId), out.c_str(),
                sheetPath.c_str());
    return Done();
}

} // namespace

Outcome RunInfo(const Args& args) {
    auto rom = std::make_unique<CRomImage>();
    if (Outcome loaded = LoadRom(args.positional[0], *rom); !loaded.Ok()) {
        return loaded;
    }
    const std::vector<std::string> problems = worldmap::CheckLayout(*rom);
    if (args.json) {
        PrintInfoJson(*rom, problems);
    } else {
        PrintInfoText(*rom, problems);
    }
    if (!problems.empty()) {
        return Fail(ExitMap,
                    args.positional[0] + ": the world-map region is broken: " + problems.front());
    }
    return Done();
}

Outcome RunExport(const Args& args) {
    const std::string& out = args.positional[2];
    const bool csv = HasExtension(out, ".csv");
    const bool png = HasExtension(out, ".png");
    const bool tmx = HasExtension(out, ".tmx");
    if (!csv && !png && !tmx) {
        return Fail(ExitUsage, out + ": the output must end in .csv, .png or .tmx");
    }
    std::unique_ptr<CRomImage> rom;
    int mapId = 0;
    if (Outcome loaded = LoadRomAndMap(args, rom, mapId); !loaded.Ok()) {
        return loaded;
    }
    Grid grid(worldmap::GridSize);
    worldmap::DecodeWorldMap(*rom, mapId, grid.data());
    if (csv) {
        if (Outcome written = WriteFileAtomic(out, WriteGridCsv(grid.data())); !written.Ok()) {
            return written;
        }
        std::printf("Exported %s to %s\n", worldmap::MapName(mapId), out.c_str());
        return Done();
    }
    if (Outcome colours = ChooseColours(args.palette, *rom); !colours.Ok()) {
        return colours;
    }
    if (tmx) {
        return ExportTmx(*rom, mapId, grid, out);
    }
    Bytes picture;
    if (Outcome made = MapPng(*rom, mapId, grid.data(), picture); !made.Ok()) {
        return made;
    }
    if (Outcome written = WriteFileAtomic(out, picture); !written.Ok()) {
        return written;
    }
    std::printf("Exported %s to %s\n", worldmap::MapName(mapId), out.c_str());
    return Done();
}

Outcome RunImport(const Args& args) {
    const std::string& romPath = args.positional[0];
    const std::string& in = args.positional[2];
    const bool csv = HasExtension(in, ".csv");
    if (!csv && !HasExtension(in, ".tmx")) {
        return Fail(ExitUsage, in + ": the input must end in .csv or .tmx");
    }
    std::unique_ptr<CRomImage> rom;
    int mapId = 0;
    if (Outcome loaded = LoadRomAndMap(args, rom, mapId); !loaded.Ok()) {
        return loaded;
    }
    Bytes bytes;
    if (Outcome read = ReadFile(in, bytes); !read.Ok()) {
        return read;
    }
    const std::string text(bytes.begin(), bytes.end());
    Grid grid(worldmap::GridSize);
    const Outcome parsed =
        csv ? ParseGridCsv(text, in, grid.data()) : ParseTmx(text, in, grid.data());
    if (!parsed.Ok()) {
        return parsed;
    }
    const int freeBytes = worldmap::CountFreeBytes(*rom);
    const worldmap::StoreReport report =
        worldmap::StoreWorldMapReport(*rom, mapId, grid.data(), freeBytes);
    switch (report.status) {
    case worldmap::StoreStatus::Stored:
        break;
    case worldmap::StoreStatus::DoesNotFit:
        return Fail(ExitMap, in + ": " + worldmap::MapName(mapId) + " needs " +
                                 std::to_string(report.newSize) + " bytes but only " +
                                 std::to_string(report.available) + " are available");
    case worldmap::StoreStatus::BadLayout: {
        const std::vector<std::string> problems = worldmap::CheckLayout(*rom, mapId);
        return Fail(ExitMap, romPath + ": the world-map region is broken" +
                                 (problems.empty() ? std::string() : ": " + problems.front()));
    }
    case worldmap::StoreStatus::BadTile:
        return Fail(ExitBadData, in + ": a tile is outside 0 to 127");
    }
    if (Outcome written = WriteFileAtomic(romPath, rom->RomBytes, RomFileSize); !written.Ok()) {
        return written;
    }
    std::printf("Stored %s (%d bytes); free bytes: %d\n", worldmap::MapName(mapId), report.newSize,
                worldmap::CountFreeBytes(*rom));
    return Done();
}

Outcome RunTiles(const Args& args) {
    std::unique_ptr<CRomImage> rom;
    int mapId = 0;
    if (Outcome loaded = LoadRomAndMap(args, rom, mapId); !loaded.Ok()) {
        return loaded;
    }
    if (Outcome colours = ChooseColours(args.palette, *rom); !colours.Ok()) {
        return colours;
    }
    Bytes sheet;
    if (Outcome made = TileSheetPng(*rom, mapId, sheet); !made.Ok()) {
        return made;
    }
    const std::string& out = args.positional[2];
    if (Outcome written = WriteFileAtomic(out, sheet); !written.Ok()) {
        return written;
    }
    std::printf("Wrote the tiles of %s to %s\n", worldmap::MapName(mapId), out.c_str());
    return Done();
}

} // namespace cli
