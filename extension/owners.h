// owners.h: owners of the kernel lists and ini texts that an export holds,
// so that every way out of it, early returns included, frees them.
#pragma once
#include "tv_ini.h"
#include "tv_list.h"

// A kernel list, freed with its owner; empty when it could not be made.
class ListOwner {
 public:
  explicit ListOwner(TvList* list) : list_(list) {}
  ListOwner(const ListOwner&) = delete;
  ListOwner& operator=(const ListOwner&) = delete;
  ~ListOwner() {
    if (list_) TvListFree(list_);
  }

  TvList* get() const { return list_; }
  TvList* operator->() const { return list_; }
  explicit operator bool() const { return list_ != nullptr; }

 private:
  TvList* list_;
};

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
