// The list container: storage kinds, order and uniqueness, the binary
// search's equal-item direction, growth, holding, virtual lists, memory
// failures and hostile input.
#include "tv_list.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kernel_fixture.h"
#include "tv_error.h"
#include "tv_memory.h"
#include "tv_thread.h"

namespace {

class List : public tvtest::KernelTest {
 protected:
  void SetUp() override { ASSERT_EQ(StartWith("[TvDefault]\n"), 0); }
};

// Counts the kernel allocator's blocks and bytes for its scope, with a limit
// when asked; the statistics are put back afterwards.
class MemWatch {
 public:
  MemWatch() : saved_(tvMemStats) { tvMemStats = {true, UINT64_MAX, 0, 0, 0, 0}; }
  ~MemWatch() { tvMemStats = saved_; }
  MemWatch(const MemWatch&) = delete;
  MemWatch& operator=(const MemWatch&) = delete;
  // Lets the next allocations take fewer than bytes more than are in use now.
  void Allow(uint64_t bytes) { tvMemStats.limit = tvMemStats.totalBytes + bytes; }
  void Unlimited() { tvMemStats.limit = UINT64_MAX; }
  static uint32_t Blocks() { return tvMemStats.payloadAllocations; }
  static uint64_t Bytes() { return tvMemStats.totalBytes; }

 private:
  TvMemStatistics saved_;
};

// What one plain block of the kernel allocator costs the system layer.
uint64_t BlockCost(size_t size) { return ((size + 3) & ~size_t{3}) + 4; }

std::vector<std::string> Texts(const TvList* list) {
  std::vector<std::string> out;
  for (uint32_t i = 0; i < list->count; ++i) out.emplace_back(static_cast<const char*>(list->items[i]));
  return out;
}

struct Record {
  int32_t key;
  int32_t serial;
};

int CompareKeys(const void* item, const void* listItem, intptr_t) {
  int32_t a = static_cast<const Record*>(item)->key, b = static_cast<const Record*>(listItem)->key;
  return a < b ? -1 : a > b ? 1 : 0;
}

std::vector<Record> Records(const TvList* list) {
  std::vector<Record> out;
  for (uint32_t i = 0; i < list->count; ++i) out.push_back(*static_cast<const Record*>(list->items[i]));
  return out;
}

std::vector<int32_t> Serials(const TvList* list) {
  std::vector<int32_t> out;
  for (const Record& r : Records(list)) out.push_back(r.serial);
  return out;
}

TEST_F(List, CreateChoosesTheStorageKindFromFlagsAndItemSize) {
  struct Case {
    uint32_t flags;
    int32_t size;
    uint16_t storage;
  } cases[] = {
      {0, 8, TvListFixedCopies},
      {0, kTvListText, TvListTextCopies},
      {TvListPrefixed, kTvListText, TvListPrefixedCopies},
      {TvListPrefixed | TvListByReference, 8, TvListReferences},
      {TvListByReference, kTvListText, TvListReferences},
  };
  for (const Case& c : cases) {
    TvList* list = TvListCreate(c.flags, TvListCompareText, c.size, 7);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->storage, c.storage) << c.flags;
    EXPECT_EQ(list->flags, c.flags);  // a compare was given: sorted
    EXPECT_EQ(list->userData, 7);
    EXPECT_EQ(list->count, 0u);
    EXPECT_EQ(list->capacity, 0u);
    EXPECT_EQ(list->items, nullptr);
    EXPECT_EQ(list->itemPool, nullptr);
    EXPECT_EQ(TvListFree(list), 0);
  }
  TvList* unsorted = TvListCreate(TvListUnique, nullptr, kTvListText, 0);
  ASSERT_NE(unsorted, nullptr);
  EXPECT_EQ(unsorted->flags, uint32_t{TvListUnique | TvListUnsorted});
  EXPECT_EQ(unsorted->itemSize, 0xFFFF);
  TvListFree(unsorted);

  // Fixed-size items need a size that fits 16 bits and is not the text mark.
  for (int32_t size : {0, -2, 65535, 70000, INT32_MIN}) EXPECT_EQ(TvListCreate(0, nullptr, size, 0), nullptr) << size;
  TvList* largest = TvListCreate(0, nullptr, 65534, 0);
  ASSERT_NE(largest, nullptr);
  EXPECT_EQ(largest->itemSize, 65534);
  TvListFree(largest);
}

TEST_F(List, FixedSizeItemsAreCopiesKeptInOrder) {
  TvList* list = TvListCreate(0, CompareKeys, sizeof(Record), 0);
  ASSERT_NE(list, nullptr);
  Record r{30, 1};
  int32_t index = 99;
  ASSERT_EQ(TvListAdd(list, &r, &index), 0);
  EXPECT_EQ(index, 0);
  r = {10, 2};
  ASSERT_EQ(TvListAdd(list, &r, &index), 0);
  EXPECT_EQ(index, 0);
  r = {20, 3};
  ASSERT_EQ(TvListAdd(list, &r, &index), 0);
  EXPECT_EQ(index, 1);
  r = {99, 99};  // the caller's record is not shared with the list
  ASSERT_EQ(list->count, 3u);
  EXPECT_EQ(Serials(list), (std::vector<int32_t>{2, 3, 1}));
  EXPECT_NE(list->items[0], static_cast<void*>(&r));
  EXPECT_EQ(TvListAdd(list, &r, nullptr), 0);  // index out is optional
  EXPECT_EQ(list->count, 4u);
  TvListFree(list);
}

TEST_F(List, UniqueUnsortedTextListKeepsTheFirstOfTwoSpellings) {
  TvList* list = TvListCreate(TvListUnique | TvListUnsorted, TvListCompareText, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  char buffer[16] = "Zeeland";
  int32_t index = 0;
  ASSERT_EQ(TvListAdd(list, buffer, &index), 0);
  EXPECT_EQ(index, 0);
  ASSERT_EQ(TvListAdd(list, "alpha", &index), 0);
  EXPECT_EQ(index, 1);
  ASSERT_EQ(TvListAdd(list, "ALPHA", &index), 0);
  EXPECT_EQ(index, -1);
  ASSERT_EQ(TvListAdd(list, "zeeLAND", &index), 0);
  EXPECT_EQ(index, -1);
  ASSERT_EQ(TvListAdd(list, "Beta", &index), 0);
  EXPECT_EQ(index, 2);
  memset(buffer, 'x', sizeof buffer - 1);  // the list holds its own copy
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"Zeeland", "alpha", "Beta"}));
  TvListFree(list);

  // Without the unique flag both spellings stay, at the front with flag 2.
  list = TvListCreate(TvListDescending, nullptr, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  for (const char* text : {"one", "ONE", "two"}) ASSERT_EQ(TvListAdd(list, text, &index), 0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"two", "ONE", "one"}));
  TvListFree(list);
}

TEST_F(List, SortedTextListIgnoresCaseAndUniqueSortedListsSkipDuplicates) {
  TvList* list = TvListCreate(TvListUnique, TvListCompareText, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  int32_t index = 0;
  for (const char* text : {"delta", "Bravo", "alpha", "Charlie", "BRAVO", "echo"}) ASSERT_EQ(TvListAdd(list, text, &index), 0);
  EXPECT_EQ(index, 4);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"alpha", "Bravo", "Charlie", "delta", "echo"}));
  ASSERT_EQ(TvListAdd(list, "DELTA", &index), 0);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(list->count, 5u);
  TvListFree(list);

  EXPECT_EQ(TvListCompareText("abc", "ABC", 0), 0);
  EXPECT_LT(TvListCompareText("abc", "ABD", 0), 0);
  EXPECT_GT(TvListCompareText("b", "A", 0), 0);
  EXPECT_LT(TvListCompareText("ab", "ABC", 0), 0);
}

TEST_F(List, EqualItemsKeepTheirInsertionOrderInBothDirections) {
  const int32_t keys[] = {5, 3, 5, 1, 3, 5, 3};
  for (uint32_t flags : {0u, uint32_t{TvListDescending}}) {
    TvList* list = TvListCreate(flags, CompareKeys, sizeof(Record), 0);
    ASSERT_NE(list, nullptr);
    for (int32_t i = 0; i < 7; ++i) {
      Record r{keys[i], i};
      ASSERT_EQ(TvListAdd(list, &r, nullptr), 0);
    }
    std::vector<int32_t> keysSeen;
    for (const Record& r : Records(list)) keysSeen.push_back(r.key);
    if (flags) {
      EXPECT_EQ(keysSeen, (std::vector<int32_t>{5, 5, 5, 3, 3, 3, 1}));
      EXPECT_EQ(Serials(list), (std::vector<int32_t>{0, 2, 5, 1, 4, 6, 3}));
    } else {
      EXPECT_EQ(keysSeen, (std::vector<int32_t>{1, 3, 3, 3, 5, 5, 5}));
      EXPECT_EQ(Serials(list), (std::vector<int32_t>{3, 1, 4, 6, 0, 2, 5}));
    }
    TvListFree(list);
  }
}

// The compare sees the list's user data: here it chooses the key's sign.
int CompareSigned(const void* item, const void* listItem, intptr_t userData) {
  int32_t a = *static_cast<const int32_t*>(item), b = *static_cast<const int32_t*>(listItem);
  if (userData) a = -a, b = -b;
  return a < b ? -1 : a > b ? 1 : 0;
}

TEST_F(List, FindPlacesEqualItemsByTheDirection) {
  TvList* list = TvListCreate(0, CompareSigned, sizeof(int32_t), 0);
  ASSERT_NE(list, nullptr);
  int32_t index = 0, found = 0;
  int32_t probe = 20;
  ASSERT_EQ(TvListFind(list, &probe, 0, &index, &found), 0);  // empty
  EXPECT_EQ(index, 0);
  EXPECT_EQ(found, 0);
  for (int32_t v : {10, 20, 20, 20, 30}) ASSERT_EQ(TvListAdd(list, &v, nullptr), 0);

  struct Case {
    int32_t value, direction, index, found;
  } ascending[] = {
      {20, -1, 1, 1}, {20, 1, 4, 1}, {20, 0, 4, 1}, {5, -1, 0, 0},  {35, 1, 5, 0},
      {25, -1, 4, 0}, {25, 1, 4, 0}, {10, -1, 0, 1}, {30, 1, 5, 1}, {15, 0, 1, 0},
  };
  for (const Case& c : ascending) {
    ASSERT_EQ(TvListFind(list, &c.value, c.direction, &index, &found), 0);
    EXPECT_EQ(index, c.index) << c.value << " " << c.direction;
    EXPECT_EQ(found, c.found) << c.value << " " << c.direction;
  }
  TvListFree(list);

  // Descending: the direction's sign turns with the order.
  list = TvListCreate(TvListDescending, CompareSigned, sizeof(int32_t), 0);
  ASSERT_NE(list, nullptr);
  for (int32_t v : {10, 20, 30, 20, 20}) ASSERT_EQ(TvListAdd(list, &v, nullptr), 0);
  Case descending[] = {{20, 1, 1, 1}, {20, -1, 4, 1}, {20, 0, 4, 1}, {40, 0, 0, 0}, {5, -1, 5, 0}, {25, 1, 1, 0}};
  for (const Case& c : descending) {
    ASSERT_EQ(TvListFind(list, &c.value, c.direction, &index, &found), 0);
    EXPECT_EQ(index, c.index) << c.value << " " << c.direction;
    EXPECT_EQ(found, c.found) << c.value << " " << c.direction;
  }
  TvListFree(list);

  // User data 1 makes the ascending compare order by descending values.
  list = TvListCreate(0, CompareSigned, sizeof(int32_t), 1);
  ASSERT_NE(list, nullptr);
  for (int32_t v : {1, 3, 2}) ASSERT_EQ(TvListAdd(list, &v, nullptr), 0);
  EXPECT_EQ(*static_cast<int32_t*>(list->items[0]), 3);
  EXPECT_EQ(*static_cast<int32_t*>(list->items[2]), 1);
  TvListFree(list);
}

TEST_F(List, BinarySearchAgreesWithLowerAndUpperBounds) {
  std::mt19937 random(12345);
  for (int round = 0; round < 200; ++round) {
    bool descending = round % 2;
    TvList* list = TvListCreate(descending ? uint32_t{TvListDescending} : 0u, CompareSigned, sizeof(int32_t), 0);
    ASSERT_NE(list, nullptr);
    std::vector<int32_t> values(random() % 40);
    for (int32_t& v : values) {
      v = static_cast<int32_t>(random() % 12);
      ASSERT_EQ(TvListAdd(list, &v, nullptr), 0);
    }
    // Compare in the list's own order: descending lists are ascending for a negated key.
    std::vector<int32_t> ordered;
    for (uint32_t i = 0; i < list->count; ++i) ordered.push_back(*static_cast<int32_t*>(list->items[i]) * (descending ? -1 : 1));
    ASSERT_TRUE(std::is_sorted(ordered.begin(), ordered.end()));
    for (int32_t probe = -1; probe <= 12; ++probe) {
      int32_t key = probe * (descending ? -1 : 1);
      auto lower = std::lower_bound(ordered.begin(), ordered.end(), key) - ordered.begin();
      auto upper = std::upper_bound(ordered.begin(), ordered.end(), key) - ordered.begin();
      int32_t firstDirection = descending ? 1 : -1;
      for (int32_t direction : {-1, 0, 1}) {
        int32_t index = -5, found = -5;
        ASSERT_EQ(TvListFind(list, &probe, direction, &index, &found), 0);
        EXPECT_EQ(index, direction == firstDirection ? lower : upper) << round << " " << probe << " " << direction;
        EXPECT_EQ(found, lower != upper ? 1 : 0) << round << " " << probe << " " << direction;
      }
    }
    TvListFree(list);
  }
}

TEST_F(List, UnsortedFindTakesTheFirstEqualItem) {
  TvList* list = TvListCreate(TvListUnsorted, TvListCompareText, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  for (const char* text : {"b", "a", "B", "c"}) ASSERT_EQ(TvListAdd(list, text, nullptr), 0);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"b", "a", "B", "c"}));
  int32_t index = 0, found = 0;
  ASSERT_EQ(TvListFind(list, "B", -1, &index, &found), 0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(found, 1);
  ASSERT_EQ(TvListFind(list, "C", 1, &index, &found), 0);
  EXPECT_EQ(index, 3);
  ASSERT_EQ(TvListFind(list, "d", 0, &index, &found), 0);
  EXPECT_EQ(index, 4);
  EXPECT_EQ(found, 0);
  TvListFree(list);

  // No compare: nothing is ever equal; the position is where an add goes.
  for (uint32_t flags : {0u, uint32_t{TvListDescending}}) {
    list = TvListCreate(flags, nullptr, kTvListText, 0);
    ASSERT_NE(list, nullptr);
    for (const char* text : {"x", "y"}) ASSERT_EQ(TvListAdd(list, text, nullptr), 0);
    ASSERT_EQ(TvListFind(list, "x", 0, &index, &found), 0);
    EXPECT_EQ(index, flags ? 0 : 2);
    EXPECT_EQ(found, 0);
    TvListFree(list);
  }
}

TEST_F(List, LengthPrefixedItemsAreCopiedByTheirLength) {
  TvList* list = TvListCreate(TvListPrefixed | TvListUnsorted, nullptr, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  unsigned char first[8] = {3, 0, 'a', 'b', 'c', 'J', 'U', 'N'};
  unsigned char second[3] = {0, 0, 0xEE};
  ASSERT_EQ(TvListAdd(list, first, nullptr), 0);  // the array now exists
  {
    MemWatch watch;
    ASSERT_EQ(TvListAdd(list, second, nullptr), 0);
    EXPECT_EQ(MemWatch::Blocks(), 1u);
    EXPECT_EQ(tvMemStats.payloadBytes, 2u);  // the length word alone
    unsigned char longItem[2 + 300];
    uint16_t length = 300;
    memcpy(longItem, &length, 2);
    memset(longItem + 2, 'L', 300);
    ASSERT_EQ(TvListReplaceAt(list, 1, longItem), 0);
    EXPECT_EQ(tvMemStats.payloadBytes, 302u);
    EXPECT_EQ(memcmp(list->items[1], longItem, sizeof longItem), 0);
    ASSERT_EQ(TvListRemoveAt(list, 1), 0);
    EXPECT_EQ(tvMemStats.payloadBytes, 0u);
  }
  EXPECT_EQ(memcmp(list->items[0], first, 5), 0);
  EXPECT_NE(list->items[0], static_cast<void*>(first));
  TvListFree(list);
}

TEST_F(List, TheThirtyThirdItemGrowsTheArrayToSixtyFour) {
  TvList* list = TvListCreate(TvListUnsorted, nullptr, sizeof(int32_t), 0);
  ASSERT_NE(list, nullptr);
  for (int32_t i = 0; i < 32; ++i) {
    ASSERT_EQ(TvListAdd(list, &i, nullptr), 0);
    ASSERT_EQ(list->capacity, 32u);
  }
  int32_t next = 32;
  int32_t index = 0;
  ASSERT_EQ(TvListAdd(list, &next, &index), 0);
  EXPECT_EQ(index, 32);
  EXPECT_EQ(list->count, 33u);
  EXPECT_EQ(list->capacity, 64u);
  for (int32_t i = 0; i < 33; ++i) EXPECT_EQ(*static_cast<int32_t*>(list->items[i]), i);
  ASSERT_EQ(TvListClear(list), 0);
  EXPECT_EQ(list->count, 0u);
  EXPECT_EQ(list->capacity, 0u);
  EXPECT_EQ(list->items, nullptr);
  ASSERT_EQ(TvListAdd(list, &next, &index), 0);  // usable after a clear
  EXPECT_EQ(list->capacity, 32u);
  TvListFree(list);
}

TEST_F(List, RemoveInsertAndReplaceByPosition) {
  TvList* list = TvListCreate(0, TvListCompareText, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  for (const char* text : {"b", "d", "f"}) ASSERT_EQ(TvListAdd(list, text, nullptr), 0);
  EXPECT_EQ(TvListRemoveAt(list, 3), TvErrNotDefined);
  EXPECT_EQ(TvListRemoveAt(list, UINT32_MAX), TvErrNotDefined);
  EXPECT_EQ(TvListReplaceAt(list, 3, "x"), TvErrNotDefined);
  EXPECT_EQ(TvListReplaceAt(list, 0x80000000u, "x"), TvErrNotDefined);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"b", "d", "f"}));

  ASSERT_EQ(TvListRemoveAt(list, 1), 0);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"b", "f"}));
  // Insertion by position ignores the order; beyond the count means the end.
  ASSERT_EQ(TvListInsertAt(list, 0, "z"), 0);
  ASSERT_EQ(TvListInsertAt(list, UINT32_MAX, "a"), 0);
  ASSERT_EQ(TvListInsertAt(list, 2, "m"), 0);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"z", "b", "m", "f", "a"}));

  // A longer text, then the item's own tail as its replacement.
  ASSERT_EQ(TvListReplaceAt(list, 2, "a much longer replacement text"), 0);
  ASSERT_EQ(TvListReplaceAt(list, 2, static_cast<const char*>(list->items[2]) + 7), 0);
  EXPECT_STREQ(static_cast<const char*>(list->items[2]), "longer replacement text");
  ASSERT_EQ(TvListRemoveAt(list, 4), 0);
  ASSERT_EQ(TvListRemoveAt(list, 0), 0);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"b", "longer replacement text", "f"}));
  TvListFree(list);

  // Fixed-size items are overwritten where they are.
  list = TvListCreate(0, CompareKeys, sizeof(Record), 0);
  ASSERT_NE(list, nullptr);
  Record r{1, 1};
  ASSERT_EQ(TvListAdd(list, &r, nullptr), 0);
  void* before = list->items[0];
  r = {7, 2};
  ASSERT_EQ(TvListReplaceAt(list, 0, &r), 0);
  EXPECT_EQ(list->items[0], before);
  EXPECT_EQ(Records(list)[0].serial, 2);
  TvListFree(list);
}

TEST_F(List, ReferencesAreStoredOwnedAndCheckedForDuplicates) {
  MemWatch watch;
  TvList* list = TvListCreate(TvListByReference | TvListUnique, TvListCompareText, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  auto block = [](const char* text) {
    char* p = static_cast<char*>(TvMemAlloc(0, strlen(text) + 1));
    memcpy(p, text, strlen(text) + 1);
    return p;
  };
  char* one = block("one");
  char* two = block("two");
  int32_t index = 0;
  ASSERT_EQ(TvListAdd(list, &two, &index), 0);
  ASSERT_EQ(TvListAdd(list, &one, &index), 0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(list->items[0], one);  // the pointer itself, no copy
  EXPECT_EQ(list->items[1], two);

  TvThreadRecord()->lastCode = 0;
  char* again = block("ONE");
  EXPECT_EQ(TvListAdd(list, &again, &index), TvErrDuplicate);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(TvThreadRecord()->lastCode, TvErrDuplicate);
  EXPECT_EQ(list->count, 2u);
  int32_t found = 0;
  ASSERT_EQ(TvListFind(list, &again, -1, &index, &found), 0);  // also the address of a pointer
  EXPECT_EQ(index, 0);
  EXPECT_EQ(found, 1);

  char* none = nullptr;
  EXPECT_EQ(TvListAdd(list, &none, &index), TvErrNotDefined);
  EXPECT_EQ(TvListReplaceAt(list, 0, &none), TvErrNotDefined);

  // Replacing frees the old block; replacing an item by itself keeps it.
  uint32_t blocks = MemWatch::Blocks();
  ASSERT_EQ(TvListReplaceAt(list, 0, &again), 0);
  EXPECT_EQ(list->items[0], again);
  EXPECT_EQ(MemWatch::Blocks(), blocks - 1);
  ASSERT_EQ(TvListReplaceAt(list, 0, &again), 0);
  EXPECT_STREQ(static_cast<char*>(list->items[0]), "ONE");
  EXPECT_EQ(MemWatch::Blocks(), blocks - 1);
  TvListFree(list);
  EXPECT_EQ(MemWatch::Blocks(), 0u);
}

TEST_F(List, FlagThirtyTwoLeavesItemsToTheCaller) {
  MemWatch watch;
  TvList* list = TvListCreate(TvListByReference | TvListNoFree, nullptr, 0, 0);
  ASSERT_NE(list, nullptr);
  void* blocks[3];
  for (void*& b : blocks) {
    b = TvMemAlloc(0, 10);
    ASSERT_EQ(TvListAdd(list, &b, nullptr), 0);
  }
  ASSERT_EQ(TvListRemoveAt(list, 1), 0);
  ASSERT_EQ(TvListReplaceAt(list, 0, &blocks[1]), 0);
  ASSERT_EQ(TvListClear(list), 0);
  ASSERT_EQ(TvListFree(list), 0);
  EXPECT_EQ(MemWatch::Blocks(), 3u);  // only the caller's blocks remain
  for (void* b : blocks) TvMemFree(b);
  EXPECT_EQ(MemWatch::Blocks(), 0u);
  EXPECT_EQ(MemWatch::Bytes(), 0u);

  // Copying lists free their copies without the flag.
  list = TvListCreate(0, TvListCompareText, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  for (const char* text : {"a", "b", "c"}) ASSERT_EQ(TvListAdd(list, text, nullptr), 0);
  ASSERT_EQ(TvListRemoveAt(list, 0), 0);
  EXPECT_EQ(MemWatch::Blocks(), 4u);  // record, array, two texts
  TvListFree(list);
  EXPECT_EQ(MemWatch::Blocks(), 0u);
}

TEST_F(List, AHeldListIsFreedByTheLastUnhold) {
  MemWatch watch;
  TvList* list = TvListCreate(0, TvListCompareText, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(TvListAdd(list, "kept", nullptr), 0);
  uint32_t blocks = MemWatch::Blocks();
  EXPECT_EQ(TvListUnhold(list), TvErrInvalidAction);  // not held
  ASSERT_EQ(TvListHold(list), 0);
  ASSERT_EQ(TvListHold(list), 0);
  ASSERT_EQ(TvListFree(list), 0);
  EXPECT_TRUE(list->freePending);
  EXPECT_EQ(MemWatch::Blocks(), blocks);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"kept"}));
  ASSERT_EQ(TvListFree(list), 0);  // a second free changes nothing
  ASSERT_EQ(TvListUnhold(list), 0);
  EXPECT_EQ(MemWatch::Blocks(), blocks);
  EXPECT_EQ(list->holdCount, 1u);
  ASSERT_EQ(TvListUnhold(list), 0);
  EXPECT_EQ(MemWatch::Blocks(), 0u);

  // Without a pending free the last unhold leaves the list alone.
  list = TvListCreate(0, nullptr, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(TvListHold(list), 0);
  ASSERT_EQ(TvListUnhold(list), 0);
  EXPECT_EQ(MemWatch::Blocks(), 1u);
  ASSERT_EQ(TvListFree(list), 0);
  EXPECT_EQ(MemWatch::Blocks(), 0u);
}

struct Visit {
  std::vector<std::string> seen;
  uint32_t stopAt = UINT32_MAX;
  TvList* freeDuring = nullptr;
};

TvStatus Visitor(const void* item, uint32_t position, void* data) {
  auto* visit = static_cast<Visit*>(data);
  visit->seen.push_back(std::to_string(position) + ":" + static_cast<const char*>(item));
  if (visit->freeDuring) {
    TvListRemoveAt(visit->freeDuring, 0);
    TvListFree(visit->freeDuring);
  }
  return position == visit->stopAt ? -7 : 0;
}

TEST_F(List, WalkVisitsInOrderStopsOnAnswerAndSurvivesAFree) {
  MemWatch watch;
  TvList* list = TvListCreate(0, TvListCompareText, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  for (const char* text : {"c", "a", "b"}) ASSERT_EQ(TvListAdd(list, text, nullptr), 0);
  Visit all;
  ASSERT_EQ(TvListWalk(list, Visitor, &all), 0);
  EXPECT_EQ(all.seen, (std::vector<std::string>{"0:a", "1:b", "2:c"}));
  Visit stop;
  stop.stopAt = 1;
  EXPECT_EQ(TvListWalk(list, Visitor, &stop), -7);
  EXPECT_EQ(stop.seen, (std::vector<std::string>{"0:a", "1:b"}));
  EXPECT_EQ(list->holdCount, 0u);
  EXPECT_EQ(TvListWalk(list, nullptr, nullptr), TvErrInvalidAction);

  // The visitor removes an item and frees the list: the walk ends safely
  // and the list goes when the walk lets go of it.
  Visit freeing;
  freeing.freeDuring = list;
  ASSERT_EQ(TvListWalk(list, Visitor, &freeing), 0);
  EXPECT_EQ(freeing.seen, (std::vector<std::string>{"0:a", "1:c"}));
  EXPECT_EQ(MemWatch::Blocks(), 0u);
}

TEST_F(List, HostileInputGetsAStatus) {
  int32_t index = 5, found = 5;
  EXPECT_EQ(TvListAdd(nullptr, "x", &index), TvErrNoMemory);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(TvListInsertAt(nullptr, 0, "x"), TvErrNoMemory);
  EXPECT_EQ(TvListFind(nullptr, "x", 0, &index, &found), TvErrNoMemory);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(TvListRemoveAt(nullptr, 0), TvErrNoMemory);
  EXPECT_EQ(TvListReplaceAt(nullptr, 0, "x"), TvErrNoMemory);
  EXPECT_EQ(TvListClear(nullptr), TvErrNoMemory);
  EXPECT_EQ(TvListFree(nullptr), TvErrNoMemory);
  EXPECT_EQ(TvListHold(nullptr), TvErrNoMemory);
  EXPECT_EQ(TvListUnhold(nullptr), TvErrNoMemory);
  EXPECT_EQ(TvListWalk(nullptr, Visitor, nullptr), TvErrNoMemory);
  EXPECT_EQ(TvListCreateVirtual(nullptr, nullptr, 0, 0), TvErrNoMemory);

  TvList* list = TvListCreate(0, TvListCompareText, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(TvListAdd(list, nullptr, &index), TvErrNotDefined);
  EXPECT_EQ(TvListInsertAt(list, 0, nullptr), TvErrNotDefined);
  EXPECT_EQ(TvListFind(list, nullptr, 0, &index, &found), TvErrNotDefined);
  EXPECT_EQ(TvListRemoveAt(list, 0), TvErrNotDefined);  // empty
  ASSERT_EQ(TvListAdd(list, "x", nullptr), 0);
  EXPECT_EQ(TvListReplaceAt(list, 0, nullptr), TvErrNotDefined);
  ASSERT_EQ(TvListFind(list, "x", 0, nullptr, nullptr), 0);  // outs are optional
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"x"}));
  EXPECT_EQ(TvListCreateVirtual(list, nullptr, 0, 0), TvErrInvalidAction);
  ASSERT_EQ(TvListClear(list), 0);
  ASSERT_EQ(TvListClear(list), 0);  // twice is harmless

  // An array that cannot grow any more is refused before anything is touched.
  void* item = list;
  TvList* refs = TvListCreate(TvListByReference | TvListNoFree, nullptr, 0, 0);
  ASSERT_NE(refs, nullptr);
  ASSERT_EQ(TvListAdd(refs, &item, nullptr), 0);
  void** items = refs->items;
  refs->count = refs->capacity = 0xFFFFFFF0u;  // one more growth would wrap
  EXPECT_EQ(TvListAdd(refs, &item, &index), TvErrNoMemory);
  EXPECT_EQ(refs->items, items);
  refs->count = 1;
  refs->capacity = 32;
  TvListFree(refs);
  TvListFree(list);
}

TEST_F(List, RunningOutOfMemoryLosesNothing) {
  MemWatch watch;
  watch.Allow(0);
  EXPECT_EQ(TvListCreate(0, nullptr, kTvListText, 0), nullptr);
  watch.Unlimited();

  TvList* list = TvListCreate(TvListUnsorted, nullptr, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  // The array fits, the item does not.
  watch.Allow(BlockCost(kTvListGrowth * sizeof(void*)) + 16);
  EXPECT_EQ(TvListAdd(list, "a text longer than eight bytes", nullptr), TvErrNoMemory);
  EXPECT_EQ(list->count, 0u);
  ASSERT_EQ(TvListAdd(list, "ok", nullptr), 0);
  watch.Unlimited();
  for (int i = 1; i < 32; ++i) ASSERT_EQ(TvListAdd(list, "item", nullptr), 0);

  // The 33rd item needs a larger array.
  uint64_t bytes = MemWatch::Bytes();
  uint32_t blocks = MemWatch::Blocks();
  watch.Allow(64);
  int32_t index = 0;
  EXPECT_EQ(TvListAdd(list, "late", &index), TvErrNoMemory);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(list->count, 32u);
  EXPECT_EQ(list->capacity, 32u);
  EXPECT_EQ(MemWatch::Bytes(), bytes);
  EXPECT_EQ(MemWatch::Blocks(), blocks);
  EXPECT_STREQ(static_cast<char*>(list->items[0]), "ok");

  // A replacement that does not fit keeps the old text.
  watch.Allow(16);
  EXPECT_EQ(TvListReplaceAt(list, 0, std::string(100, 'r').c_str()), TvErrNoMemory);
  EXPECT_STREQ(static_cast<char*>(list->items[0]), "ok");
  watch.Unlimited();
  TvListFree(list);
  EXPECT_EQ(MemWatch::Blocks(), 0u);
  EXPECT_EQ(MemWatch::Bytes(), 0u);
}

// A virtual list's callback that logs every call and answers as told.
struct Backing {
  std::string log;
  TvStatus answer[10] = {};
  int32_t findPosition = 0;
  std::string lastRead;  // the text handed out by 7 or 8
};

TvStatus Callback(TvList* list, int operation, TvListRequest* request) {
  auto* backing = reinterpret_cast<Backing*>(list->callbackData1);
  backing->log += std::to_string(operation) + "@" + std::to_string(request->position) + " ";
  TvStatus answer = backing->answer[operation];
  if (answer != 0) return answer;
  switch (operation) {
    case TvListOpFind:
      request->position = static_cast<uint32_t>(backing->findPosition);
      request->found = 0;
      break;
    case TvListOpInsert:
    case TvListOpReplace: {
      // The backing keeps its own copy, upper-cased.
      std::string text = static_cast<const char*>(request->item);
      for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
      char* copy = static_cast<char*>(TvMemAlloc(0, text.size() + 1));
      memcpy(copy, text.c_str(), text.size() + 1);
      if (operation == TvListOpReplace) TvMemFree(const_cast<void*>(request->result));
      request->result = copy;
      break;
    }
    case TvListOpRemove:
      TvMemFree(const_cast<void*>(request->item));
      break;
    case TvListOpClear:
      for (uint32_t i = 0; i < list->count; ++i) TvMemFree(list->items[i]);
      break;
    case TvListOpRead:
    case TvListOpReadNext:
      backing->lastRead = std::string("<") + static_cast<const char*>(request->item) + ">";
      request->result = backing->lastRead.c_str();
      break;
    default:
      break;
  }
  return 0;
}

TEST_F(List, VirtualListsRouteEachOperationToTheCallback) {
  MemWatch watch;
  Backing backing;
  TvList* list = TvListCreate(0, TvListCompareText, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(TvListCreateVirtual(list, Callback, reinterpret_cast<intptr_t>(&backing), 42), 0);
  EXPECT_EQ(list->storage, TvListVirtual);
  EXPECT_EQ(list->callbackData2, 42);
  EXPECT_EQ(backing.log, "0@0 ");
  EXPECT_EQ(TvListCreateVirtual(list, Callback, 0, 0), TvErrInvalidAction);  // already virtual

  // The callback's find is final: it puts every item at the front.
  backing.log.clear();
  int32_t index = 9;
  ASSERT_EQ(TvListAdd(list, "b", &index), 0);
  ASSERT_EQ(TvListAdd(list, "a", &index), 0);
  ASSERT_EQ(TvListAdd(list, "c", &index), 0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(backing.log, "3@0 4@0 3@1 4@0 3@2 4@0 ");  // asked with the end as position
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"C", "A", "B"}));
  EXPECT_EQ(MemWatch::Blocks(), 5u);  // record, array and the callback's three copies

  // A find the callback does not support is answered from the array.
  backing.answer[TvListOpFind] = TvErrInvalidAction;
  int32_t found = 0;
  ASSERT_EQ(TvListFind(list, "b", -1, &index, &found), 0);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(found, 1);
  backing.answer[TvListOpFind] = TvErrFileRead;  // any other answer is final
  EXPECT_EQ(TvListFind(list, "a", -1, &index, &found), TvErrFileRead);
  EXPECT_EQ(TvListAdd(list, "d", &index), TvErrFileRead);
  EXPECT_EQ(list->count, 3u);
  backing.answer[TvListOpFind] = 0;

  backing.log.clear();
  ASSERT_EQ(TvListReplaceAt(list, 2, "z"), 0);
  ASSERT_EQ(TvListRemoveAt(list, 0), 0);
  EXPECT_EQ(backing.log, "6@2 5@0 ");
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"A", "Z"}));
  EXPECT_EQ(MemWatch::Blocks(), 4u);

  // Unsupported insert, remove and replace are refused and change nothing.
  backing.answer[TvListOpInsert] = backing.answer[TvListOpRemove] = backing.answer[TvListOpReplace] =
      TvErrInvalidAction;
  EXPECT_EQ(TvListAdd(list, "q", &index), TvErrInvalidAction);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(TvListInsertAt(list, 0, "q"), TvErrInvalidAction);
  EXPECT_EQ(TvListRemoveAt(list, 0), TvErrInvalidAction);
  EXPECT_EQ(TvListReplaceAt(list, 0, "q"), TvErrInvalidAction);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"A", "Z"}));
  backing.answer[TvListOpInsert] = backing.answer[TvListOpRemove] = backing.answer[TvListOpReplace] = 0;

  // The walk reads the first item with 7, the others with 8, releasing each.
  backing.log.clear();
  Visit visit;
  ASSERT_EQ(TvListWalk(list, Visitor, &visit), 0);
  EXPECT_EQ(visit.seen, (std::vector<std::string>{"0:<A>", "1:<Z>"}));
  EXPECT_EQ(backing.log, "7@0 9@0 8@1 9@1 ");
  backing.answer[TvListOpRead] = backing.answer[TvListOpReadNext] = TvErrInvalidAction;
  backing.log.clear();
  visit.seen.clear();
  ASSERT_EQ(TvListWalk(list, Visitor, &visit), 0);
  EXPECT_EQ(visit.seen, (std::vector<std::string>{"0:A", "1:Z"}));  // the stored items
  EXPECT_EQ(backing.log, "7@0 8@1 ");
  backing.answer[TvListOpReadNext] = TvErrFileRead;
  visit.seen.clear();
  EXPECT_EQ(TvListWalk(list, Visitor, &visit), TvErrFileRead);
  EXPECT_EQ(visit.seen.size(), 1u);

  // Clear, then free: 2 clears the items, 1 says goodbye.
  backing.log.clear();
  ASSERT_EQ(TvListClear(list), 0);
  EXPECT_EQ(list->count, 0u);
  ASSERT_EQ(TvListAdd(list, "e", &index), 0);
  ASSERT_EQ(TvListFree(list), 0);
  EXPECT_EQ(backing.log, "2@0 3@0 4@0 2@0 1@0 ");
  EXPECT_EQ(MemWatch::Blocks(), 0u);
}

TEST_F(List, VirtualListsWithoutClearAndWithAFailingStart) {
  MemWatch watch;
  Backing backing;
  backing.answer[TvListOpInit] = TvErrInvalidAction;  // nothing to set up: fine
  backing.answer[TvListOpClear] = TvErrInvalidAction;
  backing.answer[TvListOpFind] = TvErrInvalidAction;
  TvList* list = TvListCreate(TvListUnsorted, nullptr, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(TvListCreateVirtual(list, Callback, reinterpret_cast<intptr_t>(&backing), 0), 0);
  for (const char* text : {"x", "y", "z"}) ASSERT_EQ(TvListAdd(list, text, nullptr), 0);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"X", "Y", "Z"}));
  backing.log.clear();
  // No clear: each item is removed, the last first.
  ASSERT_EQ(TvListFree(list), 0);
  EXPECT_EQ(backing.log, "2@0 5@2 5@1 5@0 1@0 ");
  EXPECT_EQ(MemWatch::Blocks(), 0u);

  // A start the callback refuses leaves an ordinary list.
  Backing refusing;
  refusing.answer[TvListOpInit] = TvErrFileRead;
  list = TvListCreate(0, TvListCompareText, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(TvListCreateVirtual(list, Callback, reinterpret_cast<intptr_t>(&refusing), 0), TvErrFileRead);
  EXPECT_EQ(list->storage, TvListTextCopies);
  EXPECT_EQ(list->callback, nullptr);
  ASSERT_EQ(TvListAdd(list, "b", nullptr), 0);
  ASSERT_EQ(TvListAdd(list, "a", nullptr), 0);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(refusing.log, "0@0 ");
  // A list with items of its own cannot become virtual.
  EXPECT_EQ(TvListCreateVirtual(list, Callback, reinterpret_cast<intptr_t>(&refusing), 0), TvErrInvalidAction);
  EXPECT_EQ(refusing.log, "0@0 ");
  TvListFree(list);
  EXPECT_EQ(MemWatch::Blocks(), 0u);
}

}  // namespace
