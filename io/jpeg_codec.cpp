// JPEG through libjpeg-turbo, in memory. libjpeg leaves a failure by longjmp, so the functions
// that call it hold nothing with a destructor: what must be freed lives in the caller's records.
#include <csetjmp>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include "io/image_codecs.hpp"

namespace tav::image_codecs {
namespace {

struct failure {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void leave(j_common_ptr info) { std::longjmp(reinterpret_cast<failure*>(info->err)->jump, 1); }

// A truncated stream is a failure, not a picture padded with grey.
void on_message(j_common_ptr info, int level) {
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) leave(info);
}

void silent(j_common_ptr) {}

void set_up(failure& fail) {
  jpeg_std_error(&fail.manager);
  fail.manager.error_exit = leave;
  fail.manager.emit_message = on_message;
  fail.manager.output_message = silent;
}

uint8_t scale(uint32_t a, uint32_t b) { return static_cast<uint8_t>((a * b + 127) / 255); }

// CMYK rows to BGRA; Adobe's files store every ink inverted.
void from_cmyk(const uint8_t* from, uint32_t* to, uint32_t width, bool inverted) {
  for (uint32_t x = 0; x < width; ++x, from += 4) {
    uint32_t c = from[0], m = from[1], y = from[2], k = from[3];
    if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    to[x] = 0xFF000000u | uint32_t{scale(c, k)} << 16 | uint32_t{scale(m, k)} << 8 | scale(y, k);
  }
}

bool decode_core(const uint8_t* data, size_t length, jpeg_decompress_struct& info, failure& fail, picture& out,
                 uint8_t** row_buffer) {
  info.err = &fail.manager;
  if (setjmp(fail.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(length));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || !allocate(out, info.image_width, info.image_height)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  jpeg_start_decompress(&info);
  if (cmyk) {
    *row_buffer = static_cast<uint8_t*>(std::malloc(size_t{out.width} * 4));
    if (!*row_buffer) leave(reinterpret_cast<j_common_ptr>(&info));
  }
  while (info.output_scanline < info.output_height) {
    uint32_t* target = out.pixels + size_t{info.output_scanline} * out.width;
    JSAMPROW row = cmyk ? *row_buffer : reinterpret_cast<JSAMPROW>(target);
    if (jpeg_read_scanlines(&info, &row, 1) != 1) leave(reinterpret_cast<j_common_ptr>(&info));
    if (cmyk) from_cmyk(*row_buffer, target, out.width, info.saw_Adobe_marker);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

// The destination writes straight into the output's buffer, doubling it when full.
struct sink {
  jpeg_destination_mgr manager;
  output* out;
};

void sink_init(j_compress_ptr info) {
  auto* s = reinterpret_cast<sink*>(info->dest);
  if (!s->out->reserve(s->out->size + 65536)) ERREXIT(info, JERR_FILE_WRITE);
  s->manager.next_output_byte = s->out->data + s->out->size;
  s->manager.free_in_buffer = s->out->capacity - s->out->size;
}

boolean sink_empty(j_compress_ptr info) {
  auto* s = reinterpret_cast<sink*>(info->dest);
  s->out->size = s->out->capacity;
  sink_init(info);
  return TRUE;
}

void sink_term(j_compress_ptr info) {
  auto* s = reinterpret_cast<sink*>(info->dest);
  s->out->size = s->out->capacity - s->manager.free_in_buffer;
}

bool encode_core(const uint32_t* pixels, uint32_t width, uint32_t height, jpeg_compress_struct& info, failure& fail,
                 sink& destination) {
  info.err = &fail.manager;
  if (setjmp(fail.jump)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  destination.manager.init_destination = sink_init;
  destination.manager.empty_output_buffer = sink_empty;
  destination.manager.term_destination = sink_term;
  info.dest = &destination.manager;
  info.image_width = width;
  info.image_height = height;
  info.input_components = 4;
  info.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 90, TRUE);
  // Full-resolution colour: halved chroma shifts small flat areas of strong colour visibly.
  for (int c = 0; c < info.num_components; ++c) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < height) {
    auto row = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(pixels + size_t{info.next_scanline} * width));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

bool decode_jpeg(const uint8_t* data, size_t length, picture& out) {
  jpeg_decompress_struct info{};
  failure fail{};
  set_up(fail);
  uint8_t* row_buffer = nullptr;
  const bool done = decode_core(data, length, info, fail, out, &row_buffer);
  std::free(row_buffer);
  return done;
}

bool encode_jpeg(const uint32_t* pixels, uint32_t width, uint32_t height, output& out) {
  jpeg_compress_struct info{};
  failure fail{};
  set_up(fail);
  sink destination{};
  destination.out = &out;
  return encode_core(pixels, width, height, info, fail, destination);
}

}  // namespace tav::image_codecs
