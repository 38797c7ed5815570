// The list container: storage kinds, order and uniqueness, the binary
// search's equal-item direction, growth, holding, virtual lists, memory
// failures and hostile input.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "kernel_fixture.h"

namespace {

// Each test counts the kernel allocator's blocks and bytes from its start,
// with a limit when asked; the statistics are put back afterwards.
class List : public tvtest::KernelTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(StartWith("[TvDefault]\n"), 0);
    saved_ = tvMemStats;
    tvMemStats = {true, UINT64_MAX, 0, 0, 0, 0};
  }
  void TearDown() override { tvMemStats = saved_; }
  static void Unlimited() { tvMemStats.limit = UINT64_MAX; }
  static uint32_t Blocks() { return tvMemStats.payloadAllocations; }
  static uint64_t Bytes() { return tvMemStats.totalBytes; }

 private:
  TvMemStatistics saved_{};
};

// What one plain block of the kernel allocator costs the system layer.
uint64_t BlockCost(size_t size) { return ((size + 3) & ~size_t{3}) + 4; }

using Strings = std::vector<std::string>;
using Ints = std::vector<int32_t>;
using Hit = std::pair<int32_t, int32_t>;  // index and found flag of a find

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

Hit Found(TvList* list, const void* item, int32_t direction) {
  int32_t index = -5, found = -5;
  EXPECT_EQ(TvListFind(list, item, direction, &index, &found), 0);
  return {index, found};
}

char* Block(const char* text) {
  char* p = static_cast<char*>(TvMemAlloc(0, strlen(text) + 1));
  memcpy(p, text, strlen(text) + 1);
  return p;
}

// The storage kind shows in the behaviour of the tests below; here the
// item sizes a list of fixed-size copies refuses.
TEST_F(List, CreateRefusesBadItemSizesAndSortsOnlyWithACompare) {
  for (int32_t size : {0, -2, 65535, INT32_MIN}) EXPECT_EQ(TvListCreate(0, nullptr, size, 0), nullptr) << size;
  TvList* list = TvListCreate(TvListUnique, nullptr, 65534, 7);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->itemSize, 65534);
  EXPECT_EQ(list->userData, 7);
  EXPECT_EQ(list->flags, uint32_t{TvListUnique | TvListUnsorted});
  TvListFree(list);
}

TEST_F(List, AddKeepsOrderCopiesItemsAndSkipsDuplicates) {
  // Equal items (the compare ignores case) keep their insertion order in
  // both directions.
  int32_t index = 99;
  for (const auto& [flags, order] : {std::pair{0u, Strings{"A", "a", "m", "M", "z", "Z"}},
                                     {uint32_t{TvListDescending}, Strings{"z", "Z", "m", "M", "A", "a"}}}) {
    TvList* list = TextList(flags, {"m", "A", "z", "a", "M", "Z"});
    EXPECT_EQ(Texts(list), order);
    TvListFree(list);
  }
  // Sorted and unique: a duplicate gets index -1.
  TvList* list = TextList(TvListUnique, {"delta", "Bravo", "alpha", "Charlie", "BRAVO"});
  ASSERT_EQ(TvListAdd(list, "echo", &index), 0);
  EXPECT_EQ(index, 4);
  ASSERT_EQ(TvListAdd(list, "DELTA", &index), 0);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(Texts(list), (Strings{"alpha", "Bravo", "Charlie", "delta", "echo"}));
  TvListFree(list);
  // Unsorted and unique: appended, the first of two spellings kept, as the
  // list's own copy.
  char buffer[16] = "Zeeland";
  list = TextList(TvListUnique | TvListUnsorted, {buffer, "alpha", "ALPHA"});
  memset(buffer, 'x', sizeof buffer - 1);
  ASSERT_EQ(TvListAdd(list, "zeeLAND", &index), 0);
  EXPECT_EQ(index, -1);
  ASSERT_EQ(TvListAdd(list, "Beta", &index), 0);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(Texts(list), (Strings{"Zeeland", "alpha", "Beta"}));
  TvListFree(list);
  // Without a compare nothing is a duplicate; with flag 2 items go to the front.
  // A find there gives the insertion position, never an equal item.
  list = TextList(TvListUnique | TvListDescending, {"one", "ONE", "two"}, nullptr);
  EXPECT_EQ(Texts(list), (Strings{"two", "ONE", "one"}));
  EXPECT_EQ(Found(list, "one", 0), Hit(0, 0));
  TvListFree(list);
}

TEST_F(List, FindPlacesEqualItemsByTheDirection) {
  // Unsorted, a find takes the first equal item in any direction.
  TvList* list = TextList(TvListUnsorted, {"b", "a", "B", "c"});
  EXPECT_EQ(Found(list, "B", -1), Hit(0, 1));
  EXPECT_EQ(Found(list, "C", 1), Hit(3, 1));
  EXPECT_EQ(Found(list, "d", 0), Hit(4, 0));
  TvListFree(list);
  // User data 1 makes the ascending compare order by descending values.
  list = IntList(0, {1, 3, 2}, 1);
  EXPECT_EQ(Values(list), (Ints{3, 2, 1}));
  TvListFree(list);
  // Random lists (empty ones too) in both orders against lower and upper
  // bounds: equal items lie before the position for 0 and 1 and after it
  // for -1; descending swaps 1 and -1.
  std::mt19937 random(12345);
  for (int round = 0; round < 200; ++round) {
    const int32_t sign = round % 2 ? -1 : 1;
    TvList* sample = IntList(sign < 0 ? uint32_t{TvListDescending} : 0u, {});
    for (uint32_t n = random() % 40; n > 0; --n) {
      const int32_t v = static_cast<int32_t>(random() % 12);
      ASSERT_EQ(TvListAdd(sample, &v, nullptr), 0);
    }
    // In the list's own order: descending lists are ascending for a negated key.
    Ints ordered = Values(sample);
    for (int32_t& v : ordered) v *= sign;
    ASSERT_TRUE(std::is_sorted(ordered.begin(), ordered.end()));
    for (int32_t probe = -1; probe <= 12; ++probe) {
      const int32_t lower = std::lower_bound(ordered.begin(), ordered.end(), probe * sign) - ordered.begin();
      const int32_t upper = std::upper_bound(ordered.begin(), ordered.end(), probe * sign) - ordered.begin();
      for (int32_t direction : {-1, 0, 1})
        EXPECT_EQ(Found(sample, &probe, direction), Hit(direction == -sign ? lower : upper, lower != upper))
            << round << " " << probe << " " << direction;
    }
    TvListFree(sample);
  }
}

TEST_F(List, LengthPrefixedItemsAreCopiedByTheirLength) {
  TvList* list = TvListCreate(TvListPrefixed | TvListUnsorted, nullptr, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  const unsigned char first[8] = {3, 0, 'a', 'b', 'c', 'J', 'U', 'N'}, empty[3] = {0, 0, 0xEE};
  ASSERT_EQ(TvListAdd(list, first, nullptr), 0);  // the array now exists
  const uint64_t bytes = tvMemStats.payloadBytes;
  ASSERT_EQ(TvListAdd(list, empty, nullptr), 0);
  EXPECT_EQ(tvMemStats.payloadBytes, bytes + 2);  // the length word alone
  ASSERT_EQ(TvListReplaceAt(list, 1, first), 0);
  EXPECT_EQ(tvMemStats.payloadBytes, bytes + 5);
  EXPECT_EQ(memcmp(list->items[1], first, 5), 0);
  EXPECT_NE(list->items[1], static_cast<const void*>(first));
  TvListFree(list);
}

TEST_F(List, RemoveInsertAndReplaceByPosition) {
  TvList* list = TextList(0, {"b", "d", "f"});
  for (TvStatus status : {TvListRemoveAt(list, 3), TvListRemoveAt(list, UINT32_MAX), TvListReplaceAt(list, 3, "x")})
    EXPECT_EQ(status, TvErrNotDefined);
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
  list = IntList(0, {1});
  void* before = list->items[0];
  const int32_t seven = 7;
  ASSERT_EQ(TvListReplaceAt(list, 0, &seven), 0);
  EXPECT_EQ(list->items[0], before);
  EXPECT_EQ(Values(list), (Ints{7}));
  TvListFree(list);
}

TEST_F(List, ReferencesAreOwnedCheckedForDuplicatesOrLeftToTheCaller) {
  TvList* list = TvListCreate(TvListByReference | TvListUnique, TvListCompareText, kTvListText, 0);
  ASSERT_NE(list, nullptr);
  char* one = Block("one");
  char* two = Block("two");
  char* again = Block("ONE");
  char* none = nullptr;
  int32_t index = 0;
  ASSERT_EQ(TvListAdd(list, &two, &index), 0);
  ASSERT_EQ(TvListAdd(list, &one, &index), 0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(list->items[0], one);  // the pointer itself, no copy
  TvThreadRecord()->lastCode = 0;
  EXPECT_EQ(TvListAdd(list, &again, &index), TvErrDuplicate);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(TvThreadRecord()->lastCode, TvErrDuplicate);
  EXPECT_EQ(Found(list, &again, -1), Hit(0, 1));  // also the address of a pointer
  for (TvStatus status : {TvListAdd(list, &none, &index), TvListReplaceAt(list, 0, &none)})
    EXPECT_EQ(status, TvErrNotDefined);
  // Replacing frees the old block; replacing an item by itself keeps it.
  ASSERT_EQ(TvListReplaceAt(list, 0, &again), 0);
  ASSERT_EQ(TvListReplaceAt(list, 0, &again), 0);
  ASSERT_EQ(Blocks(), 4u);  // record, array, two items
  EXPECT_EQ(Texts(list), (Strings{"ONE", "two"}));
  TvListFree(list);
  EXPECT_EQ(Blocks(), 0u);
  // Flag 32: removed, replaced and cleared items stay the caller's.
  list = TvListCreate(TvListByReference | TvListNoFree, nullptr, 0, 0);
  ASSERT_NE(list, nullptr);
  char* blocks[] = {Block("a"), Block("b"), Block("c")};
  for (char*& b : blocks) ASSERT_EQ(TvListAdd(list, &b, nullptr), 0);
  ASSERT_EQ(TvListRemoveAt(list, 1), 0);
  ASSERT_EQ(TvListReplaceAt(list, 0, &blocks[1]), 0);
  ASSERT_EQ(TvListFree(list), 0);
  EXPECT_EQ(Blocks(), 3u);
  for (char* b : blocks) TvMemFree(b);
  EXPECT_EQ(Bytes(), 0u);
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

TEST_F(List, AWalkHoldsTheListAndTheLastUnholdPerformsAPendingFree) {
  TvList* list = TextList(0, {"c", "a", "b"});
  const uint32_t blocks = Blocks();
  EXPECT_EQ(TvListUnhold(list), TvErrInvalidAction);  // not held
  Visit all, stop, freeing;
  ASSERT_EQ(TvListWalk(list, Visitor, &all), 0);
  EXPECT_EQ(all.seen, (Strings{"0:a", "1:b", "2:c"}));
  stop.stopAt = 1;
  EXPECT_EQ(TvListWalk(list, Visitor, &stop), -7);
  EXPECT_EQ(stop.seen, (Strings{"0:a", "1:b"}));
  EXPECT_EQ(TvListWalk(list, nullptr, nullptr), TvErrInvalidAction);
  EXPECT_EQ(list->holdCount, 0u);
  ASSERT_EQ(TvListHold(list), 0);
  ASSERT_EQ(TvListHold(list), 0);
  ASSERT_EQ(TvListFree(list), 0);
  ASSERT_EQ(TvListFree(list), 0);  // a second free changes nothing
  ASSERT_EQ(TvListUnhold(list), 0);
  EXPECT_EQ(Blocks(), blocks);
  EXPECT_EQ(Texts(list), (Strings{"a", "b", "c"}));
  ASSERT_EQ(TvListUnhold(list), 0);
  EXPECT_EQ(Blocks(), 0u);
  // A visitor that removes an item and frees the list ends the walk safely;
  // the list goes when the walk lets go of it.
  list = TextList(0, {"c", "a", "b"});
  freeing.freeDuring = list;
  ASSERT_EQ(TvListWalk(list, Visitor, &freeing), 0);
  EXPECT_EQ(freeing.seen, (Strings{"0:a", "1:c"}));
  EXPECT_EQ(Blocks(), 0u);
}

TEST_F(List, HostileInputGetsAStatus) {
  int32_t index = 5, found = 5, call = 0;
  EXPECT_EQ(TvListAdd(nullptr, "x", &index), TvErrNoMemory);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(TvListFind(nullptr, "x", 0, &index, &found), TvErrNoMemory);
  EXPECT_EQ(found, 0);
  for (TvStatus status : {TvListInsertAt(nullptr, 0, "x"), TvListRemoveAt(nullptr, 0), TvListReplaceAt(nullptr, 0, "x"),
                          TvListClear(nullptr), TvListFree(nullptr), TvListHold(nullptr), TvListUnhold(nullptr),
                          TvListWalk(nullptr, Visitor, nullptr), TvListCreateVirtual(nullptr, nullptr, 0, 0)})
    EXPECT_EQ(status, TvErrNoMemory) << "call " << call++;
  TvList* list = TextList(0, {});
  for (TvStatus status : {TvListAdd(list, nullptr, &index), TvListInsertAt(list, 0, nullptr),
                          TvListFind(list, nullptr, 0, &index, &found), TvListRemoveAt(list, 0)})
    EXPECT_EQ(status, TvErrNotDefined);
  ASSERT_EQ(TvListAdd(list, "x", nullptr), 0);
  EXPECT_EQ(TvListReplaceAt(list, 0, nullptr), TvErrNotDefined);
  ASSERT_EQ(TvListFind(list, "x", 0, nullptr, nullptr), 0);  // outs are optional
  EXPECT_EQ(TvListCreateVirtual(list, nullptr, 0, 0), TvErrInvalidAction);
  EXPECT_EQ(Texts(list), (Strings{"x"}));
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

TEST_F(List, GrowthInStepsOfThirtyTwoAndRunningOutOfMemory) {
  LimitMemory(0);
  EXPECT_EQ(TvListCreate(0, nullptr, kTvListText, 0), nullptr);
  Unlimited();
  TvList* list = TextList(TvListUnsorted, {});
  // The array fits, the item does not.
  LimitMemory(BlockCost(kTvListGrowth * sizeof(void*)) + 16);
  EXPECT_EQ(TvListAdd(list, "a text longer than eight bytes", nullptr), TvErrNoMemory);
  EXPECT_EQ(list->count, 0u);
  ASSERT_EQ(TvListAdd(list, "ok", nullptr), 0);
  Unlimited();
  for (int i = 1; i < 32; ++i) ASSERT_EQ(TvListAdd(list, "item", nullptr), 0);
  EXPECT_EQ(list->capacity, 32u);
  // The 33rd item needs a larger array; without the memory nothing changes.
  const uint64_t bytes = Bytes();
  const uint32_t blocks = Blocks();
  LimitMemory(64);
  int32_t index = 0;
  EXPECT_EQ(TvListAdd(list, "late", &index), TvErrNoMemory);
  EXPECT_EQ(index, -1);
  ASSERT_EQ(list->capacity, 32u);  // later adds would write past the array
  EXPECT_TRUE(Bytes() == bytes && Blocks() == blocks);
  // A replacement that does not fit keeps the old text.
  LimitMemory(16);
  EXPECT_EQ(TvListReplaceAt(list, 0, std::string(100, 'r').c_str()), TvErrNoMemory);
  Unlimited();
  ASSERT_EQ(TvListAdd(list, "late", &index), 0);
  EXPECT_EQ(index, 32);
  EXPECT_EQ(list->capacity, 64u);
  Strings expected(33, "item");
  expected.front() = "ok";
  expected.back() = "late";
  EXPECT_EQ(Texts(list), expected);
  // A clear gives the array back; the list stays usable.
  ASSERT_EQ(TvListClear(list), 0);
  ASSERT_EQ(TvListClear(list), 0);  // twice is harmless
  EXPECT_TRUE(list->capacity == 0 && list->items == nullptr);
  ASSERT_EQ(TvListAdd(list, "again", &index), 0);
  EXPECT_EQ(Texts(list), (Strings{"again"}));
  // Room reserved at once: adding up to it keeps the array; without the
  // memory for more, the list stays as it was.
  ASSERT_EQ(TvListReserve(list, 100), 0);
  void** reserved = list->items;
  for (int i = 1; i < 100; ++i) ASSERT_EQ(TvListAdd(list, "more", nullptr), 0);
  EXPECT_EQ(list->items, reserved);
  EXPECT_EQ(list->capacity, 100u);
  LimitMemory(0);
  EXPECT_EQ(TvListReserve(list, 1000), TvErrNoMemory);
  EXPECT_TRUE(list->capacity == 100 && list->items == reserved);
  Unlimited();
  TvListFree(list);
  EXPECT_EQ(Bytes(), 0u);
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
  std::string text;
  switch (operation) {
    case TvListOpFind: request->position = backing->findPosition; break;
    case TvListOpReplace: TvMemFree(const_cast<void*>(request->result)); [[fallthrough]];
    case TvListOpInsert:
      for (const char* p = static_cast<const char*>(request->item); *p; ++p) text += char(toupper(uint8_t(*p)));
      request->result = Block(text.c_str());
      break;
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
  Backing backing;
  TvList* list = TextList(0, {});
  ASSERT_EQ(MakeVirtual(list, backing), 0);
  EXPECT_EQ(MakeVirtual(list, backing), TvErrInvalidAction);  // already virtual
  EXPECT_EQ(backing.log, "0@0 ");
  // The callback's find is final: it puts every item at the front; a
  // position beyond the count means the end.
  backing.log.clear();
  int32_t index = 9;
  for (const char* text : {"b", "a", "c"}) ASSERT_EQ(TvListAdd(list, text, &index), 0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(backing.log, "3@0 4@0 3@1 4@0 3@2 4@0 ");  // asked with the end as position
  backing.findPosition = 99;
  ASSERT_EQ(TvListAdd(list, "d", &index), 0);
  EXPECT_EQ(index, 3);
  EXPECT_EQ(Texts(list), (Strings{"C", "A", "B", "D"}));
  // Unsupported finds are answered from the array; any other answer is final.
  backing.answer[TvListOpFind] = TvErrInvalidAction;
  EXPECT_EQ(Found(list, "b", -1), Hit(2, 1));
  backing.answer[TvListOpFind] = TvErrFileRead;
  for (TvStatus status : {TvListFind(list, "a", -1, &index, nullptr), TvListAdd(list, "e", &index)})
    EXPECT_EQ(status, TvErrFileRead);
  backing.log.clear();
  ASSERT_EQ(TvListReplaceAt(list, 2, "z"), 0);
  ASSERT_EQ(TvListRemoveAt(list, 0), 0);
  ASSERT_EQ(TvListRemoveAt(list, 2), 0);
  EXPECT_EQ(backing.log, "6@2 5@0 5@2 ");
  EXPECT_EQ(Texts(list), (Strings{"A", "Z"}));
  EXPECT_EQ(Blocks(), 4u);  // record, array and the callback's two copies
  // Unsupported insert, remove and replace are refused and change nothing.
  for (int op : {TvListOpInsert, TvListOpRemove, TvListOpReplace}) backing.answer[op] = TvErrInvalidAction;
  for (TvStatus status : {TvListInsertAt(list, 0, "q"), TvListRemoveAt(list, 0), TvListReplaceAt(list, 0, "q")})
    EXPECT_EQ(status, TvErrInvalidAction);
  EXPECT_EQ(Texts(list), (Strings{"A", "Z"}));
  // The walk reads the first item with 7, the others with 8, releasing each;
  // without reads it visits the stored items; a read error ends it.
  backing.log.clear();
  Visit read, stored, failing;
  ASSERT_EQ(TvListWalk(list, Visitor, &read), 0);
  EXPECT_EQ(read.seen, (Strings{"0:<A>", "1:<Z>"}));
  EXPECT_EQ(backing.log, "7@0 9@0 8@1 9@1 ");
  backing.answer[TvListOpRead] = backing.answer[TvListOpReadNext] = TvErrInvalidAction;
  ASSERT_EQ(TvListWalk(list, Visitor, &stored), 0);
  EXPECT_EQ(stored.seen, (Strings{"0:A", "1:Z"}));
  backing.answer[TvListOpReadNext] = TvErrFileRead;
  EXPECT_EQ(TvListWalk(list, Visitor, &failing), TvErrFileRead);
  EXPECT_EQ(failing.seen, (Strings{"0:A"}));
  // 2 clears the items, 1 says goodbye; without 2 each item is removed
  // through 5, the last first.
  backing = Backing{};
  ASSERT_EQ(TvListClear(list), 0);
  EXPECT_EQ(list->count, 0u);
  backing.answer[TvListOpClear] = TvErrInvalidAction;
  for (const char* text : {"x", "y", "z"}) ASSERT_EQ(TvListAdd(list, text, nullptr), 0);
  backing.log.clear();
  ASSERT_EQ(TvListFree(list), 0);
  EXPECT_EQ(backing.log, "2@0 5@2 5@1 5@0 1@0 ");
  EXPECT_EQ(Blocks(), 0u);
  // A virtual start may be unsupported (nothing to set up), but not refused.
  // A refused start leaves an ordinary list, which cannot become virtual
  // once it holds items.
  Backing refusing;
  refusing.answer[TvListOpInit] = TvErrInvalidAction;
  list = TextList(0, {});
  ASSERT_EQ(MakeVirtual(list, refusing), 0);
  EXPECT_EQ(list->storage, TvListVirtual);
  TvListFree(list);
  refusing = Backing{};
  refusing.answer[TvListOpInit] = TvErrFileRead;
  list = TextList(0, {});
  EXPECT_EQ(MakeVirtual(list, refusing), TvErrFileRead);
  EXPECT_TRUE(list->storage == TvListTextCopies && list->callback == nullptr);
  for (const char* text : {"b", "a"}) ASSERT_EQ(TvListAdd(list, text, nullptr), 0);
  EXPECT_EQ(Texts(list), (Strings{"a", "b"}));
  EXPECT_EQ(MakeVirtual(list, refusing), TvErrInvalidAction);
  EXPECT_EQ(refusing.log, "0@0 ");
  TvListFree(list);
}

}  // namespace
