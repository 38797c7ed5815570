// Saving an ini text over a file and to a new path, with faults injected at
// every step.
#include <string>

#include "file_faults.h"
#include "ini_fixture.h"

namespace {

using tvtest::FileFaults;
using tvtest::Ini;
using tvtest::Invariants;

// Saving over a file with a fault at every step: the file afterwards holds
// its old bytes or the whole new text, nothing in between.
class IniSave : public Ini {
 protected:
  static DWORD WINAPI SizeFault(HANDLE, LPDWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  // Existing files are read-only, and nothing new can be made.
  static HANDLE WINAPI ReadOnlyDisk(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                    DWORD disposition, DWORD attributes, HANDLE model) {
    const bool exists = GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
    if (((access & GENERIC_WRITE) && exists) || disposition == CREATE_ALWAYS) {
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(name, access, share, security, disposition, attributes, model);
  }
  static void FailWrite(int at, bool lastingFault = false) {
    FileFaults::Arm(at, !lastingFault);
    FileFaults::half = !lastingFault;
  }
  std::string path = dir / "over.ini";
  // Writes old to the file and saves the buffer over it through an open
  // handle. Two kinds of fault: the failing write gets half its bytes onto
  // the disk and later writes work again, or (lasting) nothing more gets
  // onto the disk from the failing write on, not even over bytes already there.
  TvStatus SaveOver(const std::string& old, int failAt, bool lastingFault = false, bool cutRefused = false) {
    tvtest::WriteFile(path, old);
    TvFileHandle h;
    EXPECT_EQ(TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, TvFileReadWrite, &h), 0);
    FailWrite(failAt, lastingFault);
    FileFaults::refuseSetEnd = cutRefused;
    const TvStatus status = TvIniSaveHandle(&ini, h);
    FileFaults::Disarm();
    TvFileClose(h);
    return status;
  }
};

TEST_F(IniSave, AFaultAtAnyPointLeavesTheOldBytesOrTheWholeNewText) {
  auto onDisk = [](size_t n, char c) { return "[S]\r\nk=" + std::string(n, c) + "\r\n"; };
  // clang-format off
  const struct { const char* name; size_t oldSize, newSize; } cases[] = {
      {"grows", 35000, 45000}, {"shrinks", 45000, 35000}, {"same length", 40000, 40000}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string old = onDisk(c.oldSize, 'o'), text = onDisk(c.newSize, 'n');
    ASSERT_EQ(TvIniLoadText(&ini, text.data(), static_cast<uint32_t>(text.size())), 0);
    ASSERT_EQ(SaveOver(old, 0), 0);
    ASSERT_EQ(tvtest::ReadFile(path), text);
    const int all = FileFaults::writes;  // the blanks of a growing text, then the text
    for (int k = 1; k <= all; ++k) {
      for (bool lastingFault : {false, true}) {
        EXPECT_EQ(SaveOver(old, k, lastingFault), -1013) << "write " << k;
        EXPECT_TRUE(tvtest::ReadFile(path) == old)
            << "write " << k << " of " << all << (lastingFault ? ", lasting" : "");
      }
    }
    // A refused cut: blanks cover the rest of a longer old text.
    EXPECT_EQ(SaveOver(old, 0, false, true), 0);
    const size_t blanks = old.size() > text.size() ? old.size() - text.size() : 0;
    EXPECT_TRUE(tvtest::ReadFile(path) == text + std::string(blanks, ' '));
    // And when the blanks cannot be written either, the old text comes back.
    if (blanks) {
      EXPECT_EQ(SaveOver(old, all + 1, false, true), -1013);
      EXPECT_TRUE(tvtest::ReadFile(path) == old);
    }
  }
}

TEST_F(IniSave, OldBytesThatCannotBeKeptStopTheSaveBeforeAnyChange) {
  Load("[S]\nk=new\n");
  const std::string old = "[S]\r\nk=" + std::string(5000, 'o') + "\r\n";
  FileFaults::ArmOpenAndRead(0, 1);  // the reading of the old bytes fails
  EXPECT_EQ(SaveOver(old, 0), -1012);
  EXPECT_EQ(FileFaults::writes, 0);
  EXPECT_TRUE(tvtest::ReadFile(path) == old);
  tvSys.getFileSize = SizeFault;
  EXPECT_EQ(SaveOver(old, 0), -1012);
  EXPECT_TRUE(tvtest::ReadFile(path) == old);
  tvSys.getFileSize = kTvSysDefault.getFileSize;
  LimitMemory();  // no room for the old bytes
  EXPECT_EQ(SaveOver(old, 0), -1001);
  EXPECT_EQ(FileFaults::writes, 0);
  EXPECT_TRUE(tvtest::ReadFile(path) == old);
  Unlimited();
  // No text, no file.
  TvIniBuffer empty{};
  EXPECT_EQ(TvIniSaveHandle(&empty, kTvNoFile), -1010);
  EXPECT_EQ(TvIniSaveHandle(nullptr, kTvNoFile), -1010);
  EXPECT_EQ(TvIniSaveHandle(&ini, kTvNoFile), -1013);
}

// A save through a handle keeps it open for the next; a plain write goes at
// the position without cutting the file.
TEST_F(IniSave, TheHandleStaysOpenForTheNextSave) {
  Load("[S]\nk=" + std::string(300, 'a') + "\n");
  tvtest::WriteFile(path, "old");
  TvFileHandle h;
  ASSERT_EQ(TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, TvFileReadWrite, &h), 0);
  ASSERT_EQ(TvIniSaveHandle(&ini, h), 0);
  ASSERT_EQ(TvIniSetString(&ini, "S", "k", "short"), 0);
  ASSERT_EQ(TvIniSaveHandle(&ini, h), 0);
  ASSERT_EQ(TvIniSetString(&ini, "S", "k", nullptr), 0);
  ASSERT_EQ(TvIniSaveHandle(&ini, h), 0);
  TvFileClose(h);
  EXPECT_EQ(tvtest::ReadFile(path), "[S]\r\n");
  Load("[S]\nk=v\n");
  tvtest::WriteFile(path, "0123456789ABCDEFGHIJ");
  ASSERT_EQ(TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, TvFileReadWrite, &h), 0);
  ASSERT_EQ(TvFileSeek(h, 2), 0);
  ASSERT_EQ(TvIniWriteHandle(&ini, h), 0);
  TvFileClose(h);
  EXPECT_EQ(tvtest::ReadFile(path), "01[S]\r\nk=v\r\nCDEFGHIJ");
}

TEST_F(IniSave, SavingToAPathKeepsAnOldFileAndRemovesAFailedNewOne) {
  Load("[S]\nk=" + std::string(40000, 'n') + "\n");
  const std::string text = "[S]\r\nk=" + std::string(40000, 'n') + "\r\n";
  // A new file that cannot be written completely is not left behind.
  const std::string fresh = dir / "fresh.ini";
  FailWrite(1);
  EXPECT_EQ(TvIniSaveFile(&ini, (dir / "fresh").c_str()), -1013);
  EXPECT_FALSE(tvtest::FileExists(fresh));
  FileFaults::Disarm();
  ASSERT_EQ(TvIniSaveFile(&ini, (dir / "fresh").c_str()), 0);  // default extension "ini"
  EXPECT_TRUE(tvtest::ReadFile(fresh) == text);
  // An old file, even an empty one, keeps its bytes.
  for (const std::string& old : {std::string("[S]\r\nk=old\r\n"), std::string()}) {
    tvtest::WriteFile(path, old);
    FailWrite(1);
    EXPECT_EQ(TvIniSaveFile(&ini, path.c_str()), -1013);
    EXPECT_TRUE(tvtest::FileExists(path));
    EXPECT_TRUE(tvtest::ReadFile(path) == old);
  }
  FileFaults::Disarm();
  // A file that cannot be opened is left alone: held by another, or refused.
  tvtest::WriteFile(path, "[S]\r\nk=old\r\n");
  {
    tvtest::Locked holder(path);
    EXPECT_EQ(TvIniSaveFile(&ini, path.c_str()), -1016);
  }
  tvSys.createFile = ReadOnlyDisk;
  EXPECT_EQ(TvIniSaveFile(&ini, path.c_str()), -1016);
  EXPECT_EQ(TvIniSaveFile(&ini, fresh.c_str()), -1016);
  EXPECT_EQ(TvIniSaveFile(&ini, (dir / "new2.ini").c_str()), -1019);
  EXPECT_FALSE(tvtest::FileExists(dir / "new2.ini"));
  EXPECT_EQ(tvtest::ReadFile(path), "[S]\r\nk=old\r\n");
  EXPECT_TRUE(tvtest::ReadFile(fresh) == text);
}

}  // namespace
