// The application object: one copy only, the screen and backlight prepared, the main page
// run modally for the life of the process, and the launcher told when it ends.
#pragma once

#include "platform/windows/afx.h"

class CPhotoApp : public CWinApp {
 public:
  // Always FALSE, so that no message loop runs after the main page has closed.
  BOOL InitInstance() override;
  int ExitInstance() override;

  // The start's first step, the single-copy claim on the named event "belongstoPhoto":
  // true when no other copy holds it. The program takes it before it starts a screen host,
  // so that a refused copy shows nothing at all; InitInstance takes it when nobody has.
  // The answer holds until ExitInstance lets the event go.
  static bool ClaimInstance();

  // The LCD size from the registry (480 x 272 until read); nothing else uses it.
  static LONG LcdWidth();
  static LONG LcdHeight();

 private:
  static void ReadLcdSize();
};
