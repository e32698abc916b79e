/* The JPEG encoder library: prepare a properties record with defaults, encode
 * the whole image it describes to a named file, release the record.
 *
 * The record is the library's wire format. Its fields keep their order; the
 * offsets noted are those of a build with 32-bit addresses, where they are fixed
 * (checked below). With 64-bit addresses each address field is 8 bytes wide and
 * aligned, and the later offsets follow from that. */
#ifndef VORNEL_IJL_H
#define VORNEL_IJL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define IJL_API __attribute__((visibility("default")))

/* Status codes: 0 is success, every failure is negative. */
enum {
  IJL_OK = 0,
  IJL_INVALID_RECORD = -1,   /* null, not prepared by ijlInit, or already released */
  IJL_UNSUPPORTED_MODE = -2, /* a mode other than IJL_JFILE_WRITEWHOLEIMAGE */
  IJL_BAD_PROPERTIES = -3,   /* sizes, channels or colour codes the encoder cannot take */
  IJL_FILE_ERROR = -4,       /* the file cannot be created, written or put in place */
  IJL_ENCODE_ERROR = -5,     /* the codec refused the image */
  IJL_INTERNAL_ERROR = -6
};

/* Modes of ijlWrite. */
#define IJL_JFILE_WRITEWHOLEIMAGE 8

/* Colour codes. */
#define IJL_BGR 2
#define IJL_YCBCR 3
#define IJL_G 4

/* Density units of the JFIF header. */
#define IJL_DENSITY_NONE 0
#define IJL_DENSITY_DPI 1
#define IJL_DENSITY_DPCM 2

typedef struct JPEG_CORE_PROPERTIES {
  uint32_t State;              /* 0: set by ijlInit, cleared by ijlFree */
  uint8_t* DIBBytes;           /* 4: the pixel rows */
  uint32_t DIBWidth;           /* 8: pixels per row */
  int32_t DIBHeight;           /* 12: rows; negative when they lie bottom-up */
  uint32_t DIBPadBytes;        /* 16: bytes after each row's pixels */
  uint32_t DIBChannels;        /* 20: 1 or 3 */
  int32_t DIBColor;            /* 24: IJL_G (1 channel) or IJL_BGR (3 channels) */
  uint32_t DIBReserved;        /* 28 */
  const char* JPGFile;         /* 32: the output file's path */
  uint32_t JPGReserved[2];     /* 36 */
  uint32_t JPGWidth;           /* 44 */
  uint32_t JPGHeight;          /* 48 */
  uint32_t JPGChannels;        /* 52: 3 */
  int32_t JPGColor;            /* 56: IJL_YCBCR */
  uint32_t Reserved60[5];      /* 60 */
  int32_t jquality;            /* 80: 1 (smallest) to 100 (best); outside is clamped */
  uint8_t Internal[19970];     /* 84: the library's own state */
  uint8_t jfif_density_unit;   /* 20054 */
  uint16_t jfif_x_density;     /* 20056 */
  uint16_t jfif_y_density;     /* 20058 */
  uint8_t Tail[12];            /* 20060 */
} JPEG_CORE_PROPERTIES;

#if UINTPTR_MAX == 0xFFFFFFFF
#ifdef __cplusplus
#define IJL_ASSERT(cond, text) static_assert(cond, text)
#else
#define IJL_ASSERT(cond, text) _Static_assert(cond, text)
#endif
IJL_ASSERT(offsetof(JPEG_CORE_PROPERTIES, DIBBytes) == 4, "DIBBytes");
IJL_ASSERT(offsetof(JPEG_CORE_PROPERTIES, DIBWidth) == 8, "DIBWidth");
IJL_ASSERT(offsetof(JPEG_CORE_PROPERTIES, DIBHeight) == 12, "DIBHeight");
IJL_ASSERT(offsetof(JPEG_CORE_PROPERTIES, DIBPadBytes) == 16, "DIBPadBytes");
IJL_ASSERT(offsetof(JPEG_CORE_PROPERTIES, DIBChannels) == 20, "DIBChannels");
IJL_ASSERT(offsetof(JPEG_CORE_PROPERTIES, DIBColor) == 24, "DIBColor");
IJL_ASSERT(offsetof(JPEG_CORE_PROPERTIES, JPGFile) == 32, "JPGFile");
IJL_ASSERT(offsetof(JPEG_CORE_PROPERTIES, JPGWidth) == 44, "JPGWidth");
IJL_ASSERT(offsetof(JPEG_CORE_PROPERTIES, JPGHeight) == 48, "JPGHeight");
IJL_ASSERT(offsetof(JPEG_CORE_PROPERTIES, JPGChannels) == 52, "JPGChannels");
IJL_ASSERT(offsetof(JPEG_CORE_PROPERTIES, JPGColor) == 56, "JPGColor");
IJL_ASSERT(offsetof(JPEG_CORE_PROPERTIES, jquality) == 80, "jquality");
IJL_ASSERT(offsetof(JPEG_CORE_PROPERTIES, jfif_density_unit) == 20054, "jfif_density_unit");
IJL_ASSERT(offsetof(JPEG_CORE_PROPERTIES, jfif_x_density) == 20056, "jfif_x_density");
IJL_ASSERT(offsetof(JPEG_CORE_PROPERTIES, jfif_y_density) == 20058, "jfif_y_density");
IJL_ASSERT(sizeof(JPEG_CORE_PROPERTIES) == 20072, "record size");
#undef IJL_ASSERT
#endif

/* Fills the record with the library's defaults; IJL_OK or a failure. */
IJL_API int ijlInit(JPEG_CORE_PROPERTIES* props);

/* IJL_JFILE_WRITEWHOLEIMAGE: encodes the image the record describes and puts it
 * at JPGFile. The file is written beside the target and moved over it only when
 * complete, so on any failure a former file stays as it was; an existing target
 * without write permission is refused. IJL_OK means the file is complete. */
IJL_API int ijlWrite(JPEG_CORE_PROPERTIES* props, int mode);

/* Releases the record; it must be prepared by ijlInit again before reuse. */
IJL_API int ijlFree(JPEG_CORE_PROPERTIES* props);

#ifdef __cplusplus
}
#endif

#endif
