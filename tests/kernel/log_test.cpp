// The log writer: prefixes, line splitting, destinations, the log file and
// its write-failure report; the API trace lines.
#include <cstring>
#include <regex>
#include <string>

#include "kernel_fixture.h"

namespace {

class Log : public tvtest::KernelTest {
 protected:
  void Start(const std::string& options = "") { ASSERT_EQ(StartLogging(options), 0); }
};

// Without prefix options text is written unchanged; line by line, each line
// gets its line end; the thread writer prefixes threads with records of their own.
TEST_F(Log, WithoutPrefixOptionsTextIsWrittenUnchanged) {
  Start();
  TvLogWrite("no line end");
  TvLogWrite(" then\ntwo lines\n");
  TvLogWrite("");
  TvLogWrite(nullptr);
  {
    TvLockGuard guard(TvServiceLock(TvLockId::Log));
    TvLogWriteRaw(TvLogLineByLine, "a\n\nb");
  }
  TvLogWriteThread("main\n");
  TvThreadNode node{};
  TvThreadRec record{};
  TvThreadRegister(&node, &record);
  TvLogWriteThread("own\n");
  TvThreadUnregister(&node);
  EXPECT_EQ(Logged(), "no line end then\r\ntwo lines\r\na\r\n\r\nb\r\nmain\r\n#" +
                          std::to_string(GetCurrentThreadId()) + " own\r\n");
}

// "1234 10:20:30 05/12/26 #2044 first": the millisecond count, the time
// stamp (with milliseconds when timing is high-resolution) and the thread,
// in that order on every line.
TEST_F(Log, PrefixesInOrderOnEveryLine) {
  const std::string thread = "#" + std::to_string(GetCurrentThreadId()) + " ";
  const std::string date = R"([ \d]\d/\d\d/\d\d )";
  // clang-format off
  const struct { const char* options; std::string prefix; } kCases[] = {
      {"LogMillisecs=Y\nLogTimeStamp=Y\nLogThreadId=Y\n", R"(\d+ [ \d]\d:\d\d:\d\d )" + date + thread},
      {"LogTimeStamp=Y\nHighResTiming=Y\n", R"([ \d]\d:\d\d:\d\d\.\d\d\d )" + date}};
  // clang-format on
  for (const auto& c : kCases) {
    Start(c.options);
    TvLogWrite("first\nsecond");
    const std::string text = Logged();
    EXPECT_TRUE(std::regex_match(text, std::regex(c.prefix + "first\r\n" + c.prefix + "second\r\n"))) << text;
    TvKernelShutdown(0);
  }
}

TEST_F(Log, LongLinesAreContinuedWithThePrefix) {
  Start("LogThreadId=Y\n");
  const std::string prefix = "#" + std::to_string(GetCurrentThreadId()) + " ";
  std::string text(700, 'a');
  text[0] = 'S';
  TvLogWrite(text.c_str());
  const size_t room = 510 - prefix.size();
  EXPECT_EQ(Logged(), prefix + text.substr(0, room) + "\r\n" + prefix + text.substr(room) + "\r\n");
}

TEST_F(Log, PlusAppendsOtherwiseReplaced) {
  tvtest::WriteFile(log, "earlier\r\n");
  ASSERT_EQ(StartWith("[TvDefault]\nLogFile=+" + log + "\n"), 0);
  TvLogWrite("later\n");
  EXPECT_EQ(Logged(), "earlier\r\nlater\r\n");
  TvKernelShutdown(0);
  Start();
  TvLogWrite("fresh\n");
  EXPECT_EQ(Logged(), "fresh\r\n");
}

TEST_F(Log, DefaultLogFileWithLogErrors) {
  ASSERT_EQ(StartWith("[TvDefault]\nLogErrors=Y\n"), 0);
  EXPECT_EQ(Reported("Log File"), dir / "tverrors.log");
  TvErrorRaise(-1010, "X", TvRaiseOrigin);
  // Read while the log is open: others may read it meanwhile.
  EXPECT_EQ(tvtest::ReadFile(dir / "tverrors.log"), "> File not found (X)\r\n");
}

TEST_F(Log, ConsoleDestination) {
  Start("LogConsole=Y\n");
  std::string consolePath = dir / "console.txt";
  HANDLE console = CreateFileA(consolePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(console, INVALID_HANDLE_VALUE);
  tvInstance.console = console;
  TvLogWrite("both\n");
  TvConsoleWrite("console only\n");
  tvLog.console = false;
  TvLogWrite("file only\n");
  {
    TvLockGuard guard(TvServiceLock(TvLockId::Log));
    TvLogWriteRaw(TvLogForceConsole, "forced\n");
  }
  CloseHandle(console);
  tvInstance.console = nullptr;
  // A hook receives the lines instead of the console.
  static std::string hooked;
  hooked.clear();
  tvLog.console = true;
  TvLogSetHook([](const char* line) { hooked += line; });
  TvLogWrite("to hook\n");
  TvLogSetHook(nullptr);
  EXPECT_EQ(hooked, "to hook\n");
  EXPECT_EQ(tvtest::ReadFile(consolePath), "both\r\nconsole only\r\nforced\r\n");
  EXPECT_EQ(Logged(), "both\r\nfile only\r\nforced\r\nto hook\r\n");
}

namespace {
int eventReports = 0;
std::string eventText;
HANDLE WINAPI FakeRegister(LPCSTR, LPCSTR) { return reinterpret_cast<HANDLE>(1); }
BOOL WINAPI FakeReport(HANDLE, WORD type, WORD category, DWORD id, PSID, WORD count, DWORD, LPCSTR* texts, LPVOID) {
  ++eventReports;
  eventText = count ? texts[0] : "";
  EXPECT_EQ(type, EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(category, 1);
  EXPECT_EQ(id, 0xC00003E8u);
  return TRUE;
}
BOOL WINAPI FakeDeregister(HANDLE) { return TRUE; }
}  // namespace

TEST_F(Log, WriteFailureIsReportedOncePerLogFile) {
  Start();
  tvSys.registerEventSource = FakeRegister;
  tvSys.reportEvent = FakeReport;
  tvSys.deregisterEventSource = FakeDeregister;
  eventReports = 0;
  tvSys.writeFile = tvtest::FullDiskWrite;
  TvLogWrite("lost\n");
  TvLogWrite("lost again\n");
  EXPECT_EQ(eventReports, 1);
  EXPECT_EQ(eventText, "Error occurred writing to Log: " + log + " (File write failure)\n");
  // Reopening the log re-arms the report; lines a closing log could not
  // write are reported too.
  tvSys.writeFile = kTvSysDefault.writeFile;
  ASSERT_EQ(TvLogOpen(("+" + log).c_str()), 0);
  tvSys.writeFile = tvtest::FullDiskWrite;
  {
    TvLogBatch batch;
    TvLogWrite("lost once more\n");
    TvLogClose();
  }
  EXPECT_EQ(eventReports, 2);
  tvSys = kTvSysDefault;
  ASSERT_EQ(TvLogOpen(("+" + log).c_str()), 0);
  TvLogWrite("kept\n");
  EXPECT_EQ(Logged(), "kept\r\n");
}

int writes = 0;
BOOL WINAPI CountedWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
  ++writes;
  return kTvSysDefault.writeFile(file, data, size, written, overlapped);
}

// A batch holds the file's lines until the outermost one ends and writes
// them together, the same bytes; 64 KiB gathered go out at once, and a
// closing log takes what is gathered with it.
TEST_F(Log, ABatchWritesItsLinesInOnePieceAtItsEnd) {
  Start();
  tvSys.writeFile = CountedWrite;
  const std::string line(99, 'x');
  {
    TvLogBatch outer;
    TvLogWrite("one\n");
    {
      TvLogBatch inner;
      TvLogWrite("two\n");
    }
    EXPECT_EQ(writes, 0);
    for (int i = 0; i < 700; ++i) TvLogWrite((line + "\n").c_str());
    EXPECT_GT(writes, 0);  // 64 KiB gathered
    writes = 0;
    TvLogWrite("three\n");
    EXPECT_EQ(writes, 0);
  }
  EXPECT_EQ(writes, 1);
  std::string expected = "one\r\ntwo\r\n";
  for (int i = 0; i < 700; ++i) expected += line + "\r\n";
  expected += "three\r\n";
  {
    TvLogBatch batch;
    TvLogWrite("closed with the log\n");
    expected += "closed with the log\r\n";
    EXPECT_EQ(Logged(), expected);
  }
  EXPECT_EQ(writes, 2);
}

TEST_F(Log, OpenFailureRaisesWithThePath) {
  Start("LogErrors=Y\n");
  std::string bad = dir / "missing\\folder\\x.log";
  EXPECT_NE(TvLogOpen(bad.c_str()), 0);
  EXPECT_EQ(Reported("Log File"), "<disabled>");
  EXPECT_EQ(TvLogOpen("   "), 0);
  EXPECT_EQ(TvLogOpen(nullptr), 0);
}

class Trace : public tvtest::KernelTest {
 protected:
  std::string path = dir / "trace.log";
  // Switched on as a program run finds it: a tvapi.ini in the current
  // folder, read at the first trace line.
  void Activate(const std::string& more = "") {
    tvtest::WriteFile(dir / "tvapi.ini", "ApiFile=+" + path + "\n" + more);
  }
  // The trace is configured once per process: each case starts as a fresh process does.
  Trace() { tvTrace = {true, true, {}, TvFileAppend, false, false}; }
  ~Trace() override { tvTrace = {true, true, {}, TvFileAppend, false, false}; }
};

TEST_F(Trace, LinesOfEveryOperation) {
  ASSERT_EQ(StartWith("[TvDefault]\n"), 0);  // no tvapi.ini: no trace, but the values are stored
  int32_t out = 0;
  char buffer[6] = "?????";
  TvTraceIntOut("X", &out, 9);
  TvTraceStrOut("Y", buffer, "abc", sizeof buffer);
  EXPECT_EQ(out, 9);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_FALSE(tvtest::FileExists(path));
  tvTrace = {true, true, {}, TvFileAppend, false, false};
  Activate();
  TvTraceFunction("TvErrorMessage");
  EXPECT_EQ(TvTraceIntIn("Status", -1031), -1031);
  EXPECT_EQ(TvTraceLongIn("LenBuff", 256), 256);
  TvTraceIntOut("Days", &out, 65535);
  EXPECT_EQ(out, 65535);
  TvTraceLongOut("Count", nullptr, 3);
  char copy[8];
  TvTraceStrIn("Name", "abcdefghij", copy, sizeof copy);
  EXPECT_STREQ(copy, "abcdefg");
  TvTraceStrIn("Null", nullptr, copy, sizeof copy);
  EXPECT_STREQ(copy, "");
  TvTraceStrIn("NoCopy", "x", nullptr, 0);
  TvTraceStrOut("Buffer", buffer, "Could not", sizeof buffer);
  EXPECT_STREQ(buffer, "Could");
  TvTraceStrOutLang("Buffer", buffer, 0, "OK", sizeof buffer);
  EXPECT_STREQ(buffer, "OK");
  EXPECT_EQ(TvTraceReturnInt(-7), -7);
  EXPECT_EQ(TvTraceReturnLong(0), 0);
  TvTraceReturn();
  EXPECT_EQ(
      tvtest::ReadFile(path),
      tvtest::Traced("TvErrorMessage", {"Status -> -1031", "LenBuff -> 256", "Days <- 65535", "Count <- 3",
                                        "Name -> 'abcdefg'", "Null -> ''", "NoCopy -> '<NULL>'",
                                        "Buffer <- 'Could not'", "Buffer <- 'OK'", "return -7", "return 0", "return"}));
}

TEST_F(Trace, LinesAndStringsAreCut) {
  ASSERT_EQ(StartWith("[TvDefault]\n"), 0);
  Activate();
  const std::string longText(300, 's');
  char copy[400];
  TvTraceStrIn("P", longText.c_str(), copy, sizeof copy);
  EXPECT_EQ(std::string(copy), longText);  // the value itself is copied whole
  TvTraceFunction(longText.c_str());
  EXPECT_EQ(tvtest::ReadFile(path), "!     P -> '" + longText.substr(0, 100) +
                                        "'\r\n! Function: " + longText.substr(0, 199 - strlen("! Function: ")) + "");
}

}  // namespace
