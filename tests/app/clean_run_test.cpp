// The program itself, run the way a user runs it, ends clean. In the sanitizer build this
// is where leaks and faults of the whole program show (the other tests use the null sound
// output and stop short of the program's end): any sanitizer report fails the test.
#include <gtest/gtest.h>

#include "tests/app/two_processes.h"

namespace {

// Taps on buttons that click (next page, previous page), then the exit button.
const char* kClickingTaps = "tap 460 432\nwait 200\ntap 335 432\nwait 200\ntap 710 432\n";

using CleanRunTest = TwoProcessTest;

// Whatever SDL finds here: without a sound card it fails to open a device, which is the path
// that once left SDL's data behind. A display named and no session bus given: libdbus once
// tried to start a bus through the display when SDL looked for one, and kept a buffer it never
// freed (the display need not exist for that). SDL's disk driver standing in for a sound
// card: a device opens and plays into a file. And `make run` on a machine without a display:
// one line of the program's own says what it chose and where the screenshots went; SDL's
// probes say nothing.
TEST_F(CleanRunTest, ClicksOnEverySoundOutputLeaveNothingBehindAndWithoutADisplayItSaysOneLine) {
  const std::string card = (m_root.Path() / "card").string();
  ChildProcess demo({kBin + "/vellumet-make-demo", card});
  ASSERT_EQ(demo.Wait(120000), 0);  // slow in the sanitizer and coverage builds of a busy machine
  const std::string tourCard = card + "-tour";  // the tour starts on a card as fresh as the clicks do
  std::filesystem::copy(card, tourCard, std::filesystem::copy_options::recursive);
  const std::string audio = (m_root.Path() / "audio.raw").string();
  for (const std::vector<std::string>& env : std::vector<std::vector<std::string>>{
           {}, {"DISPLAY=:97", "DBUS_SESSION_BUS_ADDRESS="}, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + audio}}) {
    SCOPED_TRACE(env.empty() ? "" : env[0]);
    ChildProcess program({kBin + "/vellumet", "--root", card, "--headless", "--script", Script("taps.txt", kClickingTaps),
                          "--log", Log()},
                         env);
    EXPECT_EQ(program.Wait(), kEndedByItself);
    const std::string errors = program.ReadAllErrors();
    EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("runtime error"), std::string::npos) << errors;
  }
  EXPECT_TRUE(std::filesystem::exists(audio));

  const std::string shots = (m_root.Path() / "tour").string();
  // The tour walks through every screen; its device clock runs twice as fast here.
  ChildProcess program({kBin + "/vellumet", "--root", tourCard, "--shots", shots, "--log", Log(), "--speed", "2"},
                       {"DISPLAY=", "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER=", "XDG_RUNTIME_DIR=", "SDL_AUDIODRIVER=dummy"});
  EXPECT_EQ(program.Wait(180000), kEndedByItself);  // the tour ends with the exit button
  EXPECT_EQ(program.ReadAllErrors(), "vellumet: no display (neither DISPLAY nor WAYLAND_DISPLAY is set): headless tour, "
                                     "screenshots in " + shots + "/\n");
  EXPECT_TRUE(std::filesystem::exists(shots + "/01-main-page.png"));
}

}  // namespace
