// Prints where the World window puts its canvas and its tile palette, in the window's
// own pixels, measured on the display given: the end-to-end test aims its clicks with it.
// Output: "CANVAS_X CANVAS_Y CELL_PIXELS PALETTE_X PALETTE_Y".

#include <QApplication>
#include <cstdio>

#include "edit/MapDocument.h"
#include "mapeditor/WorldDlg.h"
#include "tests/support/RomBuilder.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const auto rom = testsupport::RomBuilder().Build();
    edit::MapDocument doc(*rom, 0);
    CWorldDlg world(doc, 0, 0);
    world.show();
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
    }
    const QPoint canvas = world.Canvas()->viewport()->mapTo(&world, QPoint(0, 0));
    const QPoint palette = world.TileSheet()->mapTo(&world, QPoint(0, 0));
    std::printf("%d %d %d %d %d\n", canvas.x(), canvas.y(), world.Canvas()->CellPixels(),
                palette.x(), palette.y());
    return 0;
}
