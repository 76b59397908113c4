/*
 * libvoxa: the VOXA video codec ("Y16 + Alpha RLE") as a C library.
 *
 * A VOXA frame stands alone (every frame is a key frame): the magic "QTZ1"
 * and one chunk per interlaced field, each a run-length code over blocks of
 * 16 pixels, fully transparent blocks costing only a share of a run word.
 * Pictures are 32-bit BGRA with straight alpha, or Y16A (48-byte blocks of
 * 16 pixels: luma, alpha, and chroma per pixel pair). Widths are multiples
 * of 16. Heights are best even: of a picture of odd height, one line is
 * neither read nor written (which one: see voxa_picture).
 *
 * Every function is reentrant: any number of threads may code frames at
 * once. The library keeps no state but the kernel choice of
 * VOXA_KERNELS_AUTO, made once; it allocates nothing and never aborts. It
 * installs no signal handler and changes no signal action: the processor
 * is identified without one, and a frame is coded unguarded, every read and
 * write checked against the buffers it was given.
 * Results are VOXA_OK (0) or a negative voxa_status; voxa_status_string()
 * says what each means.
 */
#ifndef VOXA_VOXA_H
#define VOXA_VOXA_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define VOXA_API
#else
#define VOXA_API __attribute__((visibility("default")))
#endif

/* The version of this header; voxa_version() gives the library's. */
#define VOXA_VERSION_MAJOR 1
#define VOXA_VERSION_MINOR 0
#define VOXA_VERSION_PATCH 0
#define VOXA_VERSION_INT(major, minor, patch) (((major) << 16) | ((minor) << 8) | (patch))
#define VOXA_VERSION \
  VOXA_VERSION_INT(VOXA_VERSION_MAJOR, VOXA_VERSION_MINOR, VOXA_VERSION_PATCH)

typedef enum voxa_status {
  VOXA_OK = 0,
  /* A null pointer, a width that is not a multiple of 16, a size too large,
     a stride shorter than a line, an unknown format or kernel name. Nothing
     was written. */
  VOXA_ERROR_INVALID_ARGUMENT = -1,
  /* The output buffer is smaller than voxa_max_frame_bytes(). Nothing was
     written. */
  VOXA_ERROR_BUFFER_TOO_SMALL = -2,
  /* Not a VOXA frame: no "QTZ1" magic or no field chunk. Nothing was
     written. */
  VOXA_ERROR_NOT_VOXA = -3,
  /* A damaged frame (cut, or with chunk lengths that run past its end): it
     was decoded as far as its bytes allow; the rest of the picture keeps
     what it held. */
  VOXA_ERROR_DAMAGED = -4,
  /* This processor or build has no such kernels. */
  VOXA_ERROR_KERNELS_UNAVAILABLE = -5
} voxa_status;

typedef enum voxa_pixel_format {
  VOXA_BGRA = 0, /* bytes B, G, R, A; straight alpha; width x 4 bytes a line */
  VOXA_Y16A = 1  /* 48-byte blocks of 16 pixels; width x 3 bytes a line */
} voxa_pixel_format;

/* The pixel kernels a call codes with. AUTO is the variant this processor
   runs best (what the Windows driver installs), chosen at the first call;
   the others ask for one variant, for tests and benchmarks. Every variant
   writes a valid frame, and every variant decodes to the same alpha. */
typedef enum voxa_kernels {
  VOXA_KERNELS_AUTO = 0,
  VOXA_KERNELS_PORTABLE = 1,
  VOXA_KERNELS_SSE = 2,
  VOXA_KERNELS_SSE2 = 3,
  VOXA_KERNELS_AVX2 = 4 /* the same bytes as SSE2, twice as wide */
} voxa_kernels;

/* A picture in the caller's memory. `data` points at its top line; `stride`
   is the distance in bytes from one line to the next one down: the line's
   length or more for a top-down picture, minus that for a bottom-up one
   (such as a Windows DIB, whose top line is its last).
   A frame holds two fields of height / 2 lines each, taken from the line a
   format stores first on: the bottom line for VOXA_BGRA (as a Windows DIB
   stores it), the top line for VOXA_Y16A. A picture of odd height therefore
   has one line that no call reads or writes, whatever the stride's sign:
   its top line (line 0) for VOXA_BGRA, its bottom line (line height - 1)
   for VOXA_Y16A. Decoding leaves that line as the picture held it. */
typedef struct voxa_picture {
  voxa_pixel_format format;
  uint32_t width;
  uint32_t height;
  uint8_t* data;
  ptrdiff_t stride;
} voxa_picture;

/* What a compressed frame holds, read without decoding it. */
typedef struct voxa_frame_info {
  size_t size;                  /* bytes given */
  uint32_t fields;              /* field chunks found: 0, 1 or 2 */
  uint64_t literal_blocks;      /* both fields, as far as the payloads go */
  uint64_t transparent_blocks;
  int damaged;                  /* 1 when a chunk or payload ends early */
} voxa_frame_info;

/* The library's version, VOXA_VERSION_INT(major, minor, patch), and as text
   ("1.0.0"). */
VOXA_API unsigned voxa_version(void);
VOXA_API const char* voxa_version_string(void);

/* A sentence for a status (and for anything else: "unknown status"). The
   string is static. */
VOXA_API const char* voxa_status_string(int status);

/* Whether a call with these kernels can run here: VOXA_OK or
   VOXA_ERROR_KERNELS_UNAVAILABLE (VOXA_ERROR_INVALID_ARGUMENT for a value
   not in voxa_kernels). */
VOXA_API int voxa_kernels_available(voxa_kernels kernels);

/* The most bytes a compressed frame of this size can take; 0 for sizes the
   codec does not take (a width that is not a multiple of 16, or a frame
   whose bound does not fit in 31 bits). */
VOXA_API size_t voxa_max_frame_bytes(uint32_t width, uint32_t height);

/* Codes `picture` into `out`, which holds `capacity` bytes, at least
   voxa_max_frame_bytes(). On VOXA_OK, *written is the frame's size. */
VOXA_API int voxa_encode(const voxa_picture* picture, voxa_kernels kernels, uint8_t* out,
                         size_t capacity, size_t* written);

/* Decodes the compressed frame `frame` of `size` bytes into `picture`
   (format, width and height say what to write; the frame does not). Returns
   VOXA_OK, VOXA_ERROR_DAMAGED (decoded as far as the bytes allow),
   VOXA_ERROR_NOT_VOXA (nothing written) or an argument error. Blocks the
   frame leaves out keep what the picture held. */
VOXA_API int voxa_decode(const uint8_t* frame, size_t size, voxa_kernels kernels,
                         const voxa_picture* picture);

/* Reads the structure of a frame of the given picture size into *info.
   Returns VOXA_OK, VOXA_ERROR_DAMAGED or VOXA_ERROR_NOT_VOXA (with *info
   filled as far as it goes), or VOXA_ERROR_INVALID_ARGUMENT. */
VOXA_API int voxa_inspect(const uint8_t* frame, size_t size, uint32_t width, uint32_t height,
                          voxa_frame_info* info);

#ifdef __cplusplus
}
#endif

#endif /* VOXA_VOXA_H */
