#include "platform/kernel/debug.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/kernel/wide.h"

#undef printf

namespace {

struct Sink {
  std::mutex lock;
  FILE* out = stderr;
  bool ownsFile = false;
  std::vector<DebugCapture*> captures;
};

Sink& TheSink() {
  static Sink* sink = new Sink;  // never destroyed: exit handlers may still write
  return *sink;
}

void SetOutput(FILE* file, bool owns) {
  Sink& sink = TheSink();
  std::lock_guard guard(sink.lock);
  if (sink.ownsFile && sink.out) fclose(sink.out);
  sink.out = file;
  sink.ownsFile = owns;
}

// Appends one conversion of a narrow printf format to out.
template <typename T>
void AppendNarrow(std::string& out, const std::string& spec, T value) {
  char small[128];
  int n = snprintf(small, sizeof small, spec.c_str(), value);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof small) {
    out.append(small, n);
    return;
  }
  std::string big(static_cast<size_t>(n) + 1, '\0');
  snprintf(big.data(), big.size(), spec.c_str(), value);
  out.append(big.data(), n);
}

void AppendPadded(WString& out, WStringView text, bool leftAlign, int width) {
  int pad = width - static_cast<int>(text.size());
  if (pad > 0 && !leftAlign) out.append(static_cast<size_t>(pad), u' ');
  out.append(text);
  if (pad > 0 && leftAlign) out.append(static_cast<size_t>(pad), u' ');
}

}  // namespace

void DebugSinkToStderr() { SetOutput(stderr, false); }

bool DebugSinkToFile(const std::string& hostPath) {
  FILE* file = fopen(hostPath.c_str(), "a");
  if (!file) return false;
  setvbuf(file, nullptr, _IOLBF, 0);
  SetOutput(file, true);
  return true;
}

void DebugSinkSilence() { SetOutput(nullptr, false); }

void DebugSinkWrite(const std::string& text) {
  Sink& sink = TheSink();
  std::lock_guard guard(sink.lock);
  if (sink.out) {
    fwrite(text.data(), 1, text.size(), sink.out);
    fflush(sink.out);
  }
  for (DebugCapture* capture : sink.captures) capture->Append(text);
}

int DebugPrintfA(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n > 0) {
    std::string text(static_cast<size_t>(n) + 1, '\0');
    vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(n));
    DebugSinkWrite(text);
  }
  va_end(args);
  return n;
}

WString FormatWide(LPCWSTR format, va_list args, size_t maxUnits) {
  WString out;
  if (!format) return out;
  for (LPCWSTR p = format; *p; ++p) {
    if (*p != u'%') {
      out += *p;
      continue;
    }
    ++p;
    if (*p == u'%') {
      out += u'%';
      continue;
    }
    // Flags, width, precision, length, conversion.
    std::string spec = "%";
    bool leftAlign = false;
    while (*p && *p < 0x80 && std::strchr("-+ #0", static_cast<char>(*p))) {
      if (*p == u'-') leftAlign = true;
      spec += static_cast<char>(*p++);
    }
    int width = 0;
    if (*p == u'*') {
      width = va_arg(args, int);
      if (width < 0) {
        leftAlign = true;
        width = -width;
      }
      spec += std::to_string(width);
      ++p;
    } else {
      while (*p >= u'0' && *p <= u'9') {
        width = std::min(width * 10 + (*p - u'0'), 1 << 16);
        spec += static_cast<char>(*p++);
      }
    }
    int precision = -1;
    if (*p == u'.') {
      ++p;
      precision = 0;
      if (*p == u'*') {
        precision = va_arg(args, int);
        ++p;
      } else {
        while (*p >= u'0' && *p <= u'9') precision = std::min(precision * 10 + (*p++ - u'0'), 1 << 16);
      }
      if (precision >= 0) spec += "." + std::to_string(precision);
    }
    std::string length;
    while (*p == u'h' || *p == u'l' || *p == u'z' || *p == u'j' || *p == u't' || *p == u'L' ||
           *p == u'w' || *p == u'I') {
      if (*p == u'I' && p[1] == u'6' && p[2] == u'4') {
        length += "ll";
        p += 3;
        continue;
      }
      length += static_cast<char>(*p++);
    }
    WCHAR conversion = *p;
    if (!conversion) break;
    std::string narrow;
    switch (conversion) {
      case u's':
      case u'S': {
        bool narrowArg = (conversion == u'S') != (length == "h");
        if (length == "l" || length == "w") narrowArg = false;
        WString text;
        if (narrowArg) {
          const char* s = va_arg(args, const char*);
          text = FromUtf8(s ? s : "(null)");
        } else {
          LPCWSTR s = va_arg(args, LPCWSTR);
          text = s ? WString(s) : WString(u"(null)");
        }
        if (precision >= 0 && text.size() > static_cast<size_t>(precision)) text.resize(precision);
        AppendPadded(out, text, leftAlign, width);
        continue;
      }
      case u'c':
      case u'C': {
        WCHAR c = static_cast<WCHAR>(va_arg(args, int));
        AppendPadded(out, WStringView(&c, 1), leftAlign, width);
        continue;
      }
      case u'd':
      case u'i':
      case u'u':
      case u'x':
      case u'X':
      case u'o': {
        spec += length == "w" ? "" : length;
        spec += static_cast<char>(conversion);
        if (length == "ll" || length == "j")
          AppendNarrow(narrow, spec, va_arg(args, long long));
        else if (length == "l" || length == "z" || length == "t")
          AppendNarrow(narrow, spec, va_arg(args, long));
        else
          AppendNarrow(narrow, spec, va_arg(args, int));
        break;
      }
      case u'f':
      case u'F':
      case u'e':
      case u'E':
      case u'g':
      case u'G':
        spec += static_cast<char>(conversion);
        AppendNarrow(narrow, spec, va_arg(args, double));
        break;
      case u'p':
        spec += 'p';
        AppendNarrow(narrow, spec, va_arg(args, void*));
        break;
      default:
        // Unknown conversion: shown as written, no argument taken.
        out += u'%';
        out += conversion;
        continue;
    }
    out += FromUtf8(narrow);
  }
  if (maxUnits > 0 && out.size() > maxUnits - 1) out.resize(maxUnits - 1);
  return out;
}

void OutputDebugStringW(LPCWSTR text) {
  if (text) DebugSinkWrite(ToUtf8(text));
}

void NKDbgPrintfW(LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  WString text = FormatWide(format, args);
  va_end(args);
  DebugSinkWrite(ToUtf8(text));
}

void DebugPrintW(LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  WString text = FormatWide(format, args, 1024);
  va_end(args);
  OutputDebugStringW(text.c_str());
}

void DebugZonePrint(DWORD zone, LPCWSTR format, ...) {
  if ((zone & kDebugZoneMask) == 0) return;
  va_list args;
  va_start(args, format);
  WString text = FormatWide(format, args, 256);
  va_end(args);
  OutputDebugStringW(text.c_str());
}

DebugCapture::DebugCapture() {
  Sink& sink = TheSink();
  std::lock_guard guard(sink.lock);
  sink.captures.push_back(this);
}

DebugCapture::~DebugCapture() {
  Sink& sink = TheSink();
  std::lock_guard guard(sink.lock);
  std::erase(sink.captures, this);
}

void DebugCapture::Append(const std::string& text) { m_text += text; }

std::string DebugCapture::Text() const {
  std::lock_guard guard(TheSink().lock);
  return m_text;
}

std::vector<std::string> DebugCapture::Lines() const {
  std::string text = Text();
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    size_t stop = (end > start && text[end - 1] == '\r') ? end - 1 : end;
    lines.push_back(text.substr(start, stop - start));
    start = end + 1;
  }
  return lines;
}

bool DebugCapture::Contains(const std::string& fragment) const {
  return Text().find(fragment) != std::string::npos;
}

void DebugCapture::Clear() {
  std::lock_guard guard(TheSink().lock);
  m_text.clear();
}
