// Makes the demo device root: a card with folders and photos of every kind the browser
// lists (phone photos stored sideways and HEIC among them), a new device's internal storage
// (host/new_device.h) and the battery state. Everything is drawn
// here; nothing is copied from elsewhere.
//
//   vellumet-make-demo DIR
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/new_device.h"
#include "platform/storage/files.h"
#include "tools/demo/image_files.h"
#include "tools/demo/music_files.h"
#include "tools/demo/picture.h"

#undef printf

namespace fs = std::filesystem;

namespace {

bool g_failed = false;

void Check(bool ok, const fs::path& path) {
  if (!ok) {
    std::fprintf(stderr, "vellumet-make-demo: cannot write %s\n", path.c_str());
    g_failed = true;
  }
}

void Jpeg(const fs::path& path, Scene scene, int w, int h, unsigned seed, JpegOptions options = {}) {
  Check(WriteJpeg(path, DrawScene(scene, w, h, seed), options), path);
}

// A JPEG cut short and overwritten in the middle: the browser lists it, decoding fails.
void DamagedJpeg(const fs::path& path) {
  fs::path whole = path.string() + ".tmp";
  Jpeg(whole, Scene::Flowers, 640, 480, 9);
  std::vector<char> bytes;
  {
    std::ifstream in(whole, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  fs::remove(whole);
  bytes.resize(bytes.size() / 2);
  for (size_t i = bytes.size() / 2; i < bytes.size(); i += 7) bytes[i] = static_cast<char>(0xFF);
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  Check(static_cast<bool>(out), path);
}

void Text(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
  Check(static_cast<bool>(out), path);
}

// A phone's photos, all shown upright: a portrait stored sideways with the orientation tag 6,
// a street mirrored along the diagonal with the tag 5 (both with a thumbnail stored the same
// way), a portrait HEIC with its own turn property and thumbnail, and a WebP from the web.
void MakeCameraRoll(const fs::path& folder) {
  const JpegOptions phone{.exifThumbWidth = 160};
  JpegOptions sideways = phone, mirrored = phone;
  sideways.orientation = 6;
  mirrored.orientation = 5;
  Jpeg(folder / "IMG_2041.jpg", Scene::Landscape, 720, 960, 40, sideways);
  Jpeg(folder / "IMG_2042.jpg", Scene::City, 960, 720, 41, mirrored);
  Check(WriteHeic(folder / "IMG_2043.HEIC", DrawScene(Scene::Sunset, 720, 960, 42), 6), folder / "IMG_2043.HEIC");
  Check(WriteWebp(folder / "from the web.webp", DrawScene(Scene::Flowers, 800, 533, 43)), folder / "from the web.webp");
}

// The card: photos at the top and in four folders. "Holiday 2026" holds more than a page of
// photos and two folders of its own; camera-style photos (IMG_*, the city's) carry an EXIF
// thumbnail, the others have thumbnails made and stored on the first visit.
void MakeCard(const fs::path& card) {
  const fs::path holiday = card / "Holiday 2026";
  const fs::path dayOne = holiday / "Day One";
  const fs::path dayTwo = holiday / "Day Two";
  const fs::path city = card / "city";
  const fs::path misc = card / "Misc";
  for (const fs::path& dir : {holiday, dayOne, dayTwo, city, misc}) fs::create_directories(dir);
  const JpegOptions camera{.exifThumbWidth = 160};

  Jpeg(card / "Welcome.jpg", Scene::Landscape, 1024, 768, 1);
  Jpeg(card / "Test Card.JPG", Scene::Test, 800, 480, 0, {.quality = 95, .progressive = false, .subsample = false});
  Check(WritePng(card / "Café.png", DrawScene(Scene::Flowers, 640, 400, 2)), card / "Café.png");

  Jpeg(holiday / "beach.jpg", Scene::Landscape, 1600, 1200, 3);
  Jpeg(holiday / "Sunset Progressive.JPEG", Scene::Sunset, 1280, 960, 4, {.progressive = true});
  Jpeg(holiday / "Ålesund harbour.jpg", Scene::City, 1200, 800, 5);
  Jpeg(holiday / "panorama 12MP.jpg", Scene::Landscape, 4000, 3000, 6);
  Jpeg(holiday / "portrait.jpe", Scene::Flowers, 600, 900, 7, {.subsample = false});
  for (int i = 1; i <= 6; ++i) {
    std::string name = "IMG_000" + std::to_string(i) + (i % 2 ? ".jpg" : ".JPG");
    JpegOptions options = camera;
    options.progressive = i == 4;
    Jpeg(holiday / name, i % 3 ? Scene::Landscape : Scene::Sunset, 960, 720, 10 + i, options);
  }

  Jpeg(dayOne / "IMG_0101.jpg", Scene::City, 1280, 960, 15, camera);
  Jpeg(dayOne / "IMG_0102.jpg", Scene::Flowers, 960, 1280, 16, camera);

  Check(WritePng(dayTwo / "Mountains.PNG", DrawScene(Scene::Landscape, 900, 600, 20)), dayTwo / "Mountains.PNG");
  Check(WriteBmp(dayTwo / "lake.bmp", DrawScene(Scene::Sunset, 500, 333, 21)), dayTwo / "lake.bmp");
  Jpeg(dayTwo / "Tiny.jfif", Scene::Flowers, 33, 17, 22);

  JpegOptions progressiveCamera = camera;
  progressiveCamera.progressive = true;
  Jpeg(city / "night.jpg", Scene::City, 1920, 1080, 30, progressiveCamera);
  Jpeg(city / "Straße.jpg", Scene::City, 800, 600, 31, camera);
  std::vector<Picture> frames;
  for (int f = 0; f < 8; ++f) frames.push_back(DrawSpinnerFrame(96, f, 8));
  Check(WriteGif(city / "spinner.gif", frames, 12), city / "spinner.gif");
  Check(WriteAnimatedWebp(city / "spinner.webp", frames), city / "spinner.webp");  // shown: its first frame

  DamagedJpeg(misc / "damaged.jpg");
  Text(misc / "notes.txt", "Not a photo: the browser does not list this file.\n");
  Text(misc / "photo.tif", "Not listed either.\n");
  fs::create_directories(misc / "pics.jpg");  // a folder, listed as a folder

  fs::create_directories(card / "Camera roll");
  MakeCameraRoll(card / "Camera roll");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vellumet-make-demo DIR\n");
    return 2;
  }
  const fs::path root = argv[1];
  std::error_code error;
  fs::create_directories(root / "SDMMC", error);
  if (error) {
    std::fprintf(stderr, "vellumet-make-demo: cannot create %s\n", root.c_str());
    return 1;
  }
  SetDeviceRoot(root.string());
  MakeCard(root / "SDMMC");
  // At the card's top, where the browser, which lists only photos and folders, leaves them out.
  if (std::string why = WriteDemoMusic(root / "SDMMC"); !why.empty()) {
    std::fprintf(stderr, "vellumet-make-demo: music: %s\n", why.c_str());
    g_failed = true;
  }
  if (std::string failed; !GiveNewDeviceStorage(&failed)) Check(false, failed);
  Text(root / "battery.txt", "5\n");
  if (g_failed) return 1;
  std::printf("vellumet-make-demo: made %s\n", root.c_str());
  return 0;
}
