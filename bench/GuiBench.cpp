// The World window's drawing on Qt's offscreen platform. BM_DrawImage1080p, one 1920 by
// 1080 image drawn with QPainter, is the yardstick the others are compared with.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <memory>

#include "edit/MapDocument.h"
#include "gfx/TileRenderer.h"
#include "mapeditor/WorldCanvas.h"
#include "tests/support/RomBuilder.h"
#include "tiles/TileModel.h"

namespace {

const QSize Screen(1920, 1080);

std::unique_ptr<gfx::MetatilePixels> NoiseTiles() {
    auto tiles = std::make_unique<gfx::MetatilePixels>();
    uint32_t seed = 1;
    for (auto& tile : *tiles) {
        for (auto& pixel : tile) {
            seed = seed * 1664525u + 1013904223u;
            pixel = seed >> 8;
        }
    }
    return tiles;
}

// A canvas whose viewport is exactly the size of the screen, on a typical map.
struct Bench {
    explicit Bench(const testsupport::Grid& map0)
        : Bench(testsupport::RomBuilder().Map(0, map0).Build()) {
        canvas->SetTiles(*NoiseTiles());
    }
    // Drawn with the image's own tiles.
    explicit Bench(std::unique_ptr<CRomImage> image)
        : rom(std::move(image)), doc(std::make_unique<edit::MapDocument>(*rom, 0)),
          canvas(std::make_unique<WorldCanvas>(*doc)), target(Screen, QImage::Format_RGB32) {
        canvas->resize(Screen + QSize(200, 200));
        canvas->show();
        QApplication::processEvents();
        canvas->resize(Screen + (canvas->size() - canvas->viewport()->size()));
        QApplication::processEvents();
        canvas->SetOrigin(QPoint(300, 300));
    }
    void Repaint(const QRegion& region) {
        canvas->viewport()->render(&target, region.boundingRect().topLeft(), region,
                                   QWidget::DrawChildren);
    }

    std::unique_ptr<CRomImage> rom;
    std::unique_ptr<edit::MapDocument> doc;
    std::unique_ptr<WorldCanvas> canvas;
    QImage target;
};

void BM_DrawImage1080p(benchmark::State& state) {
    QImage source(Screen, QImage::Format_RGB32);
    source.fill(Qt::darkGreen);
    QImage target(Screen, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&target);
        p.drawImage(0, 0, source);
        p.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}

void BM_CanvasRepaint(benchmark::State& state) {
    Bench bench(testsupport::RandomGrid(3));
    bench.canvas->SetZoom(static_cast<int>(state.range(0)));
    bench.canvas->SetOrigin(QPoint(0, 0));
    const QRegion all(bench.canvas->viewport()->rect());
    for (auto _ : state) {
        bench.Repaint(all);
        benchmark::DoNotOptimize(bench.target.constBits());
    }
}

void BM_PaintCellAndRepaint(benchmark::State& state) {
    Bench bench(testsupport::RandomGrid(3));
    const edit::Cell cell = bench.canvas->CellAt(QPoint(900, 500));
    int tile = 0;
    for (auto _ : state) {
        tile ^= 1;
        const edit::RowSet rows = bench.doc->SetCell(cell, static_cast<uint8_t>(tile));
        bench.Repaint(bench.canvas->RegionOfRows(rows));
        benchmark::DoNotOptimize(bench.target.constBits());
    }
}

void BM_FloodFillAndRepaint(benchmark::State& state) {
    Bench bench(testsupport::Filled(5));
    const QRegion all(bench.canvas->viewport()->rect());
    int tile = 5;
    for (auto _ : state) {
        tile = tile == 5 ? 6 : 5;
        bench.doc->FloodFill({0, 0}, static_cast<uint8_t>(tile));
        bench.Repaint(all);
        benchmark::DoNotOptimize(bench.target.constBits());
    }
}

// One pixel of a tile that covers a quarter of the map, in every row, changed in a copy of
// the image and taken in by the document, with the canvas at zoom 1/2 brought up to date.
void BM_TileEditAndRepaint(benchmark::State& state) {
    constexpr int Tile = 100;
    testsupport::Grid grid = testsupport::RandomGrid(3);
    for (int i = 0; i < testsupport::GridCells; ++i) {
        if (i % 256 / 64 == i / 256 % 4) { // a quarter of every row, so every row shows it
            grid[static_cast<std::size_t>(i)] = Tile;
        } else if (grid[static_cast<std::size_t>(i)] == Tile) {
            grid[static_cast<std::size_t>(i)] = Tile + 1;
        }
    }
    auto rom = testsupport::RomBuilder().Map(0, grid).NoiseGraphics(5).Build();
    if (rom == nullptr) {
        state.SkipWithError("the map does not fit");
        return;
    }
    // The pixel's pattern is the tile's alone, so the edit changes that one tile's look.
    tiles::TileModel model(*rom);
    model.SetQuarter(0, Tile, 0, model.FreePatterns(0).at(0));
    Bench bench(std::move(rom));
    bench.canvas->SetZoom(2);
    bench.Repaint(QRegion(bench.canvas->viewport()->rect()));
    auto edited = std::make_unique<CRomImage>(*bench.rom);
    tiles::TileModel editing(*edited);
    const edit::TileSet told = edit::TileSet().set(Tile);
    const auto edit = [&] {
        editing.SetTilePixel(0, Tile, 3, 3, editing.TilePixel(0, Tile, 3, 3) ^ 1);
        return bench.doc->ApplyTiles(*edited);
    };
    if (edit()[0] != told) {
        state.SkipWithError("the edit does not change that one tile's look");
        return;
    }
    for (auto _ : state) {
        edit();
        bench.Repaint(bench.canvas->RegionOfTiles(told));
        benchmark::DoNotOptimize(bench.target.constBits());
    }
}

} // namespace

BENCHMARK(BM_DrawImage1080p)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CanvasRepaint)->DenseRange(0, 5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintCellAndRepaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FloodFillAndRepaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TileEditAndRepaint)->Unit(benchmark::kMicrosecond);
