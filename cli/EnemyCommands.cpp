// enemies: the enemy table printed as CSV or JSON, or read back into the ROM.
#include <cstdio>
#include <memory>

#include "cli/Commands.h"
#include "cli/RomFile.h"
#include "formats/EnemyTable.h"
#include "formats/FileIo.h"
#include "text/EnemyData.h"
#include "text/TextTable.h"

namespace cli {

using namespace formats;

namespace {

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Reads the whole table, then stores the rows that change anything; with --dry-run it lists
// each changed field instead.
Result ImportEnemies(const Args& args, CRomImage& rom, RomUpdate& update,
                     const std::vector<text::EnemyInfo>& enemies) {
    const std::string shownRom = Shown(args.positional[0]);
    const std::string& in = *args.import;
    Bytes bytes;
    if (Result read = ReadFile(in, bytes); !read.Ok()) {
        return read;
    }
    const std::string table(bytes.begin(), bytes.end());
    std::vector<std::string> names;
    for (const text::EnemyInfo& e : enemies) {
        names.push_back(e.name);
    }
    std::vector<EnemyRow> rows;
    const Result parsed = HasExtension(in, ".csv") ? ParseEnemyCsv(table, in, names, rows)
                                                   : ParseEnemyJson(table, in, names, rows);
    if (!parsed.Ok()) {
        return parsed;
    }
    std::size_t values = 0;
    std::size_t changedEnemies = 0;
    for (const EnemyRow& row : rows) {
        const text::EnemyInfo& before = enemies[static_cast<std::size_t>(row.index)];
        std::size_t changed = 0;
        for (int f = 0; f < text::EnemyFieldCount; ++f) {
            const auto field = static_cast<text::EnemyField>(f);
            const int old = text::EnemyFieldValue(before, field);
            const int now = text::EnemyFieldValue(row.values, field);
            if (old != now) {
                ++changed;
                if (args.dryRun) {
                    std::printf("%d %s %s %d -> %d\n", row.index, before.name.c_str(),
                                text::EnemyFieldName(field), old, now);
                }
            }
        }
        if (changed > 0) {
            values += changed;
            ++changedEnemies;
            text::WriteEnemy(rom, row.index, row.values);
        }
    }
    const std::string summary =
        Count(values, "value", "values") + " of " + Count(changedEnemies, "enemy", "enemies");
    if (args.dryRun) {
        if (values == 0) {
            std::printf("Dry run: nothing to change in %s\n", shownRom.c_str());
        } else {
            std::printf("Dry run: would change %s in %s; nothing written\n", summary.c_str(),
                        shownRom.c_str());
        }
        return Done();
    }
    if (values == 0) {
        std::printf("Nothing to change in %s\n", shownRom.c_str());
        return Done();
    }
    if (Result written = WriteRom(update, rom.RomBytes, RomFileSize); !written.Ok()) {
        return written;
    }
    std::printf("Changed %s in %s\n", summary.c_str(), shownRom.c_str());
    return Done();
}

} // namespace

Result RunEnemies(const Args& args) {
    if (args.import && args.json) {
        return Fail(Fault::Usage,
                    "--json does not go with --import (the file's .csv or .json tells its form)");
    }
    if (args.dryRun && !args.import) {
        return Fail(Fault::Usage, "--dry-run goes only with --import FILE");
    }
    if (args.import && !HasExtension(*args.import, ".csv") &&
        !HasExtension(*args.import, ".json")) {
        return Fail(Fault::Usage, Clip(*args.import) + ": the input must end in .csv or .json");
    }
    auto rom = std::make_unique<CRomImage>();
    RomUpdate update;
    if (Result loaded = update.Load(args.positional[0], *rom, args.import && !args.dryRun);
        !loaded.Ok()) {
        return loaded;
    }
    text::BuildTextTable(*rom);
    const std::vector<text::EnemyInfo> enemies = text::ReadEnemies(*rom);
    if (args.import) {
        return ImportEnemies(args, *rom, update, enemies);
    }
    const std::string table = args.json ? WriteEnemyJson(enemies) : WriteEnemyCsv(enemies);
    std::fwrite(table.data(), 1, table.size(), stdout);
    return Done();
}

} // namespace cli
