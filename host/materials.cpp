// The host's material table. A host fills it with its materials; empty until
// then, so every lookup falls back to index 0 of a null array and the host
// must set it before drawing lit geometry.
#include "zqgd/host.h"

extern "C" {
MaterialTable _ZqGmaterials = {0, nullptr};
}
