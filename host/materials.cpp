// The host's material table. A host fills it with its materials; until it
// does, the table is empty (no entries) and the driver draws with a plain
// opaque white.
#include "zqgd/host.h"

extern "C" {
MaterialTable _ZqGmaterials = {0, nullptr};
}
