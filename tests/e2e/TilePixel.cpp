// The Tiles window's end-to-end test aims and checks with this:
//   geometry                      prints where the window puts its enlarged tile, in the
//                                 window's own pixels, on the display given: "X Y"
//   expect ROM SET TILE X Y OUT   writes OUT: ROM with pixel (X, Y) of TILE, as graphics
//                                 set SET draws it, set to the next value; prints that value

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "edit/MapDocument.h"
#include "mapeditor/TilesDlg.h"
#include "mapeditor/TilesDlgViews.h"
#include "tests/support/RomBuilder.h"
#include "tiles/TileModel.h"

int main(int argc, char** argv) {
    if (argc == 8 && std::string(argv[1]) == "expect") {
        CRomImage rom;
        const int set = std::atoi(argv[3]);
        const int tile = std::atoi(argv[4]);
        const int x = std::atoi(argv[5]);
        const int y = std::atoi(argv[6]);
        tiles::TileModel model(rom);
        if (!rom.LoadRomFile(argv[2], RomSizeRule::Exact)) {
            return 2;
        }
        const int value = (model.TilePixel(set, tile, x, y) + 1) % 4;
        model.SetTilePixel(set, tile, x, y, value);
        rom.RomPath = argv[7];
        std::printf("%d\n", value);
        return rom.SaveRomFile() ? 0 : 2;
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
