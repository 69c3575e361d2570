// enemies, diff and patch.
#include <cstdio>
#include <memory>

#include "cli/Commands.h"
#include "formats/FileIo.h"
#include "formats/Ips.h"
#include "formats/TextFormat.h"
#include "text/EnemyData.h"
#include "text/TextTable.h"

namespace cli {

using namespace formats;

namespace {

constexpr const char* EnemyCsvHeader =
    "index,name,back_attack,hp,byte3,byte4,byte5,byte6,byte7,byte8,attack_power,byte10,"
    "byte11,byte12,byte13,byte14,byte15,gold,exp";

void PrintEnemyCsv(const std::vector<text::EnemyInfo>& enemies) {
    std::printf("%s\n", EnemyCsvHeader);
    for (std::size_t i = 0; i < enemies.size(); ++i) {
        const text::EnemyInfo& e = enemies[i];
        const auto& r = e.record;
        std::printf("%zu,%s,%d,%d", i, CsvField(e.name).c_str(), e.BackAttack(), e.Hp());
        for (std::size_t b = 3; b < r.size(); ++b) {
            std::printf(",%d", r[b]);
        }
        std::printf(",%d,%d\n", e.gold, e.exp);
    }
}

void PrintEnemyJson(const std::vector<text::EnemyInfo>& enemies) {
    std::printf("[\n");
    for (std::size_t i = 0; i < enemies.size(); ++i) {
        const text::EnemyInfo& e = enemies[i];
        std::printf("  {\"index\": %zu, \"name\": %s, \"record\": [", i,
                    JsonString(e.name).c_str());
        for (std::size_t b = 0; b < e.record.size(); ++b) {
            std::printf("%s%d", b ? ", " : "", e.record[b]);
        }
        std::printf("], \"gold\": %d, \"exp\": %d}%s\n", e.gold, e.exp,
                    i + 1 < enemies.size() ? "," : "");
    }
    std::printf("]\n");
}

} // namespace

Result RunEnemies(const Args& args) {
    auto rom = std::make_unique<CRomImage>();
    if (Result loaded = LoadRom(args.positional[0], *rom); !loaded.Ok()) {
        return loaded;
    }
    text::BuildTextTable(*rom);
    const std::vector<text::EnemyInfo> enemies = text::ReadEnemies(*rom);
    if (args.json) {
        PrintEnemyJson(enemies);
    } else {
        PrintEnemyCsv(enemies);
    }
    return Done();
}

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
