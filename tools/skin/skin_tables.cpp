// The build's skin compiler: turns the resource list and its BMP files into the C++ tables
// the program carries its skin in (palettes and run-length coded pixels, see
// platform/windows/resources.h), so that it reads no file for its skin at run time.
//
//   vellumet-skin-tables res/skin.rc OUT.cpp
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/skin/skin_files.h"

#undef printf

namespace {

struct Compiled {
  SkinResource resource;
  IndexedPicture picture;
};

// The coding ResourceBitmap documents: n < 128 and n + 1 literal bytes, or n >= 128 and one
// byte repeated n - 126 times.
std::vector<BYTE> RunLength(const std::vector<BYTE>& in) {
  std::vector<BYTE> out;
  size_t i = 0;
  while (i < in.size()) {
    size_t run = 1;
    while (i + run < in.size() && in[i + run] == in[i] && run < 129) ++run;
    if (run >= 2) {
      out.push_back(BYTE(run + 126));
      out.push_back(in[i]);
      i += run;
      continue;
    }
    size_t start = i, count = 0;
    while (i < in.size() && count < 128 && !(i + 1 < in.size() && in[i + 1] == in[i])) ++i, ++count;
    if (count == 0) ++i, ++count;
    out.push_back(BYTE(count - 1));
    out.insert(out.end(), in.begin() + long(start), in.begin() + long(start + count));
  }
  return out;
}

void WriteTable(std::ostream& out, const std::string& name, const std::vector<BYTE>& bytes) {
  out << "const BYTE " << name << "[] = {";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i % 32 == 0) out << "\n";
    out << int(bytes[i]) << ",";
  }
  out << "\n};\n";
}

std::string Name(const char* what, const Compiled& c) {
  return std::string(c.resource.icon ? "kIcon" : "k") + what + std::to_string(c.resource.id);
}

void WriteArray(std::ostream& out, const char* array, const char* count, const std::vector<const Compiled*>& items) {
  out << "const ResourceBitmap " << array << "[] = {\n";
  for (const Compiled* c : items)
    out << "    {" << c->resource.id << ", " << c->picture.width << ", " << c->picture.height << ", "
        << Name("Palette", *c) << ", " << Name("Pixels", *c) << ", sizeof " << Name("Pixels", *c) << "},\n";
  if (items.empty()) out << "    {0, 0, 0, nullptr, nullptr, 0},\n";
  out << "};\nconst size_t " << count << " = " << items.size() << ";\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: vellumet-skin-tables RESOURCE_LIST OUT.cpp\n");
    return 2;
  }
  std::string error;
  const auto list = ReadResourceList(argv[1], &error);
  if (!list) {
    std::fprintf(stderr, "vellumet-skin-tables: %s\n", error.c_str());
    return 1;
  }
  std::vector<Compiled> compiled;
  for (const SkinResource& resource : *list) {
    Compiled c{resource, {}};
    if (!ReadIndexedBmp(resource.path, &c.picture, &error)) {
      std::fprintf(stderr, "vellumet-skin-tables: %s\n", error.c_str());
      return 1;
    }
    compiled.push_back(std::move(c));
  }
  std::sort(compiled.begin(), compiled.end(), [](const Compiled& a, const Compiled& b) {
    return a.resource.icon != b.resource.icon ? b.resource.icon : a.resource.id < b.resource.id;
  });

  std::ostringstream out;
  out << "// Made by vellumet-skin-tables from " << argv[1] << " and its BMP files; do not edit.\n"
         "// The skin bitmaps and the application icon: 8-bit palettes and run-length coded pixels.\n"
         "#include \"res/skin_bitmaps.h\"\n\nnamespace {\n\n";
  std::vector<const Compiled*> bitmaps, icons;
  for (const Compiled& c : compiled) {
    WriteTable(out, Name("Palette", c), c.picture.palette);
    WriteTable(out, Name("Pixels", c), RunLength(c.picture.pixels));
    (c.resource.icon ? icons : bitmaps).push_back(&c);
  }
  out << "\n}  // namespace\n\n";
  WriteArray(out, "kSkinBitmaps", "kSkinBitmapCount", bitmaps);
  out << "\n";
  WriteArray(out, "kIcons", "kIconCount", icons);

  // Written whole and then renamed, so that a failed run leaves no half table behind.
  const std::string target = argv[2], partial = target + ".partial";
  std::ofstream file(partial);
  file << out.str();
  file.close();
  std::error_code renamed;
  if (file) std::filesystem::rename(partial, target, renamed);
  if (!file || renamed) {
    std::fprintf(stderr, "vellumet-skin-tables: cannot write %s\n", target.c_str());
    return 1;
  }
  return 0;
}
