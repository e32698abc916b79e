#include "imaging/JPEG_IO.h"

#include <cstring>

#include "imaging/IJL.h"
#include "platform/Dib.h"

void WriteJpegFile(TBitmap* Bitmap, const std::string& FileName, Integer Quality, Integer XDensity,
                   Integer YDensity) {
  bool success = false;
  JPEG_CORE_PROPERTIES props;
  std::memset(&props, 0, sizeof props);
  if (ijlInit(&props) == IJL_OK) {
    try {
      DIBSECTION dib;
      std::memset(&dib, 0, sizeof dib);
      GetObjectA(Bitmap->Handle(), sizeof dib, &dib);
      const auto width = static_cast<std::uint32_t>(dib.dsBm.bmWidth);
      const std::int32_t height = dib.dsBm.bmHeight;
      std::uint32_t channels = 0;
      switch (Bitmap->PixelFormat()) {
        case pf8bit: channels = 1; break;
        case pf24bit: channels = 3; break;
        default: break;  // no other format is written
      }
      if (channels != 0) {
        const std::uint64_t rowBytes = std::uint64_t{width} * channels;
        props.DIBWidth = width;
        props.DIBHeight = -height;  // the rows lie bottom-up
        props.DIBChannels = channels;
        props.DIBColor = channels == 1 ? IJL_G : IJL_BGR;
        props.DIBPadBytes = static_cast<std::uint32_t>((rowBytes + 3) / 4 * 4 - rowBytes);
        props.DIBBytes = static_cast<std::uint8_t*>(dib.dsBm.bmBits);
        props.JPGFile = FileName.c_str();
        props.JPGWidth = width;
        props.JPGHeight = static_cast<std::uint32_t>(height);
        props.JPGChannels = 3;
        props.JPGColor = IJL_YCBCR;
        props.jquality = Quality;
        props.jfif_density_unit = IJL_DENSITY_DPI;
        props.jfif_x_density = static_cast<std::uint16_t>(static_cast<std::uint32_t>(XDensity) & 0xFFFFu);
        props.jfif_y_density = static_cast<std::uint16_t>(static_cast<std::uint32_t>(YDensity) & 0xFFFFu);
        success = ijlWrite(&props, IJL_JFILE_WRITEWHOLEIMAGE) == IJL_OK;
      }
    } catch (...) {
      // Whatever failed, the caller learns only that the write did not happen.
    }
    try {
      ijlFree(&props);
    } catch (...) {
    }
  }
  if (!success) throw EWriteError("Error writing JPEG to file");
}
