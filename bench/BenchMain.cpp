// Runs the benchmarks and then states each one as a multiple of the 64 KiB memcpy measured
// in the same run, beside the limit it must stay within where it has one.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr const char* Baseline = "BM_Memcpy64K";

const std::map<std::string, double> Limits = {
    {"BM_DecodeTypical", 10},   {"BM_DecodeWorstCase", 30},     {"BM_StoreWorstCase", 300},
    {"BM_RenderTiles", 20},     {"BM_MeasureStoreTypical", 40}, {"BM_FloodFillWholeMap", 100},
    {"BM_FillRectWholeMap", 5}, {"BM_DocumentPaintBudget", 4},
};

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
                // CPU time, in microseconds for every benchmark: other work on a shared machine
                // stretches wall time unevenly.
                times_.push_back({run.benchmark_name(), run.GetAdjustedCPUTime()});
            }
        }
    }

    bool PrintRatios() const {
        double base = 0;
        for (const auto& [name, time] : times_) {
            if (name == Baseline) {
                base = time;
            }
        }
        if (base <= 0) {
            return true;
        }
        bool within = true;
        std::printf("\nCPU times as multiples of %s (%.3f us):\n", Baseline, base);
        for (const auto& [name, time] : times_) {
            const double ratio = time / base;
            auto limit = Limits.find(name);
            if (limit == Limits.end()) {
                std::printf("  %-22s %8.1fx\n", name.c_str(), ratio);
                continue;
            }
            const bool ok = ratio <= limit->second;
            within = within && ok;
            std::printf("  %-22s %8.1fx  (limit %gx: %s)\n", name.c_str(), ratio, limit->second,
                        ok ? "within" : "OVER");
        }
        return within;
    }

  private:
    std::vector<std::pair<std::string, double>> times_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.PrintRatios() ? 0 : 1;
}
