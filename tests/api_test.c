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
  size_t size = 0, other = 0;

  check(voxa_version() == VOXA_VERSION && strcmp(voxa_version_string(), "1.0.0") == 0,
        "version", 0);
  check(bound > 0 && bound <= sizeof frame && voxa_max_frame_bytes(30, 2) == 0, "bound", 0);
  check(strcmp(voxa_status_string(VOXA_ERROR_DAMAGED), voxa_status_string(VOXA_ERROR_NOT_VOXA)) != 0 &&
            strcmp(voxa_status_string(12345), "unknown status") == 0,
        "status strings", 0);
  make_title(source, LINE);
  for (size_t i = 0; i < sizeof kernels / sizeof kernels[0]; ++i) {
    const int k = (int)kernels[i];
    if (voxa_kernels_available(kernels[i]) != VOXA_OK) {
      check(voxa_kernels_available(kernels[i]) == VOXA_ERROR_KERNELS_UNAVAILABLE, "unavailable", k);
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
  read_signal_actions(&after);
  check(same_signal_actions(&before, &after), "no signal action changed", 0);
  printf("api-test: %d passed, %d failed\n", passed, failed);
  return failed == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
