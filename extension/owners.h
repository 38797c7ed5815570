// owners.h: owners of the kernel lists and ini texts that an export holds,
// so that every way out of it, early returns included, frees them.
#pragma once
#include "tv_ini.h"
#include "tv_list.h"

// A kernel list, freed with its owner by Free (which frees what the items
// hold, where they hold anything); empty when it could not be made.
template <void (*Free)(TvList*)>
class BasicListOwner {
 public:
  explicit BasicListOwner(TvList* list) : list_(list) {}
  BasicListOwner(const BasicListOwner&) = delete;
  BasicListOwner& operator=(const BasicListOwner&) = delete;
  ~BasicListOwner() {
    if (list_) Free(list_);
  }

  TvList* get() const { return list_; }
  TvList* operator->() const { return list_; }
  explicit operator bool() const { return list_ != nullptr; }

 private:
  TvList* list_;
};

inline void FreeList(TvList* list) { TvListFree(list); }
using ListOwner = BasicListOwner<FreeList>;

// A list of texts kept in the order they are added.
inline TvList* NewTextList() { return TvListCreate(TvListUnsorted, nullptr, kTvListText, 0); }

// An ini text of the export's own (not the shared configuration), freed
// with its owner; empty until loaded.
class IniText {
 public:
  IniText() = default;
  IniText(const IniText&) = delete;
  IniText& operator=(const IniText&) = delete;
  ~IniText() { TvIniFree(&buffer_); }

  TvIniBuffer* get() { return &buffer_; }
  TvIniBuffer* operator->() { return &buffer_; }

 private:
  TvIniBuffer buffer_{};
};
