// The host services: keyed lists, memory manager, bit routines.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <vector>

#include "zqgd/host.h"

namespace {

template <typename Visit>
void ForEach(KeyedList* list, Visit visit)
{
    for (void* item = _ZqGFirstListItem(list); item != nullptr; item = _ZqGNextListItem(list))
        visit(*static_cast<int32_t*>(item));
}

TEST(KeyedList, ZeroHeaderIsAnEmptyList)
{
    KeyedList list{};
    EXPECT_EQ(_ZqGFirstListItem(&list), nullptr);
    EXPECT_EQ(_ZqGNextListItem(&list), nullptr);
    EXPECT_EQ(_ZqGFindListItem(&list, 1), nullptr);
    EXPECT_EQ(_ZqGDeleteListItem(&list, 1), nullptr);
    _ZqGDeleteList(&list);
    EXPECT_EQ(list.head, nullptr);
}

TEST(KeyedList, KeyZeroAssignsDistinctKeysThatFindTheItems)
{
    KeyedList list{};
    uint32_t before = MMLiveBlocks();
    std::set<int32_t> keys;
    for (int i = 0; i < 5; ++i) {
        int32_t key = 0;
        auto* payload = static_cast<int32_t*>(_ZqGCreateListItem(&list, 4, &key, 0));
        ASSERT_NE(payload, nullptr);
        *payload = i;
        EXPECT_GT(key, 0x10000) << "strict keys lie far from the small ids hosts choose";
        keys.insert(key);
        EXPECT_EQ(_ZqGFindListItem(&list, key), payload);
    }
    EXPECT_EQ(keys.size(), 5u);
    EXPECT_EQ(_ZqGFindListItem(&list, 0), nullptr) << "items made with key 0 are found only under their key";
    _ZqGDeleteList(&list);
    EXPECT_EQ(MMLiveBlocks(), before);
}

// The strict host promises nothing it need not: payloads and blocks come
// full of garbage, as from a debug allocator.
TEST(StrictHost, FreshBlocksAndPayloadsHoldGarbage)
{
    ASSERT_EQ(ZqHostStrict(), 1) << "the suites run under the strict host";
    KeyedList list{};
    auto* payload = static_cast<uint8_t*>(_ZqGCreateListItem(&list, 16, nullptr, 5));
    auto* block = static_cast<uint8_t*>(MMmalloc(16));
    ASSERT_NE(payload, nullptr);
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 16; ++i) {
        EXPECT_NE(payload[i], 0) << "payload byte " << i;
        EXPECT_NE(block[i], 0) << "block byte " << i;
    }
    MMfree(block);
    _ZqGDeleteList(&list);
}

TEST(StrictHost, FreedBlocksAreHeldBackNotReusedAtOnce)
{
    void* first = MMmalloc(48);
    auto address = reinterpret_cast<uintptr_t>(first);
    MMfree(first);
    void* second = MMmalloc(48);
    EXPECT_NE(reinterpret_cast<uintptr_t>(second), address);
    MMfree(second);
}

TEST(StrictHostDeathTest, DoubleAndForeignFreesStopTheProcess)
{
    void* block = MMmalloc(8);
    MMfree(block);
    EXPECT_DEATH(MMfree(block), "block freed twice");
    int local = 0;
    EXPECT_DEATH(MMfree(&local), "not a block of this memory manager");
}

TEST(StrictHost, LenientModeWalksInCreationOrderWithSmallKeys)
{
    ZqHostSetStrict(0);
    KeyedList list{};
    for (int32_t key = 1; key <= 3; ++key) {
        auto* payload = static_cast<int32_t*>(_ZqGCreateListItem(&list, 4, nullptr, key));
        ASSERT_NE(payload, nullptr);
        *payload = key;
    }
    int32_t chosen = 0;
    ASSERT_NE(_ZqGCreateListItem(&list, 4, &chosen, 0), nullptr);
    EXPECT_EQ(chosen, 4) << "the first free key after 1";
    auto* found = static_cast<int32_t*>(_ZqGFindListItem(&list, chosen));
    ASSERT_NE(found, nullptr);
    *found = chosen;
    std::vector<int32_t> seen;
    ForEach(&list, [&](int32_t value) { seen.push_back(value); });
    EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3, 4}));
    _ZqGDeleteList(&list);
    ZqHostSetStrict(1);
}

TEST(KeyedList, AssignedKeysAvoidKeysTheCallerChose)
{
    KeyedList list{};
    ASSERT_NE(_ZqGCreateListItem(&list, 8, nullptr, 1), nullptr);
    ASSERT_NE(_ZqGCreateListItem(&list, 8, nullptr, 2), nullptr);
    int32_t key = 0;
    ASSERT_NE(_ZqGCreateListItem(&list, 8, &key, 0), nullptr);
    EXPECT_NE(key, 1);
    EXPECT_NE(key, 2);
    _ZqGDeleteList(&list);
}

// Keys of either sign and at both ends of the range are kept apart, and a
// key the list assigns for key 0 is none of them.
TEST(KeyedList, KeysOfEitherSignAndBothEndsAreDistinct)
{
    KeyedList list{};
    const int32_t keys[] = {INT32_MIN, -1, 1, INT32_MAX};
    for (int32_t key : keys) {
        auto* payload = static_cast<int32_t*>(_ZqGCreateListItem(&list, 4, nullptr, key));
        ASSERT_NE(payload, nullptr);
        *payload = key;
    }
    int32_t assigned = 0;
    ASSERT_NE(_ZqGCreateListItem(&list, 4, &assigned, 0), nullptr);
    for (int32_t key : keys) {
        SCOPED_TRACE(key);
        EXPECT_NE(assigned, key);
        auto* payload = static_cast<int32_t*>(_ZqGFindListItem(&list, key));
        ASSERT_NE(payload, nullptr);
        EXPECT_EQ(*payload, key);
    }
    auto* last = static_cast<int32_t*>(_ZqGDeleteListItem(&list, INT32_MAX));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(*last, INT32_MAX);
    MMfree(last);
    EXPECT_EQ(_ZqGFindListItem(&list, INT32_MAX), nullptr);
    EXPECT_NE(_ZqGFindListItem(&list, INT32_MIN), nullptr);
    _ZqGDeleteList(&list);
}

TEST(KeyedList, DeletedPayloadBelongsToTheCaller)
{
    KeyedList list{};
    uint32_t before = MMLiveBlocks();
    auto* payload = static_cast<char*>(_ZqGCreateListItem(&list, 156, nullptr, -1));
    ASSERT_NE(payload, nullptr);
    payload[155] = 'x';
    EXPECT_EQ(_ZqGDeleteListItem(&list, -1), payload);
    EXPECT_EQ(_ZqGFindListItem(&list, -1), nullptr);
    EXPECT_EQ(_ZqGFirstListItem(&list), nullptr);
    EXPECT_EQ(MMLiveBlocks(), before + 1) << "the list does not free a detached payload";
    MMfree(payload);
    EXPECT_EQ(MMLiveBlocks(), before);
}

TEST(KeyedList, StrictWalkGoesNewestFirstAndSurvivesRemovalOfTheNextItem)
{
    KeyedList list{};
    for (int32_t key = 10; key < 14; ++key) {
        auto* payload = static_cast<int32_t*>(_ZqGCreateListItem(&list, 4, nullptr, key));
        ASSERT_NE(payload, nullptr);
        *payload = key;
    }
    std::vector<int32_t> seen;
    for (auto* item = static_cast<int32_t*>(_ZqGFirstListItem(&list)); item != nullptr;
         item = static_cast<int32_t*>(_ZqGNextListItem(&list))) {
        seen.push_back(*item);
        if (*item == 12) MMfree(_ZqGDeleteListItem(&list, 11));
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{13, 12, 10}));
    _ZqGDeleteList(&list);
    EXPECT_EQ(_ZqGFirstListItem(&list), nullptr);
}

TEST(KeyedList, CreationFailsCleanlyWhenMemoryRunsOut)
{
    KeyedList list{};
    uint32_t before = MMLiveBlocks();
    MMFailNthAllocation(1);
    int32_t key = 77;
    EXPECT_EQ(_ZqGCreateListItem(&list, 4, &key, 0), nullptr);
    EXPECT_EQ(key, 77);
    EXPECT_EQ(_ZqGFirstListItem(&list), nullptr);
    EXPECT_EQ(MMLiveBlocks(), before);
}

TEST(MemoryManager, CountsLiveBlocksAndBytes)
{
    uint32_t blocks = MMLiveBlocks();
    size_t bytes = MMLiveBytes();
    void* a = MMmalloc(100);
    char* b = MMstrdup("6x12.bdf");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b, "6x12.bdf");
    EXPECT_EQ(MMLiveBlocks(), blocks + 2);
    EXPECT_EQ(MMLiveBytes(), bytes + 109);
    MMfree(a);
    MMfree(b);
    MMfree(nullptr);
    EXPECT_EQ(MMLiveBlocks(), blocks);
    EXPECT_EQ(MMLiveBytes(), bytes);
}

TEST(MemoryManager, FailsExactlyTheNthAllocation)
{
    MMFailNthAllocation(3);
    void* first = MMmalloc(1);
    void* second = MMmalloc(1);
    void* third = MMmalloc(1);
    void* fourth = MMmalloc(1);
    EXPECT_NE(first, nullptr);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(third, nullptr);
    EXPECT_NE(fourth, nullptr);
    MMfree(first);
    MMfree(second);
    MMfree(fourth);
}

TEST(BitRoutines, CountFromTheLeastSignificantBit)
{
    EXPECT_EQ(ZqMMSB(1), 0u);
    EXPECT_EQ(ZqMMSB(100), 6u);
    EXPECT_EQ(ZqMMSB(0x80000000u), 31u);
    EXPECT_EQ(ZqMLSB(0xF800), 11u);
    EXPECT_EQ(ZqMLSB(0x07E0), 5u);
    EXPECT_EQ(ZqMLSB(0x80000000u), 31u);
    EXPECT_EQ(ZqMBitCount(0x07E0), 6u);
    EXPECT_EQ(ZqMBitCount(0xFFFFFFFFu), 32u);
    EXPECT_EQ(ZqMBitCount(0), 0u);
    EXPECT_EQ(ZqMMSB(0), 0u);
    EXPECT_EQ(ZqMLSB(0), 0u);
}

// Bit 0, bit 31 and every bit between, alone, with the lowest bit, and as
// the lowest of a run up to bit 31: the routines count from bit 0 at the
// least significant end, over all 32 bits, as unsigned values.
TEST(BitRoutines, EveryBitPositionFromBit0ToBit31)
{
    for (uint32_t bit = 0; bit < 32; ++bit) {
        SCOPED_TRACE(bit);
        const uint32_t alone = uint32_t{1} << bit;
        const uint32_t run = 0xFFFFFFFFu << bit;
        EXPECT_EQ(ZqMMSB(alone), bit);
        EXPECT_EQ(ZqMLSB(alone), bit);
        EXPECT_EQ(ZqMBitCount(alone), 1u);
        EXPECT_EQ(ZqMMSB(alone | 1u), bit);
        EXPECT_EQ(ZqMLSB(alone | 0x80000000u), bit);
        EXPECT_EQ(ZqMMSB(run), 31u);
        EXPECT_EQ(ZqMLSB(run), bit);
        EXPECT_EQ(ZqMBitCount(run), 32u - bit);
        EXPECT_EQ(ZqMBitCount(~run), bit);
    }
    EXPECT_EQ(ZqMMSB(0xFFFFFFFFu), 31u);
    EXPECT_EQ(ZqMLSB(0xFFFFFFFFu), 0u);
    EXPECT_EQ(ZqMBitCount(0x55555555u), 16u);
}

TEST(BitRoutines, MatrixIdentityAndCopy)
{
    float unit[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float scaled[9] = {2, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_NE(ZqMM3IsUnit(unit), 0);
    EXPECT_EQ(ZqMM3IsUnit(scaled), 0);
    float copy[9] = {};
    ZqMM3Copy(scaled, copy);
    EXPECT_EQ(std::vector<float>(copy, copy + 9), std::vector<float>(scaled, scaled + 9));
}

}  // namespace
