// The enemy table as JSON: see FuzzEnemyTable.h.
#include "fuzz/FuzzEnemyTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return fuzzenemies::Run(formats::ParseEnemyJson, formats::WriteEnemyJson, "fuzz.json", data,
                            size);
}
