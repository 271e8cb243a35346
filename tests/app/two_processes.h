// The program and the launcher stand-in as real processes on one device root, for the tests
// that look at the program from outside: its messages, its screenshots, its exit status.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/wait.h"
#include "tests/support/temp_root.h"

inline const std::string kBin = VELLUMET_BIN_DIR;

// The program's exit statuses (host/main.cpp).
constexpr int kEndedByItself = 0;
constexpr int kRefused = 3;
constexpr int kEndedByHost = 4;
constexpr int kHostFailed = 5;

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The registry's keys of an 800 x 480 display.
constexpr const char* kDisplayKeys =
    "[HKEY_LOCAL_MACHINE\\Drivers\\Display\\TCC79X\\CONFIG]\n\"LCD_Width\"=dword:00000320\n"
    "\"LCD_Height\"=dword:000001e0\n";

class TwoProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_root.WriteFile("registry.txt", kDisplayKeys);
    m_shots = m_root.Path() / "shots";
    std::filesystem::create_directories(m_shots);
  }

  std::string Root() const { return m_root.Path().string(); }
  std::string Log() const { return (m_root.Path() / "debug.log").string(); }

  // The launcher stand-in, listening once its window is reachable; stopped at the test's end.
  void StartLauncher() {
    m_launcher = std::make_unique<ChildProcess>(std::vector<std::string>{kBin + "/vellumet-launcher", "--root", Root(), "listen"});
    EXPECT_EQ(m_launcher->ReadErrorLine(), "vellumet-launcher: listening");
  }
  void TearDown() override {
    if (!m_launcher) return;
    m_launcher->Signal(SIGTERM);
    EXPECT_EQ(m_launcher->Wait(), 0);
  }
  // The program on the root with its log, and more arguments.
  std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                                      int inputFd = -1) {
    std::vector<std::string> argv{kBin + "/vellumet", "--root", Root(), "--log", Log()};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<ChildProcess>(argv, env, inputFd);
  }
  // The program headless with a script ("-": driven line by line through its standard input),
  // and more arguments.
  std::unique_ptr<ChildProcess> StartProgram(const std::string& script = "-", std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), {"--headless", "--script", script, "--shots", m_shots.string()});
    return Start(extra);
  }
  // A script file under the root.
  std::string Script(const std::string& name, const std::string& text) {
    m_root.WriteFile(name, text);
    return (m_root.Path() / name).string();
  }
  // Runs one screen command in the program and waits until it has been carried out.
  static void Command(ChildProcess& program, const std::string& line) {
    program.Write(line);
    EXPECT_EQ(program.ReadLine(), "done") << line;
  }
  // Sends a launcher code (or another message) to the program's main page (front: to its
  // front window) and waits until it was handled; the tool's status.
  int Send(const std::string& code, const std::string& message = "0x0bfb", bool front = false) {
    std::vector<std::string> argv{kBin + "/vellumet-launcher", "--root", Root(), "send", "photo", message, code, "0",
                                  "--wait"};
    if (front) argv.push_back("--front");
    return ChildProcess(argv).Wait();
  }
  // Waits, a tenth of a device second at a time, until the program's debug output (Log()
  // unless another is named) holds the text `times` times; whether it came to.
  bool Logged(ChildProcess& program, const std::string& text, size_t times = 1, const std::string& log = "") const {
    for (int i = 0; i < 300; ++i, Command(program, "wait 100\n")) {
      if (Occurrences(ReadAll(log.empty() ? Log() : log), text) >= static_cast<int>(times)) return true;
    }
    return false;
  }
  std::string Shot(const std::string& name) const { return ReadAll(m_shots / (name + ".png")); }
  bool HasShot(const std::string& name) const { return std::filesystem::exists(m_shots / (name + ".png")); }

  TempDeviceRoot m_root;
  std::filesystem::path m_shots;
  std::unique_ptr<ChildProcess> m_launcher;
};
