/* FFmpeg's own VOXA decoder and encoder beside libvoxa, in one process, on
 * the same picture, one thread each: frames a second of processor time
 * (the median of three interleaved rounds), and their ratios.
 *
 *   ffmpeg_bench WIDTH HEIGHT PICTURE.bgra SECONDS
 *
 * PICTURE.bgra is one raw BGRA picture, bottom line first (as 'voxa sample'
 * writes it). Prints one line:
 *   encode: libvoxa-auto libvoxa-sse2 ffmpeg-simd ffmpeg-c decode: (the same)
 * in frames a second; exits 1 when FFmpeg's frame or picture is not
 * libvoxa's. Built by scripts/bench-ffmpeg.sh against build/ffmpeg. */
#define _POSIX_C_SOURCE 199309L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <libavcodec/avcodec.h>
#include <libavutil/cpu.h>
#include <libavutil/frame.h>
#include <voxa/voxa.h>

enum { ROUNDS = 3, WAYS = 4 };

static int width, height;
static uint8_t *top_down, *frame_bytes, *voxa_out;
static size_t frame_size;
static AVCodecContext *encoder, *decoder;
static AVFrame *in_frame, *out_frame;
static AVPacket *packet;

static double cpu_seconds(void)
{
    struct timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

static void die(const char *what)
{
    fprintf(stderr, "ffmpeg_bench: %s\n", what);
    exit(2);
}

/* A top-down picture for libvoxa. */
static voxa_picture top_down_picture(uint8_t *top)
{
    voxa_picture p = { VOXA_BGRA, width, height, top, (ptrdiff_t)width * 4 };
    return p;
}

static void open_codecs(void)
{
    const AVCodec *enc = avcodec_find_encoder_by_name("voxa");
    const AVCodec *dec = avcodec_find_decoder_by_name("voxa");

    avcodec_free_context(&encoder);
    avcodec_free_context(&decoder);
    if (!enc || !dec)
        die("no voxa encoder or decoder");
    encoder = avcodec_alloc_context3(enc);
    decoder = avcodec_alloc_context3(dec);
    encoder->width = decoder->width = width;
    encoder->height = decoder->height = height;
    encoder->pix_fmt = AV_PIX_FMT_BGRA;
    encoder->time_base = (AVRational){ 1, 25 };
    encoder->thread_count = decoder->thread_count = 1;
    if (avcodec_open2(encoder, enc, NULL) < 0 || avcodec_open2(decoder, dec, NULL) < 0)
        die("opening the codecs");
}

static void ffmpeg_encode(void)
{
    av_packet_unref(packet);
    if (avcodec_send_frame(encoder, in_frame) < 0 || avcodec_receive_packet(encoder, packet) < 0)
        die("FFmpeg's encoder");
}

static void ffmpeg_decode(void)
{
    AVPacket *p = av_packet_alloc();

    p->data = frame_bytes;
    p->size = (int)frame_size;
    av_frame_unref(out_frame);
    if (avcodec_send_packet(decoder, p) < 0 || avcodec_receive_frame(decoder, out_frame) < 0)
        die("FFmpeg's decoder");
    av_packet_free(&p);
}

/* Frames a second of one way of coding: 0, 1 libvoxa auto and SSE2; 2, 3
 * FFmpeg with and without SIMD. */
static double rate(int way, int decode, double seconds)
{
    voxa_kernels kernels = way == 0 ? VOXA_KERNELS_AUTO : VOXA_KERNELS_SSE2;
    size_t capacity = voxa_max_frame_bytes(width, height), written;
    voxa_picture in = top_down_picture(top_down), out = top_down_picture(voxa_out);
    double start = cpu_seconds(), now;
    long n = 0;

    if (way >= 2) {
        av_force_cpu_flags(way == 2 ? -1 : 0);
        open_codecs();
    }
    do {
        for (int i = 0; i < 4; i++, n++) {
            if (way < 2 && !decode && voxa_encode(&in, kernels, voxa_out + (size_t)width * height * 4,
                                                  capacity, &written) != VOXA_OK)
                die("voxa_encode");
            else if (way < 2 && decode && voxa_decode(frame_bytes, frame_size, kernels, &out) != VOXA_OK)
                die("voxa_decode");
            else if (way >= 2 && !decode)
                ffmpeg_encode();
            else if (way >= 2 && decode)
                ffmpeg_decode();
        }
        now = cpu_seconds();
    } while (now - start < seconds);
    return n / (now - start);
}

static int by_value(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

int main(int argc, char **argv)
{
    size_t line, capacity;
    voxa_picture in, out;
    double r[2][WAYS][ROUNDS];
    FILE *f;
    int same = 1;

    if (argc != 5)
        die("usage: ffmpeg_bench WIDTH HEIGHT PICTURE.bgra SECONDS");
    width  = atoi(argv[1]);
    height = atoi(argv[2]);
    line   = (size_t)width * 4;
    capacity = voxa_max_frame_bytes(width, height);
    top_down    = malloc(line * height);
    voxa_out    = calloc(line * height + capacity, 1);
    frame_bytes = malloc(capacity);
    if (!capacity || !top_down || !voxa_out || !frame_bytes || !(f = fopen(argv[3], "rb")))
        die("bad size, no memory or no picture");
    for (int y = height - 1; y >= 0; y--)
        if (fread(top_down + y * line, line, 1, f) != 1)
            die("short picture");
    fclose(f);

    in_frame  = av_frame_alloc();
    out_frame = av_frame_alloc();
    packet    = av_packet_alloc();
    in_frame->format = AV_PIX_FMT_BGRA;
    in_frame->width  = width;
    in_frame->height = height;
    if (av_frame_get_buffer(in_frame, 0) < 0)
        die("no memory");
    for (int y = 0; y < height; y++)
        memcpy(in_frame->data[0] + y * in_frame->linesize[0], top_down + y * line, line);

    /* The same frame and the same picture, or the speeds mean nothing. */
    in = top_down_picture(top_down);
    out = top_down_picture(voxa_out);
    if (voxa_encode(&in, VOXA_KERNELS_SSE2, frame_bytes, capacity, &frame_size) != VOXA_OK ||
        voxa_decode(frame_bytes, frame_size, VOXA_KERNELS_SSE2, &out) != VOXA_OK)
        die("libvoxa");
    for (int way = 2; way < WAYS; way++) {
        av_force_cpu_flags(way == 2 ? -1 : 0);
        open_codecs();
        ffmpeg_encode();
        ffmpeg_decode();
        if (packet->size != (int)frame_size || memcmp(packet->data, frame_bytes, frame_size))
            same = 0, fprintf(stderr, "ffmpeg_bench: FFmpeg's frame (%s) is not libvoxa's\n", way == 2 ? "SIMD" : "C");
        for (int y = 0; y < height; y++)
            if (memcmp(out_frame->data[0] + y * out_frame->linesize[0], voxa_out + y * line, line))
                same = 0, fprintf(stderr, "ffmpeg_bench: FFmpeg's picture (%s) is not libvoxa's at line %d\n",
                                  way == 2 ? "SIMD" : "C", y);
    }
    if (!same)
        return 1;

    for (int round = 0; round < ROUNDS; round++)
        for (int decode = 0; decode < 2; decode++)
            for (int way = 0; way < WAYS; way++)
                r[decode][way][round] = rate(way, decode, atof(argv[4]) / ROUNDS);
    for (int decode = 0; decode < 2; decode++) {
        printf("%s", decode ? " decode:" : "encode:");
        for (int way = 0; way < WAYS; way++) {
            qsort(r[decode][way], ROUNDS, sizeof(double), by_value);
            printf(" %.1f", r[decode][way][ROUNDS / 2]);
        }
    }
    printf("\n");
    avcodec_free_context(&encoder);
    avcodec_free_context(&decoder);
    return 0;
}
