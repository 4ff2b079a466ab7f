// The memory manager: malloc with a small header that records the block's
// size, so that live blocks and bytes can be counted, and a switch that makes
// the nth allocation fail for the out-of-memory paths of tests.
#include <cstdlib>
#include <cstring>

#include "zqgd/host.h"

namespace {

// 16 bytes keep the payload as aligned as malloc's own blocks.
struct alignas(16) BlockHeader {
    size_t size;
};

uint32_t liveBlocks = 0;
size_t liveBytes = 0;
uint32_t allocationCount = 0;
uint32_t failCountdown = 0;

bool ShouldFail()
{
    ++allocationCount;
    if (failCountdown == 0) return false;
    return --failCountdown == 0;
}

}  // namespace

extern "C" void* MMmalloc(size_t size)
{
    if (ShouldFail()) return nullptr;
    if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
    if (header == nullptr) return nullptr;
    header->size = size;
    ++liveBlocks;
    liveBytes += size;
    return header + 1;
}

extern "C" void MMfree(void* block)
{
    if (block == nullptr) return;
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    --liveBlocks;
    liveBytes -= header->size;
    std::free(header);
}

extern "C" char* MMstrdup(const char* text)
{
    size_t length = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(MMmalloc(length));
    if (copy != nullptr) std::memcpy(copy, text, length);
    return copy;
}

extern "C" uint32_t MMLiveBlocks(void) { return liveBlocks; }
extern "C" size_t MMLiveBytes(void) { return liveBytes; }
extern "C" void MMFailNthAllocation(uint32_t n) { failCountdown = n; }
extern "C" uint32_t MMAllocationCount(void) { return allocationCount; }
