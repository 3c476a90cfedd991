// The Paint Shop Pro image reader: turns a whole file in memory into a Graphic, and the
// layers of a layered image into a sprite's frames.
#pragma once

#include "anim/cea_graphic.h"

// Reads the image into pTarget (a cleared graphic); with a sprite and several layers each
// layer becomes one frame of the sprite instead. 1 when the last layer read supplied red,
// green and blue, else 0.
int ReadPaintShopPro(Graphic* pTarget, Sprite* pSprite, const BYTE* pbData, DWORD cbData,
                     Color clrTransparent);

// Decodes one channel's data (compression 0 none, 1 run-length, 2 deflate) into a new
// block of *pcbNorm bytes (free it with MemFree); null with *pcbNorm 0 on failure.
BYTE* DecodePaintShopProChannel(const BYTE* pbData, DWORD cbCompressed, DWORD* pcbNorm,
                                int nCompression);
