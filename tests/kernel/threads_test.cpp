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
}

TEST_F(Threads, LocksAreTakenInOrderThroughAWholeRun) {
  // A start that loads a locale's collation from the locale file.
  tvtest::CollationPlan collation{{1, 2}, {{10, 1}, {20, 2}}, std::vector<uint16_t>(256, 1), {{"ch", 0}}};
  std::vector<size_t> cuts;
  tvtest::WriteFile(dir / "tvlcl.dat",
                    tvtest::LocaleFileBytes({{"enENG"}, {"gbGBR"}, {{0, 0, "en-gb", collation}}}, &cuts));
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

// The service locks live from the reset to the last shut-down; a guard on a
// lock never created does nothing, and deleting one twice is harmless.
TEST_F(Threads, OutOfOrderAcquisitionIsCountedThroughTheLocksLives) {
  TvLock never{};
  { TvLockGuard guard(never); }
  TvLockDelete(never);
  EXPECT_FALSE(TvServiceLocksCreated());
  ASSERT_EQ(StartWith("[TvDefault]\n"), 0);
  EXPECT_TRUE(TvServiceLocksCreated());
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
  TvKernelShutdown(0);
  EXPECT_FALSE(TvServiceLocksCreated());
}

}  // namespace
