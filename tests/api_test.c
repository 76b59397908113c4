/* libvoxa from outside the build: plain C99 against the installed header,
   linked through the pkg-config file. Prints "api-test: N passed, M failed".
   Every call leaves every signal action of the process as it was. */
#define _DEFAULT_SOURCE /* sigaction, and NSIG */

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <voxa/voxa.h>

enum { W = 64, H = 32, PAD = 16, LINE = W * 4 + PAD };

static int passed, failed;

static void check(int ok, const char* what, int kernels) {
  if (ok) {
    ++passed;
  } else {
    ++failed;
    printf("FAILED: %s (kernels %d)\n", what, kernels);
  }
}

/* Whether this processor may lack a variant: on Intel's and AMD's x86
   processors (the only ones the library gives vector kernels) it must find
   SSE and SSE2 (every machine we run on has them), and AVX2 wherever the
   compiler's own check finds it usable. */
static int may_lack(voxa_kernels kernels) {
#if defined(__i386__) || defined(__x86_64__)
  __builtin_cpu_init();
  if (!__builtin_cpu_is("intel") && !__builtin_cpu_is("amd")) return 1;
  if (kernels == VOXA_KERNELS_SSE || kernels == VOXA_KERNELS_SSE2) return 0;
  if (kernels == VOXA_KERNELS_AVX2) return !__builtin_cpu_supports("avx2");
#endif
  return 1;
}

/* A title: transparent background, a soft-edged bar of colour with text-like
   stripes, alpha ramps at its edges. */
static void make_title(uint8_t* top, ptrdiff_t stride) {
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      uint8_t* px = top + y * stride + 4 * x;
      const int inside = y >= 8 && y < 24 && x >= 5 && x < 58;
      const int edge = x < 9 || x > 53;
      px[0] = (uint8_t)(x * 4);
      px[1] = (uint8_t)(y * 8);
      px[2] = (uint8_t)((x ^ y) * 4);
      px[3] = (uint8_t)(!inside ? 0 : edge ? 40 * (x % 5) : (x / 3) % 2 ? 255 : 180);
    }
  }
}

static voxa_picture picture(voxa_pixel_format format, uint8_t* top, ptrdiff_t stride) {
  voxa_picture p = {format, W, H, top, stride};
  return p;
}

/* What voxa_inspect_frame() reported of a frame. */
typedef struct {
  size_t frame_size;
  int parts;
  char problems[256]; /* their names, one after the other */
  unsigned first_chunk_fields;
  int chunks_seen;
  int outside; /* a part that does not lie inside the frame */
  uint64_t words_reported, words_totalled, literal, transparent;
} part_log;

static const char* problem_name(voxa_problem p) {
  switch (p) {
    case VOXA_PROBLEM_NO_MAGIC: return "NO_MAGIC";
    case VOXA_PROBLEM_CHUNK_CUT: return "CHUNK_CUT";
    case VOXA_PROBLEM_HEADER_CUT: return "HEADER_CUT";
    case VOXA_PROBLEM_NO_FIELD_CHUNK: return "NO_FIELD_CHUNK";
    case VOXA_PROBLEM_STRAY_BYTES: return "STRAY_BYTES";
    case VOXA_PROBLEM_LITERALS_CUT: return "LITERALS_CUT";
    case VOXA_PROBLEM_ZERO_WORD: return "ZERO_WORD";
    case VOXA_PROBLEM_SAME_SIGN: return "SAME_SIGN";
    case VOXA_PROBLEM_BLOCK_COUNT: return "BLOCK_COUNT";
  }
  return "?";
}

static void log_part(void* opaque, const voxa_frame_part* part) {
  part_log* log = (part_log*)opaque;
  ++log->parts;
  if (part->offset > log->frame_size) log->outside = 1;
  switch (part->kind) {
    case VOXA_PART_CHUNK:
      if (part->offset + 8 > log->frame_size || part->available > part->length ||
          part->offset + 8 + part->available > log->frame_size) {
        log->outside = 1;
      }
      if (log->chunks_seen++ == 0) log->first_chunk_fields = part->fields;
      break;
    case VOXA_PART_RUN_WORD:
      if (part->offset + 4 > log->frame_size) log->outside = 1;
      ++log->words_reported;
      break;
    case VOXA_PART_FIELD:
      log->words_totalled += part->run_words;
      log->literal += part->literal_blocks;
      log->transparent += part->transparent_blocks;
      break;
    case VOXA_PART_PROBLEM: {
      const size_t used = strlen(log->problems);
      snprintf(log->problems + used, sizeof log->problems - used, "%s%s%s", used ? " " : "",
               problem_name(part->problem), part->damage ? "!" : "");
      break;
    }
  }
}

/* Every signal's action, to compare before and after the calls. */
typedef struct {
  struct sigaction action[NSIG];
} signal_actions;

static void read_signal_actions(signal_actions* all) {
  memset(all, 0, sizeof *all);
  for (int s = 1; s < NSIG; ++s) sigaction(s, NULL, &all->action[s]);
}

static int same_signal_actions(const signal_actions* a, const signal_actions* b) {
  for (int s = 1; s < NSIG; ++s) {
    const struct sigaction *x = &a->action[s], *y = &b->action[s];
    if (x->sa_handler != y->sa_handler || x->sa_flags != y->sa_flags) return 0;
    for (int other = 1; other < NSIG; ++other) {
      if (sigismember(&x->sa_mask, other) != sigismember(&y->sa_mask, other)) return 0;
    }
  }
  return 1;
}

int main(void) {
  static signal_actions before, after;
  read_signal_actions(&before);
  static uint8_t source[H * LINE], down[H * LINE], up[H * LINE];
  static uint8_t frame[W * H * 4 + 4096], again[W * H * 4 + 4096];
  const size_t bound = voxa_max_frame_bytes(W, H);
  const voxa_kernels kernels[] = {VOXA_KERNELS_AUTO, VOXA_KERNELS_PORTABLE, VOXA_KERNELS_SSE,
                                  VOXA_KERNELS_SSE2, VOXA_KERNELS_AVX2};
  size_t size = 0, other = 0, other_size = 0;

  check(voxa_version() == VOXA_VERSION && strcmp(voxa_version_string(), "1.0.0") == 0,
        "version", 0);
  check(bound > 0 && bound <= sizeof frame && voxa_max_frame_bytes(30, 2) == 0 &&
            voxa_max_frame_bytes(65536, 16384) == 0,
        "bound", 0);
  check(strcmp(voxa_status_string(VOXA_ERROR_DAMAGED), voxa_status_string(VOXA_ERROR_NOT_VOXA)) != 0 &&
            strcmp(voxa_status_string(12345), "unknown status") == 0,
        "status strings", 0);
  make_title(source, LINE);
  for (size_t i = 0; i < sizeof kernels / sizeof kernels[0]; ++i) {
    const int k = (int)kernels[i];
    if (voxa_kernels_available(kernels[i]) != VOXA_OK) {
      check(voxa_kernels_available(kernels[i]) == VOXA_ERROR_KERNELS_UNAVAILABLE && may_lack(kernels[i]),
            "unavailable", k);
      continue;
    }
    /* The picture top-down, then the same picture bottom-up (negative stride):
       the same frame. */
    voxa_picture top_down = picture(VOXA_BGRA, source, LINE);
    check(voxa_encode(&top_down, kernels[i], frame, sizeof frame, &size) == VOXA_OK, "encode", k);
    for (int y = 0; y < H; ++y) memcpy(up + (H - 1 - y) * LINE, source + y * LINE, LINE);
    voxa_picture bottom_up = picture(VOXA_BGRA, up + (H - 1) * LINE, -LINE);
    check(voxa_encode(&bottom_up, kernels[i], again, sizeof again, &other) == VOXA_OK &&
              other == size && memcmp(frame, again, size) == 0,
          "negative stride encodes the same frame", k);
    /* Decoded both ways: the same picture, line for line; transparent pixels
       are zeros, every alpha as the source's. */
    memset(down, 0x5C, sizeof down);
    memset(up, 0x5C, sizeof up);
    voxa_picture into_down = picture(VOXA_BGRA, down, LINE);
    voxa_picture into_up = picture(VOXA_BGRA, up + (H - 1) * LINE, -LINE);
    check(voxa_decode(frame, size, kernels[i], &into_down) == VOXA_OK &&
              voxa_decode(frame, size, kernels[i], &into_up) == VOXA_OK,
          "decode", k);
    int same = 1, alpha = 1;
    for (int y = 0; y < H; ++y) {
      same = same && memcmp(down + y * LINE, up + (H - 1 - y) * LINE, W * 4) == 0 &&
             down[y * LINE + W * 4] == 0x5C;
      for (int x = 0; x < W; ++x) {
        const uint8_t* px = down + y * LINE + 4 * x;
        alpha = alpha && px[3] == source[y * LINE + 4 * x + 3] && (px[3] != 0 || !(px[0] | px[1] | px[2]));
      }
    }
    check(same, "negative stride decodes the same picture, padding untouched", k);
    check(alpha, "alpha kept, transparent pixels zero", k);
    /* Y16A: a round trip through the same frame type. */
    static uint8_t y16a[W * H * 3], y16a_back[W * H * 3];
    for (size_t b = 0; b < sizeof y16a; ++b) y16a[b] = (uint8_t)(b * 7);
    voxa_picture y = {VOXA_Y16A, W, H, y16a, W * 3}, y_back = {VOXA_Y16A, W, H, y16a_back, W * 3};
    check(voxa_encode(&y, kernels[i], again, sizeof again, &other) == VOXA_OK &&
              voxa_decode(again, other, kernels[i], &y_back) == VOXA_OK,
          "Y16A round trip", k);
  }

  /* What a frame holds; damaged and foreign frames; bad arguments. */
  voxa_frame_info info;
  voxa_picture into = picture(VOXA_BGRA, down, LINE);
  check(voxa_inspect(frame, size, W, H, &info) == VOXA_OK && info.fields == 2 &&
            info.literal_blocks + info.transparent_blocks == 2 * (W / 16) * (H / 2) &&
            info.literal_blocks > 0 && info.transparent_blocks > 0 && !info.damaged,
        "inspect", 0);
  check(voxa_decode(frame, size - 5, VOXA_KERNELS_AUTO, &into) == VOXA_ERROR_DAMAGED &&
            voxa_inspect(frame, size - 5, W, H, &info) == VOXA_ERROR_DAMAGED && info.damaged,
        "damaged frame", 0);
  memset(down, 0x5C, sizeof down);
  check(voxa_decode((const uint8_t*)"RIFF0000", 8, VOXA_KERNELS_AUTO, &into) == VOXA_ERROR_NOT_VOXA &&
            down[0] == 0x5C && down[sizeof down - 1] == 0x5C,
        "foreign frame writes nothing", 0);
  voxa_picture narrow = picture(VOXA_BGRA, source, W * 4 - 1);
  voxa_picture odd = {VOXA_BGRA, 30, H, source, LINE};
  check(voxa_encode(NULL, VOXA_KERNELS_AUTO, frame, sizeof frame, &size) == VOXA_ERROR_INVALID_ARGUMENT &&
            voxa_encode(&narrow, VOXA_KERNELS_AUTO, frame, sizeof frame, &size) == VOXA_ERROR_INVALID_ARGUMENT &&
            voxa_encode(&odd, VOXA_KERNELS_AUTO, frame, sizeof frame, &size) == VOXA_ERROR_INVALID_ARGUMENT &&
            voxa_encode(&into, VOXA_KERNELS_AUTO, frame, bound - 1, &size) == VOXA_ERROR_BUFFER_TOO_SMALL &&
            voxa_kernels_available((voxa_kernels)42) == VOXA_ERROR_INVALID_ARGUMENT,
        "bad arguments", 0);
  /* A picture of odd height: the line neither read nor written is the top
     line of a BGRA picture (stored bottom line first) and the bottom line of
     a Y16A one, whatever the stride's sign. */
  for (int y16a = 0; y16a <= 1; ++y16a) {
    enum { OW = 16, OH = 3, OLINE = OW * 4 };
    static uint8_t odd[OH][OLINE], other[OH][OLINE], back[OH][OLINE];
    const int left_out = y16a ? OH - 1 : 0;
    const voxa_pixel_format f = y16a ? VOXA_Y16A : VOXA_BGRA;
    for (int bottom_up = 0; bottom_up <= 1; ++bottom_up) {
      const ptrdiff_t step = bottom_up ? -OLINE : OLINE;
      const int top = bottom_up ? OH - 1 : 0; /* where line 0 lies in memory */
      const int row = bottom_up ? OH - 1 - left_out : left_out; /* the left-out line in memory */
      memset(odd, 200, sizeof odd);
      memcpy(other, odd, sizeof other);
      memset(other[row], 7, sizeof other[row]);
      voxa_picture a = {f, OW, OH, odd[top], step}, b = {f, OW, OH, other[top], step};
      voxa_picture into = {f, OW, OH, back[top], step};
      check(voxa_encode(&a, VOXA_KERNELS_AUTO, frame, sizeof frame, &size) == VOXA_OK &&
                voxa_encode(&b, VOXA_KERNELS_AUTO, again, sizeof again, &other_size) == VOXA_OK &&
                size == other_size && memcmp(frame, again, size) == 0,
            "the left-out line of an odd height is not read", y16a);
      memset(back, 0x5C, sizeof back);
      check(voxa_decode(frame, size, VOXA_KERNELS_AUTO, &into) == VOXA_OK &&
                voxa_inspect(frame, size, OW, OH, &info) == VOXA_OK && info.literal_blocks == 2,
            "odd height decodes", y16a);
      int untouched = 1, written = 1;
      for (int r = 0; r < OH; ++r) {
        for (int x = 0; x < OW * (y16a ? 3 : 4); ++x) {
          if (r == row) untouched = untouched && back[r][x] == 0x5C;
          else written = written && back[r][x] != 0x5C;
        }
      }
      check(untouched && written, "the left-out line of an odd height is not written", y16a);
    }
  }

  /* Empty pictures and frames: a picture without pixels needs no data, a
     frame of no bytes is no frame, and run words that end before the blocks
     they announce make a damaged frame. */
  voxa_picture empty_width = {VOXA_BGRA, 0, 16, NULL, 0}, empty_height = {VOXA_Y16A, 16, 0, NULL, 0};
  check(voxa_encode(&empty_width, VOXA_KERNELS_AUTO, frame, sizeof frame, &size) == VOXA_OK &&
            size == 28 && voxa_decode(frame, size, VOXA_KERNELS_AUTO, &empty_width) == VOXA_OK &&
            voxa_encode(&empty_height, VOXA_KERNELS_AUTO, frame, sizeof frame, &size) == VOXA_OK &&
            size == 28 && voxa_decode(frame, size, VOXA_KERNELS_AUTO, &empty_height) == VOXA_OK,
        "pictures without pixels", 0);
  check(voxa_decode(NULL, 0, VOXA_KERNELS_AUTO, &into) == VOXA_ERROR_NOT_VOXA &&
            voxa_inspect(NULL, 0, W, H, &info) == VOXA_ERROR_NOT_VOXA &&
            voxa_decode(NULL, 4, VOXA_KERNELS_AUTO, &into) == VOXA_ERROR_INVALID_ARGUMENT &&
            voxa_inspect(NULL, 4, W, H, &info) == VOXA_ERROR_INVALID_ARGUMENT,
        "a frame of no bytes, and a null one of some", 0);
  /* 16x2: each field one block; the first field's run word announces a
     literal block its payload does not hold. */
  static const uint8_t short_runs[] = {'Q', 'T', 'Z', '1', 0x20, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0,
                                       0x20, 0, 0, 0x80, 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  static uint8_t small[2][64];
  voxa_picture small_picture = {VOXA_BGRA, 16, 2, small[0], 64};
  check(voxa_decode(short_runs, sizeof short_runs, VOXA_KERNELS_AUTO, &small_picture) == VOXA_ERROR_DAMAGED &&
            voxa_inspect(short_runs, sizeof short_runs, 16, 2, &info) == VOXA_ERROR_DAMAGED && info.damaged,
        "run words that end before their blocks", 0);

  /* The walk through a frame's parts, a row a frame: what a decoder makes
     of it and every problem in the order of its bytes ("!" marks the one a
     decoder stops at). Each part lies inside the frame, and the payload
     totals agree with the run words reported and with voxa_inspect(). */
  {
    static uint8_t titled[W * H * 4 + 4096];
    size_t titled_size = 0;
    voxa_picture title = picture(VOXA_BGRA, source, LINE);
    check(voxa_encode(&title, VOXA_KERNELS_PORTABLE, titled, sizeof titled, &titled_size) == VOXA_OK,
          "encode for the walk", 0);
    static const uint8_t no_magic[] = {'R', 'I', 'F', 'F', 0, 0, 0, 0};
    static const uint8_t no_field[] = {'Q', 'T', 'Z', '1', 0x34, 0x12, 0, 0, 2, 0, 0, 0, 'a', 'b'};
    static const uint8_t one_field[] = {'Q', 'T', 'Z', '1', 0x20, 0, 0, 0, 4, 0, 0, 0, 0xFC, 0xFF, 0xFF, 0xFF};
    static const uint8_t cut[] = {'Q', 'T', 'Z', '1', 0x20, 0, 0, 0, 0x34, 0, 0, 0, 2, 0, 0, 0, 9, 9};
    /* 32x2: the first field's -1 and 2 stray bytes, one block short. */
    static const uint8_t stray[] = {'Q', 'T', 'Z', '1', 0x20, 0, 0, 0, 6, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 9, 9,
                                    0x20, 0, 0, 0x80, 4, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF};
    /* An unknown chunk; a first field of words -1 -2 0 +1 (one literal
       block) and 2 stray bytes, 5 blocks for 4; a second field of a lone 0
       for 4 blocks; a third field chunk; 3 bytes too few for a header. */
    static uint8_t odd_frame[4 + 10 + 8 + 66 + 8 + 4 + 8 + 4 + 3];
    {
      static const uint8_t head[] = {'Q', 'T', 'Z', '1', 0x34, 0x12, 0, 0, 2, 0, 0, 0, 'a', 'b',
                                     0x20, 0, 0, 0, 66, 0, 0, 0,
                                     0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 1, 0, 0, 0};
      static const uint8_t tail[] = {'z', 'z', 0x20, 0, 0, 0x80, 4, 0, 0, 0, 0, 0, 0, 0,
                                     0x20, 0, 0, 0, 4, 0, 0, 0, 0xFD, 0xFF, 0xFF, 0xFF, 'a', 'b', 'c'};
      memset(odd_frame, 'x', sizeof odd_frame);
      memcpy(odd_frame, head, sizeof head);
      memcpy(odd_frame + sizeof head + 48, tail, sizeof tail);
    }
    const struct {
      const char* name;
      const uint8_t* frame;
      size_t size;
      uint32_t width, height;
      int status;
      const char* problems;
      unsigned first_chunk_fields;
    } rows[] = {
        {"encoded", titled, titled_size, W, H, VOXA_OK, "", VOXA_FIELD_FIRST},
        {"encoded, size unknown", titled, titled_size, VOXA_SIZE_UNKNOWN, VOXA_SIZE_UNKNOWN, VOXA_OK, "",
         VOXA_FIELD_FIRST},
        {"cut short", titled, titled_size - 5, W, H, VOXA_ERROR_DAMAGED, "CHUNK_CUT! LITERALS_CUT! BLOCK_COUNT",
         VOXA_FIELD_FIRST},
        {"no magic", no_magic, sizeof no_magic, W, H, VOXA_ERROR_NOT_VOXA, "NO_MAGIC", 0},
        {"no field chunk", no_field, sizeof no_field, W, H, VOXA_ERROR_NOT_VOXA, "NO_FIELD_CHUNK", 0},
        {"one field chunk for both", one_field, sizeof one_field, 32, 4, VOXA_OK, "",
         VOXA_FIELD_FIRST | VOXA_FIELD_SECOND},
        {"words end before their blocks", short_runs, sizeof short_runs, 16, 2, VOXA_ERROR_DAMAGED,
         "LITERALS_CUT! BLOCK_COUNT", VOXA_FIELD_FIRST},
        {"chunk past the end, size unknown", cut, sizeof cut, VOXA_SIZE_UNKNOWN, VOXA_SIZE_UNKNOWN,
         VOXA_ERROR_DAMAGED, "CHUNK_CUT! LITERALS_CUT", VOXA_FIELD_FIRST | VOXA_FIELD_SECOND},
        {"chunk past the end, 32x4", cut, sizeof cut, 32, 4, VOXA_ERROR_DAMAGED,
         "CHUNK_CUT! LITERALS_CUT! BLOCK_COUNT", VOXA_FIELD_FIRST | VOXA_FIELD_SECOND},
        {"stray bytes before the field's end", stray, sizeof stray, 32, 2, VOXA_ERROR_DAMAGED,
         "STRAY_BYTES! BLOCK_COUNT", VOXA_FIELD_FIRST},
        {"everything an encoder never writes", odd_frame, sizeof odd_frame, 32, 4, VOXA_ERROR_DAMAGED,
         "SAME_SIGN ZERO_WORD STRAY_BYTES BLOCK_COUNT BLOCK_COUNT! HEADER_CUT", 0},
    };
    for (size_t r = 0; r < sizeof rows / sizeof rows[0]; ++r) {
      part_log log;
      memset(&log, 0, sizeof log);
      log.frame_size = rows[r].size;
      const int status = voxa_inspect_frame(rows[r].frame, rows[r].size, rows[r].width, rows[r].height,
                                            log_part, &log);
      int ok = status == rows[r].status && strcmp(log.problems, rows[r].problems) == 0 &&
               log.first_chunk_fields == rows[r].first_chunk_fields && !log.outside &&
               log.words_reported == log.words_totalled;
      if (rows[r].width != VOXA_SIZE_UNKNOWN) {
        voxa_frame_info counted;
        ok = ok && voxa_inspect(rows[r].frame, rows[r].size, rows[r].width, rows[r].height, &counted) == status &&
             counted.damaged == (status == VOXA_ERROR_DAMAGED);
        /* Payloads that hold exactly their fields' blocks: the same counts. */
        if (status == VOXA_OK) {
          const uint64_t uses = log.first_chunk_fields == (VOXA_FIELD_FIRST | VOXA_FIELD_SECOND) ? 2 : 1;
          ok = ok && counted.literal_blocks == uses * log.literal && counted.transparent_blocks == uses * log.transparent;
        }
      }
      if (!ok) printf("  row '%s': status %d, problems '%s', first chunk's fields %u\n", rows[r].name, status,
                      log.problems, log.first_chunk_fields);
      check(ok, "voxa_inspect_frame", (int)r);
    }
    part_log none;
    memset(&none, 0, sizeof none);
    check(voxa_inspect_frame(titled, titled_size, W, H, NULL, NULL) == VOXA_ERROR_INVALID_ARGUMENT &&
              voxa_inspect_frame(NULL, 4, W, H, log_part, &none) == VOXA_ERROR_INVALID_ARGUMENT &&
              voxa_inspect_frame(titled, titled_size, 30, H, log_part, &none) == VOXA_ERROR_INVALID_ARGUMENT &&
              voxa_inspect_frame(titled, titled_size, VOXA_SIZE_UNKNOWN, H, log_part, &none) == VOXA_ERROR_INVALID_ARGUMENT &&
              none.parts == 0,
          "voxa_inspect_frame's bad arguments", 0);
    const voxa_kernels chosen = voxa_auto_kernels();
    check(chosen != VOXA_KERNELS_AUTO && voxa_kernels_available(chosen) == VOXA_OK, "voxa_auto_kernels", (int)chosen);
  }

  /* The Y16A block layout of the header: a picture whose alpha bytes are 0
     and every other byte is not codes as transparent blocks only. */
  {
    static uint8_t block_lines[2][VOXA_Y16A_BLOCK_BYTES];
    memset(block_lines, 200, sizeof block_lines);
    for (int line = 0; line < 2; ++line) {
      memset(&block_lines[line][VOXA_Y16A_ALPHA], 0, VOXA_Y16A_BLOCK_PIXELS);
    }
    voxa_picture y = {VOXA_Y16A, VOXA_Y16A_BLOCK_PIXELS, 2, block_lines[0], VOXA_Y16A_BLOCK_BYTES};
    check(voxa_encode(&y, VOXA_KERNELS_PORTABLE, frame, sizeof frame, &size) == VOXA_OK &&
              voxa_inspect(frame, size, VOXA_Y16A_BLOCK_PIXELS, 2, &info) == VOXA_OK &&
              info.transparent_blocks == 2 && info.literal_blocks == 0 &&
              VOXA_Y16A_LUMA < VOXA_Y16A_U && VOXA_Y16A_V + 8 == VOXA_Y16A_BLOCK_BYTES,
          "the Y16A block layout", 0);
  }

  read_signal_actions(&after);
  check(same_signal_actions(&before, &after), "no signal action changed", 0);
  printf("api-test: %d passed, %d failed\n", passed, failed);
  return failed == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
