// The system's only image writer: a bitmap of 8 or 24 bits per pixel as a JPEG
// file with its resolution in dots per inch.
#pragma once
#include <string>

#include "classlib/Graphics.h"

// Writes Bitmap to FileName (created, or replaced when it exists) at Quality,
// with the low 16 bits of XDensity and YDensity as the JFIF densities (unit dots
// per inch). An 8-bit bitmap is written as the gray levels of its bytes, whatever
// its palette says. Every failure raises EWriteError "Error writing JPEG to file";
// a file that stood at the path is then left as it was.
void WriteJpegFile(TBitmap* Bitmap, const std::string& FileName, Integer Quality, Integer XDensity,
                   Integer YDensity);
