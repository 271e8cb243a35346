// Named events within one process and across processes on the same device root.
//
// The other process is this test program started again with VELLUMET_TEST_HOLD_NAME set: it
// then creates that event, reports on its standard error whether the name existed ('n' new,
// 'e' existed, 'f' failed), and holds it until its standard input ends or it is killed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/kernel/kernel.h"
#include "platform/kernel/named_objects.h"
#include "platform/kernel/wide.h"
#include "platform/storage/files.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_root.h"

namespace {

constexpr const char* kHoldNameVar = "VELLUMET_TEST_HOLD_NAME";
constexpr const char* kHoldRootVar = "VELLUMET_TEST_HOLD_ROOT";

class HolderMode : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* name = std::getenv(kHoldNameVar);
    if (!name) return;
    SetDeviceRoot(std::getenv(kHoldRootVar));
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, FromUtf8(name).c_str());
    const char report[] = {!event ? 'f' : GetLastError() == ERROR_ALREADY_EXISTS ? 'e' : 'n', '\n'};
    if (write(2, report, 2) != 2) _exit(3);
    char byte;
    while (read(0, &byte, 1) > 0) {
    }
    _exit(0);
  }
};
[[maybe_unused]] ::testing::Environment* const kHolderMode = ::testing::AddGlobalTestEnvironment(new HolderMode);

// Another process holding a named event on a device root.
class Holder {
 public:
  Holder(const std::string& name, const std::string& root)
      : m_process({std::filesystem::read_symlink("/proc/self/exe").string(), "--gtest_filter=KernelNamedEvents.*"},
                  {std::string(kHoldNameVar) + "=" + name, std::string(kHoldRootVar) + "=" + root}),
        m_report(m_process.ReadErrorLine()) {}
  // Closing its input lets the holder end normally, without closing its handle.
  ~Holder() {
    m_process.CloseInput();
    if (!m_killed) m_process.Wait();
  }
  // What the holder found when it created the name.
  char Report() const { return m_report.size() == 1 ? m_report[0] : '?'; }
  // Ends the holder the hard way, as a crash would, and waits until it is gone.
  void Kill() {
    m_process.Signal(SIGKILL);
    EXPECT_EQ(m_process.Wait(), 128 + SIGKILL);
    m_killed = true;
  }

 private:
  ChildProcess m_process;
  std::string m_report;
  bool m_killed = false;
};

class KernelNamedEvents : public ::testing::Test {
 protected:
  void TearDown() override { std::filesystem::remove_all(NameLockFolder()); }

  // Creates the event and returns GetLastError() of the create; the handle goes to *out.
  static DWORD Create(const char16_t* name, HANDLE* out, BOOL manual = TRUE, BOOL initial = FALSE) {
    SetLastError(12345);
    *out = CreateEventW(nullptr, manual, initial, name);
    EXPECT_NE(*out, nullptr);
    return GetLastError();
  }

  TempDeviceRoot m_folder;
  const std::string m_root = m_folder.Path().string();
};

TEST_F(KernelNamedEvents, SameNameInOneProcessSharesTheEvent) {
  HANDLE first, second, other;
  EXPECT_EQ(Create(u"belongstoPhoto", &first), ERROR_SUCCESS);
  EXPECT_EQ(Create(u"belongstoPhoto", &second, FALSE, TRUE), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(Create(u"BELONGSTOPHOTO", &other), ERROR_SUCCESS) << "names are case-sensitive";
  EXPECT_NE(first, second);

  // The second create's parameters are ignored: the event stays manual-reset, non-signalled.
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);
  SetEvent(first);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(other, 0), WAIT_TIMEOUT);

  CloseHandle(first);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0) << "still open through the second handle";
  CloseHandle(second);
  HANDLE again;
  EXPECT_EQ(Create(u"belongstoPhoto", &again), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_TIMEOUT) << "a fresh event after the last close";
  CloseHandle(again);
  CloseHandle(other);
}

TEST_F(KernelNamedEvents, ProcessesSeeEachOthersNamesUntilClosedOrCrashedOnTheirDeviceRootOnly) {
  HANDLE event;
  ASSERT_EQ(Create(u"belongstoPhoto", &event), ERROR_SUCCESS);
  {
    Holder second("belongstoPhoto", m_root);
    EXPECT_EQ(second.Report(), 'e');
  }  // the second ends normally while holding the name: that must release it too
  Holder third("belongstoPhoto", m_root);
  EXPECT_EQ(third.Report(), 'e');
  CloseHandle(event);
  third.Kill();
  Holder fourth("belongstoPhoto", m_root);
  ASSERT_EQ(fourth.Report(), 'n');
  // Theirs is seen here, and a crash frees it.
  EXPECT_EQ(Create(u"belongstoPhoto", &event), ERROR_ALREADY_EXISTS);
  CloseHandle(event);
  fourth.Kill();
  ASSERT_EQ(Create(u"belongstoPhoto", &event), ERROR_SUCCESS);

  // Another device root has names of its own.
  std::string otherRoot = m_root + "/elsewhere";
  std::filesystem::create_directory(otherRoot);
  Holder elsewhere("belongstoPhoto", otherRoot);
  EXPECT_EQ(elsewhere.Report(), 'n');
  // The same folder spelt differently is the same root.
  Holder here("belongstoPhoto", m_root + "/elsewhere/..");
  EXPECT_EQ(here.Report(), 'e');
  CloseHandle(event);
  SetDeviceRoot(otherRoot);
  std::filesystem::remove_all(NameLockFolder());
  SetDeviceRoot(m_root);
}

}  // namespace
