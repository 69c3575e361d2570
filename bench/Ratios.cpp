#include "bench/Ratios.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace bench {

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter(std::string baseline, const Limits& limits)
        : baseline_(std::move(baseline)), limits_(limits) {}

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
            if (name == baseline_) {
                base = time;
            }
        }
        if (base <= 0) {
            return true;
        }
        bool within = true;
        std::printf("\nCPU times as multiples of %s (%.3f us):\n", baseline_.c_str(), base);
        for (const auto& [name, time] : times_) {
            const double ratio = time / base;
            auto limit = limits_.find(name);
            if (limit == limits_.end()) {
                std::printf("  %-26s %8.2fx\n", name.c_str(), ratio);
                continue;
            }
            const bool ok = ratio <= limit->second;
            within = within && ok;
            std::printf("  %-26s %8.2fx  (limit %gx: %s)\n", name.c_str(), ratio, limit->second,
                        ok ? "within" : "OVER");
        }
        return within;
    }

  private:
    std::string baseline_;
    const Limits& limits_;
    std::vector<std::pair<std::string, double>> times_;
};

} // namespace

int RunWithRatios(int argc, char** argv, const std::string& baseline, const Limits& limits) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter(baseline, limits);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.PrintRatios() ? 0 : 1;
}

} // namespace bench
