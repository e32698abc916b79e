// The pixel copy of a quarter turn: the pixels of a band of source rows moved to
// their places in a bottom-up bitmap of exchanged width and height, as raw bytes.
#pragma once
#include <cstdint>

#include "classlib/SysUtils.h"
#include "platform/WinTypes.h"

enum class TTurnRule {
  Left,   // counter-clockwise: turned (row W-1-x, column y) := source (row y, column x)
  Right,  // clockwise: turned (row x, column H-1-y) := source (row y, column x)
};

// The source is turned band by band: row 0 alone, then rows 1 to 10, 11 to 20,
// and so on, the last band ending with the image's last row. After a band whose
// last row is a multiple of kTurnBandRows the window is brought up to date.
inline constexpr Integer kTurnBandRows = 10;

struct TTurnBand {
  Integer First = 0;  // counted from the top
  Integer Last = 0;
  Integer Rows() const { return Last - First + 1; }
  // Whether the progress and the pending messages come after this band.
  bool ShowsProgress() const { return Last % kTurnBandRows == 0; }
};

// The band that starts at source row first of an image height rows high.
TTurnBand TurnBandAt(Integer first, Integer height);

// The turned bitmap as the copy sees it: its lowest row address (the bottom
// row) and row stride, the source's size in pixels and the bytes per pixel (1
// to 4). The turned bitmap is Height pixels wide and Width high.
struct TTurnTarget {
  BYTE* DstBase = nullptr;
  std::int64_t DstStride = 0;
  Integer Width = 0;
  Integer Height = 0;
  Integer BytesPerPixel = 0;
};

// Source rows Y0 .. Y0+Count-1 (counted from the top), the first at Top and each
// next one Stride bytes on (negative for a bottom-up bitmap), to their turned
// places: the pixels of each column of the band side by side in one turned row,
// that row asked for a few columns ahead. Writes only those rows' pixels, and no
// padding byte.
void TurnRows(TTurnRule rule, const TTurnTarget& target, const BYTE* Top, std::int64_t Stride, Integer Y0,
              Integer Count);
