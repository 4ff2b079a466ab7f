/* Compiled with -m32: the static assertions in the headers check the host's
 * byte offsets, and a C host can include every public header. slots32.h puts
 * every operation slot where a host binds it, slot N at N x 4 bytes. */
#include "zqgd/driver.h"
#include "zqgd/host.h"
#include "zqgd/platform.h"

_Static_assert(ZQGD_TARGET_32, "this check is compiled for a 32-bit target");
#include "zqgd/geometry.h"
#include "zqgd/view.h"
#include "zqgd/texture.h"
#include "slots32.h"
