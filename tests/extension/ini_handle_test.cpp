// The ini handle family through the library's exports, called the way an
// installer engine calls them.
#include <string>

#include "test_support.h"

namespace {

using Startup = int32_t (*)(void);
using Shutdown = void (*)(void);
using IniOpen = int32_t(__stdcall*)(INT_PTR*, INT_PTR*, const char*);
using IniSave = int32_t(__stdcall*)(INT_PTR, INT_PTR);
using IniClose = void(__stdcall*)(INT_PTR, INT_PTR);
using IniGet = int32_t(__stdcall*)(INT_PTR, const char*, const char*, char*, int32_t);
using IniSet = int32_t(__stdcall*)(INT_PTR, const char*, const char*, const char*);
using IniDelete = int32_t(__stdcall*)(INT_PTR, const char*, const char*);
using IniCopy = int32_t(__stdcall*)(INT_PTR, INT_PTR, const char*, const char*);

class IniHandles : public tvtest::FolderTest {
 protected:
  tvtest::TempDir libDir;
  std::string log = libDir / "install.log";
  std::string ini = dir / "tvwserve.ini";
  tvtest::ExtensionLibrary* lib = nullptr;
  IniOpen open;
  IniSave save;
  IniClose close;
  IniGet get;
  IniSet set;
  IniDelete remove;
  IniCopy copy;
  IniSet add, removeStrings;

  void SetUp() override {
    tvtest::WriteFile(libDir / "TVISX.ini", "[TVISX]\nLogFile=" + log + "\nLogErrors=Y\n");
    lib = new tvtest::ExtensionLibrary(libDir.path());
    ASSERT_EQ(lib->Get<Startup>("TvIsi_Startup")(), 0);
    open = lib->Get<IniOpen>("TvIsi_IniOpen");
    save = lib->Get<IniSave>("TvIsi_IniSave");
    close = lib->Get<IniClose>("TvIsi_IniClose");
    get = lib->Get<IniGet>("TvIsi_IniGetString");
    set = lib->Get<IniSet>("TvIsi_IniSetString");
    remove = lib->Get<IniDelete>("TvIsi_IniDeleteString");
    copy = lib->Get<IniCopy>("TvIsi_IniCopySetting");
    add = lib->Get<IniSet>("TvIsi_IniAddString");
    removeStrings = lib->Get<IniSet>("TvIsi_IniRemoveStrings");
  }
  void TearDown() override {
    lib->Get<Shutdown>("TvIsi_Shutdown")();
    delete lib;
  }
  std::string Get(INT_PTR buffer, const char* section, const char* key, int32_t capacity = 512) {
    std::string value(static_cast<size_t>(capacity > 0 ? capacity : 1), '?');
    int32_t status = get(buffer, section, key, value.data(), capacity);
    if (status != 0) return "<" + std::to_string(status) + ">";
    return value.c_str();
  }
  std::string Log() {
    lib->Get<Shutdown>("TvIsi_Shutdown")();
    std::string text = tvtest::ReadFile(log);
    lib->Get<Startup>("TvIsi_Startup")();
    return text;
  }
};

TEST_F(IniHandles, MultiLineValuesCrossTheInterfaceAsLinesJoinedByLineFeeds) {
  tvtest::WriteFile(ini, "[S]\r\nold=1\r\n");
  INT_PTR file = -5, buffer = 0;
  ASSERT_EQ(open(&file, &buffer, ini.c_str()), 0);
  ASSERT_NE(file, -1);
  ASSERT_NE(buffer, 0);
  EXPECT_EQ(set(buffer, "S", "K", "a\nb"), 0);
  EXPECT_EQ(set(buffer, "S", "E", "x\n"), 0);  // a final line feed: an empty "+" line
  EXPECT_EQ(save(file, buffer), 0);
  close(file, 0);  // the file is locked while open
  EXPECT_EQ(tvtest::ReadFile(ini), "[S]\r\nold=1\r\nK=a\r\n+b\r\nE=x\r\n+\r\n");
  EXPECT_EQ(Get(buffer, "S", "K"), "a\nb");
  EXPECT_EQ(Get(buffer, "S", "E"), "x\n");
  set(buffer, "S", "C", "abcdef");
  EXPECT_EQ(Get(buffer, "S", "C", 5), "abcd");
  EXPECT_EQ(Get(buffer, "S", "K", 3), "a\n");
  EXPECT_EQ(Get(buffer, "S", "missing"), "<-8100>");
  EXPECT_EQ(remove(buffer, "S", "K"), 0);
  EXPECT_EQ(Get(buffer, "S", "K"), "<-8100>");
  close(-1, buffer);
}

TEST_F(IniHandles, SavingAShorterTextCutsTheFile) {
  tvtest::WriteFile(ini, "[S]\r\nlong=" + std::string(200, 'x') + "\r\n");
  INT_PTR file, buffer;
  ASSERT_EQ(open(&file, &buffer, ini.c_str()), 0);
  EXPECT_EQ(set(buffer, "S", "long", "y"), 0);
  EXPECT_EQ(save(file, buffer), 0);
  close(file, buffer);
  EXPECT_EQ(tvtest::ReadFile(ini), "[S]\r\nlong=y\r\n");
  ASSERT_EQ(open(&file, &buffer, ini.c_str()), 0);
  EXPECT_EQ(set(buffer, "S", "long", std::string(300, 'z').c_str()), 0);  // a line is cut at 255
  EXPECT_EQ(save(file, buffer), 0);
  close(file, buffer);
  EXPECT_EQ(tvtest::ReadFile(ini), "[S]\r\nlong=" + std::string(255, 'z') + "\r\n");
}

TEST_F(IniHandles, AddingAndRemovingListEntries) {
  tvtest::WriteFile(ini, "[TvDefault]\r\nInstalledData=GBR,C:\\Data\r\n+usa,D:\\Data\r\n");
  INT_PTR file, buffer;
  ASSERT_EQ(open(&file, &buffer, ini.c_str()), 0);
  EXPECT_EQ(add(buffer, "TvDefault", "InstalledData", "USA,D:\\Data\nFRA,E:\\Data"), 0);
  EXPECT_EQ(Get(buffer, "TvDefault", "InstalledData"), "GBR,C:\\Data\nUSA,D:\\Data\nFRA,E:\\Data");
  EXPECT_EQ(removeStrings(buffer, "TvDefault", "InstalledData", "gbr,c:\\data"), 0);
  EXPECT_EQ(Get(buffer, "TvDefault", "InstalledData"), "USA,D:\\Data\nFRA,E:\\Data");
  EXPECT_EQ(removeStrings(buffer, "TvDefault", "Absent", "x"), 0);
  EXPECT_EQ(Get(buffer, "TvDefault", "Absent"), "");  // created empty
  close(file, buffer);
}

TEST_F(IniHandles, CopyingBetweenTwoOpenFiles) {
  const std::string other = dir / "other.ini";
  tvtest::WriteFile(ini, "[S]\r\nlist=a\r\n+b\r\n");
  tvtest::WriteFile(other, "[S]\r\nkeep=1\r\n");
  INT_PTR f1, b1, f2, b2;
  ASSERT_EQ(open(&f1, &b1, ini.c_str()), 0);
  ASSERT_EQ(open(&f2, &b2, other.c_str()), 0);
  EXPECT_EQ(copy(b1, b2, "S", "missing"), -8100);
  EXPECT_EQ(Get(b2, "S", "missing"), "<-8100>");
  EXPECT_EQ(copy(b1, b2, "S", "list"), 0);
  EXPECT_EQ(save(f2, b2), 0);
  close(f1, b1);
  close(f2, b2);
  EXPECT_EQ(tvtest::ReadFile(other), "[S]\r\nkeep=1\r\nlist=a\r\n+b\r\n");
}

TEST_F(IniHandles, TheOpenFileIsLockedAndCloseWithoutBufferOnlyClosesTheFile) {
  tvtest::WriteFile(ini, "[S]\r\nk=v\r\n");
  INT_PTR file, buffer, file2, buffer2;
  ASSERT_EQ(open(&file, &buffer, ini.c_str()), 0);
  EXPECT_EQ(open(&file2, &buffer2, ini.c_str()), -1016);
  EXPECT_EQ(file2, -1);
  ASSERT_NE(buffer2, 0);  // returned all the same, and closed like any other
  close(file2, buffer2);
  close(file, 0);
  EXPECT_EQ(Get(buffer, "S", "k"), "v");  // the buffer lives on
  ASSERT_EQ(open(&file2, &buffer2, ini.c_str()), 0);  // the file is free again
  close(file2, buffer2);
  close(-1, buffer);
}

TEST_F(IniHandles, MissingFileGivesAnEmptyBufferToClose) {
  INT_PTR file, buffer;
  EXPECT_EQ(open(&file, &buffer, (dir / "absent.ini").c_str()), -1010);
  EXPECT_EQ(file, -1);
  EXPECT_EQ(Get(buffer, "S", "k"), "<-8100>");
  EXPECT_EQ(set(buffer, "S", "k", "v"), -1010);
  close(file, buffer);
}

TEST_F(IniHandles, HostileHandlesAndStrings) {
  tvtest::WriteFile(ini, "[S]\r\nk=v\r\n");
  INT_PTR file, buffer;
  ASSERT_EQ(open(&file, &buffer, ini.c_str()), 0);
  // Handles the library never gave out, or gave out and took back.
  for (INT_PTR bogus : {INT_PTR{1}, INT_PTR{0}, INT_PTR{-1}, buffer + 8, INT_PTR{0x7FFFFFF0}}) {
    char value[16] = "unchanged";
    EXPECT_EQ(get(bogus, "S", "k", value, sizeof value), -1040);
    EXPECT_STREQ(value, "unchanged");
    EXPECT_EQ(set(bogus, "S", "k", "v"), -1040);
    EXPECT_EQ(remove(bogus, "S", "k"), -1040);
    EXPECT_EQ(copy(bogus, buffer, "S", "k"), -1040);
    EXPECT_EQ(copy(buffer, bogus, "S", "k"), -1040);
    EXPECT_EQ(add(bogus, "S", "k", "x"), -1040);
    EXPECT_EQ(removeStrings(bogus, "S", "k", "x"), -1040);
    EXPECT_EQ(save(file, bogus), -1040);
    close(-1, bogus);
  }
  EXPECT_EQ(save(12345, buffer), -1040);  // a file the library did not open
  // NULL strings are empty texts; capacity 0 writes nothing.
  INT_PTR f2, b2;
  EXPECT_EQ(open(&f2, &b2, nullptr), -1010);
  close(f2, b2);
  EXPECT_EQ(open(nullptr, &b2, ini.c_str()), -1042);  // no place for the handles: nothing is opened
  EXPECT_EQ(set(buffer, nullptr, "k", nullptr), 0);    // section "" and an empty value
  EXPECT_EQ(Get(buffer, "", "k"), "");
  char value[4] = "abc";
  EXPECT_EQ(get(buffer, "S", "k", value, 0), 0);
  EXPECT_STREQ(value, "abc");
  EXPECT_EQ(get(buffer, "S", "k", nullptr, 100), 0);
  EXPECT_EQ(get(buffer, nullptr, nullptr, value, 4), -8100);
  // A 64 KiB value: lines are cut at 255 characters.
  const std::string big(65536, 'b');
  EXPECT_EQ(set(buffer, "S", "big", big.c_str()), 0);
  EXPECT_EQ(Get(buffer, "S", "big", 1000), std::string(255, 'b'));
  EXPECT_EQ(add(buffer, "S", "list", big.c_str()), 0);
  EXPECT_EQ(Get(buffer, "S", "list", 1000), std::string(255, 'b'));
  close(file, buffer);
  close(file, buffer);  // a second close is refused, nothing freed twice
}

}  // namespace
