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

/* A Y16A block of 16 pixels, 48 bytes: luma of pixels 0-15 (BT.601 studio
   range, 16-235), their alpha, then U of pixel pairs 0-7 and V of pairs 0-7
   (16-240, centred on 128); values are straight, not premultiplied. A BGRA
   or Y16A block whose pixels all have alpha 0 or 1 is coded as transparent:
   it decodes with alpha 0. Where each part of a block starts: */
#define VOXA_Y16A_BLOCK_PIXELS 16
#define VOXA_Y16A_BLOCK_BYTES 48
#define VOXA_Y16A_LUMA 0   /* 16 bytes, one a pixel */
#define VOXA_Y16A_ALPHA 16 /* 16 bytes, one a pixel */
#define VOXA_Y16A_U 32     /* 8 bytes, one a pixel pair */
#define VOXA_Y16A_V 40     /* 8 bytes, one a pixel pair */

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

/* The kernels VOXA_KERNELS_AUTO stands for on this processor: the variant
   the Windows driver installs here (never VOXA_KERNELS_AUTO itself). */
VOXA_API voxa_kernels voxa_auto_kernels(void);

/* The most bytes a compressed frame of this size can take; 0 for sizes the
   codec does not take (a width that is not a multiple of 16, or a frame
   whose bound does not fit in 31 bits). */
VOXA_API size_t voxa_max_frame_bytes(uint32_t width, uint32_t height);

/* Codes `picture` into `out`, which holds `capacity` bytes, at least
   voxa_max_frame_bytes(). On VOXA_OK, *written is the frame's size. A
   picture without pixels (width or height 0) needs no data and is coded at
   once into a frame of 28 bytes, however large its other side; decoding
   into one is as quick and writes nothing. */
VOXA_API int voxa_encode(const voxa_picture* picture, voxa_kernels kernels, uint8_t* out,
                         size_t capacity, size_t* written);

/* Decodes the compressed frame `frame` of `size` bytes into `picture`
   (format, width and height say what to write; the frame does not). Returns
   VOXA_OK, VOXA_ERROR_DAMAGED (decoded as far as the bytes allow),
   VOXA_ERROR_NOT_VOXA (nothing written) or VOXA_ERROR_INVALID_ARGUMENT
   (among others for a null frame of some bytes; a frame of no bytes is no
   VOXA frame). Blocks the frame leaves out keep what the picture held. */
VOXA_API int voxa_decode(const uint8_t* frame, size_t size, voxa_kernels kernels,
                         const voxa_picture* picture);

/* Reads the structure of a frame of the given picture size into *info.
   Returns VOXA_OK, VOXA_ERROR_DAMAGED or VOXA_ERROR_NOT_VOXA (with *info
   filled as far as it goes), or VOXA_ERROR_INVALID_ARGUMENT (no info, a null
   frame of some bytes, a size voxa_max_frame_bytes() does not take). */
VOXA_API int voxa_inspect(const uint8_t* frame, size_t size, uint32_t width, uint32_t height,
                          voxa_frame_info* info);

/* The tags of the two field chunks, and the width and height that
   voxa_inspect_frame() takes for a frame whose picture size is not known. */
#define VOXA_FIRST_FIELD_TAG 0x00000020u
#define VOXA_SECOND_FIELD_TAG 0x80000020u
#define VOXA_SIZE_UNKNOWN 0xFFFFFFFFu

/* The fields a decoder decodes from a chunk: both bits for the only field
   chunk of a frame, none for a chunk of another tag or a field chunk after
   the first two. */
#define VOXA_FIELD_FIRST 1u  /* the picture's lines 0, 2, 4, ... from the top */
#define VOXA_FIELD_SECOND 2u /* lines 1, 3, 5, ... */

/* What voxa_inspect_frame() reports, in the order of the frame's bytes. */
typedef enum voxa_part_kind {
  VOXA_PART_CHUNK = 1,    /* a chunk's header */
  VOXA_PART_RUN_WORD = 2, /* a run word of a payload a decoder uses */
  VOXA_PART_FIELD = 3,    /* the end of such a payload, with its totals */
  VOXA_PART_PROBLEM = 4   /* something that is not as the encoder writes it */
} voxa_part_kind;

/* What is not as the encoder writes it. `offset`, `word`, `count` and
   `limit` of the part say where and how much, as each line says. */
typedef enum voxa_problem {
  VOXA_PROBLEM_NO_MAGIC = 1,       /* the frame does not start with "QTZ1" */
  VOXA_PROBLEM_CHUNK_CUT = 2,      /* the chunk at `offset` has `count` bytes
                                      less than its length says: it runs past
                                      the frame's end */
  VOXA_PROBLEM_HEADER_CUT = 3,     /* `count` bytes at `offset` are too few
                                      for a chunk header (8 bytes) */
  VOXA_PROBLEM_NO_FIELD_CHUNK = 4, /* no chunk has a field tag */
  VOXA_PROBLEM_STRAY_BYTES = 5,    /* the payload ends with `count` bytes at
                                      `offset`, too few for a run word */
  VOXA_PROBLEM_LITERALS_CUT = 6,   /* the run word `word` at `offset`
                                      announces `count` bytes of literal
                                      blocks; only `limit` follow */
  VOXA_PROBLEM_ZERO_WORD = 7,      /* a run word 0 at `offset`: only the
                                      payload of a field without blocks is
                                      one (a lone 0) */
  VOXA_PROBLEM_SAME_SIGN = 8,      /* the run word `word` at `offset` has the
                                      sign of the word before it: an encoder
                                      would have extended that one */
  VOXA_PROBLEM_BLOCK_COUNT = 9     /* the payload codes `count` blocks (a
                                      zero word codes one, left untouched);
                                      the field has `limit` */
} voxa_problem;

/* One part of a frame. Members a kind does not name are 0. */
typedef struct voxa_frame_part {
  voxa_part_kind kind;
  uint32_t chunk;  /* the chunk it belongs to, counted from 0; for
                      NO_MAGIC, HEADER_CUT and NO_FIELD_CHUNK the number of
                      whole chunk headers before it */
  size_t offset;   /* where it lies, in bytes from the frame's start: the
                      chunk header (CHUNK, CHUNK_CUT), the run word (RUN_WORD,
                      STRAY_BYTES, LITERALS_CUT, ZERO_WORD, SAME_SIGN,
                      BLOCK_COUNT: where the payload ends), the payload
                      (FIELD) */
  /* VOXA_PART_CHUNK */
  uint32_t tag;       /* VOXA_FIRST_FIELD_TAG, VOXA_SECOND_FIELD_TAG or another */
  uint32_t length;    /* payload bytes, as the header says */
  size_t available;   /* payload bytes inside the frame: `length` or fewer */
  unsigned fields;    /* VOXA_FIELD_FIRST and VOXA_FIELD_SECOND bits (also of
                         VOXA_PART_FIELD) */
  /* VOXA_PART_RUN_WORD, and the problems of one word */
  int32_t word;
  /* VOXA_PART_FIELD: the whole payload's run words and the blocks they
     code (literal ones only as far as their bytes go) */
  uint64_t run_words;
  uint64_t literal_blocks;
  uint64_t transparent_blocks;
  /* VOXA_PART_PROBLEM */
  voxa_problem problem;
  uint64_t count;
  uint64_t limit;
  int damage; /* 1 when this is why voxa_decode() finds the frame damaged */
} voxa_frame_part;

/* Called by voxa_inspect_frame() for each part; `part` is valid during the
   call only. */
typedef void (*voxa_part_callback)(void* opaque, const voxa_frame_part* part);

/* Walks the frame `frame` of `size` bytes and calls `callback` (with
   `opaque`) for each chunk, then for each run word of a payload a decoder
   uses, that payload's totals, and each problem, where it lies. With a
   picture size (a width that voxa_max_frame_bytes() takes) each payload is
   also checked against its field's blocks; width and height
   VOXA_SIZE_UNKNOWN check nothing against a size. voxa_inspect() reads a
   frame with the same walk. Returns what a decoder makes of the frame:
   VOXA_OK (even with problems that do not stop a decoder, such as
   VOXA_PROBLEM_SAME_SIGN), VOXA_ERROR_DAMAGED, VOXA_ERROR_NOT_VOXA, or
   VOXA_ERROR_INVALID_ARGUMENT (no callback, a null frame of some bytes, a
   size voxa_max_frame_bytes() does not take) without a call. */
VOXA_API int voxa_inspect_frame(const uint8_t* frame, size_t size, uint32_t width,
                                uint32_t height, voxa_part_callback callback, void* opaque);

#ifdef __cplusplus
}
#endif

#endif /* VOXA_VOXA_H */
