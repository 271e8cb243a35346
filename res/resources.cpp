// The dialog templates, with their control ids, captions and initial state, and the
// registration of all resources.
#include "res/resources.h"

#include <mutex>

#include "res/skin_bitmaps.h"

namespace {

constexpr RECT Box(int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; }

// The main page: six buttons along the bottom (the page places them again).
const DialogControl kMainPage[] = {
    {1014, ControlKind::Button, u"folPre", Box(35, 400, 100, 64), true, true},
    {1013, ControlKind::Button, u"sshow", Box(160, 400, 100, 64), true, true},
    {1012, ControlKind::Button, u"pre", Box(285, 400, 100, 64), true, true},
    {1011, ControlKind::Button, u"next", Box(410, 400, 100, 64), true, true},
    {1010, ControlKind::Button, u"info", Box(535, 400, 100, 64), true, true},
    {1009, ControlKind::Button, u"exit", Box(660, 400, 100, 64), true, true},
};

// The photo view: seven buttons and the frame the photo is drawn in.
const DialogControl kPhotoView[] = {
    {1002, ControlKind::Static, u"", Box(22, 20, 758, 350), true, true},
    {1020, ControlKind::Button, u"Pre", Box(25, 400, 100, 64), true, true},
    {1019, ControlKind::Button, u"Next", Box(133, 400, 100, 64), true, true},
    {1018, ControlKind::Button, u"rotate", Box(241, 400, 100, 64), true, true},
    {1017, ControlKind::Button, u"original", Box(349, 400, 100, 64), true, true},
    {1016, ControlKind::Button, u"zoomIn", Box(457, 400, 100, 64), true, true},
    {1015, ControlKind::Button, u"zoomOut", Box(565, 400, 100, 64), true, true},
    {1000, ControlKind::Button, u"Exit", Box(673, 400, 100, 64), true, true},
};

// The information dialog: its exit button starts hidden and disabled.
const DialogControl kInfo[] = {
    {1009, ControlKind::Button, u"exit", Box(685, 401, 100, 64), false, false},
};

const DialogControl kVolume[] = {
    {1009, ControlKind::Button, u"EXIT", Box(20, 400, 88, 56), true, true},
    {1014, ControlKind::Button, u"DEC", Box(130, 400, 88, 56), true, true},
    {1013, ControlKind::Button, u"ADD", Box(590, 400, 88, 56), true, true},
    {1015, ControlKind::Button, u"PLAY", Box(685, 400, 88, 56), true, true},
};

const DialogTemplate kDialogs[] = {
    {IDD_MAINPAGE, u"photo", Box(0, 0, 800, 480), kMainPage, std::size(kMainPage)},
    {IDD_PHOTOVIEW, u"", Box(0, 0, 800, 480), kPhotoView, std::size(kPhotoView)},
    {IDD_SLIDESHOW, u"", Box(0, 0, 800, 480), nullptr, 0},
    {IDD_INFO, u"", Box(0, 0, 800, 480), kInfo, std::size(kInfo)},
    {IDD_VOLUME, u"", Box(0, 0, 800, 480), kVolume, std::size(kVolume)},
};

}  // namespace

void InstallResources() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterResources(ResourceTables{kSkinBitmaps, kSkinBitmapCount, kIcons, kIconCount, kDialogs, std::size(kDialogs)});
  });
}
