// The ini handle family through the library's exports, called the way an
// installer engine calls them.
#include <set>
#include <string>

#include "exports.h"
#include "test_support.h"

namespace {

class IniHandles : public tvtest::LibraryTest {
 protected:
  std::string ini = dir / "tvwserve.ini";
  TV_BIND(open, TvIsi_IniOpen);
  TV_BIND(save, TvIsi_IniSave);
  TV_BIND(close, TvIsi_IniClose);
  TV_BIND(get, TvIsi_IniGetString);
  TV_BIND(set, TvIsi_IniSetString);
  TV_BIND(add, TvIsi_IniAddString);
  TV_BIND(removeStrings, TvIsi_IniRemoveStrings);
  TV_BIND(remove, TvIsi_IniDeleteString);
  TV_BIND(copy, TvIsi_IniCopySetting);

  void SetUp() override { Begin("LogErrors=Y\n"); }
  std::string Get(INT_PTR buffer, const char* section, const char* key, int32_t capacity = 512) {
    std::string value(static_cast<size_t>(capacity > 0 ? capacity : 1), '?');
    int32_t status = get(buffer, section, key, value.data(), capacity);
    if (status != 0) return "<" + std::to_string(status) + ">";
    return value.c_str();
  }
  // Writes the file's bytes and opens it as the pair file, buffer.
  INT_PTR file = -1, buffer = 0;
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
};

TEST_F(IniHandles, MultiLineValuesCrossTheInterfaceAsLinesJoinedByLineFeeds) {
  Open("[S]\r\nold=1\r\n");
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

TEST_F(IniHandles, TheOpenFileIsLockedAndCloseWithoutBufferOnlyClosesTheFile) {
  Open("[S]\r\nk=v\r\n");
  INT_PTR file2, buffer2;
  // Held for the script alone: no other program reads it meanwhile.
  HANDLE reader =
      CreateFileA(ini.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(reader, INVALID_HANDLE_VALUE);
  if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
  EXPECT_EQ(open(&file2, &buffer2, ini.c_str()), -1016);
  EXPECT_EQ(file2, -1);
  ASSERT_NE(buffer2, 0);  // returned all the same, and closed like any other
  close(file2, buffer2);
  close(file, 0);
  EXPECT_EQ(Get(buffer, "S", "k"), "v");              // the buffer lives on
  EXPECT_EQ(save(-1, buffer), -1040);                 // its file is gone: no handle reaches it
  ASSERT_EQ(open(&file2, &buffer2, ini.c_str()), 0);  // the file is free again
  close(file2, buffer2);
  close(-1, buffer);
  // A pair closed with a wrong file handle still releases its file.
  for (INT_PTR wrong : {INT_PTR{0}, INT_PTR{-1}}) {
    ASSERT_EQ(open(&file, &buffer, ini.c_str()), 0);
    close(wrong, buffer);
    ASSERT_EQ(open(&file2, &buffer2, ini.c_str()), 0);  // unlocked
    close(file2, buffer2);
    EXPECT_EQ(save(file, buffer2), -1040);
  }
}

TEST_F(IniHandles, HostileHandlesAndStrings) {
  Open("[S]\r\nk=v\r\n");
  // Handles the library never gave out (a file handle is no buffer handle).
  for (INT_PTR bogus : {INT_PTR{0}, INT_PTR{-1}, file, buffer + 1000, INT_PTR{0x7FFFFFF0}}) {
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
  EXPECT_EQ(set(buffer, nullptr, "k", nullptr), 0);   // section "" and an empty value
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

TEST_F(IniHandles, AClosedHandleNeverReachesAFileOpenedLater) {
  const std::string other = dir / "other.ini";
  tvtest::WriteFile(ini, "[S]\r\nk=x\r\n");
  tvtest::WriteFile(other, "[S]\r\nk=y\r\n");
  INT_PTR fx, bx, fy, by;
  ASSERT_EQ(open(&fx, &bx, ini.c_str()), 0);
  close(fx, bx);
  ASSERT_EQ(open(&fy, &by, other.c_str()), 0);
  EXPECT_NE(fy, fx);
  EXPECT_NE(by, bx);
  EXPECT_NE(fy, by);
  EXPECT_EQ(Get(bx, "S", "k"), "<-1040>");
  EXPECT_EQ(set(bx, "S", "k", "stale"), -1040);
  EXPECT_EQ(add(bx, "S", "k", "stale"), -1040);
  EXPECT_EQ(copy(by, bx, "S", "k"), -1040);
  EXPECT_EQ(save(fx, by), -1040);  // a closed file handle with a live buffer
  EXPECT_EQ(save(fy, bx), -1040);
  close(fx, bx);  // refused twice over; the pair of the other file stays open
  EXPECT_EQ(Get(by, "S", "k"), "y");
  EXPECT_EQ(open(&fx, &bx, other.c_str()), -1016);  // still held by its own pair
  close(fx, bx);
  EXPECT_EQ(save(fy, by), 0);
  close(fy, by);
  EXPECT_EQ(tvtest::ReadFile(other), "[S]\r\nk=y\r\n");

  // Many cycles: no value is handed out twice, and none is 0 or negative.
  std::set<INT_PTR> seen;
  for (int i = 0; i < 1000; ++i) {
    INT_PTR f, b;
    ASSERT_EQ(open(&f, &b, ini.c_str()), 0);
    EXPECT_TRUE(f > 0 && b > 0 && f <= 0x7FFFFFFF && b <= 0x7FFFFFFF);
    EXPECT_TRUE(seen.insert(f).second && seen.insert(b).second);
    close(f, b);
  }
}

TEST_F(IniHandles, OpenPairsSurviveAKernelRestartInEveryAllocatorMode) {
  for (const char* allocator : {"Pooled", "Plain"}) {
    SCOPED_TRACE(allocator);
    Configure("LogErrors=Y\nMemAllocator=" + std::string(allocator) + "\n");
    const std::string a = dir / "a.ini", b = dir / "b.ini", c = dir / "c.ini";
    for (const std::string& path : {a, b, c})
      tvtest::WriteFile(path, "[S]\r\nk=" + path.substr(path.size() - 5) + "\r\n");
    Stop();
    ASSERT_EQ(Start(), 0);
    INT_PTR fa, ba, fb, bb, fc, bc;
    ASSERT_EQ(open(&fa, &ba, a.c_str()), 0);
    EXPECT_EQ(set(ba, "S", "list", "one\ntwo\nthree"), 0);
    Stop();
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(open(&fb, &bb, b.c_str()), 0);
    ASSERT_EQ(open(&fc, &bc, c.c_str()), 0);
    close(fb, bb);
    close(fc, bc);
    // The pair opened before the restart still holds its file and its edits.
    EXPECT_EQ(Get(ba, "S", "list"), "one\ntwo\nthree");
    EXPECT_EQ(add(ba, "S", "list", "four"), 0);
    EXPECT_EQ(save(fa, ba), 0);
    close(fa, ba);
    EXPECT_EQ(tvtest::ReadFile(a), "[S]\r\nk=a.ini\r\nlist=one\r\n+two\r\n+three\r\n+four\r\n");
  }
}

TEST_F(IniHandles, LineEndsInValuesOnlyEverMakeContinuationLines) {
  Open("[A]\r\nk=1\r\nlist=e0\r\n[B]\r\nServerAddress=TVLOCAL\r\n");
  // CR LF, a lone CR and a lone LF all separate the lines of a value.
  EXPECT_EQ(set(buffer, "A", "k", "x\r[Evil]\rServerAddress=TVTCPIP:h"), 0);
  EXPECT_EQ(set(buffer, "A", "m", "a\r\nb\n\rc"), 0);
  EXPECT_EQ(add(buffer, "A", "list", "e1\rinjected=1\r\n[B]"), 0);
  EXPECT_EQ(Get(buffer, "A", "k"), "x\n[Evil]\nServerAddress=TVTCPIP:h");
  EXPECT_EQ(Get(buffer, "B", "ServerAddress"), "TVLOCAL");
  EXPECT_EQ(Get(buffer, "A", "injected"), "<-8100>");
  EXPECT_EQ(Get(buffer, "Evil", "ServerAddress"), "<-8100>");
  // Other control characters would make the file unreadable: the whole
  // value is refused before anything changes.
  EXPECT_EQ(set(buffer, "A", "k", "fine\nbell\a"), -1096);
  EXPECT_EQ(add(buffer, "A", "list", "ok\nesc\x1b"), -1096);
  EXPECT_EQ(removeStrings(buffer, "A", "list", "e0\n\x01"), -1096);
  EXPECT_EQ(set(buffer, "A", "tab", "a\tb"), 0);  // a tab is text
  EXPECT_EQ(SaveAndClose(),
            "[A]\r\nk=x\r\n+[Evil]\r\n+ServerAddress=TVTCPIP:h\r\nlist=e0\r\n+e1\r\n+injected=1\r\n+[B]\r\n"
            "m=a\r\n+b\r\n+\r\n+c\r\ntab=a\tb\r\n[B]\r\nServerAddress=TVLOCAL\r\n");
}

TEST_F(IniHandles, ListsOfThreeAndMoreLinesSurviveEveryEdit) {
  Open("[S]\r\nlist=one\r\n+two\r\n+three\r\n+four\r\nafter=1\r\n");
  // Copied onto itself, the list stays whole.
  EXPECT_EQ(copy(buffer, buffer, "S", "list"), 0);
  EXPECT_EQ(Get(buffer, "S", "list"), "one\ntwo\nthree\nfour");
  EXPECT_EQ(copy(buffer, buffer, "Other", "list"), -8100);
  EXPECT_EQ(add(buffer, "S", "list", "TWO\nfive"), 0);
  EXPECT_EQ(removeStrings(buffer, "S", "list", "three"), 0);
  EXPECT_EQ(Get(buffer, "S", "list"), "one\nTWO\nfour\nfive");
  EXPECT_EQ(Get(buffer, "S", "after"), "1");
  EXPECT_EQ(SaveAndClose(), "[S]\r\nlist=one\r\n+TWO\r\n+four\r\n+five\r\nafter=1\r\n");
}

TEST_F(IniHandles, LongEntriesAreKeptWholeAndCutsOfTheScriptAreLogged) {
  // A form feed and an end-of-file mark in the file go back as they stood.
  const std::string long1 = "GBR,\f" + std::string(295, 'a');
  const std::string long2 = "USA,\x1a" + std::string(4995, 'b');
  Open("[S]\r\nlist=" + long1 + "\r\n+" + long2 + "\r\n+short\r\n");
  const std::string other = dir / "other.ini";
  tvtest::WriteFile(other, "[S]\r\n");
  INT_PTR f2, b2;
  ASSERT_EQ(open(&f2, &b2, other.c_str()), 0);
  // A value is read as far as the buffer holds it, to the byte.
  const std::string whole = long1 + "\n" + long2 + "\nshort";
  EXPECT_EQ(Get(buffer, "S", "list", static_cast<int32_t>(whole.size() + 1)), whole);
  EXPECT_EQ(Get(buffer, "S", "list", static_cast<int32_t>(whole.size())), whole.substr(0, whole.size() - 1));
  EXPECT_EQ(Get(buffer, "S", "list", 301), long1);
  EXPECT_EQ(Get(buffer, "S", "list", 302), long1 + "\n");
  EXPECT_EQ(add(buffer, "S", "list", "FRA,x"), 0);
  EXPECT_EQ(removeStrings(buffer, "S", "list", "short"), 0);
  EXPECT_EQ(copy(buffer, b2, "S", "list"), 0);
  EXPECT_EQ(save(f2, b2), 0);
  close(f2, b2);
  EXPECT_EQ(tvtest::ReadFile(other), "[S]\r\nlist=" + long1 + "\r\n+" + long2 + "\r\n+FRA,x\r\n");
  // What the script passes itself is cut at 255 characters, and logged so;
  // 255 characters are kept whole.
  Log();
  EXPECT_EQ(set(buffer, "S", "edge", (std::string(255, 'e') + "\n" + std::string(256, 'f')).c_str()), 0);
  EXPECT_EQ(Get(buffer, "S", "edge", 1000), std::string(255, 'e') + "\n" + std::string(255, 'f'));
  EXPECT_EQ(add(buffer, "S", "list", std::string(300, 'g').c_str()), 0);
  const std::string logged = Log();
  EXPECT_NE(logged.find("\r\nLine 2 of edge cut to 255 characters\r\n"), std::string::npos);
  EXPECT_NE(logged.find("\r\nLine 1 of list cut to 255 characters\r\n"), std::string::npos);
  EXPECT_EQ(logged.find("Line 1 of edge"), std::string::npos);
  EXPECT_NE(Get(buffer, "S", "list", 20000).find("\n" + long2 + "\nFRA,x\n" + std::string(255, 'g')),
            std::string::npos);
  close(file, buffer);
}

// A missing file gives an empty buffer; a file that is no ini text is
// opened and locked all the same, but neither read nor written. Both are
// closed like any other.
TEST_F(IniHandles, MissingFilesAndFilesThatAreNotIniText) {
  EXPECT_EQ(open(&file, &buffer, (dir / "absent.ini").c_str()), -1010);
  EXPECT_EQ(file, -1);
  EXPECT_EQ(Get(buffer, "S", "k"), "<-8100>");
  EXPECT_EQ(set(buffer, "S", "k", "v"), -1010);
  EXPECT_EQ(save(file, buffer), -1040);  // -1 names no file
  close(file, buffer);
  const std::string binary = std::string("[S]\r\nk=v\r\n\0\x01\x02binary", 19);
  tvtest::WriteFile(ini, binary);
  EXPECT_EQ(open(&file, &buffer, ini.c_str()), -1096);
  EXPECT_NE(file, -1);
  EXPECT_EQ(Get(buffer, "S", "k"), "<-8100>");
  EXPECT_EQ(set(buffer, "S", "k", "w"), -1010);
  EXPECT_EQ(save(file, buffer), -1010);
  close(file, buffer);
  EXPECT_EQ(tvtest::ReadFile(ini), binary);
}

TEST_F(IniHandles, NamesThatCouldNotBeReadBackAreRefusedAndNeverFound) {
  const std::string k39(39, 'k');
  // A header that is a pattern, and TvDefault, which every other section falls back on.
  const std::string original = "[A]\r\n" + k39 + "=short\r\n[Data*]\r\nk=pattern\r\n[TvDefault]\r\nk=default\r\n";
  Open(original);
  const std::string s80(80, 's'), huge(10000, 'h'), k40 = k39 + "X";
  for (const std::string& section :
       {s80, huge, huge, huge, std::string("A*"), std::string("Data?"), std::string("Data*"), std::string("*")}) {
    EXPECT_EQ(set(buffer, section.c_str(), "k", "v"), -1096) << section.size();
    EXPECT_EQ(Get(buffer, section.c_str(), "k"), "<-8100>");  // not even from TvDefault
    EXPECT_EQ(remove(buffer, section.c_str(), "k"), -1096);
  }
  EXPECT_EQ(Get(buffer, "DataX", "k"), "pattern");  // the header still serves the names it matches
  EXPECT_EQ(Get(buffer, "Other", "k"), "default");
  EXPECT_EQ(set(buffer, "A", k40.c_str(), "long"), -1096);
  EXPECT_EQ(Get(buffer, "A", k40.c_str()), "<-8100>");
  EXPECT_EQ(remove(buffer, "A", k40.c_str()), -1096);
  EXPECT_EQ(Get(buffer, "A", k39.c_str()), "short");
  EXPECT_EQ(SaveAndClose(), original);
}

}  // namespace
