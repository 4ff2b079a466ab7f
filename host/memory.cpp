// The memory manager: malloc with a small header that records the block's
// size, so that live blocks and bytes can be counted, and a switch that makes
// the nth allocation fail for the out-of-memory paths of tests.
//
// In strict mode (the default) it behaves like a debug allocator: fresh
// blocks are full of garbage, freed blocks are poisoned and held back for a
// while before they go back to the system, so that a read after the free sees
// garbage, and a double free or the free of a pointer it never handed out
// stops the process with a message.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <unordered_set>

#include "zqgd/host.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define ZQHOST_POISON(block, size) ASAN_POISON_MEMORY_REGION(block, size)
#define ZQHOST_UNPOISON(block, size) ASAN_UNPOISON_MEMORY_REGION(block, size)
#else
#define ZQHOST_POISON(block, size) ((void)(block), (void)(size))
#define ZQHOST_UNPOISON(block, size) ((void)(block), (void)(size))
#endif

namespace {

// 16 bytes keep the payload as aligned as malloc's own blocks.
struct alignas(16) BlockHeader {
    uint32_t size;
};

constexpr unsigned char kFreshPattern = 0xA5;
constexpr unsigned char kFreedPattern = 0xDD;
constexpr size_t kHeldBlocks = 1024;
constexpr uint64_t kHeldBytes = uint64_t{64} << 20;

struct Manager {
    uint64_t liveBytes = 0;
    uint32_t allocationCount = 0;
    uint32_t failCountdown = 0;
    bool strict = true;
    // The blocks handed out and not yet freed.
    std::unordered_set<void*> live;
    // Freed blocks not yet given back to the system, oldest first.
    std::deque<BlockHeader*> held;
    std::unordered_set<void*> heldSet;
    uint64_t heldBytes = 0;

    Manager()
    {
        const char* setting = std::getenv("ZQHOST_STRICT");
        strict = setting == nullptr || std::strcmp(setting, "0") != 0;
    }
};

// Built on first use and never destroyed, so that blocks freed by static
// destructors at exit still find it.
Manager& TheManager()
{
    static Manager* manager = new Manager;
    return *manager;
}

bool ShouldFail(Manager& m)
{
    ++m.allocationCount;
    if (m.failCountdown == 0) return false;
    return --m.failCountdown == 0;
}

[[noreturn]] void Refuse(const char* what, const void* block)
{
    std::fprintf(stderr, "MMfree: %s (%p)\n", what, block);
    std::fflush(stderr);
    std::abort();
}

void Release(BlockHeader* header)
{
    ZQHOST_UNPOISON(header, sizeof(BlockHeader) + header->size);
    std::free(header);
}

// Gives the block held back longest to the system.
void ReleaseOldest(Manager& m)
{
    BlockHeader* oldest = m.held.front();
    m.held.pop_front();
    m.heldSet.erase(oldest + 1);
    ZQHOST_UNPOISON(oldest, sizeof(BlockHeader));
    m.heldBytes -= oldest->size;
    Release(oldest);
}

// Keeps a poisoned block back; the oldest ones go to the system once too
// many blocks or bytes are held.
void Hold(Manager& m, BlockHeader* header)
{
    uint32_t size = header->size;
    std::memset(header + 1, kFreedPattern, size);
    ZQHOST_POISON(header, sizeof(BlockHeader) + size);
    m.held.push_back(header);
    m.heldSet.insert(header + 1);
    m.heldBytes += size;
    while (m.held.size() > kHeldBlocks || m.heldBytes > kHeldBytes) ReleaseOldest(m);
}

}  // namespace

extern "C" void* MMmalloc(uint32_t size)
{
    Manager& m = TheManager();
    if (ShouldFail(m)) return nullptr;
    // Only where size_t is 32 bits can the header overflow the size.
    if (uint64_t{size} + sizeof(BlockHeader) > SIZE_MAX) return nullptr;
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size_t{size}));
    if (header == nullptr) return nullptr;
    header->size = size;
    if (m.strict) std::memset(header + 1, kFreshPattern, size);
    m.live.insert(header + 1);
    m.liveBytes += size;
    return header + 1;
}

extern "C" void MMfree(void* block)
{
    if (block == nullptr) return;
    Manager& m = TheManager();
    if (m.live.erase(block) == 0) {
        if (m.heldSet.count(block) != 0) Refuse("block freed twice", block);
        Refuse("not a block of this memory manager (or freed twice long ago)", block);
    }
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    m.liveBytes -= header->size;
    if (m.strict)
        Hold(m, header);
    else
        Release(header);
}

extern "C" char* MMstrdup(const char* text)
{
    size_t length = std::strlen(text) + 1;
    if (length > UINT32_MAX) return nullptr;
    auto* copy = static_cast<char*>(MMmalloc(static_cast<uint32_t>(length)));
    if (copy != nullptr) std::memcpy(copy, text, length);
    return copy;
}

extern "C" uint32_t MMLiveBlocks(void) { return static_cast<uint32_t>(TheManager().live.size()); }
extern "C" uint64_t MMLiveBytes(void) { return TheManager().liveBytes; }
extern "C" void MMFailNthAllocation(uint32_t n) { TheManager().failCountdown = n; }
extern "C" uint32_t MMAllocationCount(void) { return TheManager().allocationCount; }
extern "C" int32_t ZqHostStrict(void) { return TheManager().strict ? 1 : 0; }

extern "C" void ZqHostSetStrict(int32_t strict)
{
    TheManager().strict = strict != 0;
    if (strict == 0) MMReleaseHeldBlocks();
}

extern "C" void MMReleaseHeldBlocks(void)
{
    Manager& m = TheManager();
    while (!m.held.empty()) ReleaseOldest(m);
}
