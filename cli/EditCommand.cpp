// edit: the grid operations applied to a map from the command line, then stored as import
// stores a map.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/MapStore.h"
#include "edit/GridOps.h"
#include "formats/FileIo.h"
#include "formats/GridCsv.h"
#include "formats/Scanner.h"
#include "worldmap/WorldMap.h"

namespace cli {

using namespace formats;

namespace {

enum class OpKind { Set, Rect, Fill, Replace, Paste };

struct OpSyntax {
    OpKind kind;
    const char* name;
    const char* fields; // its numbers; those named X or Y are coordinates, the others tiles
    bool file;          // a FILE word comes before the numbers
};

constexpr OpSyntax OpList[] = {
    {OpKind::Set, "set", "X,Y,T", false},   {OpKind::Rect, "rect", "X0,Y0,X1,Y1,T", false},
    {OpKind::Fill, "fill", "X,Y,T", false}, {OpKind::Replace, "replace", "A,B", false},
    {OpKind::Paste, "paste", "X,Y", true},
};

struct Op {
    const OpSyntax* syntax = nullptr;
    std::vector<int> numbers;
    std::string file;
    edit::Block block;
};

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == ',') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

Result OpError(const std::string& op, const std::string& what) {
    return Fail(Fault::Usage,
                Clip(op) + ": " + what + " (atlasforge-cli edit --help lists the operations)");
}

// The numbers of one operation's word, each checked against its range.
Result ParseNumbers(const OpSyntax& syntax, const std::string& word, const std::string& op,
                    std::vector<int>& numbers) {
    const std::vector<std::string> names = Split(syntax.fields);
    const std::vector<std::string> parts = Split(word);
    if (parts.size() != names.size()) {
        return OpError(op, std::string(syntax.name) + " takes " + syntax.fields + ", " +
                               std::to_string(names.size()) + " numbers, not " +
                               std::to_string(parts.size()));
    }
    numbers.clear();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const bool coordinate = names[i][0] == 'X' || names[i][0] == 'Y';
        const int most = coordinate ? worldmap::MapWidth - 1 : worldmap::MaxTile;
        const std::string& part = parts[i];
        Scanner scan(part, 2); // a word, not a file: no byte order mark to pass over
        const Scanner::Number n = scan.ReadNumber(true, 100000);
        if (!n.hasDigits || !scan.AtEnd()) {
            return OpError(op, names[i] + " " + Clip(part) + " is not a number");
        }
        if (n.negative || n.value > static_cast<uint64_t>(most)) {
            return OpError(op, names[i] + " " + Clip(part) + " is outside 0 to " +
                                   std::to_string(most));
        }
        numbers.push_back(static_cast<int>(n.value));
    }
    return Done();
}

// The operation words after MAP, all checked before anything is read or changed.
Result ParseOps(const std::vector<std::string>& words, std::vector<Op>& ops) {
    std::string names;
    for (const OpSyntax& s : OpList) {
        names += names.empty() ? s.name : std::string(", ") + s.name;
    }
    for (std::size_t i = 0; i < words.size();) {
        const std::string& word = words[i++];
        const OpSyntax* syntax = nullptr;
        for (const OpSyntax& s : OpList) {
            if (word == s.name) {
                syntax = &s;
            }
        }
        if (syntax == nullptr) {
            return OpError(word, "unknown operation (use " + names + ")");
        }
        const std::size_t needed = syntax->file ? 2 : 1;
        const std::string form = std::string(syntax->file ? "FILE " : "") + syntax->fields;
        if (i + needed > words.size()) {
            return OpError(word, std::string(syntax->name) + " needs " + form);
        }
        Op op;
        op.syntax = syntax;
        std::string written = word;
        if (syntax->file) {
            op.file = words[i++];
            written += " " + op.file;
        }
        written += " " + words[i];
        if (Result numbers = ParseNumbers(*syntax, words[i++], written, op.numbers);
            !numbers.Ok()) {
            return numbers;
        }
        ops.push_back(std::move(op));
    }
    return Done();
}

void Apply(const Op& op, worldmap::GridSpan grid) {
    const std::vector<int>& n = op.numbers;
    const auto tile = [](int t) { return static_cast<uint8_t>(t); };
    switch (op.syntax->kind) {
    case OpKind::Set:
        edit::SetCell(grid, {n[0], n[1]}, tile(n[2]));
        break;
    case OpKind::Rect:
        edit::FillRect(grid, {{n[0], n[1]}, {n[2], n[3]}}, tile(n[4]));
        break;
    case OpKind::Fill:
        edit::FloodFill(grid, {n[0], n[1]}, tile(n[2]));
        break;
    case OpKind::Replace:
        edit::ReplaceTile(grid, tile(n[0]), tile(n[1]));
        break;
    case OpKind::Paste:
        edit::Paste(grid, op.block, {n[0], n[1]});
        break;
    }
}

} // namespace

Result RunEdit(const Args& args) {
    const std::string& romPath = args.positional[0];
    int mapId = 0;
    if (Result map = ParseMapId(args.positional[1], mapId); !map.Ok()) {
        return map;
    }
    std::vector<Op> ops;
    if (Result parsed = ParseOps(
            std::vector<std::string>(args.positional.begin() + 2, args.positional.end()), ops);
        !parsed.Ok()) {
        return parsed;
    }
    auto rom = std::make_unique<CRomImage>();
    RomUpdate update;
    if (Result loaded = update.Load(romPath, *rom, !args.dryRun); !loaded.Ok()) {
        return loaded;
    }
    for (Op& op : ops) {
        if (!op.syntax->file) {
            continue;
        }
        Bytes bytes;
        if (Result read = ReadFile(op.file, bytes); !read.Ok()) {
            return read;
        }
        if (Result block =
                ParseBlockCsv(std::string(bytes.begin(), bytes.end()), op.file, op.block);
            !block.Ok()) {
            return block;
        }
    }
    worldmap::Grid grid{};
    worldmap::DecodeWorldMap(*rom, mapId, grid);
    for (const Op& op : ops) {
        Apply(op, grid);
    }
    return StoreMap(*rom, update, romPath, mapId, grid, romPath, args.dryRun);
}

} // namespace cli
