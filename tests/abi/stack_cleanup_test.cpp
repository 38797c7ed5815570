// Every export of TVISX.dll, called through a thunk that measures the stack
// pointer around the call: a stdcall export must remove exactly the argument
// bytes of its entry in the export list, an argument-less C-convention export
// none. An installer engine that calls an export whose cleanup differs from
// its declaration runs on with a shifted stack, and crashes later elsewhere.
//
// Each export is called with null and zero arguments (hostile input every
// export must answer with a status), before the kernel starts and while it
// runs, in a freshly loaded library.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "export_table.h"
#include "test_support.h"

// int32_t tv_call_measured(const void* routine, const uint32_t* args,
//                          uint32_t count, int32_t* removed)
// Pushes the count argument words (the first one last, as every 32-bit
// convention does) onto a 16-byte aligned stack, calls the routine, and
// stores how many bytes the routine took off the stack. Restores the stack
// from a saved register whatever the routine did.
extern "C" int32_t tv_call_measured(const void* routine, const uint32_t* args, uint32_t count, int32_t* removed);
asm(R"(
  .text
  .globl _tv_call_measured
_tv_call_measured:
  pushl %ebp
  movl  %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  movl  %esp, %ebx
  movl  12(%ebp), %esi
  movl  16(%ebp), %ecx
  leal  0(,%ecx,4), %eax
  subl  %eax, %esp
  andl  $-16, %esp
  addl  %eax, %esp
  leal  (%esi,%ecx,4), %edx
1:
  testl %ecx, %ecx
  jz    2f
  subl  $4, %edx
  pushl (%edx)
  decl  %ecx
  jmp   1b
2:
  movl  %esp, %edi
  call  *8(%ebp)
  movl  %esp, %ecx
  subl  %edi, %ecx
  movl  20(%ebp), %edx
  movl  %ecx, (%edx)
  movl  %ebx, %esp
  popl  %edi
  popl  %esi
  popl  %ebx
  popl  %ebp
  ret
)");

namespace {

using tvexport::Export;
using tvexport::kExports;

// The argument bytes of a stdcall export; an argument-less C-convention one removes none.
int32_t Expected(const Export& e) { return e.convention == tvexport::Convention::Stdcall ? 4 * e.count : 0; }

// Bytes the export took off the stack when called with zeroed arguments.
int32_t Removed(HMODULE module, const Export& e) {
  const void* routine = reinterpret_cast<const void*>(GetProcAddress(module, e.name));
  if (!routine) {
    ADD_FAILURE() << e.name << " is not exported";
    return -1;
  }
  const std::vector<uint32_t> zeros(Expected(e) / 4, 0);
  int32_t removed = -1;
  tv_call_measured(routine, zeros.data(), static_cast<uint32_t>(zeros.size()), &removed);
  return removed;
}

// The names in the export directory of a loaded module.
std::set<std::string> ExportedNames(HMODULE module) {
  auto* base = reinterpret_cast<const BYTE*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  std::set<std::string> out;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) out.insert(reinterpret_cast<const char*>(base + names[i]));
  return out;
}

const Export* Find(const char* name) {
  for (const Export& e : kExports)
    if (std::string(e.name) == name) return &e;
  return nullptr;
}

using StackCleanup = tvtest::FolderTest;

TEST_F(StackCleanup, EveryListedExportRemovesExactlyItsArgumentsBeforeStartAndWhileRunning) {
  tvtest::TempDir libDir;
  const Export *startup = Find("TvIsi_Startup"), *shutdown = Find("TvIsi_Shutdown");
  ASSERT_TRUE(startup && shutdown);
  {
    tvtest::ExtensionLibrary lib(libDir.path());
    ASSERT_NE(lib.module(), nullptr);
    std::set<std::string> listed;
    for (const Export& e : kExports) listed.insert(e.name);
    EXPECT_EQ(listed, ExportedNames(lib.module()));  // the list names every export of the library
  }
  tvtest::WriteFile(libDir / "TVISX.ini", "[TVISX]\nLogFile=" + (libDir / "install.log") + "\nLogErrors=Y\n");
  for (const Export& e : kExports) {
    SCOPED_TRACE(e.name);
    tvtest::ExtensionLibrary lib(libDir.path());
    ASSERT_NE(lib.module(), nullptr);
    EXPECT_EQ(Removed(lib.module(), e), Expected(e)) << "before start-up";
    EXPECT_EQ(Removed(lib.module(), *startup), Expected(*startup));
    EXPECT_EQ(Removed(lib.module(), e), Expected(e)) << "while running";
    EXPECT_EQ(Removed(lib.module(), *shutdown), Expected(*shutdown));
  }
}

}  // namespace
