// The codec's work alone, without bitmaps or files: what a decode costs into
// memory that is already resident, and what a write costs without its file
// handling. Kept apart: libjpeg's header and the platform types both define
// TRUE and FALSE.
#pragma once
#include <cstddef>
#include <cstdint>

// Encodes with the writer's settings (BGR rows, YCbCr 4:2:0, the given
// quality) width x height BGR pixels whose top row is at top, rows stride bytes
// apart (negative for a bottom-up bitmap); returns the size of the JPEG data.
std::size_t EncodeBgrToMemory(const std::uint8_t* top, std::ptrdiff_t stride, int width, int height,
                              int quality);

// Decodes the JPEG data at full size with the fast integer IDCT into BGR rows
// (rows stride bytes apart from out, which must hold them all); false on error.
bool DecodeBgrToMemory(const std::uint8_t* data, std::size_t size, std::uint8_t* out, std::size_t stride);
