/* Compiled with -m32: the static assertions in the headers check the host's
 * byte offsets, and a C host can include every public header. */
#include "zqgd/driver.h"
#include "zqgd/host.h"
#include "zqgd/platform.h"

_Static_assert(ZQGD_TARGET_32, "this check is compiled for a 32-bit target");
#include "zqgd/geometry.h"
#include "zqgd/view.h"
#include "zqgd/texture.h"
