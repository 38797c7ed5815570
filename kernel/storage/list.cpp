// list.cpp: the kernel's list container: ordered or unsorted arrays of item
// pointers, the copies the list owns, virtual lists served by a callback,
// holding and walking.
#include "tv_list.h"

#include <cstring>

#include "tv_context.h"
#include "tv_memory.h"

namespace {

constexpr uint16_t kTextSize = 0xFFFF;
// The array stays well below the allocator's 2 GB block limit.
constexpr uint32_t kMaxCapacity = static_cast<uint32_t>(kTvTextLimit / sizeof(void*)) - kTvListGrowth;

TvStatus NoMemory() { return TvErrorRaise(TvErrNoMemory, nullptr, TvRaiseOrigin); }

bool IsVirtual(const TvList* list) { return list->storage == TvListVirtual; }

// By-reference lists take the address of a pointer; everything else the item.
const void* ItemOf(const TvList* list, const void* argument) {
  return (list->flags & TvListByReference) ? *static_cast<const void* const*>(argument) : argument;
}

TvStatus Ask(TvList* list, int operation, TvListRequest& request) { return list->callback(list, operation, &request); }

size_t PrefixedSize(const void* item) {
  uint16_t length;
  memcpy(&length, item, sizeof length);
  return sizeof length + length;
}

// A copy of the item in kernel memory, as the storage kind wants it.
void* CopyItem(const TvList* list, const void* item) {
  size_t size;
  switch (list->storage) {
    case TvListFixedCopies: size = list->itemSize; break;  // pooled mode would serve these from itemPool
    case TvListTextCopies: size = strlen(static_cast<const char*>(item)) + 1; break;
    case TvListPrefixedCopies: size = PrefixedSize(item); break;
    default: return const_cast<void*>(item);
  }
  void* copy = TvMemAlloc(0, size);
  if (copy) memcpy(copy, item, size);
  return copy;
}

void ReleaseItem(const TvList* list, void* item) {
  if (!(list->flags & TvListNoFree)) TvMemFree(item);
}

TvStatus Grow(TvList* list) {
  if (list->count < list->capacity) return TvOk;
  if (list->capacity > kMaxCapacity) return NoMemory();
  uint32_t capacity = list->capacity + kTvListGrowth;
  auto* items = static_cast<void**>(TvMemResize(list->items, 0, capacity * sizeof(void*)));
  if (!items) return NoMemory();
  list->items = items;
  list->capacity = capacity;
  return TvOk;
}

// Stores an item pointer at a position not above the count.
void Place(TvList* list, uint32_t position, void* stored) {
  memmove(list->items + position + 1, list->items + position, (list->count - position) * sizeof(void*));
  list->items[position] = stored;
  ++list->count;
}

// Makes room first, so that a failure leaves nothing to undo; then copies
// the item (or asks the callback) and stores it.
TvStatus InsertItem(TvList* list, uint32_t position, const void* argument) {
  if (TvStatus status = Grow(list)) return status;
  const void* item = ItemOf(list, argument);
  if (IsVirtual(list)) {
    TvListRequest request{position, 0, 0, item, item};
    if (TvStatus status = Ask(list, TvListOpInsert, request)) return status;
    Place(list, position, const_cast<void*>(request.result));
    return TvOk;
  }
  void* stored = CopyItem(list, item);
  if (!stored) return NoMemory();
  Place(list, position, stored);
  return TvOk;
}

bool BadItem(const TvList* list, const void* argument) {
  return !argument || ((list->flags & TvListByReference) && !*static_cast<const void* const*>(argument));
}

uint32_t EmptyPosition(const TvList* list) { return (list->flags & TvListDescending) ? 0 : list->count; }

void Search(TvList* list, const void* item, int32_t direction, uint32_t& position, bool& found) {
  found = false;
  if (!list->count || !list->compare) {
    position = EmptyPosition(list);
    return;
  }
  if (list->flags & TvListUnsorted) {
    for (uint32_t i = 0; i < list->count; ++i) {
      if (list->compare(item, list->items[i], list->userData) == 0) {
        position = i;
        found = true;
        return;
      }
    }
    position = EmptyPosition(list);
    return;
  }
  uint32_t low = 0, high = list->count - 1;
  for (;;) {
    uint32_t middle = low + (high - low) / 2;
    int result = list->compare(item, list->items[middle], list->userData);
    if (result == 0) {
      found = true;
      result = direction;
    }
    if (list->flags & TvListDescending) result = -result;
    if (result >= 0) {
      if (middle >= high) {
        position = middle + 1;
        return;
      }
      low = middle + 1;
    } else {
      if (middle <= low) {
        position = middle;
        return;
      }
      high = middle - 1;
    }
  }
}

// A virtual list's callback answers first; -1042 leaves the search to the
// array.
TvStatus Find(TvList* list, const void* item, int32_t direction, uint32_t& position, bool& found) {
  if (IsVirtual(list)) {
    TvListRequest request{EmptyPosition(list), direction, 0, item, nullptr};
    TvStatus status = Ask(list, TvListOpFind, request);
    if (status != TvErrInvalidAction) {
      position = request.position > list->count ? list->count : request.position;
      found = request.found != 0;
      return status;
    }
  }
  Search(list, item, direction, position, found);
  return TvOk;
}

void ClearItems(TvList* list) {
  if (IsVirtual(list)) {
    TvListRequest request{0, 0, 0, nullptr, nullptr};
    if (Ask(list, TvListOpClear, request) == TvErrInvalidAction) {
      for (uint32_t i = list->count; i-- > 0;) {
        TvListRequest remove{i, 0, 0, list->items[i], list->items[i]};
        Ask(list, TvListOpRemove, remove);
      }
    }
  } else {
    for (uint32_t i = 0; i < list->count; ++i) ReleaseItem(list, list->items[i]);
  }
  TvMemFree(list->items);
  list->items = nullptr;
  list->count = 0;
  list->capacity = 0;
}

void Destroy(TvList* list) {
  ClearItems(list);
  if (IsVirtual(list)) {
    TvListRequest request{0, 0, 0, nullptr, nullptr};
    Ask(list, TvListOpFree, request);
  }
  TvMemFree(list);
}

}  // namespace

TvList* TvListCreate(uint32_t flags, TvListCompare compare, int32_t itemSize, intptr_t userData) {
  uint16_t storage;
  if (flags & TvListByReference) storage = TvListReferences;
  else if (flags & TvListPrefixed) storage = TvListPrefixedCopies;
  else if (itemSize == kTvListText) storage = TvListTextCopies;
  else storage = TvListFixedCopies;
  if (storage == TvListFixedCopies && (itemSize < 1 || itemSize >= kTextSize)) return nullptr;

  auto* list = static_cast<TvList*>(TvMemAlloc(TvMemZero, sizeof(TvList)));
  if (!list) {
    NoMemory();
    return nullptr;
  }
  list->flags = compare ? flags : flags | TvListUnsorted;
  list->compare = compare;
  list->itemSize = itemSize == kTvListText ? kTextSize : static_cast<uint16_t>(itemSize);
  list->userData = userData;
  list->storage = storage;
  list->itemPool = nullptr;  // pooled mode would pick the size class for itemSize here
  return list;
}

TvStatus TvListCreateVirtual(TvList* list, TvListCallback callback, intptr_t data1, intptr_t data2) {
  if (!list) return NoMemory();
  // Items already held belong to the old storage kind; a callback could not
  // release them.
  if (!callback || IsVirtual(list) || list->count) return TvErrInvalidAction;
  TvList before = *list;
  list->storage = TvListVirtual;
  list->callback = callback;
  list->callbackData1 = data1;
  list->callbackData2 = data2;
  TvListRequest request{0, 0, 0, nullptr, nullptr};
  TvStatus status = Ask(list, TvListOpInit, request);
  if (status == TvErrInvalidAction) return TvOk;
  if (status != TvOk) *list = before;
  return status;
}

TvStatus TvListAdd(TvList* list, const void* item, int32_t* index) {
  if (index) *index = -1;
  if (!list) return NoMemory();
  if (BadItem(list, item)) return TvErrNotDefined;
  uint32_t position = EmptyPosition(list);
  bool found = false;
  if (!(list->flags & TvListUnsorted)) {
    int32_t direction = (list->flags & TvListDescending) ? -1 : 1;
    if (TvStatus status = Find(list, ItemOf(list, item), direction, position, found)) return status;
  } else if (list->flags & TvListUnique) {
    if (TvStatus status = Find(list, ItemOf(list, item), 0, position, found)) return status;
    position = EmptyPosition(list);
  }
  if (found && (list->flags & TvListUnique)) {
    if (list->flags & TvListByReference) return TvErrorRaise(TvErrDuplicate, nullptr, TvRaiseOrigin);
    return TvOk;
  }
  if (TvStatus status = InsertItem(list, position, item)) return status;
  if (index) *index = static_cast<int32_t>(position);
  return TvOk;
}

TvStatus TvListReserve(TvList* list, uint32_t count) {
  if (!list) return NoMemory();
  if (count <= list->capacity) return TvOk;
  if (count > kMaxCapacity) return NoMemory();
  auto* items = static_cast<void**>(TvMemResize(list->items, 0, size_t{count} * sizeof(void*)));
  if (!items) return NoMemory();
  list->items = items;
  list->capacity = count;
  return TvOk;
}

TvStatus TvListInsertAt(TvList* list, uint32_t position, const void* item) {
  if (!list) return NoMemory();
  if (BadItem(list, item)) return TvErrNotDefined;
  return InsertItem(list, position > list->count ? list->count : position, item);
}

TvStatus TvListFind(TvList* list, const void* item, int32_t direction, int32_t* index, int32_t* found) {
  if (index) *index = -1;
  if (found) *found = 0;
  if (!list) return NoMemory();
  if (BadItem(list, item)) return TvErrNotDefined;
  uint32_t position = 0;
  bool equal = false;
  TvStatus status = Find(list, ItemOf(list, item), direction, position, equal);
  if (status == TvOk) {
    if (index) *index = static_cast<int32_t>(position);
    if (found) *found = equal ? 1 : 0;
  }
  return status;
}

TvStatus TvListRemoveAt(TvList* list, uint32_t position) {
  if (!list) return NoMemory();
  if (position >= list->count) return TvErrNotDefined;
  void* item = list->items[position];
  if (IsVirtual(list)) {
    TvListRequest request{position, 0, 0, item, item};
    if (TvStatus status = Ask(list, TvListOpRemove, request)) return status;
  } else {
    ReleaseItem(list, item);
  }
  --list->count;
  memmove(list->items + position, list->items + position + 1, (list->count - position) * sizeof(void*));
  return TvOk;
}

TvStatus TvListReplaceAt(TvList* list, uint32_t position, const void* argument) {
  if (!list) return NoMemory();
  if (BadItem(list, argument)) return TvErrNotDefined;
  if (position >= list->count) return TvErrNotDefined;
  void*& slot = list->items[position];
  const void* item = ItemOf(list, argument);
  switch (list->storage) {
    case TvListVirtual: {
      TvListRequest request{position, 0, 0, item, slot};
      if (TvStatus status = Ask(list, TvListOpReplace, request)) return status;
      slot = const_cast<void*>(request.result);
      return TvOk;
    }
    case TvListFixedCopies:
      memmove(slot, item, list->itemSize);  // the new item may overlap the old
      return TvOk;
    case TvListReferences:
      if (slot != item) ReleaseItem(list, slot);  // replacing an item by itself keeps it
      slot = const_cast<void*>(item);
      return TvOk;
    default: {
      // A fresh copy rather than a resize: the new item may lie inside the old.
      void* copy = CopyItem(list, item);
      if (!copy) return NoMemory();
      ReleaseItem(list, slot);
      slot = copy;
      return TvOk;
    }
  }
}

TvStatus TvListClear(TvList* list) {
  if (!list) return NoMemory();
  ClearItems(list);
  return TvOk;
}

TvStatus TvListFree(TvList* list) {
  if (!list) return NoMemory();
  if (list->holdCount) {
    list->freePending = true;
    return TvOk;
  }
  Destroy(list);
  return TvOk;
}

TvStatus TvListHold(TvList* list) {
  if (!list) return NoMemory();
  ++list->holdCount;
  return TvOk;
}

TvStatus TvListUnhold(TvList* list) {
  if (!list) return NoMemory();
  if (!list->holdCount) return TvErrInvalidAction;
  if (--list->holdCount == 0 && list->freePending) Destroy(list);
  return TvOk;
}

TvStatus TvListWalk(TvList* list, TvListVisitor visitor, void* data) {
  if (!list) return NoMemory();
  if (!visitor) return TvErrInvalidAction;
  TvListHold(list);
  TvStatus status = TvOk;
  // The count is read afresh each time: a visitor may remove items.
  for (uint32_t i = 0; status == TvOk && i < list->count; ++i) {
    TvListRequest request{i, 0, 0, list->items[i], list->items[i]};
    bool read = false;
    if (IsVirtual(list)) {
      TvStatus answer = Ask(list, i == 0 ? TvListOpRead : TvListOpReadNext, request);
      if (answer == TvOk) read = true;
      else if (answer != TvErrInvalidAction) status = answer;
    }
    if (status != TvOk) break;
    status = visitor(request.result, i, data);
    if (read) Ask(list, TvListOpRelease, request);
  }
  TvListUnhold(list);
  return status;
}

int TvListCompareText(const void* item, const void* listItem, intptr_t) {
  return _stricmp(static_cast<const char*>(item), static_cast<const char*>(listItem));
}
