// Arbitrary bytes as a Tiled map, and grids written in every form a layer can take and read
// back. Besides memory errors it checks what the reader promises: an accepted map is 65,536
// tiles 0 to 127; a refused one names a line and leaves the caller's grid as it was; and a
// grid written by our writer, or by Tiled in any encoding and compression, at any first gid,
// reads back as it was.
//
// Input: one steering byte, then the body. Bit 0 clear: the body is the file. Bit 0 set:
// the body's bytes are the grid's tiles (repeated to fill it); bits 1 to 3 choose our writer
// or one of the forms Tiled writes, bits 4 to 7 the tileset's first gid; for our writer the
// first bytes of the body also name the tileset picture and the layer.

#include <algorithm>

#include "formats/Tmx.h"
#include "fuzz/FuzzModes.h"
#include "tests/support/TmxForms.h"
#include "worldmap/WorldMap.h"

namespace {

using worldmap::Grid;
namespace tmx = testsupport::tmx;

void Read(const std::string& text) {
    Grid grid;
    grid.fill(NotATile);
    const formats::Result read = formats::ParseTmx(text, "fuzz.tmx", grid);
    if (read.Ok()) {
        FUZZ_CHECK(AllTiles(grid));
    } else {
        FUZZ_CHECK_REFUSAL(read, "fuzz.tmx", "line ");
        FUZZ_CHECK(Untouched(grid));
    }
}

// Names a user could give: XML's special characters, blanks and letters beyond ASCII among
// plain ones.
std::string NameOf(const std::string& body) {
    static const char* const pieces[] = {"a",   "Z",    "0", " ", "&", "<",        ">",
                                         "\"",  "'",    ".", "/", "-", "\xC3\xA9", "\xE6\x97\xA5",
                                         "]]>", "&amp;"};
    std::string name;
    for (std::size_t i = 0; i < std::min<std::size_t>(body.size(), 12); ++i) {
        name += pieces[static_cast<uint8_t>(body[i]) % std::size(pieces)];
    }
    return name;
}

void RoundTrip(uint8_t steer, const std::string& body) {
    const Grid grid = GridOf(body);
    const int form = (steer >> 1) & 7;
    std::string text;
    if (form == 0 || form > tmx::FormCount) {
        text = formats::WriteTmx(grid, NameOf(body) + ".png", NameOf(body));
    } else {
        // Our tiles are the map's first tileset; a second one starts right after them and
        // is never used.
        const uint32_t first = 1 + 100u * (steer >> 4);
        tmx::Gids gids;
        for (const uint8_t tile : grid) {
            gids.push_back(first + tile);
        }
        const std::string tilesets = "<tileset firstgid=\"" + std::to_string(first) +
                                     "\" name=\"ours\"/>\n<tileset firstgid=\"" +
                                     std::to_string(first + 128) + "\" source=\"u.tsx\"/>\n";
        text = tmx::Map(tmx::Data(gids, static_cast<tmx::Form>(form - 1)), tilesets);
    }
    Grid back{};
    const formats::Result read = formats::ParseTmx(text, "fuzz.tmx", back);
    if (!read.Ok()) {
        std::fprintf(stderr, "%s\n", read.message.c_str());
    }
    FUZZ_CHECK(read.Ok());
    FUZZ_CHECK(back == grid);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return ReadOrRoundTrip(data, size, Read, RoundTrip);
}
