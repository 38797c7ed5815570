// tv_list.h: the kernel's list container. A TvList is an array of item
// pointers kept in the order of a compare function, or in insertion order.
// Items are copied into kernel memory owned by the list (fixed-size records,
// strings, length-prefixed records), held by reference, or managed by a
// callback (virtual lists). Callers read count and items directly.
//
// Status codes: -1001 for a missing list or when memory runs out, -1040 for
// a missing item or a position at or beyond the count, -1041 for a duplicate
// in a unique by-reference list, -1042 for an action a list cannot take.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tv_base.h"

enum TvListFlag : uint32_t {
  TvListUnique = 1,        // an item equal to one already present is not added
  TvListDescending = 2,    // descending order; unsorted lists add at the front
  TvListPrefixed = 4,      // items start with a 16-bit length of the bytes after it
  TvListUnsorted = 8,      // items are appended; implied by a missing compare
  TvListByReference = 16,  // item arguments are addresses of pointers; the pointers are stored
                           // and, like copies, released with TvMemFree unless TvListNoFree
  TvListNoFree = 32,       // items are not freed when removed, replaced or cleared
};

enum TvListStorage : uint16_t {
  TvListFixedCopies = 0,
  TvListTextCopies = 1,
  TvListPrefixedCopies = 2,
  TvListReferences = 3,
  TvListVirtual = 4,
};

constexpr int32_t kTvListText = -1;  // item size of NUL-terminated strings
constexpr uint32_t kTvListGrowth = 32;

// Negative, 0 or positive as item sorts before, with or after listItem.
using TvListCompare = int (*)(const void* item, const void* listItem, intptr_t userData);

// Operations a virtual list's callback receives.
enum TvListOperation : int {
  TvListOpInit = 0,      // the list has just become virtual
  TvListOpFree = 1,      // the list is being freed (after the clear)
  TvListOpClear = 2,     // every item goes; -1042: each is removed through TvListOpRemove
  TvListOpFind = 3,      // set position and found; -1042: the list searches its array
  TvListOpInsert = 4,    // item about to be stored at position; result is what is stored
  TvListOpRemove = 5,    // item (the stored one) leaves position
  TvListOpReplace = 6,   // item replaces the one at position; result is what is stored
  TvListOpRead = 7,      // read the item at position (a walk's first item) into result
  TvListOpReadNext = 8,  // read the walk's next item, at position, into result
  TvListOpRelease = 9,   // release result, an item read by 7 or 8
};

// What a callback is asked and answers. result starts as the stored pointer
// (the new item for an insert), so a callback may leave it alone.
struct TvListRequest {
  uint32_t position;
  int32_t direction;  // find: the equal-item direction
  int32_t found;      // find: out
  const void* item;
  const void* result;
};

struct TvList;
// Answers 0, an error, or -1042 for an operation it does not support.
using TvListCallback = TvStatus (*)(TvList* list, int operation, TvListRequest* request);

struct TvList {
  uint32_t flags;
  TvListCompare compare;
  uint16_t itemSize;  // fixed-size items; 0xFFFF for strings
  intptr_t userData;  // passed to compare
  void* itemPool;     // size class of fixed-size items (not used by the plain allocator)
  void** items;
  uint32_t count;
  uint32_t capacity;
  uint32_t holdCount;
  bool freePending;
  uint16_t storage;  // TvListStorage
  TvListCallback callback;
  intptr_t callbackData1;
  intptr_t callbackData2;
};

// A new empty list, or nullptr (no memory, or an item size that is neither
// -1 nor 1 to 65534 for a list of fixed-size copies).
TvList* TvListCreate(uint32_t flags, TvListCompare compare, int32_t itemSize, intptr_t userData);

// Makes an empty list virtual and calls the callback with TvListOpInit; an
// answer other than 0 or -1042 is returned and the list stays as it was.
TvStatus TvListCreateVirtual(TvList* list, TvListCallback callback, intptr_t data1, intptr_t data2);

// Adds in order (unsorted: at the end, or the front with TvListDescending),
// after any equal items. index gets the position, or -1 when nothing was
// added. Uniqueness is judged by the compare function; a list without one
// takes every item.
TvStatus TvListAdd(TvList* list, const void* item, int32_t* index);

// Makes room for count items at once, so that adding up to that many needs
// no larger array (the array otherwise grows by 32 items at a time); -1001
// without the memory, the list then as it was.
TvStatus TvListReserve(TvList* list, uint32_t count);
// Stores an item at a position cut to the count, without regard to order
// or uniqueness.
TvStatus TvListInsertAt(TvList* list, uint32_t position, const void* item);

// Finds the position of an item. An equal compare result is replaced by the
// direction before the order is applied, so equal items lie before the
// position for 0 and 1 and after it for -1 (descending lists: 1 and -1
// swap). The first of several equal items is therefore at the position for
// -1 (descending: 1). Unsorted lists give the first equal item, or the
// insertion position when none is equal.
TvStatus TvListFind(TvList* list, const void* item, int32_t direction, int32_t* index, int32_t* found);

TvStatus TvListRemoveAt(TvList* list, uint32_t position);

// Replaces the item at a position without re-sorting; the caller keeps the
// order. On failure the old item stays.
TvStatus TvListReplaceAt(TvList* list, uint32_t position, const void* item);

TvStatus TvListClear(TvList* list);

// Frees the list and its items, or only marks it while it is held.
TvStatus TvListFree(TvList* list);

// Holders delay TvListFree; the last unhold performs a pending free, after
// which the list must not be touched.
TvStatus TvListHold(TvList* list);
TvStatus TvListUnhold(TvList* list);

// Calls the visitor for each item in order, holding the list meanwhile. A
// visitor's non-zero answer ends the walk and is returned.
using TvListVisitor = TvStatus (*)(const void* item, uint32_t position, void* data);
TvStatus TvListWalk(TvList* list, TvListVisitor visitor, void* data);

// Case-insensitive string compare of the kernel's string lists.
int TvListCompareText(const void* item, const void* listItem, intptr_t userData);
