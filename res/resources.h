// The program's resources: the skin bitmaps, the application icon and the dialog templates.
#pragma once

// Registers the resources with the platform; calling it again does nothing more.
void InstallResources();

// Dialog templates.
constexpr int IDD_MAINPAGE = 102;
constexpr int IDD_PHOTOVIEW = 148;
constexpr int IDD_SLIDESHOW = 172;
constexpr int IDD_INFO = 174;
constexpr int IDD_VOLUME = 189;
constexpr int IDI_APP = 128;
