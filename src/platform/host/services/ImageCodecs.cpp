#include "platform/host/services/ImageCodecs.h"

// clang-format off
// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
#include <png.h>
// clang-format on

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace host::services {
namespace {

// Anything bigger is not a picture this program could use and would only tie up memory.
constexpr std::size_t kMaxPixels = std::size_t(1) << 26;

CodecResult Fail(std::string message) { return CodecResult{false, std::move(message)}; }
CodecResult Ok() { return CodecResult{true, {}}; }

// libjpeg reports errors through this manager: instead of exit() we jump back to the
// caller with the library's message. Everything the jump may skip lives in here or
// was built before the jump point, so no destructor is bypassed.
struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool warned;
  unsigned char* memoryOut;
  unsigned long memoryOutSize;
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
  auto* e = reinterpret_cast<JpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, e->message);
  std::longjmp(e->jump, 1);
}

void JpegEmitMessage(j_common_ptr cinfo, int level) {
  // Level -1 is a warning about damaged data (a cut-off file, bad Huffman codes).
  // We refuse such pictures instead of showing the grey the library would fill in.
  if (level < 0) {
    auto* e = reinterpret_cast<JpegError*>(cinfo->err);
    if (!e->warned) (*cinfo->err->format_message)(cinfo, e->message);
    e->warned = true;
  }
}

void InitJpegError(JpegError& e) {
  std::memset(&e, 0, sizeof e);
  jpeg_std_error(&e.mgr);
  e.mgr.error_exit = JpegErrorExit;
  e.mgr.emit_message = JpegEmitMessage;
}

}  // namespace

CodecResult DecodeJpeg(const uint8_t* data, std::size_t size, Image& out) {
  if (!data || size < 4) return Fail("JPEG: no data");
  if (size > 0xFFFFFFFFu) return Fail("JPEG: data too large");
  jpeg_decompress_struct cinfo;
  JpegError err;
  InitJpegError(err);
  std::vector<uint8_t> pixels;
  cinfo.err = &err.mgr;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return Fail(std::string("JPEG: ") + err.message);
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  const std::size_t w = cinfo.output_width, h = cinfo.output_height;
  if (w == 0 || h == 0 || w * h > kMaxPixels || cinfo.output_components != 3) {
    jpeg_destroy_decompress(&cinfo);
    return Fail("JPEG: unsupported picture size or colour layout");
  }
  pixels.resize(w * h * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = pixels.data() + static_cast<std::size_t>(cinfo.output_scanline) * w * 3;
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) break;
  }
  const bool complete = cinfo.output_scanline == cinfo.output_height;
  if (complete) jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  if (!complete) return Fail("JPEG: picture ends early");
  if (err.warned) return Fail(std::string("JPEG: damaged data: ") + err.message);
  out.width = static_cast<int>(w);
  out.height = static_cast<int>(h);
  out.channels = 3;
  out.pixels = std::move(pixels);
  return Ok();
}

CodecResult EncodeJpeg(const Image& image, int quality, std::vector<uint8_t>& out) {
  if (image.channels != 3 || image.width <= 0 || image.height <= 0 ||
      image.pixels.size() < static_cast<std::size_t>(image.width) * image.height * 3)
    return Fail("JPEG: the image must be RGB with all its pixels");
  if (image.width > 65500 || image.height > 65500) return Fail("JPEG: picture too large");
  jpeg_compress_struct cinfo;
  JpegError err;
  InitJpegError(err);
  cinfo.err = &err.mgr;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::free(err.memoryOut);
    return Fail(std::string("JPEG: ") + err.message);
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &err.memoryOut, &err.memoryOutSize);
  cinfo.image_width = static_cast<JDIMENSION>(image.width);
  cinfo.image_height = static_cast<JDIMENSION>(image.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality < 1 ? 1 : quality > 100 ? 100 : quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    // libjpeg takes non-const rows but only reads them.
    JSAMPROW row = const_cast<JSAMPROW>(image.pixels.data() + std::size_t(cinfo.next_scanline) * image.width * 3);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  out.assign(err.memoryOut, err.memoryOut + err.memoryOutSize);
  jpeg_destroy_compress(&cinfo);
  std::free(err.memoryOut);
  return Ok();
}

namespace {

struct PngJob {
  std::FILE* file = nullptr;
  char message[256] = {};
};

void PngError(png_structp png, png_const_charp message) {
  auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
  std::snprintf(job->message, sizeof job->message, "%s", message ? message : "error");
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

}  // namespace

CodecResult WritePng(const std::string& path, const Image& image) {
  if ((image.channels != 3 && image.channels != 4) || image.width <= 0 || image.height <= 0 ||
      image.pixels.size() < static_cast<std::size_t>(image.width) * image.height * image.channels)
    return Fail("PNG: the image must be RGB or RGBA with all its pixels");
  PngJob job;
  std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
  for (int y = 0; y < image.height; ++y)
    rows[y] = const_cast<png_bytep>(image.pixels.data() + std::size_t(y) * image.width * image.channels);
  job.file = std::fopen(path.c_str(), "wb");
  if (!job.file) return Fail("PNG: cannot create " + path);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, PngError, PngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, &info);
    std::fclose(job.file);
    return Fail("PNG: out of memory");
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(job.file);
    std::remove(path.c_str());
    return Fail(std::string("PNG: ") + job.message);
  }
  png_init_io(png, job.file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               image.channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // Frames are written every tick in headless runs: favour speed over size.
  png_set_compression_level(png, 3);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(job.file) != 0) return Fail("PNG: cannot write " + path);
  return Ok();
}

CodecResult WritePngXrgb(const std::string& path, const uint32_t* pixels, int width, int height, int pitch) {
  if (!pixels || width <= 0 || height <= 0 || pitch < width) return Fail("PNG: bad frame");
  Image img;
  img.width = width;
  img.height = height;
  img.channels = 3;
  img.pixels.resize(std::size_t(width) * height * 3);
  uint8_t* d = img.pixels.data();
  for (int y = 0; y < height; ++y) {
    const uint32_t* s = pixels + std::size_t(y) * pitch;
    for (int x = 0; x < width; ++x) {
      *d++ = uint8_t(s[x] >> 16);
      *d++ = uint8_t(s[x] >> 8);
      *d++ = uint8_t(s[x]);
    }
  }
  return WritePng(path, img);
}

CodecResult ReadPng(const std::string& path, Image& out) {
  PngJob job;
  std::vector<uint8_t> pixels;
  std::vector<png_bytep> rows;
  job.file = std::fopen(path.c_str(), "rb");
  if (!job.file) return Fail("PNG: cannot open " + path);
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, PngError, PngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(job.file);
    return Fail("PNG: out of memory");
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(job.file);
    return Fail(std::string("PNG: ") + job.message);
  }
  png_init_io(png, job.file);
  png_set_user_limits(png, 1u << 15, 1u << 15);
  png_read_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  const int colorType = png_get_color_type(png, info);
  png_set_strip_16(png);
  png_set_packing(png);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_expand_gray_1_2_4_to_8(png);
    png_set_gray_to_rgb(png);
  }
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const int channels = png_get_channels(png, info);
  if ((channels != 3 && channels != 4) || std::size_t(w) * h > kMaxPixels) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(job.file);
    return Fail("PNG: unsupported picture");
  }
  pixels.resize(std::size_t(w) * h * channels);
  rows.resize(h);
  for (png_uint_32 y = 0; y < h; ++y) rows[y] = pixels.data() + std::size_t(y) * w * channels;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(job.file);
  out.width = static_cast<int>(w);
  out.height = static_cast<int>(h);
  out.channels = channels;
  out.pixels = std::move(pixels);
  return Ok();
}

}  // namespace host::services
