// The core benchmarks, each a multiple of a 64 KiB memcpy measured in the same run.

#include "bench/Ratios.h"

namespace {

const bench::Limits Limits = {
    {"BM_DecodeTypical", 10},   {"BM_DecodeWorstCase", 30},     {"BM_StoreWorstCase", 300},
    {"BM_RenderTiles", 20},     {"BM_MeasureStoreTypical", 40}, {"BM_FloodFillWholeMap", 100},
    {"BM_FillRectWholeMap", 5}, {"BM_DocumentPaintBudget", 4},  {"BM_TileSheetImport", 60},
};

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithRatios(argc, argv, "BM_Memcpy64K", Limits);
}
