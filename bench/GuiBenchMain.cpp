// The World window's benchmarks, each a multiple of one 1920 by 1080 image drawn with
// QPainter in the same run, on Qt's offscreen platform unless another is asked for.

#include <QApplication>
#include <cstdlib>

#include "bench/Ratios.h"

namespace {

const bench::Limits Limits = {
    {"BM_CanvasRepaint/0", 4},     {"BM_CanvasRepaint/1", 4},     {"BM_CanvasRepaint/2", 4},
    {"BM_CanvasRepaint/3", 4},     {"BM_CanvasRepaint/4", 4},     {"BM_CanvasRepaint/5", 4},
    {"BM_PaintCellAndRepaint", 1}, {"BM_FloodFillAndRepaint", 6}, {"BM_TileEditAndRepaint", 6},
};

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    return bench::RunWithRatios(argc, argv, "BM_DrawImage1080p", Limits);
}
