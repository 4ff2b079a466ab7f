// Where the host library itself was loaded from, so that an installed copy
// finds the files installed beside it whatever prefix it went to.
#pragma once

#include <string>

// The folder of the library file that holds this code, without a trailing
// separator; empty when the system cannot tell.
std::string OwnDirectory();
