// The file layer: sharing, failures, data directories, data information,
// temporary files, renaming, times and directory scans.
#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "file_faults.h"
#include "kernel_fixture.h"

namespace {

class Files : public tvtest::KernelTest {
 protected:
  void SetUp() override { ASSERT_EQ(StartWith("[TvDefault]\n"), 0); }
  static TvStatus Open(const std::string& path, uint32_t mode, TvFileHandle* h, char* full = nullptr) {
    return TvFileOpen(full, nullptr, path.c_str(), nullptr, mode, h);
  }
  // Every entry a scan of the folder finds, with its kind, in order.
  static std::vector<std::string> Scan(const std::string& folder, uint32_t filter) {
    std::vector<std::string> seen;
    EXPECT_EQ(TvFileFindFirst((folder + "\\*").c_str(), filter), 0);
    char name[kTvPathSize];
    while (int kind = TvFileFindNext(name)) seen.push_back(std::string(name) + "/" + std::to_string(kind));
    TvFileFindClose();
    std::sort(seen.begin(), seen.end());
    return seen;
  }
};

TEST_F(Files, FileOpenModesAndFailures) {
  const std::string path = dir / "f.txt";
  TvFileHandle h;
  char full[kTvPathSize];
  EXPECT_EQ(Open(path, 0, &h, full), -1010);
  EXPECT_EQ(h, kTvNoFile);
  EXPECT_EQ(std::string(full), path);
  ASSERT_EQ(Open(path, TvFileCreate, &h), 0);
  EXPECT_EQ(TvFileWriteText(h, "a\nb\r\nc\rd"), 0);
  TvFileClose(h);
  EXPECT_EQ(Open(path, TvFileMustNotExist | TvFileCreate, &h), -1011);
  EXPECT_EQ(h, kTvNoFile);
  ASSERT_EQ(Open("+" + path, TvFileCreateRequest, &h), 0);
  TvFileWriteText(h, "\ne");
  TvFileClose(h);
  EXPECT_EQ(tvtest::ReadFile(path), "a\r\nb\r\nc\r\nd\r\ne");
  // Lines come back one by one, each with one line feed, whatever the line end.
  tvtest::WriteFile(path, "one\rtwo\r\nthree\nlast");
  ASSERT_EQ(Open(path, 0, &h), 0);
  char line[5];
  std::string lines;
  while (TvFileReadLine(h, line, sizeof line) > 0) lines += std::string(line) + "|";
  TvFileClose(h);
  EXPECT_EQ(lines, "one\n|two\n|thre|e\n|last|");
  // Recreate empties the file.
  ASSERT_EQ(Open(path, TvFileRecreate, &h), 0);
  EXPECT_EQ(TvFileSize(h), 0u);
  TvFileClose(h);
  EXPECT_EQ(TvFileDelete(path.c_str()), 0);
  EXPECT_EQ(TvFileDelete(path.c_str()), -1014);
  EXPECT_EQ(TvFileOpen(nullptr, nullptr, nullptr, nullptr, 0, nullptr), -1010);
  EXPECT_EQ(Open(dir / "missing\\f.txt", TvFileCreate, &h), -1028);
  TvFileClose(kTvNoFile);
  EXPECT_EQ(TvFileWriteText(kTvNoFile, "x"), -1013);
  EXPECT_EQ(TvFileReadLine(kTvNoFile, line, sizeof line), 0u);
  EXPECT_EQ(TvFileTruncateHere(kTvNoFile), -1013);
  // With LogTrace a failed open is traced, unless it is asked to be silent.
  TvKernelShutdown(0);
  ASSERT_EQ(StartLogging("LogTrace=1\n"), 0);
  const std::string missing = dir / "absent.dat";
  EXPECT_EQ(Open(missing, 0, &h), -1010);
  EXPECT_EQ(Open(missing, TvFileSilent, &h), -1010);
  EXPECT_EQ(Logged(), "! TvFileOpen(" + missing + " : -1) = File not found\r\n");
}

// Fault functions for the file layer's table, which holds system (stdcall) pointers.
BOOL WINAPI ShortWrite(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) {
  *written = 1;  // a short write is a failure too
  return TRUE;
}
DWORD fakeSize = 0;
DWORD WINAPI FakeSize(HANDLE, LPDWORD high) {
  *high = 0;
  return fakeSize;
}
template <DWORD error>
HANDLE WINAPI RefusedOpen(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

// Short writes are failures; sizes from 2 GiB up are too large.
TEST_F(Files, WriteFailuresAndSizesAreReported) {
  const std::string path = dir / "w.txt";
  TvFileHandle h;
  ASSERT_EQ(Open(path, TvFileCreate, &h), 0);
  uint32_t size = 1;
  tvSys.getFileSize = FakeSize;
  for (const auto& [fake, status] : {std::pair{DWORD{0x7FFFFFFF}, TvOk}, {DWORD{0x80000000}, TvErrFileTooLarge}}) {
    fakeSize = fake;
    EXPECT_EQ(TvFileGetSize(h, &size), status) << fake;
  }
  tvSys.writeFile = ShortWrite;
  EXPECT_EQ(TvFileWriteText(h, "abc"), -1013);
  EXPECT_EQ(TvFileWriteFill(h, ' ', 300), -1013);
  tvSys = kTvSysDefault;
  EXPECT_EQ(TvFileWriteFill(h, ' ', 300), 0);
  TvFileClose(h);
  EXPECT_EQ(tvtest::ReadFile(path), std::string(300, ' '));
}

// Reading lets others read but not write; writing, unless sharing is asked,
// lets no one in; another program's hold, and refusals of the system (the
// test machines run as an administrator, who may write anyway) give their codes.
TEST_F(Files, SharingAndRefusedAccess) {
  const std::string path = dir / "shared.txt";
  tvtest::WriteFile(path, "data");
  // clang-format off
  const struct { uint32_t first, second; TvStatus status; } kPairs[] = {
      {0, 0, 0}, {0, TvFileReadWrite, -1016}, {TvFileReadWrite, 0, -1016},
      {TvFileReadWrite | TvFileShareAll, TvFileReadWrite | TvFileShareAll, 0}};
  // clang-format on
  for (const auto& p : kPairs) {
    TvFileHandle a, b;
    ASSERT_EQ(Open(path, p.first, &a), 0);
    EXPECT_EQ(Open(path, p.second, &b), p.status) << p.first << " then " << p.second;
    TvFileClose(a);
    TvFileClose(b);
  }
  TvFileHandle h;
  {
    tvtest::Locked holder(path);
    EXPECT_EQ(Open(path, 0, &h), -1016);
    EXPECT_EQ(Open(path, TvFileMustNotExist, &h), -1011);
  }
  // clang-format off
  const struct { HANDLE(WINAPI* open)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
                 std::string path; uint32_t mode; TvStatus status; } kRefused[] = {
      {RefusedOpen<ERROR_ACCESS_DENIED>, path, TvFileReadWrite, -1016},
      {RefusedOpen<ERROR_ACCESS_DENIED>, path, TvFileReadWrite | TvFileMustNotExist, -1011},
      {RefusedOpen<ERROR_ACCESS_DENIED>, dir / "new.txt", TvFileCreate, -1016},
      {RefusedOpen<ERROR_PATH_NOT_FOUND>, path, 0, -1010},
      {RefusedOpen<ERROR_PATH_NOT_FOUND>, path, TvFileCreate, -1019},
      {RefusedOpen<ERROR_TOO_MANY_OPEN_FILES>, path, 0, -1018}};
  // clang-format on
  for (const auto& r : kRefused) {
    tvSys.createFile = r.open;
    EXPECT_EQ(Open(r.path, r.mode, &h), r.status) << r.path << " " << r.mode;
    EXPECT_EQ(h, kTvNoFile);
  }
  EXPECT_FALSE(tvtest::FileExists(dir / "new.txt"));
}

TEST_F(Files, DollarNamesSearchTheDataDirectories) {
  tvtest::TempDir one, two, three;
  ASSERT_EQ(TvDataDirAdd(one.path().c_str(), true), 0);
  ASSERT_EQ(TvDataDirAdd(two.path().c_str(), false), 0);
  ASSERT_EQ(TvDataDirAdd(three.path().c_str(), false), 0);
  tvtest::WriteFile(three / "GBR.dts", "three");
  tvtest::WriteFile(two / "USA.dts", "two");
  char full[kTvPathSize];
  TvFileHandle h;
  // The search starts where it succeeded last and wraps round; writing
  // starts with the first data directory.
  // clang-format off
  const struct { const char* name; const char* extension; uint32_t mode; TvStatus status; std::string full; } kCases[] = {
      {"$GBR", "dts", 0, 0, three / "GBR.dts"}, {"$\\USA.dts", nullptr, 0, 0, two / "USA.dts"},
      {"$FRA.dts", nullptr, 0, -1010, one / "FRA.dts"},  // the last one tried
      {"$NEW.dts", nullptr, TvFileCreate, 0, one / "NEW.dts"}};
  // clang-format on
  for (const auto& c : kCases) {
    EXPECT_EQ(TvFileOpen(full, nullptr, c.name, c.extension, c.mode, &h), c.status) << c.name;
    EXPECT_EQ(std::string(full), c.full);
    TvFileClose(h);
  }
}

TEST_F(Files, DataInformationFromTrailers) {
  const std::string data = dir / "GBR.dts";
  tvtest::WriteFile(data, "records");
  TvIniBuffer trailer{};
  ASSERT_EQ(TvIniLoadFile(&trailer, nullptr), 0);
  ASSERT_EQ(TvIniSetString(&trailer, "GBR", "Date", "12 09 2003 Autumn"), 0);
  ASSERT_EQ(TvIniSetString(&trailer, "GBR", "Copyright", "First owner"), 0);
  ASSERT_EQ(TvIniAddLine(&trailer, "Second owner"), 0);
  TvFileHandle h;
  ASSERT_EQ(Open(data, TvFileReadWrite, &h), 0);
  ASSERT_EQ(TvIniSaveTrailer(&trailer, h, 0), 0);
  TvFileClose(h);
  TvIniFree(&trailer);
  ASSERT_EQ(Open(data, TvFileDataInfo, &h), 0);
  EXPECT_EQ(TvFileTell(h), 0u);  // positioned at the data again
  TvFileClose(h);
  EXPECT_STREQ(tvDataInfo.date, "12 09 2003 Autumn");
  EXPECT_STREQ(tvDataInfo.description, "12 September 2003 (Autumn)");
  ASSERT_NE(tvDataInfo.copyright, nullptr);
  ASSERT_EQ(tvDataInfo.copyright->count, 2u);
  EXPECT_STREQ(static_cast<const char*>(tvDataInfo.copyright->items[1]), "Second owner");
  // Recorded again without the file, as a caller that kept them does: the
  // lines are added again; the first date stays, and starts a record anew.
  ASSERT_EQ(TvDataInfoRecordAgain("First owner\0Second owner", 2, "01 01 2001"), 0);
  ASSERT_EQ(tvDataInfo.copyright->count, 4u);
  EXPECT_STREQ(static_cast<const char*>(tvDataInfo.copyright->items[3]), "Second owner");
  EXPECT_STREQ(tvDataInfo.date, "12 09 2003 Autumn");
  const TvDataInfoRecord kept = tvDataInfo;
  tvDataInfo = TvDataInfoRecord{};
  ASSERT_EQ(TvDataInfoRecordAgain(nullptr, 0, "12 09 2003 Autumn"), 0);
  EXPECT_STREQ(tvDataInfo.description, "12 September 2003 (Autumn)");
  EXPECT_EQ(tvDataInfo.copyright, nullptr);
  tvDataInfo = kept;
  // A file without a date where one is required; a date other than the one expected.
  const std::string plain = dir / "plain.dts";
  tvtest::WriteFile(plain, "no trailer");
  EXPECT_EQ(Open(plain, TvFileDataDate, &h), -1017);
  EXPECT_EQ(h, kTvNoFile);
  EXPECT_TRUE(DeleteFileA(plain.c_str()));  // the refused file was closed again
  ASSERT_EQ(Open(data, TvFileDataExpected, &h), 0);
  TvFileClose(h);
  strcpy(tvDataInfo.date, "01 01 2001");
  EXPECT_EQ(Open(data, TvFileDataExpected, &h), -1017);
  // The trailer can become the configuration.
  ASSERT_EQ(Open(data, TvFileDataConfig, &h), 0);
  TvFileClose(h);
  char value[32];
  EXPECT_EQ(TvConfigGetString("GBR", "Date", "", value, sizeof value), 1);
  EXPECT_STREQ(value, "12 09 2003 Autumn");
}

TEST_F(Files, TemporaryFilesSkipNumbersInUse) {
  char full[kTvPathSize];
  TvFileHandle h;
  uint32_t first, second;
  ASSERT_EQ(TvFileCreateTemp(full, 0, &h, &first), 0);
  ASSERT_GT(first, 0u);
  TvFileClose(h);
  std::string folder(full);
  folder.resize(folder.rfind('\\'));
  std::vector<std::string> taken;
  for (uint32_t n : {first + 1, first + 2}) {
    char name[32];
    snprintf(name, sizeof name, "\\tv%06lu.tmp", static_cast<unsigned long>(n));
    taken.push_back(folder + name);
    tvtest::WriteFile(taken.back(), "taken");
  }
  ASSERT_EQ(TvFileCreateTemp(nullptr, 0, &h, &second), 0);
  EXPECT_EQ(second, first + 3);
  TvFileDeleteTemp(h, second);
  TvFileDeleteTemp(kTvNoFile, first);
  EXPECT_FALSE(tvtest::FileExists(full));
  for (const std::string& name : taken) DeleteFileA(name.c_str());
}

TEST_F(Files, DuplicateRenameAndTimes) {
  const std::string a = dir / "a.txt", b = dir / "b.txt";
  tvtest::WriteFile(a, "older");
  HANDLE raw = CreateFileA(a.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  FILETIME old{0x10000000, 0x01C00000};
  SetFileTime(raw, nullptr, nullptr, &old);
  CloseHandle(raw);
  tvtest::WriteFile(b, "newer");
  TvFileHandle ha, hb, copy;
  ASSERT_EQ(Open(a, 0, &ha), 0);
  ASSERT_EQ(Open(b, 0, &hb), 0);
  for (const auto& [x, y, order] : {std::tuple{ha, hb, -1}, {hb, ha, 1}, {ha, ha, 0}, {ha, kTvNoFile, 0}})
    EXPECT_EQ(TvFileCompareTimes(x, y), order);
  ASSERT_EQ(TvFileDuplicate(ha, &copy), 0);
  char text[8] = "";
  EXPECT_EQ(TvFileRead(copy, text, 5), 5u);
  EXPECT_STREQ(text, "older");
  uint32_t got = 1;  // at the end a checked read is no failure; a failed read is
  EXPECT_EQ(TvFileReadChecked(copy, text, 5, &got), 0);
  EXPECT_EQ(got, 0u);
  tvtest::FileFaults::ArmOpenAndRead(0, 1);
  EXPECT_EQ(TvFileReadChecked(copy, text, 5, &got), -1012);
  tvtest::FileFaults::Disarm();
  TvFileClose(copy);
  EXPECT_EQ(TvFileDuplicate(kTvNoFile, &copy), -1016);
  EXPECT_EQ(copy, kTvNoFile);
  TvFileClose(ha);
  TvFileClose(hb);
  EXPECT_EQ(TvFileRename(a.c_str(), (dir / "c.txt").c_str()), 0);
  EXPECT_EQ(tvtest::ReadFile(dir / "c.txt"), "older");
  EXPECT_EQ(TvFileRename(a.c_str(), (dir / "d.txt").c_str()), -1020);
  EXPECT_EQ(TvFileRename(nullptr, nullptr), -1020);
}

// A listing that breaks off after its first entry, as when the medium goes.
BOOL WINAPI BrokenNext(HANDLE, LPWIN32_FIND_DATAA) {
  SetLastError(ERROR_NETNAME_DELETED);
  return FALSE;
}

TEST_F(Files, DirectoryScansFilterTheirEntries) {
  const std::string folder = dir / "scan";
  CreateDirectoryA(folder.c_str(), nullptr);
  for (const char* name : {"plain", "data.ads", ".dotfile", "secret.txt"}) tvtest::WriteFile(folder + "\\" + name, "x");
  SetFileAttributesA((folder + "\\secret.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  CreateDirectoryA((folder + "\\sub").c_str(), nullptr);
  using Seen = std::vector<std::string>;
  EXPECT_EQ(Scan(folder, TvScanFiles), (Seen{"data.ads/1", "plain/1"}));
  EXPECT_EQ(Scan(folder, TvScanFiles | TvScanDot), (Seen{"data.ads/1", "plain./1"}));
  EXPECT_EQ(Scan(folder, TvScanDirs), (Seen{"sub/2"}));
  EXPECT_EQ(Scan(folder, TvScanFiles | TvScanHidden), (Seen{"data.ads/1", "plain/1", "secret.txt/9"}));
  // Nothing matching is no error; a missing folder is.
  EXPECT_EQ(TvFileFindFirst((dir / "*.none").c_str(), TvScanFiles), 0);
  EXPECT_EQ(TvFileFindNext(nullptr), 0);
  TvFileFindClose();
  EXPECT_EQ(TvFileFindFirst((dir / "missing\\*").c_str(), TvScanFiles), -1028);
  TvFileFindClose();
  EXPECT_EQ(TvFileFindFirst(nullptr, 0), -1028);
  TvFileFindClose();
  EXPECT_EQ(TvFileFindClose(), 0);
  // A listing that breaks off ends like a complete one; the close tells.
  tvSys.findNextFile = BrokenNext;
  TvThreadRecord()->lastCode = 0;
  ASSERT_EQ(TvFileFindFirst((folder + "\\*").c_str(), TvScanFiles | TvScanDirs | TvScanHidden), 0);
  int entries = 0;
  while (TvFileFindNext(nullptr)) ++entries;
  EXPECT_LE(entries, 1);
  EXPECT_EQ(TvThreadRecord()->lastCode, -1028);
  EXPECT_EQ(TvFileFindClose(), -1028);
  EXPECT_EQ(TvFileFindClose(), 0);
}

TEST_F(Files, OneScanAtATime) {
  tvtest::WriteFile(dir / "f", "x");
  ASSERT_EQ(TvFileFindFirst((dir / "*").c_str(), TvScanFiles), 0);
  bool otherFinished = false;
  std::thread other([&] {
    TvFileFindFirst((dir / "*").c_str(), TvScanFiles);
    otherFinished = true;
    TvFileFindClose();
  });
  Sleep(100);
  EXPECT_FALSE(otherFinished);  // waits for this scan to close
  TvFileFindClose();
  other.join();
  EXPECT_TRUE(otherFinished);
}

// The launcher's kernel raises nothing for a scan that cannot start or
// breaks off, but answers it all the same.
TEST_F(Files, LauncherKernelScansWithoutLockOrFilter) {
  TvKernelSetVariant(&kTvKernelLauncher);
  const std::string folder = dir / "l";
  CreateDirectoryA(folder.c_str(), nullptr);
  tvtest::WriteFile(folder + "\\f", "x");
  CreateDirectoryA((folder + "\\d").c_str(), nullptr);
  TvThreadRecord()->lastCode = 0;
  EXPECT_EQ(TvFileFindFirst((dir / "missing\\*").c_str(), TvScanFiles), -1028);
  EXPECT_EQ(TvFileFindClose(), 0);
  tvSys.findNextFile = BrokenNext;
  ASSERT_EQ(TvFileFindFirst((folder + "\\*").c_str(), TvScanFiles), 0);
  while (TvFileFindNext(nullptr)) {
  }
  EXPECT_EQ(TvFileFindClose(), -1028);
  EXPECT_EQ(TvThreadRecord()->lastCode, 0);
  tvSys = kTvSysDefault;
  EXPECT_EQ(Scan(folder, TvScanFiles), (std::vector<std::string>{"d/2", "f/1"}));  // files and folders alike
  TvKernelSetVariant(nullptr);
}

}  // namespace
