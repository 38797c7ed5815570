// export_calls.cpp: tvengine's table of the library's exports, made from
// the export list, and the call of an export with its arguments.
#include <algorithm>
#include <array>

#include "engine.h"

namespace tvengine {
namespace {

constexpr Kind KindOf(tvexport::Kind kind) {
  switch (kind) {
    case tvexport::Kind::StringIn: return Kind::StringIn;
    case tvexport::Kind::StringOut: return Kind::StringOut;
    case tvexport::Kind::NumberOut:
    case tvexport::Kind::HandleOut: return Kind::NumberOut;
    default: return Kind::NumberIn;
  }
}

constexpr auto kExports = [] {
  std::array<Export, tvexport::kExportCount> table{};
  for (size_t i = 0; i < table.size(); ++i) {
    const tvexport::Export& e = tvexport::kExports[i];
    Signature sig{e.count};
    for (int k = 0; k < e.count; ++k)
      sig.params[k] = {KindOf(e.parameters[k].kind), e.parameters[k].capacity, e.parameters[k].capacityArgument};
    table[i] = {e.name, sig, e.result == tvexport::Result::Nothing ? Returns::Nothing : Returns::Int32};
  }
  return table;
}();

// Every argument is one pointer-sized word (a 32-bit stack word in the
// deliverable): strings and out parameters as pointers, numbers as integers.
// Argument-less exports use the C convention, all others stdcall.
using Call0 = int32_t (*)(void);
using Call1 = int32_t(__stdcall*)(INT_PTR);
using Call2 = int32_t(__stdcall*)(INT_PTR, INT_PTR);
using Call3 = int32_t(__stdcall*)(INT_PTR, INT_PTR, INT_PTR);
using Call4 = int32_t(__stdcall*)(INT_PTR, INT_PTR, INT_PTR, INT_PTR);
using Call5 = int32_t(__stdcall*)(INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR);
using Call6 = int32_t(__stdcall*)(INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR);
using Call7 = int32_t(__stdcall*)(INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR);
using Call8 = int32_t(__stdcall*)(INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR);

template <typename F>
F As(FARPROC proc) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(proc));
}

}  // namespace

const Export* FindExport(std::string_view name) {
  for (const Export& e : kExports)
    if (name == e.name) return &e;
  return nullptr;
}

const Export* FindExportIgnoringCase(std::string_view name) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (const Export& e : kExports) {
    std::string_view candidate = e.name;
    if (candidate.size() == name.size() &&
        std::equal(name.begin(), name.end(), candidate.begin(), [&](char a, char b) { return lower(a) == lower(b); }))
      return &e;
  }
  return nullptr;
}

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::StringIn: return "string in";
    case Kind::NumberIn: return "number in";
    case Kind::StringOut: return "string out";
    case Kind::NumberOut: return "number out";
  }
  return "?";
}

// Exports without a result leave the return register undefined; the caller
// ignores what it reads.
int32_t Invoke(FARPROC p, int count, const INT_PTR* a) {
  switch (count) {
    case 0: return As<Call0>(p)();
    case 1: return As<Call1>(p)(a[0]);
    case 2: return As<Call2>(p)(a[0], a[1]);
    case 3: return As<Call3>(p)(a[0], a[1], a[2]);
    case 4: return As<Call4>(p)(a[0], a[1], a[2], a[3]);
    case 5: return As<Call5>(p)(a[0], a[1], a[2], a[3], a[4]);
    case 6: return As<Call6>(p)(a[0], a[1], a[2], a[3], a[4], a[5]);
    case 7: return As<Call7>(p)(a[0], a[1], a[2], a[3], a[4], a[5], a[6]);
    case 8: return As<Call8>(p)(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
  }
  return 0;
}

}  // namespace tvengine
