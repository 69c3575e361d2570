#include "resources/Templates.h"

namespace res {

// Placeholder until the enemy viewer's controls land.
const DialogTemplate& EnemiesTemplate() {
    static const DialogTemplate t{129, "Enemies", 364, 196, {}};
    return t;
}

} // namespace res
