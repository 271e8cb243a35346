// Writes a set of generated JPEG pictures into a folder: jpeg-make-samples DIR
#include <cstdio>
#include <string>

#include "tests/jpeg/support/jpeg_samples.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: jpeg-make-samples DIR\n");
    return 2;
  }
  std::string dir = argv[1];
  struct Kind {
    const char* name;
    int w, h;
    EncodeOptions o;
  };
  const Kind kinds[] = {
      {"base420", 97, 61, {85, false, false, 2, 2, 0, false, nullptr}},
      {"base444", 64, 48, {90, false, false, 1, 1, 0, false, nullptr}},
      {"base422_rst", 50, 34, {75, false, false, 2, 1, 1, false, "comment"}},
      {"base440", 33, 40, {80, false, false, 1, 2, 3, true, nullptr}},
      {"gray", 41, 29, {85, false, true, 1, 1, 0, false, nullptr}},
      {"prog420", 90, 70, {85, true, false, 2, 2, 0, false, nullptr}},
      {"prog444_rst", 40, 40, {85, true, false, 1, 1, 2, false, nullptr}},
      {"prog_gray", 30, 22, {85, true, true, 1, 1, 0, false, nullptr}},
      {"tiny", 1, 1, {85, false, false, 2, 2, 0, false, nullptr}},
  };
  for (const Kind& k : kinds) {
    Rgb pic = MakePicture(k.w, k.h, Content::Detailed, 7);
    if (!WriteFile(dir + "/" + k.name + ".jpg", EncodeJpeg(pic, k.o))) return 1;
  }
  return 0;
}
