// atlasforge-cli: the editor's byte rules from the command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Commands.h"

namespace {

using cli::Args;
using cli::CommandSyntax;
using cli::Fault;
using cli::Result;

struct Command {
    CommandSyntax syntax;
    Result (*run)(const Args&);
};

constexpr const char* MapHelp = "MAP is 0 to 3 or floating, water, standard, underwater.\n";
constexpr const char* DryRunHelp =
    "  --dry-run  write nothing; print the bytes the map needs and the room it has\n"
    "             (exit 0 when it fits, 3 when not)\n";
constexpr const char* PaletteHelp =
    "  --palette FILE  the 192-byte colour file to draw with (default: palette.pal from the\n"
    "                  working directory, else $XDG_CONFIG_HOME/atlasforge/ (default\n"
    "                  ~/.config/atlasforge/), else share/atlasforge/ of the installation\n"
    "                  (/usr/share/atlasforge/ from the package), else the built-in\n"
    "                  standard palette)\n";

const Command Commands[] = {
    {{"info", "ROM [--json]", "the maps' places and sizes, the free bytes, the layout check",
      "Lists each world map's data start and end (file offsets), size and distinct rows, the\n"
      "free bytes of the map region and the result of the layout check.\n"
      "  --json  one JSON object instead of text\n",
      1, 1, true, false, false},
     cli::RunInfo},
    {{"export", "ROM MAP OUT", "a map as .csv, .png or .tmx (with its tileset .png)",
      "OUT.csv: 256 lines of 256 tile numbers. OUT.png: the map as a 4096 x 4096 picture.\n"
      "OUT.tmx: a Tiled map, with its tileset written beside it as OUT-tileset.png.\n",
      3, 3, false, true, false},
     cli::RunExport},
    {{"import", "ROM MAP IN [--dry-run]", "stores a .csv or .tmx map into the ROM",
      "IN.csv: 256 lines of 256 tile numbers 0 to 127. IN.tmx: a 256 x 256 Tiled map; its\n"
      "first tile layer is used (CSV, base64, or base64 with zlib, gzip or zstd), and its\n"
      "first tileset holds the 128 tiles. The whole file is checked before anything is\n"
      "stored; the ROM is rewritten only when the map fits, and the new free-byte count is\n"
      "printed.\n",
      3, 3, false, false, true},
     cli::RunImport},
    {{"edit", "ROM MAP OP... [--dry-run]", "changes a map's cells and stores it",
      "Applies the operations in order to the map, then stores it as import does.\n"
      "Coordinates are 0 to 255 (X from the left, Y from the top), tiles 0 to 127.\n"
      "  set X,Y,T              cell (X,Y) becomes tile T\n"
      "  rect X0,Y0,X1,Y1,T     the rectangle with these corners (included) becomes T\n"
      "  fill X,Y,T             the 4-connected area of (X,Y)'s tile becomes T\n"
      "  replace A,B            every cell of tile A becomes B\n"
      "  paste FILE X,Y         the CSV block in FILE (lines of tile numbers, all as long,\n"
      "                         at most 256 x 256) with its top-left at (X,Y); cells past\n"
      "                         the right or bottom edge are dropped\n"
      "Example: atlasforge-cli edit rom.nes standard rect 10,10,20,12,5 set 15,11,7\n"
      "Exit codes: 0 stored (or fits, with --dry-run); 1 an unknown operation or a bad\n"
      "number; 2 a file cannot be read or written; 3 the map does not fit (nothing is\n"
      "written) or the map region is broken; 4 a bad ROM or paste file.\n",
      3, cli::AnyCount, false, false, true},
     cli::RunEdit},
    {{"tiles", "ROM MAP OUT.png | ROM MAP --import SHEET.png [--dry-run] | ROM MAP --usage",
      "the map's 128 tiles as a 256 x 128 sheet, read back, or their usage",
      "OUT.png: tile t is at column t mod 16, row t div 16 of the sheet (the same picture as\n"
      "the tileset that export writes beside a .tmx).\n"
      "  --import SHEET.png  takes such a sheet, edited in a paint program, back into ROM.\n"
      "                      Only the tiles whose pixels differ change. Each keeps its\n"
      "                      sub-palette if that holds all its colours, else takes the\n"
      "                      lowest that does. Each changed 8 x 8 quarter points at a\n"
      "                      pattern that already holds its pixels, else rewrites its own\n"
      "                      pattern if nothing else uses it, else claims a free pattern.\n"
      "                      A changed tile 0 to 63 is shared by all maps, so it may change\n"
      "                      on the maps of other graphics sets too: they are named.\n"
      "  --dry-run           with --import: print what would change; write nothing\n"
      "  --usage             one CSV line per tile, after a header: tile, sub_palette, its\n"
      "                      four patterns (top-left, top-right, bottom-left, bottom-right),\n"
      "                      how many other tiles use each of them, and how many cells of\n"
      "                      maps 0, 1, 2 and 3 hold the tile\n"
      "Example: atlasforge-cli tiles rom.nes water sheet.png; (paint sheet.png);\n"
      "         atlasforge-cli tiles rom.nes water --import sheet.png --dry-run\n"
      "Exit codes: 0 done (or nothing to change); 1 a bad option; 2 a file cannot be read\n"
      "or written (a missing SHEET); 3 no free pattern is left (nothing is written); 4 a\n"
      "bad ROM, a SHEET that is not a 256 x 128 PNG, or a tile whose colours fit no\n"
      "sub-palette of the map's palette (nothing is written).\n",
      2, 3, false, true, true, true, true},
     cli::RunTiles},
    {{"enemies", "ROM [--json] | ROM --import FILE [--dry-run]",
      "the 214 enemies as CSV or JSON, or read back",
      "Prints the enemies in ROM order: name, record bytes, gold and experience.\n"
      "  --json         a JSON list instead of CSV\n"
      "  --import FILE  stores the values in FILE (.csv or .json, in the form printed) into\n"
      "                 ROM: any of the enemies, each once, by index; hp, gold and exp 0 to\n"
      "                 65535, the other values 0 to 255. Names cannot change (they are\n"
      "                 packed back to back). The whole file is checked first, and ROM is\n"
      "                 rewritten only when a value changes.\n"
      "  --dry-run      with --import: write nothing; print each value that would change\n"
      "Example: atlasforge-cli enemies rom.nes >enemies.csv; (edit the hp column);\n"
      "         atlasforge-cli enemies rom.nes --import enemies.csv --dry-run\n"
      "Exit codes: 0 done; 1 a bad option or a FILE not named .csv or .json; 2 a file cannot\n"
      "be read or written; 4 a bad ROM or a bad line or value in FILE (nothing is written).\n",
      1, 1, true, false, true, true},
     cli::RunEnemies},
    {{"diff", "ORIGINAL EDITED OUT", "a BPS or IPS patch from ORIGINAL to EDITED",
      "Writes the patch that turns ORIGINAL into EDITED, in the format OUT's name ends in:\n"
      "  .bps  BPS: applies only to ORIGINAL (it holds the CRC32s of both files), and moved\n"
      "        data costs a few bytes, so a map that grows and pushes the maps after it\n"
      "        along makes a small patch; files up to 128 MiB\n"
      "  .ips  IPS: what every patcher reads; moved data is written out whole, and files\n"
      "        over 16 MiB are refused\n",
      3, 3, false, false, false},
     cli::RunDiff},
    {{"patch", "ROM PATCH [OUT]", "applies a BPS or IPS patch",
      "Tells the patch's format by its first bytes, checks the whole patch, then writes the\n"
      "patched file to OUT, or over ROM when OUT is not given. A BPS patch is refused when\n"
      "ROM is not the file it was made from, or is already patched.\n",
      2, 3, false, false, false},
     cli::RunPatch},
    {{"demo", "OUT.nes", "writes the synthetic demo ROM",
      "Writes a 524,304-byte image with four generated world maps, tile graphics and 214\n"
      "enemies, and no game data.\n",
      1, 1, false, false, false},
     cli::RunDemo},
};

bool NeedsMap(const CommandSyntax& syntax) {
    return std::string(syntax.usage).find("MAP") != std::string::npos;
}

void PrintToolHelp() {
    std::FILE* to = stdout;
    std::fprintf(to, "Usage: atlasforge-cli COMMAND ARGUMENTS...\n\nCommands:\n");
    for (const Command& c : Commands) {
        // A usage too long for its column puts the summary on a line of its own.
        if (std::strlen(c.syntax.usage) > 26) {
            std::fprintf(to, "  %-8s %s\n  %-8s %-26s %s\n", c.syntax.name, c.syntax.usage, "", "",
                         c.syntax.summary);
        } else {
            std::fprintf(to, "  %-8s %-26s %s\n", c.syntax.name, c.syntax.usage, c.syntax.summary);
        }
    }
    std::fprintf(to, "\n%s", MapHelp);
    std::fprintf(to, "Exit codes: 0 done, 1 usage error, 2 a file cannot be read or written,\n"
                     "3 the map does not fit, the map region is broken or no free tile pattern\n"
                     "is left, 4 bad input data.\n"
                     "Run atlasforge-cli COMMAND --help for a command's own help.\n");
}

void PrintCommandHelp(const CommandSyntax& syntax) {
    std::printf("Usage: atlasforge-cli %s %s\n\n%s", syntax.name, syntax.usage, syntax.details);
    if (syntax.palette) {
        std::printf("%s", PaletteHelp);
    }
    if (NeedsMap(syntax)) {
        // A command that imports says what its --dry-run does itself.
        std::printf("%s%s", syntax.dryRun && !syntax.import ? DryRunHelp : "", MapHelp);
    }
}

int Report(const Result& outcome) {
    if (!outcome.Ok()) {
        std::fprintf(stderr, "atlasforge-cli: %s\n", outcome.message.c_str());
    }
    return cli::ExitCode(outcome);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Report(
            cli::Fail(Fault::Usage, "no command given (atlasforge-cli --help lists them)"));
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintToolHelp();
        return 0;
    }
    for (const Command& c : Commands) {
        if (name != c.syntax.name) {
            continue;
        }
        Args args;
        const Result parsed =
            cli::ParseArgs(c.syntax, std::vector<std::string>(argv + 2, argv + argc), args);
        if (!parsed.Ok()) {
            return Report(parsed);
        }
        if (args.help) {
            PrintCommandHelp(c.syntax);
            return 0;
        }
        const Result outcome = c.run(args);
        // Output cut short (a full disk behind a redirection) must not pass for success.
        if (outcome.Ok() && (std::fflush(stdout) != 0 || std::ferror(stdout))) {
            return Report(cli::Fail(Fault::File, "standard output cannot be written"));
        }
        return Report(outcome);
    }
    return Report(cli::Fail(Fault::Usage, "unknown command " + formats::Clip(name) +
                                              " (atlasforge-cli --help lists them)"));
}
