// Bit routines and the 3 x 3 matrix helpers of the maths utilities.
#include <cstring>

#include "zqgd/host.h"

extern "C" uint32_t ZqMMSB(uint32_t value)
{
    return value == 0 ? 0 : 31u - static_cast<uint32_t>(__builtin_clz(value));
}

extern "C" uint32_t ZqMLSB(uint32_t mask)
{
    return mask == 0 ? 0 : static_cast<uint32_t>(__builtin_ctz(mask));
}

extern "C" uint32_t ZqMBitCount(uint32_t mask)
{
    return static_cast<uint32_t>(__builtin_popcount(mask));
}

extern "C" int32_t ZqMM3IsUnit(const float matrix[9])
{
    static const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i)
        if (matrix[i] != identity[i]) return 0;
    return 1;
}

extern "C" void ZqMM3Copy(const float source[9], float destination[9])
{
    std::memmove(destination, source, 9 * sizeof(float));
}
