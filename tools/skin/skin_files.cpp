#include "tools/skin/skin_files.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <utility>

#include "platform/imaging/bmp_format.h"

namespace {

std::string Trim(const std::string& s) {
  const size_t begin = s.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  return s.substr(begin, s.find_last_not_of(" \t\r") - begin + 1);
}

void Put16(std::vector<BYTE>& out, DWORD v) { out.insert(out.end(), {BYTE(v), BYTE(v >> 8)}); }
void Put32(std::vector<BYTE>& out, DWORD v) { out.insert(out.end(), {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)}); }

const char* Reason(bmp::Status status) {
  switch (status) {
    case bmp::Status::NotBmp: return "not a BMP file";
    case bmp::Status::Unsupported: return "a kind of BMP file that is not read";
    case bmp::Status::TooLarge: return "too large";
    default: return "damaged or cut short";
  }
}

}  // namespace

std::optional<std::vector<SkinResource>> ReadResourceList(const std::string& path, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = "cannot read " + path;
    return std::nullopt;
  }
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::vector<SkinResource> list;
  std::set<std::pair<bool, int>> seen;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    auto fault = [&](const std::string& what) {
      *error = path + ":" + std::to_string(number) + ": " + what;
      return std::nullopt;
    };
    std::string entry = line, role;
    if (const size_t comment = line.find("//"); comment != std::string::npos) {
      entry = line.substr(0, comment);
      role = Trim(line.substr(comment + 2));
    }
    std::istringstream fields(entry);
    std::string id, type, file;
    if (!(fields >> id)) continue;  // blank or only a comment
    fields >> type >> std::ws;
    if (fields.get() != '"' || !std::getline(fields, file, '"') || fields.eof())
      return fault("expected: ID BITMAP|ICON \"FILE\" // role");
    if (id.find_first_not_of("0123456789") != std::string::npos || id.size() > 5) return fault("not an id: " + id);
    if (type != "BITMAP" && type != "ICON") return fault("not a type: " + type);
    std::string rest;
    if (fields >> rest) return fault("more than one file: " + rest);
    SkinResource resource{std::stoi(id), type == "ICON", folder + file, role};
    if (!seen.emplace(resource.icon, resource.id).second) return fault(type + " " + id + " comes twice");
    list.push_back(std::move(resource));
  }
  return list;
}

bool ReadIndexedBmp(const std::string& path, IndexedPicture* picture, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  const std::vector<BYTE> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bmp::Layout layout;
  if (bmp::Status status = bmp::ReadLayout(file.data(), file.size(), &layout); status != bmp::Status::Ok) {
    *error = path + ": " + Reason(status);
    return false;
  }
  if (!layout.HasPalette()) {
    *error = path + ": " + std::to_string(layout.bitCount) + " bits a pixel; a skin picture has a palette (8 bits or fewer)";
    return false;
  }
  IndexedPicture made;
  made.width = static_cast<int>(layout.width);
  made.height = static_cast<int>(layout.height);
  made.colours = static_cast<int>(layout.palette.size() / 3);
  made.palette.assign(768, 0);
  for (int i = 0; i < made.colours; ++i) {  // the file's blue, green, red into red, green, blue
    made.palette[3 * i] = layout.palette[3 * i + 2];
    made.palette[3 * i + 1] = layout.palette[3 * i + 1];
    made.palette[3 * i + 2] = layout.palette[3 * i];
  }
  made.pixels.resize(static_cast<size_t>(made.width) * made.height);
  bmp::Rows rows(file.data(), file.size(), layout);
  if (!rows.Expand()) {
    *error = path + ": out of memory";
    return false;
  }
  for (UINT y = 0; y < layout.height; ++y) rows.Indices(y, made.pixels.data() + static_cast<size_t>(y) * made.width);
  const auto highest = std::max_element(made.pixels.begin(), made.pixels.end());
  if (*highest >= made.colours) {
    const size_t at = static_cast<size_t>(highest - made.pixels.begin());
    *error = path + ": pixel (" + std::to_string(at % made.width) + ", " + std::to_string(at / made.width) +
             ") is colour " + std::to_string(*highest) + " of a palette of " + std::to_string(made.colours);
    return false;
  }
  *picture = std::move(made);
  return true;
}

bool WriteIndexedBmp(const std::string& path, const IndexedPicture& picture) {
  const DWORD stride = (static_cast<DWORD>(picture.width) + 3) & ~3u;
  const DWORD offset = 14 + 40 + 4 * static_cast<DWORD>(picture.colours);
  std::vector<BYTE> out{'B', 'M'};
  Put32(out, offset + stride * static_cast<DWORD>(picture.height));
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, 40);
  Put32(out, static_cast<DWORD>(picture.width));
  Put32(out, static_cast<DWORD>(picture.height));
  Put16(out, 1);  // planes
  Put16(out, 8);  // bits a pixel
  Put32(out, 0);  // no compression
  Put32(out, stride * static_cast<DWORD>(picture.height));
  Put32(out, 2835);  // 72 dots an inch, in dots a metre
  Put32(out, 2835);
  Put32(out, static_cast<DWORD>(picture.colours));
  Put32(out, 0);  // all colours matter
  for (int i = 0; i < picture.colours; ++i)
    out.insert(out.end(), {picture.palette[3 * i + 2], picture.palette[3 * i + 1], picture.palette[3 * i], 0});
  for (int y = picture.height - 1; y >= 0; --y) {
    const BYTE* row = picture.pixels.data() + static_cast<size_t>(y) * picture.width;
    out.insert(out.end(), row, row + picture.width);
    out.resize(out.size() + stride - static_cast<DWORD>(picture.width), 0);
  }
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  return static_cast<bool>(file);
}
