#pragma once

// Runs the benchmarks and then states each one as a multiple of a yardstick benchmark
// measured in the same run, beside the limit it must stay within where it has one. The
// exit status says whether every limit held.

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace bench {

using Limits = std::map<std::string, double>;
int RunWithRatios(int argc, char** argv, const std::string& baseline, const Limits& limits);

} // namespace bench
