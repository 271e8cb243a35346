// Named events within one process and across processes on the same device root.
//
// The other process is this test program started again with VELLUMET_TEST_HOLD_NAME set: it
// then creates that event, reports on descriptor 3 whether the name existed ('n' new,
// 'e' existed, 'f' failed), and holds it until its standard input ends or it is killed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/storage/files.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/named_objects.h"
#include "platform/kernel/wide.h"

extern char** environ;

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
    char report = !event ? 'f' : GetLastError() == ERROR_ALREADY_EXISTS ? 'e' : 'n';
    if (write(3, &report, 1) != 1) _exit(3);
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
  Holder(const std::string& name, const std::string& root) {
    int report[2], input[2];
    if (pipe2(report, O_CLOEXEC) != 0 || pipe2(input, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, report[1], 3);

    std::vector<std::string> env = {std::string(kHoldNameVar) + "=" + name,
                                    std::string(kHoldRootVar) + "=" + root};
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=KernelNamedEvents.*";
    char* argv[] = {exe.data(), filter.data(), nullptr};
    if (posix_spawn(&m_pid, exe.c_str(), &actions, nullptr, argv, envp.data()) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(report[1]);
    close(input[0]);
    m_input = input[1];
    if (m_pid > 0 && read(report[0], &m_report, 1) != 1) m_report = '?';
    close(report[0]);
  }
  // Closing its input lets the holder end normally, without closing its handle.
  ~Holder() {
    close(m_input);
    if (m_pid > 0) waitpid(m_pid, nullptr, 0);
  }
  // What the holder found when it created the name.
  char Report() const { return m_report; }
  // Ends the holder the hard way, as a crash would, and waits until it is gone.
  void Kill() {
    kill(m_pid, SIGKILL);
    int status = 0;
    waitpid(m_pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    m_pid = -1;
  }

 private:
  pid_t m_pid = -1;
  int m_input = -1;
  char m_report = '?';
};

class KernelNamedEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vellumet-kernel-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_root = pattern;
    SetDeviceRoot(m_root);
  }
  void TearDown() override {
    std::filesystem::remove_all(NameLockFolder());
    std::filesystem::remove_all(m_root);
  }

  // Creates the event and returns GetLastError() of the create; the handle goes to *out.
  static DWORD Create(const char16_t* name, HANDLE* out, BOOL manual = TRUE, BOOL initial = FALSE) {
    SetLastError(12345);
    *out = CreateEventW(nullptr, manual, initial, name);
    EXPECT_NE(*out, nullptr);
    return GetLastError();
  }

  std::string m_root;
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

TEST_F(KernelNamedEvents, NameHeldByACrashedProcessIsFreeAgain) {
  Holder holder("belongstoPhoto", m_root);
  ASSERT_EQ(holder.Report(), 'n');
  HANDLE event;
  EXPECT_EQ(Create(u"belongstoPhoto", &event), ERROR_ALREADY_EXISTS);
  CloseHandle(event);

  holder.Kill();
  EXPECT_EQ(Create(u"belongstoPhoto", &event), ERROR_SUCCESS);
  CloseHandle(event);
}

TEST_F(KernelNamedEvents, OtherProcessSeesOurNameUntilWeCloseIt) {
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
  EXPECT_EQ(fourth.Report(), 'n');
}

TEST_F(KernelNamedEvents, DeviceRootsHaveSeparateNames) {
  HANDLE event;
  ASSERT_EQ(Create(u"belongstoPhoto", &event), ERROR_SUCCESS);
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
