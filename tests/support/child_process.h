// A program started by a test, with pipes to its standard input, output and error, and
// line reads that give up at a deadline instead of hanging the test.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/line_reader.h"

extern char** environ;

class ChildProcess {
 public:
  // extraEnv: "NAME=VALUE" entries added to (or replacing those of) this process's environment.
  // inputFd: when not -1, the program's standard input is this descriptor (a terminal, say)
  // instead of a pipe from the test.
  explicit ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {},
                        int inputFd = -1) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inputFd >= 0 ? inputFd : in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const auto replaces = [&](const std::string& extra) {
        return entry.starts_with(extra.substr(0, extra.find('=') + 1));
      };
      if (std::none_of(extraEnv.begin(), extraEnv.end(), replaces)) env.push_back(entry);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    if (posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    m_in = in[1];
    m_out = out[0];
    m_err = err[0];
    m_outLines = LineReader(m_out);
    m_errLines = LineReader(m_err);
  }
  ~ChildProcess() {
    if (m_pid > 0 && !m_reaped) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    for (int fd : {m_in, m_out, m_err})
      if (fd >= 0) close(fd);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return m_pid; }
  void Write(const std::string& text) {
    if (m_in >= 0 && write(m_in, text.data(), text.size()) < 0) CloseInput();
  }
  void CloseInput() {
    if (m_in >= 0) close(m_in);
    m_in = -1;
  }
  // The next line of standard output (or error) without its newline; "" at the end of the
  // output or when no line came within timeoutMs.
  std::string ReadLine(int timeoutMs = kDefaultTimeoutMs) { return m_outLines.Read(timeoutMs); }
  std::string ReadErrorLine(int timeoutMs = kDefaultTimeoutMs) { return m_errLines.Read(timeoutMs); }
  // Reads standard output until a line equals `line`; false at the end or the deadline.
  bool WaitForLine(const std::string& line, int timeoutMs = kDefaultTimeoutMs) {
    const long deadline = NowMs() + timeoutMs;
    for (;;) {
      const long left = deadline - NowMs();
      if (left <= 0) return false;
      std::string got = ReadLine(static_cast<int>(left));
      if (got == line) return true;
      if (got.empty() && m_outLines.Ended()) return false;
    }
  }
  // Waits for the program to end (its output closes first); the exit status, or -1 when it
  // did not end within timeoutMs (it is then killed).
  int Wait(int timeoutMs = kDefaultTimeoutMs) {
    const long deadline = NowMs() + timeoutMs;
    while (!m_outLines.Ended() && NowMs() < deadline) ReadLine(static_cast<int>(deadline - NowMs()));
    if (!m_outLines.Ended()) kill(m_pid, SIGKILL);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_reaped = true;
    if (!m_outLines.Ended()) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  void Signal(int signal) { kill(m_pid, signal); }
  // Everything the program wrote to standard error until it closed it (call after Wait).
  std::string ReadAllErrors(int timeoutMs = kDefaultTimeoutMs) {
    std::string all;
    const long deadline = NowMs() + timeoutMs;
    while (!m_errLines.Ended() && NowMs() < deadline) {
      const std::string line = ReadErrorLine(static_cast<int>(deadline - NowMs()));
      if (!line.empty() || !m_errLines.Ended()) all += line + "\n";
    }
    return all;
  }

  static constexpr int kDefaultTimeoutMs = 30000;

 private:
  static long NowMs() { return LineReader::NowMs(); }

  pid_t m_pid = -1;
  bool m_reaped = false;
  int m_in = -1, m_out = -1, m_err = -1;
  LineReader m_outLines, m_errLines;
};
