// Thread records and kernel locks.
#include <string>
#include <thread>

#include "kernel_fixture.h"
#include "locale_writer.h"
#include "tv_locale.h"

namespace {

class Threads : public tvtest::KernelTest {};

TEST_F(Threads, LookupMovesTheFoundThreadToTheFront) {
  ASSERT_EQ(StartWith("[TvDefault]\n"), 0);
  EXPECT_EQ(TvThreadRecord(), TvThreadMainRecord());

  TvThreadRec ownRecord{};
  TvThreadNode ownNode{};
  TvThreadRec otherRecord{};
  TvThreadNode otherNode{};
  TvThreadRegister(&ownNode, &ownRecord);
  std::thread([&] { TvThreadRegister(&otherNode, &otherRecord); }).join();
  // The other thread's node is now at the head; looking up this thread moves its node back in front.
  EXPECT_EQ(TvThreadRecord(), &ownRecord);
  EXPECT_TRUE(TvThreadHasOwnRecord());
  TvThreadUnregister(&ownNode);
  TvThreadUnregister(&otherNode);
  EXPECT_EQ(TvThreadRecord(), TvThreadMainRecord());
  EXPECT_FALSE(TvThreadHasOwnRecord());
  EXPECT_EQ(TvThreadMainId(), GetCurrentThreadId());
  char text[16];
  TvThreadIdText(text, sizeof text);
  EXPECT_EQ(std::string(text), "#" + std::to_string(GetCurrentThreadId()));
  char small[3];
  TvThreadIdText(small, sizeof small);
  EXPECT_EQ(strlen(small), 2u);
}

TEST_F(Threads, LocksAreTakenInOrderThroughAWholeRun) {
  // A start that loads a locale's collation from the locale file.
  tvtest::CollationPlan collation{{1, 2}, {{10, 1}, {20, 2}}, std::vector<uint16_t>(256, 1), {{"ch", 0}}};
  std::vector<size_t> cuts;
  tvtest::WriteFile(dir / "tvlcl.dat", tvtest::LocaleFileBytes({{"enENG"}, {"gbGBR"}, {{0, 0, "en-gb", collation}}}, &cuts));
  const uint32_t before = TvLockOrderViolations();
  ASSERT_EQ(StartLogging("LogErrors=Y\nLogConsole=Y\nProgDir=" + dir.path() + "\nLocaleCollation=044\n"), 0);
  ASSERT_NE(TvLocaleCollation()->weights, nullptr);
  tvInstance.console = nullptr;  // the console path runs, its output goes nowhere
  TvErrorRaise(-1010, "x", TvRaiseOrigin);
  TvErrorText(-1031);
  TvLogWriteThread("line\n");
  TvErrorReport("Title", -1010);
  std::thread([] { TvErrorRaise(-1012, "other", TvRaiseOrigin); }).join();
  TvKernelShutdown(-1010);
  EXPECT_EQ(TvLockOrderViolations(), before);
}

TEST_F(Threads, OutOfOrderAcquisitionIsCounted) {
  ASSERT_EQ(StartWith("[TvDefault]\n"), 0);
  const uint32_t before = TvLockOrderViolations();
  {
    TvLockGuard log(TvServiceLock(TvLockId::Log));
    TvLockGuard kernel(tvInstance.kernelLock);  // kernel lock after a service lock
  }
  EXPECT_EQ(TvLockOrderViolations(), before + 1);
  {
    TvLockGuard kernel(tvInstance.kernelLock);
    TvLockGuard again(tvInstance.kernelLock);  // re-entry is fine
    TvLockGuard log(TvServiceLock(TvLockId::Log));
  }
  EXPECT_EQ(TvLockOrderViolations(), before + 1);
}

// A guard on a lock never created does nothing; a lock deleted twice is harmless.
// The service locks live from the reset to the last shut-down.
TEST_F(Threads, LockLifetimes) {
  TvLock lock{};
  { TvLockGuard guard(lock); }
  TvLockCreate(lock, TvLockId::Scan);
  {
    TvLockGuard guard(lock);
    EXPECT_EQ(lock.depth, 1u);
  }
  EXPECT_EQ(lock.depth, 0u);
  TvLockDelete(lock);
  EXPECT_EQ(lock.initialised, 0u);
  TvLockDelete(lock);
  EXPECT_FALSE(TvServiceLocksCreated());
  ASSERT_EQ(StartWith("[TvDefault]\n"), 0);
  EXPECT_TRUE(TvServiceLocksCreated());
  TvKernelShutdown(0);
  EXPECT_FALSE(TvServiceLocksCreated());
}

}  // namespace
