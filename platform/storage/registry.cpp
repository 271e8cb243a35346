#include "platform/storage/registry.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/storage/device_paths.h"
#include "platform/storage/files.h"
#include "platform/kernel/lasterror.h"
#include "platform/kernel/wide.h"

struct RegistryKey {
  WString path;  // folded full path below HKEY_LOCAL_MACHINE, without a trailing backslash
};

namespace {

struct Value {
  DWORD type = REG_NONE;
  DWORD number = 0;
  WString text;
};

struct Registry {
  std::mutex lock;
  std::map<WString, std::map<WString, Value>> keys;  // folded key path -> folded value name
  std::vector<std::unique_ptr<RegistryKey>> open;
};

Registry& TheRegistry() {
  static auto* registry = new Registry;
  return *registry;
}

RegistryKey g_localMachine{u""};

WString TrimSlashes(WString path) {
  while (!path.empty() && path.front() == u'\\') path.erase(path.begin());
  while (!path.empty() && path.back() == u'\\') path.pop_back();
  return path;
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r");
  size_t b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// A quoted string at s[pos]; pos ends after the closing quote. False when unterminated.
bool ParseQuoted(const std::string& s, size_t& pos, std::string& out) {
  if (pos >= s.size() || s[pos] != '"') return false;
  for (++pos; pos < s.size(); ++pos) {
    if (s[pos] == '\\' && pos + 1 < s.size()) {
      out += s[++pos];
    } else if (s[pos] == '"') {
      ++pos;
      return true;
    } else {
      out += s[pos];
    }
  }
  return false;
}

bool ParseValueLine(const std::string& line, WString& name, Value& value) {
  size_t pos = 0;
  std::string rawName;
  if (!ParseQuoted(line, pos, rawName)) return false;
  std::string rest = Trim(line.substr(pos));
  if (rest.empty() || rest[0] != '=') return false;
  rest = Trim(rest.substr(1));
  name = FoldCase(FromUtf8(rawName));
  if (rest.rfind("dword:", 0) == 0) {
    std::string hex = rest.substr(6);
    if (hex.empty() || hex.size() > 8 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      return false;
    value.type = REG_DWORD;
    value.number = static_cast<DWORD>(std::strtoul(hex.c_str(), nullptr, 16));
    return true;
  }
  size_t at = 0;
  std::string text;
  if (!ParseQuoted(rest, at, text) || !Trim(rest.substr(at)).empty()) return false;
  value.type = REG_SZ;
  value.text = FromUtf8(text);
  return true;
}

// The file's text as UTF-8: a UTF-16LE file (with its byte-order mark, as registry
// editors write them) is converted, a UTF-8 byte-order mark dropped.
std::string AsUtf8(const std::string& text) {
  if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF && static_cast<unsigned char>(text[1]) == 0xFE) {
    WString wide;
    for (size_t i = 2; i + 1 < text.size(); i += 2)
      wide += static_cast<WCHAR>(static_cast<unsigned char>(text[i]) | (static_cast<unsigned char>(text[i + 1]) << 8));
    return ToUtf8(wide);
  }
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) return text.substr(3);
  return text;
}

}  // namespace

const HKEY HKEY_LOCAL_MACHINE = &g_localMachine;

void LoadRegistryFromText(const std::string& text) {
  std::map<WString, std::map<WString, Value>> keys;
  std::istringstream in(AsUtf8(text));
  std::string line;
  WString current;
  bool inKey = false;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[') {
      inKey = line.back() == ']';
      if (!inKey) continue;
      WString path = TrimSlashes(FromUtf8(line.substr(1, line.size() - 2)));
      WString folded = FoldCase(path);
      static const WString kRootName = u"hkey_local_machine";
      if (folded.rfind(kRootName, 0) == 0) folded = TrimSlashes(folded.substr(kRootName.size()));
      current = folded;
      // A key's parents exist too, as they do in a registry.
      for (size_t cut = 0; (cut = current.find(u'\\', cut)) != WString::npos; ++cut) keys[current.substr(0, cut)];
      keys[current];
      continue;
    }
    WString name;
    Value value;
    if (inKey && ParseValueLine(line, name, value)) keys[current][name] = value;
  }
  Registry& registry = TheRegistry();
  std::lock_guard guard(registry.lock);
  registry.keys = std::move(keys);
}

void LoadRegistryFromRoot() {
  std::ifstream in(GetDeviceRoot() + "/registry.txt", std::ios::binary);
  std::stringstream text;
  if (in) text << in.rdbuf();
  LoadRegistryFromText(text.str());
}

LONG RegOpenKeyExW(HKEY parent, LPCWSTR subKey, DWORD, REGSAM, HKEY* result) {
  if (!result || !parent) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  Registry& registry = TheRegistry();
  std::lock_guard guard(registry.lock);
  WString path = parent->path;
  WString sub = FoldCase(TrimSlashes(subKey ? WString(subKey) : WString()));
  if (!sub.empty()) path = path.empty() ? sub : path + u"\\" + sub;
  if (!path.empty() && registry.keys.find(path) == registry.keys.end()) return ERROR_FILE_NOT_FOUND;
  registry.open.push_back(std::make_unique<RegistryKey>(RegistryKey{path}));
  *result = registry.open.back().get();
  return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* dataSize) {
  if (!key) return ERROR_INVALID_HANDLE;
  Registry& registry = TheRegistry();
  std::lock_guard guard(registry.lock);
  auto keyIt = registry.keys.find(key->path);
  if (keyIt == registry.keys.end()) return ERROR_FILE_NOT_FOUND;
  auto valueIt = keyIt->second.find(FoldCase(valueName ? WString(valueName) : WString()));
  if (valueIt == keyIt->second.end()) return ERROR_FILE_NOT_FOUND;
  const Value& value = valueIt->second;
  if (type) *type = value.type;
  DWORD needed = value.type == REG_DWORD ? 4 : static_cast<DWORD>((value.text.size() + 1) * sizeof(WCHAR));
  if (!data) {
    if (dataSize) *dataSize = needed;
    return ERROR_SUCCESS;
  }
  if (!dataSize) return ERROR_INVALID_PARAMETER;
  if (*dataSize < needed) {
    *dataSize = needed;
    return ERROR_MORE_DATA;
  }
  if (value.type == REG_DWORD) {
    std::memcpy(data, &value.number, 4);
  } else {
    WString terminated = value.text + WCHAR(0);
    std::memcpy(data, terminated.data(), needed);
  }
  *dataSize = needed;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  Registry& registry = TheRegistry();
  std::lock_guard guard(registry.lock);
  for (auto it = registry.open.begin(); it != registry.open.end(); ++it) {
    if (it->get() == key) {
      registry.open.erase(it);
      return ERROR_SUCCESS;
    }
  }
  return ERROR_INVALID_HANDLE;
}
