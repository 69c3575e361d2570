// info, export, import and tiles: the commands over the world maps and their tiles, and the
// store that import and edit share.
#include <cstdio>
#include <memory>
#include <vector>

#include "cli/Commands.h"
#include "cli/MapStore.h"
#include "cli/RomFile.h"
#include "formats/FileIo.h"
#include "formats/GridCsv.h"
#include "formats/MapImages.h"
#include "formats/Palette.h"
#include "formats/TextFormat.h"
#include "formats/Tmx.h"
#include "gfx/ColourTable.h"
#include "gfx/TileSheet.h"
#include "tiles/TileImport.h"
#include "worldmap/MapLayout.h"
#include "worldmap/WorldMap.h"

namespace cli {

using namespace formats;

namespace {

using worldmap::Grid;

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

// The colours to draw with, and a note when none of the user's files supplied them (unless
// `quiet`, for a caller that tells it itself; `builtIn` says whether they did).
Result UseColours(const Args& args, CRomImage& rom, bool quiet = false, bool* builtIn = nullptr) {
    PaletteSource source = PaletteSource::BuiltIn;
    Result chosen = ChooseColours(args.palette, rom, source);
    if (builtIn != nullptr) {
        *builtIn = source == PaletteSource::BuiltIn;
    }
    if (chosen.Ok() && source == PaletteSource::BuiltIn && !quiet) {
        std::fprintf(stderr,
                     "atlasforge-cli: note: no %s found; drawing with the built-in standard "
                     "palette\n",
                     gfx::PaletteFileName);
    }
    return chosen;
}

// A command that may rewrite the ROM passes the update that locks it while it does.
Result LoadRomAndMap(const Args& args, std::unique_ptr<CRomImage>& rom, int& mapId,
                     RomUpdate* update = nullptr) {
    if (Result map = ParseMapId(args.positional[1], mapId); !map.Ok()) {
        return map;
    }
    rom = std::make_unique<CRomImage>();
    return update != nullptr ? update->Load(args.positional[0], *rom, !args.dryRun)
                             : LoadRom(args.positional[0], *rom);
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

Result ExportTmx(const CRomImage& rom, int mapId, const Grid& grid, const std::string& out) {
    Bytes sheet;
    if (Result made = TileSheetPng(rom, mapId, sheet); !made.Ok()) {
        return made;
    }
    const std::string sheetName = TilesetName(out);
    const std::string sheetPath = Folder(out) + sheetName;
    const std::string tmx = WriteTmx(grid, sheetName, worldmap::MapName(mapId));
    // The map names its tileset: both are written, or neither is touched.
    if (Result written = WriteFilesAtomic(
            {{sheetPath, sheet.data(), sheet.size()}, {out, tmx.data(), tmx.size()}});
        !written.Ok()) {
        return written;
    }
    std::printf("Exported %s to %s with its tileset %s\n", worldmap::MapName(mapId),
                Shown(out).c_str(), Shown(sheetPath).c_str());
    return Done();
}

// "3, 17, 70" for a list of numbers.
template <class List, class Number> std::string Listed(const List& list, Number number) {
    std::string text;
    for (const auto& item : list) {
        text += (text.empty() ? "" : ", ") + std::to_string(number(item));
    }
    return text;
}

std::string ColourText(uint32_t bgr) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", bgr & 0xFFu, bgr >> 8 & 0xFFu,
                  bgr >> 16 & 0xFFu);
    return std::string(text) + ((bgr & NotOpaque) != 0 ? " (not opaque)" : "");
}

// Takes an edited sheet back into the ROM file; every line is printed only after the file
// is written, so a failed write reports nothing as done.
Result ImportSheet(const Args& args, CRomImage& rom, RomUpdate& update, int mapId) {
    const std::string& in = *args.import;
    auto sheet = std::make_unique<gfx::MetatilePixels>();
    if (Result read = ReadTileSheetPng(in, *sheet); !read.Ok()) {
        return read;
    }
    // A failure stays one line: the note on the colours goes into its message.
    bool builtIn = false;
    if (Result colours = UseColours(args, rom, true, &builtIn); !colours.Ok()) {
        return colours;
    }
    const bool dry = args.dryRun;
    const tiles::ImportReport report = tiles::ImportTileSheet(
        rom, mapId, *sheet, dry ? tiles::ImportMode::DryRun : tiles::ImportMode::Apply);
    const std::string name = worldmap::MapName(mapId);
    switch (report.status) {
    case tiles::ImportStatus::BadColour: {
        const gfx::SheetPoint at = gfx::SheetCellOrigin(report.tile, gfx::TileSize);
        return FileFail(
            Fault::BadData, in,
            "tile " + std::to_string(report.tile) + ": pixel (" + std::to_string(report.x) + ", " +
                std::to_string(report.y) + ") (sheet pixel (" + std::to_string(at.x + report.x) +
                ", " + std::to_string(at.y + report.y) + ")) is " + ColourText(report.colour) +
                ", and no sub-palette of the " + name + "'s palette holds all the tile's colours" +
                (builtIn ? " (in the built-in standard palette's colours, as no " +
                               std::string(gfx::PaletteFileName) + " was found)"
                         : std::string()) +
                "; nothing written");
    }
    case tiles::ImportStatus::NoFreePattern:
        return FileFail(Fault::Map, in,
                        "tile " + std::to_string(report.tile) +
                            " needs a pattern of its own and none is free for the " + name +
                            "; nothing written");
    case tiles::ImportStatus::Unchanged:
        std::printf("Tiles unchanged: %s shows the tiles of the %s as they are; nothing "
                    "written\n",
                    Shown(in).c_str(), name.c_str());
        return Done();
    case tiles::ImportStatus::Changed:
        break;
    }
    if (builtIn) {
        std::fprintf(stderr,
                     "atlasforge-cli: note: no %s found; the sheet's colours were read as "
                     "the built-in standard palette's\n",
                     gfx::PaletteFileName);
    }
    if (!dry) {
        if (Result written = WriteRom(update, rom.RomBytes, RomFileSize); !written.Ok()) {
            return written;
        }
    }
    std::vector<int> changed;
    for (int t = 0; t < tiles::TileCount; ++t) {
        if (report.changed.test(static_cast<std::size_t>(t))) {
            changed.push_back(t);
        }
    }
    const auto same = [](int n) { return n; };
    std::printf("%s tiles: %s\n", dry ? "Would change" : "Changed", Listed(changed, same).c_str());
    if (!report.rewritten.empty()) {
        std::printf("%s patterns: %s\n", dry ? "Would rewrite" : "Rewrote",
                    Listed(report.rewritten, same).c_str());
    }
    for (const tiles::ClaimedPattern& claim : report.claimed) {
        std::printf("%s free pattern %d for tile %d\n", dry ? "Would claim" : "Claimed",
                    claim.pattern, claim.tile);
    }
    if (!report.otherMaps.empty()) {
        std::string maps;
        for (int m : report.otherMaps) {
            maps += (maps.empty() ? "" : ", ") + std::string(worldmap::MapName(m));
        }
        std::printf("%s the look of: %s\n", dry ? "Would also change" : "Also changed",
                    maps.c_str());
    }
    if (dry) {
        std::printf("Dry run: would store the tiles of the %s; nothing written\n", name.c_str());
    } else {
        std::printf("Stored the tiles of the %s in %s\n", name.c_str(),
                    Shown(args.positional[0]).c_str());
    }
    return Done();
}

// One CSV line per tile, after a header naming the columns.
void PrintUsage(const CRomImage& rom, int mapId) {
    const auto table = tiles::TileUsageTable(rom, mapId);
    std::printf("tile,sub_palette,pattern_tl,pattern_tr,pattern_bl,pattern_br,sharers_tl,"
                "sharers_tr,sharers_bl,sharers_br,cells_map0,cells_map1,cells_map2,"
                "cells_map3\n");
    for (int t = 0; t < tiles::TileCount; ++t) {
        const tiles::TileUsage& u = table[static_cast<std::size_t>(t)];
        std::printf("%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d\n", t, u.subPalette, u.patterns[0],
                    u.patterns[1], u.patterns[2], u.patterns[3], u.sharers[0], u.sharers[1],
                    u.sharers[2], u.sharers[3], u.cells[0], u.cells[1], u.cells[2], u.cells[3]);
    }
}

} // namespace

Result RunInfo(const Args& args) {
    auto rom = std::make_unique<CRomImage>();
    if (Result loaded = LoadRom(args.positional[0], *rom); !loaded.Ok()) {
        return loaded;
    }
    const std::vector<std::string> problems = worldmap::CheckLayout(*rom);
    if (args.json) {
        PrintInfoJson(*rom, problems);
    } else {
        PrintInfoText(*rom, problems);
    }
    if (!problems.empty()) {
        return FileFail(Fault::Map, args.positional[0],
                        "the world-map region is broken: " + problems.front());
    }
    return Done();
}

Result RunExport(const Args& args) {
    const std::string& out = args.positional[2];
    const bool csv = HasExtension(out, ".csv");
    const bool png = HasExtension(out, ".png");
    const bool tmx = HasExtension(out, ".tmx");
    if (!csv && !png && !tmx) {
        return FileFail(Fault::Usage, out, "the output must end in .csv, .png or .tmx");
    }
    std::unique_ptr<CRomImage> rom;
    int mapId = 0;
    if (Result loaded = LoadRomAndMap(args, rom, mapId); !loaded.Ok()) {
        return loaded;
    }
    Grid grid{};
    worldmap::DecodeWorldMap(*rom, mapId, grid);
    if (csv) {
        if (Result written = WriteFileAtomic(out, WriteGridCsv(grid)); !written.Ok()) {
            return written;
        }
        std::printf("Exported %s to %s\n", worldmap::MapName(mapId), Shown(out).c_str());
        return Done();
    }
    if (Result colours = UseColours(args, *rom); !colours.Ok()) {
        return colours;
    }
    if (tmx) {
        return ExportTmx(*rom, mapId, grid, out);
    }
    Bytes picture;
    if (Result made = MapPng(*rom, mapId, grid, picture); !made.Ok()) {
        return made;
    }
    if (Result written = WriteFileAtomic(out, picture); !written.Ok()) {
        return written;
    }
    std::printf("Exported %s to %s\n", worldmap::MapName(mapId), Shown(out).c_str());
    return Done();
}

Result RunImport(const Args& args) {
    const std::string& romPath = args.positional[0];
    const std::string& in = args.positional[2];
    const bool csv = HasExtension(in, ".csv");
    if (!csv && !HasExtension(in, ".tmx")) {
        return FileFail(Fault::Usage, in, "the input must end in .csv or .tmx");
    }
    std::unique_ptr<CRomImage> rom;
    int mapId = 0;
    RomUpdate update;
    if (Result loaded = LoadRomAndMap(args, rom, mapId, &update); !loaded.Ok()) {
        return loaded;
    }
    Bytes bytes;
    if (Result read = ReadFile(in, bytes); !read.Ok()) {
        return read;
    }
    const std::string text(bytes.begin(), bytes.end());
    Grid grid{};
    const Result parsed = csv ? ParseGridCsv(text, in, grid) : ParseTmx(text, in, grid);
    if (!parsed.Ok()) {
        return parsed;
    }
    return StoreMap(*rom, update, romPath, mapId, grid, in, args.dryRun);
}

Result StoreMap(CRomImage& rom, RomUpdate& update, const std::string& romPath, int mapId,
                worldmap::GridView grid, const std::string& source, bool dryRun) {
    const char* name = worldmap::MapName(mapId);
    const worldmap::StoreReport report = dryRun ? worldmap::MeasureStore(rom, mapId, grid)
                                                : worldmap::StoreWorldMapReport(rom, mapId, grid);
    const bool measured = report.status == worldmap::StoreStatus::Stored ||
                          report.status == worldmap::StoreStatus::DoesNotFit;
    if (dryRun && measured) {
        std::printf("Dry run: %s needs %d bytes, room %d bytes (%d now + %d free): %s; "
                    "nothing written\n",
                    name, report.newSize, report.available, report.oldSize,
                    report.available - report.oldSize,
                    report.status == worldmap::StoreStatus::Stored ? "it fits" : "it does not fit");
    }
    switch (report.status) {
    case worldmap::StoreStatus::Stored:
        break;
    case worldmap::StoreStatus::DoesNotFit:
        return FileFail(Fault::Map, source,
                        name + (" needs " + std::to_string(report.newSize)) + " bytes but only " +
                            std::to_string(report.available) + " are available");
    case worldmap::StoreStatus::BadLayout: {
        const std::vector<std::string> problems = worldmap::CheckLayout(rom, mapId);
        return FileFail(Fault::Map, romPath,
                        "the world-map region is broken" +
                            (problems.empty() ? std::string() : ": " + problems.front()));
    }
    case worldmap::StoreStatus::BadTile:
        return FileFail(Fault::BadData, source,
                        "a tile is outside 0 to " + std::to_string(worldmap::MaxTile));
    }
    if (dryRun) {
        return Done();
    }
    if (Result written = WriteRom(update, rom.RomBytes, RomFileSize); !written.Ok()) {
        return written;
    }
    std::printf("Stored %s (%d bytes); free bytes: %d\n", name, report.newSize,
                worldmap::CountFreeBytes(rom));
    return Done();
}

Result RunTiles(const Args& args) {
    if (args.dryRun && !args.import) {
        return Fail(Fault::Usage, "--dry-run goes only with --import SHEET.png");
    }
    const bool picture = args.positional.size() == 3;
    if (static_cast<int>(picture) + static_cast<int>(args.import.has_value()) +
            static_cast<int>(args.usage) !=
        1) {
        return Fail(Fault::Usage,
                    "give one of OUT.png, --import SHEET.png or --usage (atlasforge-cli tiles "
                    "--help)");
    }
    if (args.usage && args.palette) {
        return Fail(Fault::Usage, "--palette does not go with --usage (it draws nothing)");
    }
    std::unique_ptr<CRomImage> rom;
    int mapId = 0;
    RomUpdate update;
    if (Result loaded = LoadRomAndMap(args, rom, mapId, args.import ? &update : nullptr);
        !loaded.Ok()) {
        return loaded;
    }
    if (args.usage) {
        PrintUsage(*rom, mapId);
        return Done();
    }
    if (args.import) {
        return ImportSheet(args, *rom, update, mapId);
    }
    if (Result colours = UseColours(args, *rom); !colours.Ok()) {
        return colours;
    }
    Bytes sheet;
    if (Result made = TileSheetPng(*rom, mapId, sheet); !made.Ok()) {
        return made;
    }
    const std::string& out = args.positional[2];
    if (Result written = WriteFileAtomic(out, sheet); !written.Ok()) {
        return written;
    }
    std::printf("Wrote the tiles of %s to %s\n", worldmap::MapName(mapId), Shown(out).c_str());
    return Done();
}

} // namespace cli
