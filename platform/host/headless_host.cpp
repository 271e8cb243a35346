// The headless hosts: a script file (or the tour), and standard input's lines answered in step.
#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>

#include "platform/host/host_end.h"
#include "platform/host/hosts.h"

#undef printf

namespace {

const char* Answer(ScriptResult result) {
  switch (result) {
    case ScriptResult::Done: return "done";
    case ScriptResult::Failed: return "failed";
    case ScriptResult::Ended: return "ended";
  }
  return "failed";
}

void RunAnsweredLine(const std::string& line, int number, const std::string& shotsDir) {
  std::string error;
  std::optional<std::vector<ScreenCommand>> commands = ParseScreenScript(line, &error, number);
  if (!commands) {
    std::printf("error: %s\n", error.c_str());
  } else {
    const ScriptResult result = RunScreenScript(*commands, shotsDir, ApplicationEndedEvent());
    if (result == ScriptResult::Failed) NoteHostFailure();
    std::printf("%s\n", Answer(result));
  }
  std::fflush(stdout);
}

}  // namespace

void RunScriptHost(const std::vector<ScreenCommand>& commands, const std::string& shotsDir) {
  if (RunScreenScript(commands, shotsDir, ApplicationEndedEvent()) == ScriptResult::Failed) NoteHostFailure();
  EndApplicationFromHost();  // the script has run out (nothing happens when the application has ended)
}

void RunStandardInputHost(const std::string& shotsDir) {
  std::string pending;
  int lineNumber = 0;
  bool inputEnded = false;
  while (!ApplicationHasEnded()) {
    const size_t end = pending.find('\n');
    if (end != std::string::npos) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      RunAnsweredLine(line, ++lineNumber, shotsDir);
      continue;
    }
    if (inputEnded) {
      if (!pending.empty()) RunAnsweredLine(pending, ++lineNumber, shotsDir);
      break;
    }
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {ApplicationEndedFd(), POLLIN, 0}};
    const int ready = poll(fds, 2, -1);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0 || fds[1].revents) continue;  // the loop's condition sees the end
    char buffer[512];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) inputEnded = true;
    else pending.append(buffer, static_cast<size_t>(n));
  }
  EndApplicationFromHost();  // the input has ended
}
