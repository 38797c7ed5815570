// The list container: storage kinds, order and uniqueness, the binary
// search's equal-item direction, growth, holding, virtual lists, memory
// failures and hostile input.
#include "tv_list.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <utility>
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

using Strings = std::vector<std::string>;
using Ints = std::vector<int32_t>;

Strings Texts(const TvList* list) {
  Strings out;
  for (uint32_t i = 0; i < list->count; ++i) out.emplace_back(static_cast<const char*>(list->items[i]));
  return out;
}

// A list of string copies with the texts added in turn.
TvList* TextList(uint32_t flags, std::initializer_list<const char*> texts, TvListCompare compare = TvListCompareText) {
  TvList* list = TvListCreate(flags, compare, kTvListText, 0);
  EXPECT_NE(list, nullptr);
  for (const char* text : texts) EXPECT_EQ(TvListAdd(list, text, nullptr), 0) << text;
  return list;
}

// The compare sees the list's user data: here it chooses the key's sign.
int CompareSigned(const void* item, const void* listItem, intptr_t userData) {
  int32_t a = *static_cast<const int32_t*>(item), b = *static_cast<const int32_t*>(listItem);
  if (userData) a = -a, b = -b;
  return a < b ? -1 : a > b ? 1 : 0;
}

TvList* IntList(uint32_t flags, std::initializer_list<int32_t> values, intptr_t userData = 0) {
  TvList* list = TvListCreate(flags, CompareSigned, sizeof(int32_t), userData);
  EXPECT_NE(list, nullptr);
  for (int32_t v : values) EXPECT_EQ(TvListAdd(list, &v, nullptr), 0) << v;
  return list;
}

Ints Values(const TvList* list) {
  Ints out;
  for (uint32_t i = 0; i < list->count; ++i) out.push_back(*static_cast<const int32_t*>(list->items[i]));
  return out;
}

// Index and found flag of a successful find.
std::pair<int32_t, int32_t> Found(TvList* list, const void* item, int32_t direction) {
  int32_t index = -5, found = -5;
  EXPECT_EQ(TvListFind(list, item, direction, &index, &found), 0);
  return {index, found};
}

struct Record {
  int32_t key;
  int32_t serial;
};

int CompareKeys(const void* item, const void* listItem, intptr_t) {
  int32_t a = static_cast<const Record*>(item)->key, b = static_cast<const Record*>(listItem)->key;
  return a < b ? -1 : a > b ? 1 : 0;
}

Ints Serials(const TvList* list) {
  Ints out;
  for (uint32_t i = 0; i < list->count; ++i) out.push_back(static_cast<const Record*>(list->items[i])->serial);
  return out;
}

TEST_F(List, CreateChoosesTheStorageKindAndRefusesBadItemSizes) {
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
    TvListFree(list);
  }
  TvList* list = TvListCreate(TvListUnique, nullptr, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->flags, uint32_t{TvListUnique | TvListUnsorted});
  EXPECT_EQ(list->itemSize, 0xFFFF);
  TvListFree(list);

  // Fixed-size items need a size that fits 16 bits and is not the text mark.
  for (int32_t size : {0, -2, 65535, INT32_MIN}) EXPECT_EQ(TvListCreate(0, nullptr, size, 0), nullptr) << size;
  list = TvListCreate(0, nullptr, 65534, 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->itemSize, 65534);
  TvListFree(list);
}

TEST_F(List, AddKeepsOrderCopiesItemsAndSkipsDuplicates) {
  TvList* list = TvListCreate(0, CompareKeys, sizeof(Record), 0);
  ASSERT_NE(list, nullptr);
  Record r{};
  int32_t index = 99;
  const int32_t keys[] = {30, 10, 20}, indexes[] = {0, 0, 1};
  for (int32_t i = 0; i < 3; ++i) {
    r = {keys[i], i + 1};
    ASSERT_EQ(TvListAdd(list, &r, &index), 0);
    EXPECT_EQ(index, indexes[i]);
  }
  r = {99, 99};  // the caller's record is not shared with the list
  EXPECT_EQ(Serials(list), (Ints{2, 3, 1}));
  TvListFree(list);

  // Sorted and unique: case is ignored and a duplicate gets index -1.
  list = TextList(TvListUnique, {"delta", "Bravo", "alpha", "Charlie", "BRAVO"});
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(TvListAdd(list, "echo", &index), 0);
  EXPECT_EQ(index, 4);
  ASSERT_EQ(TvListAdd(list, "DELTA", &index), 0);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(Texts(list), (Strings{"alpha", "Bravo", "Charlie", "delta", "echo"}));
  TvListFree(list);

  // Unsorted and unique: appended, the first of two spellings kept.
  list = TvListCreate(TvListUnique | TvListUnsorted, TvListCompareText, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  char buffer[16] = "Zeeland";
  const std::pair<const char*, int32_t> adds[] = {{buffer, 0}, {"alpha", 1}, {"ALPHA", -1}, {"zeeLAND", -1}, {"Beta", 2}};
  for (const auto& [text, expected] : adds) {
    ASSERT_EQ(TvListAdd(list, text, &index), 0);
    EXPECT_EQ(index, expected) << text;
  }
  memset(buffer, 'x', sizeof buffer - 1);  // the list holds its own copy
  EXPECT_EQ(Texts(list), (Strings{"Zeeland", "alpha", "Beta"}));
  TvListFree(list);

  // Without a compare nothing is a duplicate; with flag 2 items go to the front.
  list = TextList(TvListUnique | TvListDescending, {"one", "ONE", "two"}, nullptr);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Texts(list), (Strings{"two", "ONE", "one"}));
  TvListFree(list);
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
    // The serials name the keys: 1 3 3 3 5 5 5, or 5 5 5 3 3 3 1.
    EXPECT_EQ(Serials(list), flags ? (Ints{0, 2, 5, 1, 4, 6, 3}) : (Ints{3, 1, 4, 6, 0, 2, 5}));
    TvListFree(list);
  }
}

TEST_F(List, FindPlacesEqualItemsByTheDirection) {
  struct Case {
    int32_t value, direction, index, found;
  };
  TvList* list = IntList(0, {});
  const int32_t probe = 20;
  EXPECT_EQ(Found(list, &probe, 0), std::make_pair(0, 0));  // empty
  TvListFree(list);

  // 10 20 20 20 30: equal items lie before the position for 0 and 1, after it for -1.
  list = IntList(0, {10, 20, 20, 20, 30});
  for (const Case& c : {Case{20, -1, 1, 1}, {20, 1, 4, 1}, {20, 0, 4, 1}, {5, -1, 0, 0}, {35, 1, 5, 0},
                        {25, -1, 4, 0}, {10, -1, 0, 1}, {30, 1, 5, 1}, {15, 0, 1, 0}})
    EXPECT_EQ(Found(list, &c.value, c.direction), std::make_pair(c.index, c.found)) << c.value << " " << c.direction;
  TvListFree(list);

  // Descending, 30 20 20 20 10: the direction's sign turns with the order.
  list = IntList(TvListDescending, {10, 20, 30, 20, 20});
  for (const Case& c : {Case{20, 1, 1, 1}, {20, -1, 4, 1}, {20, 0, 4, 1}, {40, 0, 0, 0}, {5, -1, 5, 0}, {25, 1, 1, 0}})
    EXPECT_EQ(Found(list, &c.value, c.direction), std::make_pair(c.index, c.found)) << c.value << " " << c.direction;
  TvListFree(list);

  // User data 1 makes the ascending compare order by descending values.
  list = IntList(0, {1, 3, 2}, 1);
  EXPECT_EQ(Values(list), (Ints{3, 2, 1}));
  TvListFree(list);
}

TEST_F(List, BinarySearchAgreesWithLowerAndUpperBounds) {
  std::mt19937 random(12345);
  for (int round = 0; round < 200; ++round) {
    const bool descending = round % 2;
    const int32_t sign = descending ? -1 : 1;
    TvList* list = IntList(descending ? uint32_t{TvListDescending} : 0u, {});
    for (uint32_t n = random() % 40; n > 0; --n) {
      const int32_t v = static_cast<int32_t>(random() % 12);
      ASSERT_EQ(TvListAdd(list, &v, nullptr), 0);
    }
    // In the list's own order: descending lists are ascending for a negated key.
    Ints ordered = Values(list);
    for (int32_t& v : ordered) v *= sign;
    ASSERT_TRUE(std::is_sorted(ordered.begin(), ordered.end()));
    for (int32_t probe = -1; probe <= 12; ++probe) {
      const auto lower = std::lower_bound(ordered.begin(), ordered.end(), probe * sign) - ordered.begin();
      const auto upper = std::upper_bound(ordered.begin(), ordered.end(), probe * sign) - ordered.begin();
      for (int32_t direction : {-1, 0, 1}) {
        const int32_t index = direction == -sign ? lower : upper;
        EXPECT_EQ(Found(list, &probe, direction), std::make_pair(index, lower != upper ? 1 : 0))
            << round << " " << probe << " " << direction;
      }
    }
    TvListFree(list);
  }
}

TEST_F(List, UnsortedFindTakesTheFirstEqualItem) {
  TvList* list = TextList(TvListUnsorted, {"b", "a", "B", "c"});
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Texts(list), (Strings{"b", "a", "B", "c"}));
  EXPECT_EQ(Found(list, "B", -1), std::make_pair(0, 1));
  EXPECT_EQ(Found(list, "C", 1), std::make_pair(3, 1));
  EXPECT_EQ(Found(list, "d", 0), std::make_pair(4, 0));
  TvListFree(list);

  // No compare: nothing is ever equal; the position is where an add goes.
  for (uint32_t flags : {0u, uint32_t{TvListDescending}}) {
    list = TextList(flags, {"x", "y"}, nullptr);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Found(list, "x", 0), std::make_pair(flags ? 0 : 2, 0));
    TvListFree(list);
  }
}

TEST_F(List, LengthPrefixedItemsAreCopiedByTheirLength) {
  TvList* list = TvListCreate(TvListPrefixed | TvListUnsorted, nullptr, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  unsigned char first[8] = {3, 0, 'a', 'b', 'c', 'J', 'U', 'N'};
  const unsigned char empty[3] = {0, 0, 0xEE};
  ASSERT_EQ(TvListAdd(list, first, nullptr), 0);  // the array now exists
  {
    MemWatch watch;
    ASSERT_EQ(TvListAdd(list, empty, nullptr), 0);
    EXPECT_EQ(tvMemStats.payloadBytes, 2u);  // the length word alone
    unsigned char longItem[2 + 300];
    const uint16_t length = 300;
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

TEST_F(List, TheThirtyThirdItemGrowsTheArrayAndClearEmptiesIt) {
  TvList* list = TvListCreate(TvListUnsorted, nullptr, sizeof(int32_t), 0);
  ASSERT_NE(list, nullptr);
  for (int32_t i = 0; i < 32; ++i) ASSERT_EQ(TvListAdd(list, &i, nullptr), 0);
  EXPECT_EQ(list->capacity, 32u);
  const int32_t next = 32;
  int32_t index = 0;
  ASSERT_EQ(TvListAdd(list, &next, &index), 0);
  EXPECT_EQ(index, 32);
  EXPECT_EQ(list->capacity, 64u);
  Ints expected(33);
  for (int32_t i = 0; i < 33; ++i) expected[i] = i;
  EXPECT_EQ(Values(list), expected);
  ASSERT_EQ(TvListClear(list), 0);
  EXPECT_EQ(list->count, 0u);
  EXPECT_EQ(list->capacity, 0u);
  EXPECT_EQ(list->items, nullptr);
  ASSERT_EQ(TvListAdd(list, &next, &index), 0);  // usable after a clear
  EXPECT_EQ(Values(list), (Ints{32}));
  TvListFree(list);
}

TEST_F(List, RemoveInsertAndReplaceByPosition) {
  TvList* list = TextList(0, {"b", "d", "f"});
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(TvListRemoveAt(list, 3), TvErrNotDefined);
  EXPECT_EQ(TvListRemoveAt(list, UINT32_MAX), TvErrNotDefined);
  EXPECT_EQ(TvListReplaceAt(list, 3, "x"), TvErrNotDefined);
  EXPECT_EQ(Texts(list), (Strings{"b", "d", "f"}));

  ASSERT_EQ(TvListRemoveAt(list, 1), 0);
  // Insertion by position ignores the order; beyond the count means the end.
  ASSERT_EQ(TvListInsertAt(list, 0, "z"), 0);
  ASSERT_EQ(TvListInsertAt(list, UINT32_MAX, "a"), 0);
  ASSERT_EQ(TvListInsertAt(list, 2, "m"), 0);
  EXPECT_EQ(Texts(list), (Strings{"z", "b", "m", "f", "a"}));

  // A longer text, then the item's own tail as its replacement.
  ASSERT_EQ(TvListReplaceAt(list, 2, "a much longer replacement text"), 0);
  ASSERT_EQ(TvListReplaceAt(list, 2, static_cast<const char*>(list->items[2]) + 7), 0);
  ASSERT_EQ(TvListRemoveAt(list, 4), 0);
  ASSERT_EQ(TvListRemoveAt(list, 0), 0);
  EXPECT_EQ(Texts(list), (Strings{"b", "longer replacement text", "f"}));
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
  EXPECT_EQ(Serials(list), (Ints{2}));
  TvListFree(list);
}

char* Block(const char* text) {
  char* p = static_cast<char*>(TvMemAlloc(0, strlen(text) + 1));
  memcpy(p, text, strlen(text) + 1);
  return p;
}

TEST_F(List, ReferencesAreStoredOwnedAndCheckedForDuplicates) {
  MemWatch watch;
  TvList* list = TvListCreate(TvListByReference | TvListUnique, TvListCompareText, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  char* one = Block("one");
  char* two = Block("two");
  int32_t index = 0;
  ASSERT_EQ(TvListAdd(list, &two, &index), 0);
  ASSERT_EQ(TvListAdd(list, &one, &index), 0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(list->items[0], one);  // the pointer itself, no copy
  EXPECT_EQ(list->items[1], two);

  TvThreadRecord()->lastCode = 0;
  char* again = Block("ONE");
  EXPECT_EQ(TvListAdd(list, &again, &index), TvErrDuplicate);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(TvThreadRecord()->lastCode, TvErrDuplicate);
  EXPECT_EQ(Found(list, &again, -1), std::make_pair(0, 1));  // also the address of a pointer

  char* none = nullptr;
  EXPECT_EQ(TvListAdd(list, &none, &index), TvErrNotDefined);
  EXPECT_EQ(TvListReplaceAt(list, 0, &none), TvErrNotDefined);

  // Replacing frees the old block; replacing an item by itself keeps it.
  const uint32_t blocks = MemWatch::Blocks();
  ASSERT_EQ(TvListReplaceAt(list, 0, &again), 0);
  ASSERT_EQ(TvListReplaceAt(list, 0, &again), 0);
  EXPECT_EQ(list->items[0], again);
  EXPECT_STREQ(again, "ONE");
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

  // Copying lists free their copies without the flag.
  list = TextList(0, {"a", "b", "c"});
  ASSERT_EQ(TvListRemoveAt(list, 0), 0);
  EXPECT_EQ(MemWatch::Blocks(), 4u);  // record, array, two texts
  TvListFree(list);
  EXPECT_EQ(MemWatch::Blocks(), 0u);
  EXPECT_EQ(MemWatch::Bytes(), 0u);
}

TEST_F(List, AHeldListIsFreedByTheLastUnhold) {
  MemWatch watch;
  TvList* list = TextList(0, {"kept"});
  ASSERT_NE(list, nullptr);
  const uint32_t blocks = MemWatch::Blocks();
  EXPECT_EQ(TvListUnhold(list), TvErrInvalidAction);  // not held
  ASSERT_EQ(TvListHold(list), 0);
  ASSERT_EQ(TvListHold(list), 0);
  ASSERT_EQ(TvListFree(list), 0);
  ASSERT_EQ(TvListFree(list), 0);  // a second free changes nothing
  ASSERT_EQ(TvListUnhold(list), 0);
  EXPECT_EQ(MemWatch::Blocks(), blocks);
  EXPECT_EQ(Texts(list), (Strings{"kept"}));
  ASSERT_EQ(TvListUnhold(list), 0);
  EXPECT_EQ(MemWatch::Blocks(), 0u);

  // Without a pending free the last unhold leaves the list alone.
  list = TextList(0, {});
  ASSERT_EQ(TvListHold(list), 0);
  ASSERT_EQ(TvListUnhold(list), 0);
  EXPECT_EQ(MemWatch::Blocks(), 1u);
  ASSERT_EQ(TvListFree(list), 0);
  EXPECT_EQ(MemWatch::Blocks(), 0u);
}

struct Visit {
  Strings seen;
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
  TvList* list = TextList(0, {"c", "a", "b"});
  ASSERT_NE(list, nullptr);
  Visit all;
  ASSERT_EQ(TvListWalk(list, Visitor, &all), 0);
  EXPECT_EQ(all.seen, (Strings{"0:a", "1:b", "2:c"}));
  Visit stop;
  stop.stopAt = 1;
  EXPECT_EQ(TvListWalk(list, Visitor, &stop), -7);
  EXPECT_EQ(stop.seen, (Strings{"0:a", "1:b"}));
  EXPECT_EQ(list->holdCount, 0u);
  EXPECT_EQ(TvListWalk(list, nullptr, nullptr), TvErrInvalidAction);

  // The visitor removes an item and frees the list: the walk ends safely
  // and the list goes when the walk lets go of it.
  Visit freeing;
  freeing.freeDuring = list;
  ASSERT_EQ(TvListWalk(list, Visitor, &freeing), 0);
  EXPECT_EQ(freeing.seen, (Strings{"0:a", "1:c"}));
  EXPECT_EQ(MemWatch::Blocks(), 0u);
}

TEST_F(List, HostileInputGetsAStatus) {
  int32_t index = 5, found = 5;
  EXPECT_EQ(TvListAdd(nullptr, "x", &index), TvErrNoMemory);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(TvListFind(nullptr, "x", 0, &index, &found), TvErrNoMemory);
  EXPECT_EQ(found, 0);
  int call = 0;
  for (TvStatus status : {TvListInsertAt(nullptr, 0, "x"), TvListRemoveAt(nullptr, 0), TvListReplaceAt(nullptr, 0, "x"),
                          TvListClear(nullptr), TvListFree(nullptr), TvListHold(nullptr), TvListUnhold(nullptr),
                          TvListWalk(nullptr, Visitor, nullptr), TvListCreateVirtual(nullptr, nullptr, 0, 0)})
    EXPECT_EQ(status, TvErrNoMemory) << "call " << call++;

  TvList* list = TextList(0, {});
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(TvListAdd(list, nullptr, &index), TvErrNotDefined);
  EXPECT_EQ(TvListInsertAt(list, 0, nullptr), TvErrNotDefined);
  EXPECT_EQ(TvListFind(list, nullptr, 0, &index, &found), TvErrNotDefined);
  EXPECT_EQ(TvListRemoveAt(list, 0), TvErrNotDefined);  // empty
  ASSERT_EQ(TvListAdd(list, "x", nullptr), 0);
  EXPECT_EQ(TvListReplaceAt(list, 0, nullptr), TvErrNotDefined);
  ASSERT_EQ(TvListFind(list, "x", 0, nullptr, nullptr), 0);  // outs are optional
  EXPECT_EQ(Texts(list), (Strings{"x"}));
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
  const uint64_t bytes = MemWatch::Bytes();
  const uint32_t blocks = MemWatch::Blocks();
  watch.Allow(64);
  int32_t index = 0;
  EXPECT_EQ(TvListAdd(list, "late", &index), TvErrNoMemory);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(list->count, 32u);
  EXPECT_EQ(list->capacity, 32u);
  EXPECT_EQ(MemWatch::Bytes(), bytes);
  EXPECT_EQ(MemWatch::Blocks(), blocks);

  // A replacement that does not fit keeps the old text.
  watch.Allow(16);
  EXPECT_EQ(TvListReplaceAt(list, 0, std::string(100, 'r').c_str()), TvErrNoMemory);
  EXPECT_STREQ(static_cast<char*>(list->items[0]), "ok");
  watch.Unlimited();
  TvListFree(list);
  EXPECT_EQ(MemWatch::Blocks(), 0u);
  EXPECT_EQ(MemWatch::Bytes(), 0u);
}

// A virtual list's callback that logs every call and answers as told. It
// keeps its own upper-case copies and hands out reads as "<text>".
struct Backing {
  std::string log;
  TvStatus answer[10] = {};
  uint32_t findPosition = 0;
  std::string lastRead;
};

TvStatus Callback(TvList* list, int operation, TvListRequest* request) {
  auto* backing = reinterpret_cast<Backing*>(list->callbackData1);
  backing->log += std::to_string(operation) + "@" + std::to_string(request->position) + " ";
  if (TvStatus answer = backing->answer[operation]) return answer;
  switch (operation) {
    case TvListOpFind:
      request->position = backing->findPosition;
      request->found = 0;
      break;
    case TvListOpInsert:
    case TvListOpReplace: {
      std::string text = static_cast<const char*>(request->item);
      for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
      if (operation == TvListOpReplace) TvMemFree(const_cast<void*>(request->result));
      request->result = Block(text.c_str());
      break;
    }
    case TvListOpRemove: TvMemFree(const_cast<void*>(request->item)); break;
    case TvListOpClear:
      for (uint32_t i = 0; i < list->count; ++i) TvMemFree(list->items[i]);
      break;
    case TvListOpRead:
    case TvListOpReadNext:
      backing->lastRead = std::string("<") + static_cast<const char*>(request->item) + ">";
      request->result = backing->lastRead.c_str();
      break;
    default: break;
  }
  return 0;
}

TvStatus MakeVirtual(TvList* list, Backing& backing) {
  return TvListCreateVirtual(list, Callback, reinterpret_cast<intptr_t>(&backing), 42);
}

TEST_F(List, VirtualListsRouteEachOperationToTheCallback) {
  MemWatch watch;
  Backing backing;
  TvList* list = TextList(0, {});
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(MakeVirtual(list, backing), 0);
  EXPECT_EQ(list->storage, TvListVirtual);
  EXPECT_EQ(list->callbackData2, 42);
  EXPECT_EQ(MakeVirtual(list, backing), TvErrInvalidAction);  // already virtual
  EXPECT_EQ(backing.log, "0@0 ");

  // The callback's find is final: it puts every item at the front, and a
  // position beyond the count means the end.
  backing.log.clear();
  int32_t index = 9;
  for (const char* text : {"b", "a", "c"}) ASSERT_EQ(TvListAdd(list, text, &index), 0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(backing.log, "3@0 4@0 3@1 4@0 3@2 4@0 ");  // asked with the end as position
  backing.findPosition = 99;
  ASSERT_EQ(TvListAdd(list, "d", &index), 0);
  EXPECT_EQ(index, 3);
  ASSERT_EQ(TvListRemoveAt(list, 3), 0);
  backing.findPosition = 0;
  EXPECT_EQ(Texts(list), (Strings{"C", "A", "B"}));
  EXPECT_EQ(MemWatch::Blocks(), 5u);  // record, array and the callback's three copies

  // A find the callback does not support is answered from the array; any
  // other answer is final.
  backing.answer[TvListOpFind] = TvErrInvalidAction;
  EXPECT_EQ(Found(list, "b", -1), std::make_pair(2, 1));
  backing.answer[TvListOpFind] = TvErrFileRead;
  int32_t found = 0;
  EXPECT_EQ(TvListFind(list, "a", -1, &index, &found), TvErrFileRead);
  EXPECT_EQ(TvListAdd(list, "d", &index), TvErrFileRead);
  EXPECT_EQ(list->count, 3u);
  backing.answer[TvListOpFind] = 0;

  backing.log.clear();
  ASSERT_EQ(TvListReplaceAt(list, 2, "z"), 0);
  ASSERT_EQ(TvListRemoveAt(list, 0), 0);
  EXPECT_EQ(backing.log, "6@2 5@0 ");
  EXPECT_EQ(Texts(list), (Strings{"A", "Z"}));
  EXPECT_EQ(MemWatch::Blocks(), 4u);

  // Unsupported insert, remove and replace are refused and change nothing.
  for (int op : {TvListOpInsert, TvListOpRemove, TvListOpReplace}) backing.answer[op] = TvErrInvalidAction;
  EXPECT_EQ(TvListAdd(list, "q", &index), TvErrInvalidAction);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(TvListInsertAt(list, 0, "q"), TvErrInvalidAction);
  EXPECT_EQ(TvListRemoveAt(list, 0), TvErrInvalidAction);
  EXPECT_EQ(TvListReplaceAt(list, 0, "q"), TvErrInvalidAction);
  EXPECT_EQ(Texts(list), (Strings{"A", "Z"}));
  for (int op : {TvListOpInsert, TvListOpRemove, TvListOpReplace}) backing.answer[op] = 0;

  // The walk reads the first item with 7, the others with 8, releasing each;
  // without reads it visits the stored items; a read error ends it.
  backing.log.clear();
  Visit read, stored, failing;
  ASSERT_EQ(TvListWalk(list, Visitor, &read), 0);
  EXPECT_EQ(read.seen, (Strings{"0:<A>", "1:<Z>"}));
  EXPECT_EQ(backing.log, "7@0 9@0 8@1 9@1 ");
  backing.answer[TvListOpRead] = backing.answer[TvListOpReadNext] = TvErrInvalidAction;
  backing.log.clear();
  ASSERT_EQ(TvListWalk(list, Visitor, &stored), 0);
  EXPECT_EQ(stored.seen, (Strings{"0:A", "1:Z"}));
  EXPECT_EQ(backing.log, "7@0 8@1 ");
  backing.answer[TvListOpReadNext] = TvErrFileRead;
  EXPECT_EQ(TvListWalk(list, Visitor, &failing), TvErrFileRead);
  EXPECT_EQ(failing.seen.size(), 1u);

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
  for (int op : {TvListOpInit, TvListOpClear, TvListOpFind}) backing.answer[op] = TvErrInvalidAction;
  TvList* list = TextList(TvListUnsorted, {}, nullptr);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(MakeVirtual(list, backing), 0);  // nothing to set up: fine
  for (const char* text : {"x", "y", "z"}) ASSERT_EQ(TvListAdd(list, text, nullptr), 0);
  EXPECT_EQ(Texts(list), (Strings{"X", "Y", "Z"}));
  backing.log.clear();
  // No clear: each item is removed, the last first.
  ASSERT_EQ(TvListFree(list), 0);
  EXPECT_EQ(backing.log, "2@0 5@2 5@1 5@0 1@0 ");
  EXPECT_EQ(MemWatch::Blocks(), 0u);

  // A start the callback refuses leaves an ordinary list.
  Backing refusing;
  refusing.answer[TvListOpInit] = TvErrFileRead;
  list = TextList(0, {});
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(MakeVirtual(list, refusing), TvErrFileRead);
  EXPECT_EQ(list->storage, TvListTextCopies);
  EXPECT_EQ(list->callback, nullptr);
  for (const char* text : {"b", "a"}) ASSERT_EQ(TvListAdd(list, text, nullptr), 0);
  EXPECT_EQ(Texts(list), (Strings{"a", "b"}));
  // A list with items of its own cannot become virtual.
  EXPECT_EQ(MakeVirtual(list, refusing), TvErrInvalidAction);
  EXPECT_EQ(refusing.log, "0@0 ");
  TvListFree(list);
  EXPECT_EQ(MemWatch::Blocks(), 0u);
}

}  // namespace
