// Hostile configuration files and settings through the library's exports,
// called the way an installer engine calls them: line ends of every kind,
// byte-order marks, NUL padding, names and values that would break the
// text, a PATH longer than 4 KB and allocator settings.
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

class HostileFiles : public tvtest::FolderTest {
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
  INT_PTR file = -1, buffer = 0;

  void SetUp() override {
    tvtest::WriteFile(libDir / "TVISX.ini", "[TVISX]\nLogFile=" + log + "\nLogErrors=Y\n");
    lib = new tvtest::ExtensionLibrary(libDir.path());
    ASSERT_EQ(lib->Get<Startup>("TvIsi_Startup")(), 0);
    open = lib->Get<IniOpen>("TvIsi_IniOpen");
    save = lib->Get<IniSave>("TvIsi_IniSave");
    close = lib->Get<IniClose>("TvIsi_IniClose");
    get = lib->Get<IniGet>("TvIsi_IniGetString");
    set = lib->Get<IniSet>("TvIsi_IniSetString");
  }
  void TearDown() override {
    lib->Get<Shutdown>("TvIsi_Shutdown")();
    delete lib;
  }
  // Writes the file's bytes and opens it.
  void Open(const std::string& bytes) {
    tvtest::WriteFile(ini, bytes);
    ASSERT_EQ(open(&file, &buffer, ini.c_str()), 0);
  }
  // Saves, closes and gives the bytes on disk.
  std::string SaveAndClose() {
    EXPECT_EQ(save(file, buffer), 0);
    close(file, buffer);
    return tvtest::ReadFile(ini);
  }
  std::string Get(const char* section, const char* key) {
    std::string value(512, '?');
    const int32_t status = get(buffer, section, key, value.data(), 512);
    return status ? "<" + std::to_string(status) + ">" : value.c_str();
  }
};

TEST_F(HostileFiles, LoneCarriageReturnsEndLinesAndASaveNeverJoinsTwo) {
  Open("[A]\rk=1\rj=2\r[B]\rm=3\r");
  EXPECT_EQ(Get("A", "j"), "2");
  EXPECT_EQ(Get("B", "m"), "3");
  EXPECT_EQ(set(buffer, "A", "n", "4"), 0);
  EXPECT_EQ(SaveAndClose(), "[A]\r\nk=1\r\nj=2\r\nn=4\r\n[B]\r\nm=3\r\n");
  Open("[A]\r\nk=1\nj=2\rl=3\r\n");
  EXPECT_EQ(SaveAndClose(), "[A]\r\nk=1\r\nj=2\r\nl=3\r\n");
}

TEST_F(HostileFiles, AByteOrderMarkIsKeptAndTheFirstSectionReadsNormally) {
  Open("\xEF\xBB\xBF[A]\r\nk=1\r\n");
  EXPECT_EQ(Get("A", "k"), "1");
  EXPECT_EQ(set(buffer, "A", "k", "2"), 0);
  EXPECT_EQ(SaveAndClose(), "\xEF\xBB\xBF[A]\r\nk=2\r\n");
}

TEST_F(HostileFiles, NulPaddingIsDroppedBySaving) {
  Open(std::string("[A]\r\nk=1\r\n\0\0\0\0", 14));
  EXPECT_EQ(Get("A", "k"), "1");
  EXPECT_EQ(SaveAndClose(), "[A]\r\nk=1\r\n");
}

TEST_F(HostileFiles, NamesThatCouldNotBeReadBackAreRefusedAndNeverFound) {
  using IniDelete = int32_t(__stdcall*)(INT_PTR, const char*, const char*);
  const auto remove = lib->Get<IniDelete>("TvIsi_IniDeleteString");
  const std::string k39(39, 'k');
  // A header that is a pattern, and TvDefault, which every other section falls back on.
  const std::string original = "[A]\r\n" + k39 + "=short\r\n[Data*]\r\nk=pattern\r\n[TvDefault]\r\nk=default\r\n";
  Open(original);
  const std::string s80(80, 's'), huge(10000, 'h'), k40 = k39 + "X";
  for (const std::string& section :
       {s80, huge, huge, huge, std::string("A*"), std::string("Data?"), std::string("Data*"), std::string("*")}) {
    EXPECT_EQ(set(buffer, section.c_str(), "k", "v"), -1096) << section.size();
    EXPECT_EQ(Get(section.c_str(), "k"), "<-8100>");  // not even from TvDefault
    EXPECT_EQ(remove(buffer, section.c_str(), "k"), -1096);
  }
  EXPECT_EQ(Get("DataX", "k"), "pattern");  // the header still serves the names it matches
  EXPECT_EQ(Get("Other", "k"), "default");
  EXPECT_EQ(set(buffer, "A", k40.c_str(), "long"), -1096);
  EXPECT_EQ(Get("A", k40.c_str()), "<-8100>");
  EXPECT_EQ(remove(buffer, "A", k40.c_str()), -1096);
  EXPECT_EQ(Get("A", k39.c_str()), "short");
  EXPECT_EQ(SaveAndClose(), original);
}

TEST_F(HostileFiles, LineEndsInAValueOnlyEverMakeContinuationLines) {
  Open("[A]\r\nk=1\r\n");
  EXPECT_EQ(set(buffer, "A", "k", "x\r[Evil]\rServerAddress=TVTCPIP:h"), 0);
  EXPECT_EQ(SaveAndClose(), "[A]\r\nk=x\r\n+[Evil]\r\n+ServerAddress=TVTCPIP:h\r\n");
  ASSERT_EQ(open(&file, &buffer, ini.c_str()), 0);
  EXPECT_EQ(Get("Evil", "ServerAddress"), "<-8100>");
  close(file, buffer);
}

// Start-up with a configuration of the test's own making.
class HostileSetup : public tvtest::FolderTest {
 protected:
  tvtest::TempDir libDir;
  std::string log = libDir / "install.log";
};

TEST_F(HostileSetup, TheConfigurationIsFoundAlongAPathLongerThan4KB) {
  tvtest::TempDir configDir;
  const std::string found = configDir / "found.log";
  tvtest::WriteFile(configDir / "TVISX.ini", "[TVISX]\nLogFile=" + found + "\n");
  std::string path;
  for (int i = 0; path.size() < 5000; ++i) path += dir / ("missing" + std::to_string(i)) + ";";
  char system[32768];
  const DWORD n = GetEnvironmentVariableA("PATH", system, sizeof system);
  path += configDir.path() + (n > 0 && n < sizeof system ? ";" + std::string(system) : "");
  tvtest::ScopedEnv env("PATH", path.c_str());
  tvtest::ExtensionLibrary(libDir.path()).StartAndStop(0);
  EXPECT_EQ(tvtest::ReadFile(found), "> TvIsi_Startup< TvIsi_Startup = 0\r\n");
}

TEST_F(HostileSetup, MemBlocksAreInOrderAsConfigured) {
  const std::string head = "[TVISX]\nLogFile=" + log + "\nLogErrors=Y\nMemAllocator=Pooled\nMemBlocks=2\n";
  tvtest::ExtensionLibrary lib(libDir.path());
  tvtest::WriteFile(libDir / "TVISX.ini", head + "+6,10\n+7,10\n");
  lib.StartAndStop(0);  // two classes of 8 bytes
  tvtest::WriteFile(libDir / "TVISX.ini", head + "+8,10\n+8,10\n");
  lib.StartAndStop(-1033);
  EXPECT_NE(tvtest::ReadFile(log).find(
                "> Invalid memory configuration (8 < previous blocksize, 8. Settings must be in size order)"),
            std::string::npos)
      << tvtest::ReadFile(log);
}

}  // namespace
