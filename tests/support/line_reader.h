// Lines read from a descriptor as they come, with reads that give up at a deadline instead
// of hanging the test. The descriptor stays the caller's.
#pragma once

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <string>

class LineReader {
 public:
  explicit LineReader(int fd = -1) : m_fd(fd) {}

  // The next line without its newline; "" when none came within timeoutMs. At the end of the
  // input: what was left of an unfinished line, and Ended() from then on.
  std::string Read(int timeoutMs) {
    const long deadline = NowMs() + timeoutMs;
    for (;;) {
      const size_t end = m_pending.find('\n');
      if (end != std::string::npos) {
        std::string line = m_pending.substr(0, end);
        m_pending.erase(0, end + 1);
        return line;
      }
      const long left = deadline - NowMs();
      if (m_fd < 0 || m_ended || left <= 0) return "";
      pollfd p{m_fd, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buffer[4096];
      const ssize_t n = read(m_fd, buffer, sizeof buffer);
      if (n <= 0) {
        m_ended = true;
        std::string rest;
        rest.swap(m_pending);
        return rest;
      }
      m_pending.append(buffer, static_cast<size_t>(n));
    }
  }
  bool Ended() const { return m_ended; }

  static long NowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
  }

 private:
  int m_fd;
  bool m_ended = false;
  std::string m_pending;
};
