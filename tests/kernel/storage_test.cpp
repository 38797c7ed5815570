// What the kernel's start-up reads with: the ini lookups, path building, file
// opening and the text helpers; with hostile input for each.
#include <cstring>
#include <string>

#include "kernel_fixture.h"
#include "tv_charset.h"
#include "tv_error.h"
#include "tv_file.h"
#include "tv_history.h"
#include "tv_ini.h"
#include "tv_log.h"
#include "tv_path.h"
#include "tv_string.h"

namespace {

class Storage : public tvtest::KernelTest {
 protected:
  void SetUp() override { ASSERT_EQ(StartWith("[TvDefault]\n"), 0); }
  ~Storage() override {
    TvIniFree(&ini);
    tvFileSys = kTvFileSysDefault;
  }
  TvIniBuffer ini{};
  void Load(const std::string& text) {
    std::string path = dir / "t.ini";
    tvtest::WriteFile(path, text);
    ASSERT_EQ(TvIniLoadFile(&ini, path.c_str()), 0);
  }
  std::string Get(const char* section, const char* key) {
    char out[256];
    TvIniGetString(&ini, section, key, "<none>", out, sizeof out);
    return out;
  }
};

TEST_F(Storage, LoadRemovesCarriageReturnsAndAddsTheEndMark) {
  Load("[A]\r\nk=v\r\n");
  EXPECT_EQ(ini.length, 8u);
  EXPECT_EQ(ini.capacity, 13u);  // file size + 3
  EXPECT_EQ(std::string(ini.text, ini.length + 3), std::string("[A]\nk=v\n\n[\0", 11));
  EXPECT_EQ(ini.useCount, 1);
}

TEST_F(Storage, KeysAreTakenLiterally) {
  Load("[S]\nkey = value\nKey2=  spaced  \n;c=comment\n+cont=no\nlast=1");
  EXPECT_EQ(Get("S", "key"), "<none>");
  EXPECT_EQ(Get("S", "key "), " value");
  EXPECT_EQ(Get("S", "KEY2"), "  spaced");
  EXPECT_EQ(Get("S", ";c"), "comment");
  EXPECT_EQ(Get("S", "last"), "1");
  EXPECT_EQ(Get("S", "las"), "<none>");
  EXPECT_EQ(Get("S", "lastx"), "<none>");
}

TEST_F(Storage, SectionsFirstMatchAndPatterns) {
  Load("before=x\n[A]\nk=upper\n[a]\nk=lower\n[Data*]\nk=data\n[*a]\nk=star-a\n[D?t]\nk=dot\n");
  EXPECT_EQ(Get(nullptr, "k"), "upper");  // no section and none cached: the first one
  EXPECT_EQ(Get(nullptr, "before"), "<none>");
  EXPECT_EQ(Get("a", "k"), "upper");
  EXPECT_EQ(Get("DataX", "k"), "data");
  EXPECT_EQ(Get("Data", "k"), "data");
  EXPECT_EQ(Get("DAT", "k"), "dot");
  EXPECT_EQ(Get("aba", "k"), "<none>");  // "*a" takes the first "a" only
  EXPECT_EQ(Get("ba", "k"), "star-a");
  EXPECT_EQ(Get(nullptr, "k"), "star-a");  // no section: the one looked up last
  TvIniSetFlags(&ini, TvIniExactSection);
  EXPECT_EQ(Get("DataX", "k"), "<none>");
  EXPECT_EQ(Get("data*", "k"), "data");
  EXPECT_FALSE(TvIniSectionMatch("Data", 4, "D*"));
  EXPECT_TRUE(TvIniSectionMatch("D*", 2, "Data"));
  EXPECT_TRUE(TvIniSectionMatch("*", 1, ""));
  EXPECT_FALSE(TvIniSectionMatch("?", 1, ""));
}

TEST_F(Storage, TvDefaultFallBackAndItsSwitches) {
  Load("[S]\nown=1\n[TvDefault]\nshared=2\n");
  EXPECT_EQ(Get(nullptr, "shared"), "<none>");  // the first section, no fall-back
  EXPECT_EQ(Get("S", "shared"), "2");
  EXPECT_EQ(Get("Missing", "shared"), "2");
  TvIniSetFlags(&ini, TvIniNoDefault);
  EXPECT_EQ(Get("S", "shared"), "<none>");
}

TEST_F(Storage, PrefixAndBareKey) {
  Load("[S]\nNewKey=prefixed\nOther=bare\n");
  TvIniSetPrefix(&ini, "New");
  EXPECT_EQ(Get("S", "Key"), "prefixed");
  EXPECT_EQ(Get("S", "Other"), "<none>");
  TvIniSetFlags(&ini, TvIniBareKey);
  EXPECT_EQ(Get("S", "Other"), "bare");
  TvIniSetPrefix(&ini, std::string(100, 'p').c_str());
  EXPECT_EQ(strlen(ini.prefix), 39u);
}

TEST_F(Storage, NumbersSwitchesAndContinuationLines) {
  Load("[S]\nhex=0x1F\nneg=-0x10\nbad=x1\nquote='A\nsep=/5\nbig=99999999999\nsw= on\n"
       "list=a\n+b  \n+\n+c\r\nnext=1\n");
  EXPECT_EQ(TvIniGetInt(&ini, "S", "hex", 0), 31);
  EXPECT_EQ(TvIniGetInt(&ini, "S", "neg", 0), -16);
  EXPECT_EQ(TvIniGetInt(&ini, "S", "bad", 7), 0);
  EXPECT_EQ(TvIniGetInt(&ini, "S", "quote", 0), 'A');
  EXPECT_EQ(TvIniGetInt(&ini, "S", "sep", 9), 0);
  EXPECT_EQ(TvIniGetInt(&ini, "S", "big", 0), static_cast<int32_t>(99999999999LL & 0xFFFFFFFF));
  EXPECT_EQ(TvIniGetInt(&ini, "S", "none", -3), -3);
  EXPECT_EQ(TvIniGetBool(&ini, "S", "sw", 0), 1);
  char line[8];
  EXPECT_EQ(TvIniGetString(&ini, "S", "list", "", line, sizeof line), 1);
  EXPECT_STREQ(line, "a");
  EXPECT_EQ(TvIniNextLine(&ini, line, sizeof line), 1);
  EXPECT_STREQ(line, "b");
  EXPECT_EQ(TvIniNextLine(&ini, line, sizeof line), 1);
  EXPECT_STREQ(line, "");
  EXPECT_EQ(TvIniNextLine(&ini, line, sizeof line), 1);
  EXPECT_STREQ(line, "c");
  EXPECT_EQ(TvIniNextLine(&ini, line, sizeof line), 0);
}

TEST_F(Storage, EmptyAndHostileIniInput) {
  EXPECT_EQ(Get("S", "k"), "<none>");  // never loaded
  EXPECT_EQ(TvIniNextLine(&ini, nullptr, 0), 0);
  EXPECT_EQ(TvIniSectionExists(&ini, "S"), 0);
  EXPECT_EQ(TvIniGetString(nullptr, "S", "k", "d", nullptr, 0), 0);
  EXPECT_EQ(TvIniGetInt(nullptr, nullptr, nullptr, 4), 4);
  EXPECT_EQ(TvIniLoadFile(&ini, nullptr), 0);  // an empty text
  EXPECT_EQ(ini.length, 0u);
  EXPECT_EQ(Get("S", "k"), "<none>");
  EXPECT_EQ(TvIniLoadFile(&ini, (dir / "absent.ini").c_str()), -1010);
  EXPECT_EQ(TvIniLoadFile(&ini, ""), -1010);
  EXPECT_EQ(TvIniLoadFile(nullptr, "x"), -1010);
  // Random bytes, NULs, unclosed headers, a 400-character section name.
  std::string noise;
  for (int i = 0; i < 4096; ++i) noise += static_cast<char>((i * 7919 + 13) % 256);
  Load(noise + "\n[" + std::string(400, 's') + "]\nk=v\n[unclosed\nx=y");
  EXPECT_EQ(Get(std::string(79, 's').c_str(), "k"), "v");  // headers count on 79 characters
  EXPECT_EQ(Get("unclosed", "x"), "<none>");
  char out[4] = "abc";
  EXPECT_EQ(TvIniGetString(&ini, "S", "k", nullptr, out, sizeof out), 0);
  EXPECT_STREQ(out, "");
}

TEST_F(Storage, PathBuilding) {
  char out[kTvPathSize];
  const std::string d = dir.path();
  EXPECT_EQ(TvPathBuild(out, d.c_str(), "report", "txt"), 0);
  EXPECT_EQ(std::string(out), d + "\\report.txt");
  EXPECT_EQ(TvPathBuild(out, d.c_str(), "report.", "txt"), 0);
  EXPECT_EQ(std::string(out), d + "\\report");
  EXPECT_EQ(TvPathBuild(out, d.c_str(), "report.dat", "!txt"), 0);
  EXPECT_EQ(std::string(out), d + "\\report.txt");
  EXPECT_EQ(TvPathBuild(out, d.c_str(), "report.dat", "txt"), 0);
  EXPECT_EQ(std::string(out), d + "\\report.dat");
  EXPECT_EQ(TvPathBuild(out, "Q:\\elsewhere", (d + "\\x").c_str(), nullptr), 0);
  EXPECT_EQ(std::string(out), d + "\\x");
  EXPECT_EQ(TvPathBuild(out, (d + "\\").c_str(), "  y", "ini"), 0);
  EXPECT_EQ(std::string(out), d + "\\y.ini");
  EXPECT_EQ(TvPathBuild(out, nullptr, "z", "log"), 0);  // the current folder
  EXPECT_EQ(std::string(out), d + "\\z.log");
  EXPECT_EQ(TvPathBuild(out, d.c_str(), "LPT1:", "txt"), 0);
  EXPECT_STREQ(out, "LPT1:");
  // A missing folder: -1028, and the path all the same.
  EXPECT_EQ(TvPathBuild(out, d.c_str(), "no\\file", "txt"), -1028);
  EXPECT_EQ(std::string(out), d + "\\no\\file.txt");
  // One leading backslash keeps only the drive of the folder.
  EXPECT_EQ(TvPathBuild(out, "C:\\windows", "\\windows\\win.ini", nullptr), 0);
  EXPECT_STREQ(out, "C:\\windows\\win.ini");
}

TEST_F(Storage, HostilePaths) {
  char out[kTvPathSize];
  const std::string longName(400, 'n');
  // Too long for a path: refused rather than cut into another file's name.
  EXPECT_EQ(TvPathBuild(out, dir.path().c_str(), longName.c_str(), "txt"), -1028);
  EXPECT_LT(strlen(out), kTvPathSize);
  const std::string fits(255 - dir.path().size() - 1 - 4, 'f');
  EXPECT_EQ(TvPathBuild(out, dir.path().c_str(), fits.c_str(), "txt"), 0);
  EXPECT_EQ(strlen(out), 255u);
  EXPECT_EQ(TvPathBuild(out, dir.path().c_str(), (fits + "g").c_str(), "txt"), -1028);
  const std::string deep = std::string(300, 'a') + "\\" + std::string(300, 'b');
  TvPathBuild(out, deep.c_str(), deep.c_str(), deep.c_str());
  EXPECT_LT(strlen(out), kTvPathSize);
  TvPathBuild(out, nullptr, nullptr, nullptr);
  TvPathBuild(nullptr, "x", "y", "z");
  EXPECT_EQ(TvPathFull(out, nullptr, nullptr), 0);
  EXPECT_EQ(std::string(out), dir.path());
  EXPECT_EQ(TvDirCheck(nullptr, true), -1028);
  EXPECT_EQ(TvFileSearch(nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(TvFileSearch(out, longName.c_str(), "ini", "PATH"), 0);
  EXPECT_EQ(TvFileExists(nullptr, nullptr, "", nullptr), 0);
  EXPECT_EQ(TvHasWildcards(nullptr), 0);
  EXPECT_EQ(TvHasWildcards("a?"), 1);
  EXPECT_STREQ(TvPathFileName(nullptr), "");
}

TEST_F(Storage, FileOpenModesAndFailures) {
  const std::string path = dir / "f.txt";
  TvFileHandle h;
  char full[kTvPathSize];
  EXPECT_EQ(TvFileOpen(full, nullptr, path.c_str(), nullptr, 0, &h), -1010);
  EXPECT_EQ(h, kTvNoFile);
  EXPECT_EQ(std::string(full), path);
  ASSERT_EQ(TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, TvFileCreate, &h), 0);
  EXPECT_EQ(TvFileWriteText(h, "a\nb\r\nc\rd"), 0);
  TvFileClose(h);
  EXPECT_EQ(tvtest::ReadFile(path), "a\r\nb\r\nc\r\nd");
  EXPECT_EQ(TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, TvFileMustNotExist | TvFileCreate, &h), -1011);
  EXPECT_EQ(h, kTvNoFile);
  ASSERT_EQ(TvFileOpen(nullptr, nullptr, ("+" + path).c_str(), nullptr, TvFileCreateRequest, &h), 0);
  TvFileWriteText(h, "\ne");
  TvFileClose(h);
  EXPECT_EQ(tvtest::ReadFile(path), "a\r\nb\r\nc\r\nd\r\ne");
  // Lines come back one by one, each with one line feed, whatever the line end.
  tvtest::WriteFile(path, "one\rtwo\r\nthree\nlast");
  ASSERT_EQ(TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, 0, &h), 0);
  char line[5];
  std::string lines;
  while (TvFileReadLine(h, line, sizeof line) > 0) lines += std::string(line) + "|";
  TvFileClose(h);
  EXPECT_EQ(lines, "one\n|two\n|thre|e\n|last|");
  // Recreate empties the file.
  ASSERT_EQ(TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, TvFileRecreate, &h), 0);
  EXPECT_EQ(TvFileSize(h), 0u);
  TvFileClose(h);
  EXPECT_EQ(TvFileDelete(path.c_str()), 0);
  EXPECT_EQ(TvFileDelete(path.c_str()), -1014);
  EXPECT_EQ(TvFileOpen(nullptr, nullptr, nullptr, nullptr, 0, nullptr), -1010);
  EXPECT_EQ(TvFileOpen(nullptr, nullptr, (dir / "missing\\f.txt").c_str(), nullptr, TvFileCreate, &h), -1028);
  TvFileClose(kTvNoFile);
  EXPECT_EQ(TvFileWriteText(kTvNoFile, "x"), -1013);
  EXPECT_EQ(TvFileReadLine(kTvNoFile, line, sizeof line), 0u);
  EXPECT_EQ(TvFileTruncateHere(kTvNoFile), -1013);
}

TEST_F(Storage, FileOpenWithAnExclusiveHolderIsAccessDenied) {
  const std::string path = dir / "locked.txt";
  tvtest::WriteFile(path, "x");
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  TvFileHandle h;
  EXPECT_EQ(TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, 0, &h), -1016);
  EXPECT_EQ(TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, TvFileMustNotExist, &h), -1011);
  CloseHandle(holder);
}

TEST_F(Storage, FileOpenTraceLine) {
  TvKernelShutdown(0);
  const std::string log = dir / "trace.log";
  ASSERT_EQ(StartWith("[TvDefault]\nLogFile=" + log + "\nLogTrace=1\n"), 0);
  TvFileHandle h;
  const std::string missing = dir / "absent.dat";
  EXPECT_EQ(TvFileOpen(nullptr, nullptr, missing.c_str(), nullptr, 0, &h), -1010);
  EXPECT_EQ(TvFileOpen(nullptr, nullptr, missing.c_str(), nullptr, TvFileSilent, &h), -1010);
  TvLogClose();
  EXPECT_EQ(tvtest::ReadFile(log), "! TvFileOpen(" + missing + " : -1) = File not found\r\n");
}

TEST_F(Storage, WriteFailuresAreReported) {
  const std::string path = dir / "w.txt";
  TvFileHandle h;
  ASSERT_EQ(TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, TvFileCreate, &h), 0);
  tvFileSys.writeFile = [](HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) -> BOOL {
    *written = 1;  // a short write is a failure too
    return TRUE;
  };
  EXPECT_EQ(TvFileWriteText(h, "abc"), -1013);
  EXPECT_EQ(TvFileWriteFill(h, ' ', 300), -1013);
  tvFileSys = kTvFileSysDefault;
  EXPECT_EQ(TvFileWriteFill(h, ' ', 300), 0);
  TvFileClose(h);
  EXPECT_EQ(tvtest::ReadFile(path), std::string(300, ' '));
}

TEST_F(Storage, BoundedCopiesAndFormatting) {
  char out[8];
  EXPECT_EQ(TvStrCopy(out, "abcdefghij", sizeof out), 7u);
  EXPECT_STREQ(out, "abcdefg");
  EXPECT_EQ(TvStrCopy(out, nullptr, sizeof out), 0u);
  EXPECT_STREQ(out, "");
  TvStrCopy(out, "abcdef", sizeof out);
  EXPECT_EQ(TvStrCat(out, "xyz", sizeof out), 7u);
  EXPECT_STREQ(out, "abcdefx");
  EXPECT_EQ(TvStrCopy(nullptr, "x", 4), 0u);
  EXPECT_EQ(TvStrCopy(out, "x", 0), 0u);
  EXPECT_EQ(TvFormat(out, sizeof out, "%d-%s", 12345, "long"), 7u);
  EXPECT_STREQ(out, "12345-l");
  EXPECT_EQ(TvFormat(out, 0, "%d", 1), 0u);
  TvStrCopyUntil(out, "name.ext", '.', sizeof out);
  EXPECT_STREQ(out, "name");
  // Overlapping copy onto itself.
  TvStrCopy(out, out, 3);
  EXPECT_STREQ(out, "na");
}

TEST_F(Storage, ParsingNumbersAndSwitches) {
  const char* end = nullptr;
  const char* date = "12/05/2003";
  EXPECT_EQ(TvStrToInt(date, &end), 12);
  EXPECT_EQ(*end, '0');
  EXPECT_EQ(TvStrToInt(end, &end), 5);
  EXPECT_EQ(TvStrToInt(end, &end), 2003);
  EXPECT_EQ(*end, '\0');
  EXPECT_EQ(TvStrToInt("0x1F", nullptr), 31);
  EXPECT_EQ(TvStrToInt("-0x10", nullptr), -16);
  EXPECT_EQ(TvStrToInt("x1", nullptr), 0);
  EXPECT_EQ(TvStrToInt("", nullptr), 0);
  EXPECT_EQ(TvStrToInt(nullptr, nullptr), 0);
  EXPECT_EQ(TvStrToInt("  +42 , 7", &end), 42);
  EXPECT_EQ(TvStrToInt(end, nullptr), 7);
  EXPECT_EQ(TvStrToInt("4294967297", nullptr), 1);  // wraps at 32 bits
  EXPECT_TRUE(TvStrToBool(" Yes"));
  EXPECT_TRUE(TvStrToBool("oN"));
  EXPECT_FALSE(TvStrToBool("Off"));
  EXPECT_FALSE(TvStrToBool(nullptr));
}

TEST_F(Storage, CaseTables) {
  EXPECT_EQ(static_cast<uint8_t>(TvToUpper('\xe9')), 0xC9);  // e acute
  EXPECT_EQ(static_cast<uint8_t>(TvToUpper('\xf7')), 0xF7);  // division sign stays
  EXPECT_EQ(static_cast<uint8_t>(TvToUpper('\xff')), 0x9F);
  EXPECT_EQ(static_cast<uint8_t>(TvToLower('\x8a')), 0x9A);
  EXPECT_EQ(static_cast<uint8_t>(TvToLower('\xd7')), 0xD7);  // multiplication sign stays
  EXPECT_EQ(TvStrCompareNoCase("fran\xe7" "ais", "FRAN\xc7" "AIS"), 0);
  EXPECT_TRUE(TvIsSpace('\t'));
  EXPECT_FALSE(TvIsSpace('\xa0'));
  EXPECT_EQ(tvCharClass['A'], TvCharPrintable | TvCharLetter | TvCharUpper);
  EXPECT_EQ(tvCharClass[200], 0);
}

}  // namespace
