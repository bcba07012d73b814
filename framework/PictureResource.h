// The program's pictures (the page skins, the check boxes, the options tree's images), each
// under its resource id: a PNG resource of type "PNG" in the default build, a BITMAP
// resource in a build made with SKIN_FORMAT=bmp. A PNG picture is decoded once
// (CPngDecoder) into the device-independent bitmap the BITMAP resource would hold and kept
// while the program runs; every bitmap asked for is made from that as LoadBitmap makes
// one from a BITMAP resource, so either build paints the same pixels.
#pragma once

#include <windows.h>

#include <vector>

// The resource type of the PNG pictures.
extern const char kPictureResourceType[];

// Decodes now every listed picture of the program's module that is a PNG resource, and
// keeps it. 0 when each could be decoded or is a BITMAP resource; otherwise the id of the
// first that could not be.
UINT PreparePictures(const UINT* pIds, size_t count);
// Lets every decoded picture go; a later use decodes it again.
void ReleasePictures();

// A bitmap of a picture of the program's module (decoded on first use if it was not
// prepared), compatible with the screen, owned by the caller. Null when the module has no
// such picture or it will not decode.
HBITMAP LoadPictureBitmap(UINT nId);

// The PNG picture nId of hModule, decoded for this call only, as a packed DIB (see
// PngDecoder.h). False when hModule has no PNG resource of that id (*pbPng false) or it
// will not decode (*pbPng true).
bool DecodePictureResource(HMODULE hModule, UINT nId, std::vector<BYTE>* pDib, bool* pbPng = nullptr);

// A bitmap made from a packed DIB, as LoadBitmap makes one from a BITMAP resource; owned by
// the caller.
HBITMAP BitmapFromPackedDib(const std::vector<BYTE>& dib);
