// The header list of a RIFF AVI file, read directly: the main header and the
// first video stream's header (strh) and format (strf, a BITMAPINFOHEADER).
// Used to show what a file declares and to make a file written on Linux
// declare what a Windows host writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/file_descriptor.h"

namespace voxa {

struct AviVideoHeaders {
  // avih
  uint32_t micro_sec_per_frame = 0;
  uint32_t max_bytes_per_sec = 0;
  uint32_t main_flags = 0;
  uint32_t total_frames = 0;
  uint32_t main_suggested_buffer_size = 0;
  // dmlh of an OpenDML file: the frames of all its RIFF parts (0: none);
  // total_frames counts the first part's only
  uint32_t all_frames = 0;
  // strh
  uint32_t handler = 0;  // fccHandler
  uint32_t stream_flags = 0;
  uint32_t scale = 0;
  uint32_t rate = 0;
  uint32_t length = 0;
  uint32_t suggested_buffer_size = 0;
  uint32_t quality = 0;
  uint32_t sample_size = 0;
  int16_t frame_rect[4] = {0, 0, 0, 0};  // left, top, right, bottom
  // strf
  uint32_t format_size = 0;  // biSize
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 0;
  uint16_t bit_count = 0;
  uint32_t compression = 0;
  uint32_t size_image = 0;
  // Where the main header's fields and biSizeImage lie, from the start of
  // the file.
  std::size_t main_header_offset = 0;
  std::size_t size_image_offset = 0;
};

// Reads the headers from the first `size` bytes of an AVI file (the header
// list lies at its start). Returns false, with a reason, when they are not
// there or not whole.
bool ParseAviVideoHeaders(const uint8_t* data, std::size_t size, AviVideoHeaders* headers,
                          std::string* problem);

// Reads the headers from the file at `path`.
bool ReadAviVideoHeaders(const std::string& path, AviVideoHeaders* headers,
                         std::string* problem);

// The RIFF parts of the file at `path`: 1 for a plain AVI file, more for an
// OpenDML one (RIFF 'AVIX' parts follow the first); 0 when it starts with
// none.
uint32_t CountRiffParts(const std::string& path);

// Makes the headers of a finished file say what avifil32 writes: the main
// header's suggested buffer size is the video stream's (its largest chunk)
// and its data rate that chunk at the stream's rate; biSizeImage of the video
// format becomes `size_image`.
bool PatchAviHeaders(FileAt& file, uint32_t size_image, std::string* problem);

// "VOXA" for the four-character code, or its value in hexadecimal when it is
// not printable.
std::string FourccText(uint32_t fourcc);

}  // namespace voxa
