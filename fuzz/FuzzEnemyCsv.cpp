// The enemy table as CSV: see FuzzEnemyTable.h.
#include "fuzz/FuzzEnemyTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return fuzzenemies::Run(formats::ParseEnemyCsv, formats::WriteEnemyCsv, "fuzz.csv", data, size);
}
