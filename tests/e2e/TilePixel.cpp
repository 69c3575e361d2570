// The Tiles window's end-to-end test aims and checks with this:
//   geometry                          prints where the window puts its enlarged tile, in the
//                                     window's own pixels, on the display given: "X Y"
//   expect ROM MAP TILE X Y OUT       writes OUT: ROM with pixel (X, Y) of TILE, as map MAP
//                                     draws it, set to the next value; prints that value

#include <QApplication>
#include <cstdio>
#include <string>

#include "edit/MapDocument.h"
#include "mapeditor/TilesDlg.h"
#include "mapeditor/TilesDlgViews.h"
#include "tests/support/RomBuilder.h"
#include "tiles/TileModel.h"

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "expect" && argc == 8) {
        CRomImage rom;
        if (!rom.LoadRomFile(argv[2], RomSizeRule::Exact)) {
            return 2;
        }
        const int map = std::stoi(argv[3]);
        const int set = map < 2 ? map : map - 1;
        const int tile = std::stoi(argv[4]);
        const int x = std::stoi(argv[5]);
        const int y = std::stoi(argv[6]);
        tiles::TileModel model(rom);
        const int value = (model.TilePixel(set, tile, x, y) + 1) % 4;
        model.SetTilePixel(set, tile, x, y, value);
        rom.RomPath = argv[7];
        std::printf("%d\n", value);
        return rom.SaveRomFile() ? 0 : 2;
    }
    if (mode != "geometry") {
        return 1;
    }
    QApplication app(argc, argv);
    const auto rom = testsupport::RomBuilder().Build();
    edit::MapDocument doc(*rom, 0);
    CTilesDlg tiles(doc, 0, {0, 0});
    tiles.show();
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
    }
    const QPoint canvas = tiles.Canvas()->mapTo(&tiles, QPoint(0, 0));
    std::printf("%d %d\n", canvas.x(), canvas.y());
    return 0;
}
