// Getting the small picture of one photo for the main page's grid, by the cheapest way that
// works: the thumbnail stored inside the photo file, else the one made earlier and stored as
// a BMP file on the NAND (found through the thumbnail index), else a new one made from the
// whole photo and stored for next time. Every picture asked for is 50 x 50.
//
// All imaging goes through the factory the caller gives (the photo list's own). Messages go
// through DebugZonePrint: zone 4 is printed, zone 1 is not.
#pragma once

#include "platform/imaging/imaging.h"
#include "platform/kernel/types.h"

constexpr UINT kThumbSide = 50;
constexpr DWORD kThumbZone = 4;       // printed
constexpr DWORD kThumbQuietZone = 1;  // not printed

// Reads a whole file (device path) into a memory stream that owns the memory. A negative
// result on failure: 0x80000000 plus the last error, or CreateStreamOnHGlobal's result.
HRESULT LoadThumbSourceStream(LPCWSTR path, IStream** stream);

// The first two ways: the photo's inner thumbnail, else the stored BMP file of the index
// (checking that the file still exists). Null when neither is there, and for names that
// begin with "<" (folders and the parent entry), which are never looked at.
IImage* GetThumbWithoutDecoding(IImagingFactory* factory, const WString& path);

// The third way's picture: the whole photo reduced to 50 x 50. Null on failure, and for
// names that begin with "<".
IImage* MakeThumbFromWholePhoto(IImagingFactory* factory, const WString& path);

// Stores a made thumbnail for next time: the photo's path goes into the index and the
// picture into the BMP file of its position. False when it could not be stored.
bool StoreThumb(IImagingFactory* factory, IImage* thumb, const WString& path);

// The class id of the installed encoder whose MIME type is exactly mimeType.
bool GetCodecCLSID(IImagingFactory* factory, CLSID* clsid, LPCWSTR mimeType);
