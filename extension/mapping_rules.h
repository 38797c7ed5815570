// mapping_rules.h: the rules the data-mapping exports read mappings by, for
// code outside them that must read a file's mappings the same way (the
// configuration check, tools/doctor).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

struct TvList;

constexpr size_t kMappingCodeSize = 8;  // a mapping code holds at most 7 characters

// The lines of a DataMappings list, each parsed as the mapping exports
// parse it.
class MappingLines {
 public:
  MappingLines();
  ~MappingLines();
  MappingLines(const MappingLines&) = delete;
  MappingLines& operator=(const MappingLines&) = delete;

  // Takes the next line. equal receives the index of the earlier mapping
  // that a mapping update takes as the same (same code, same data sets),
  // or -1. False without memory.
  bool Add(std::string_view line, int32_t* equal);
  uint32_t Count() const;
  const char* Code(uint32_t i) const;  // as held: at most 7 characters
  uint32_t DataSetCount(uint32_t i) const;
  const char* DataSet(uint32_t i, uint32_t k) const;

 private:
  TvList* mappings_;
};

// The data-set identifier of an additional data file: its name without
// folder, up to the first dot, upper-cased.
void DataSetIdentifier(const char* fileName, char* out, size_t size);
