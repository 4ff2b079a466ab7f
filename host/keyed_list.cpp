// Keyed lists. Each item is one memory-manager block: the payload first, the
// list node after it (at an aligned offset), so that the payload pointer the
// caller gets is the block itself and MMfree of a detached payload releases
// the node with it. Nodes form a singly linked list: in creation order, or,
// in the memory manager's strict mode, newest first, with keys for key 0
// chosen far from the small ids hosts pick, so that a caller relying on
// either shows up in tests.

#include "zqgd/host.h"

namespace {

struct Node {
    Node* next;
    void* payload;
    int32_t key;
};

constexpr size_t kNodeAlign = alignof(Node);

Node* Head(KeyedList* list) { return static_cast<Node*>(list->head); }

Node* FindNode(KeyedList* list, int32_t key, Node*** link)
{
    Node** at = reinterpret_cast<Node**>(&list->head);
    while (*at != nullptr && (*at)->key != key) at = &(*at)->next;
    if (link != nullptr) *link = at;
    return *at;
}

constexpr int32_t kStrictFirstKey = 0x5A5A0001;

// Keys chosen by the list are positive and not in use; the search starts
// after the last key handed out, so keys are not reused while the list lives.
int32_t ChooseKey(KeyedList* list)
{
    int32_t first = ZqHostStrict() ? kStrictFirstKey : 1;
    int32_t key = list->nextKey > 0 && list->nextKey <= INT32_MAX ? static_cast<int32_t>(list->nextKey) : first;
    while (FindNode(list, key, nullptr) != nullptr) key = key == INT32_MAX ? 1 : key + 1;
    list->nextKey = key == INT32_MAX ? 1 : key + 1;
    return key;
}

void* Advance(KeyedList* list, Node* node)
{
    list->cursor = node != nullptr ? node->next : nullptr;
    return node != nullptr ? node->payload : nullptr;
}

}  // namespace

extern "C" void* _ZqGCreateListItem(KeyedList* list, uint32_t payloadSize, int32_t* keyOut, int32_t key)
{
    uint64_t nodeOffset = (uint64_t{payloadSize} + kNodeAlign - 1) / kNodeAlign * kNodeAlign;
    if (nodeOffset + sizeof(Node) > UINT32_MAX) return nullptr;
    auto* block = static_cast<unsigned char*>(MMmalloc(static_cast<uint32_t>(nodeOffset + sizeof(Node))));
    if (block == nullptr) return nullptr;
    if (key == 0) {
        key = ChooseKey(list);
        if (keyOut != nullptr) *keyOut = key;
    }
    auto* node = reinterpret_cast<Node*>(block + nodeOffset);
    node->payload = block;
    node->key = key;
    Node** at = reinterpret_cast<Node**>(&list->head);
    if (!ZqHostStrict())
        while (*at != nullptr) at = &(*at)->next;
    node->next = *at;
    *at = node;
    return block;
}

extern "C" void* _ZqGFindListItem(KeyedList* list, int32_t key)
{
    Node* node = FindNode(list, key, nullptr);
    return node != nullptr ? node->payload : nullptr;
}

extern "C" void* _ZqGDeleteListItem(KeyedList* list, int32_t key)
{
    Node** link = nullptr;
    Node* node = FindNode(list, key, &link);
    if (node == nullptr) return nullptr;
    *link = node->next;
    // A walk in progress goes on with the item after the removed one.
    if (list->cursor == node) list->cursor = node->next;
    return node->payload;
}

extern "C" void* _ZqGFirstListItem(KeyedList* list) { return Advance(list, Head(list)); }

extern "C" void* _ZqGNextListItem(KeyedList* list) { return Advance(list, static_cast<Node*>(list->cursor)); }

extern "C" void _ZqGDeleteList(KeyedList* list)
{
    Node* node = Head(list);
    while (node != nullptr) {
        Node* next = node->next;
        MMfree(node->payload);
        node = next;
    }
    list->head = nullptr;
    list->cursor = nullptr;
    list->nextKey = 0;
}
