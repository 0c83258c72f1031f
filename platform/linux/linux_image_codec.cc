#include "platform/linux/linux_image_codec.h"

#include <png.h>
#include <setjmp.h>

#include <cstdio>
#include <cstring>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace platform {
namespace {

constexpr int kMaxDimension = 30000;

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

bool SizeAcceptable(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxDimension && height <= kMaxDimension &&
         width * height <= kMaxImagePixels;
}

// libjpeg reports fatal errors through error_exit, which must not return.
struct JpegError {
  jpeg_error_mgr manager;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool truncated;
};

void JpegErrorExit(j_common_ptr cinfo) {
  auto* error = reinterpret_cast<JpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, error->message);
  longjmp(error->jump, 1);
}

// Warnings are not printed; the one that matters, data that ends before the
// picture does (libjpeg would fill the rest with grey), fails the decode.
void JpegQuiet(j_common_ptr cinfo, int level) {
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
    reinterpret_cast<JpegError*>(cinfo->err)->truncated = true;
  }
}

std::optional<Image> DecodeJpeg(std::string_view data, std::string* error) {
  jpeg_decompress_struct cinfo{};
  JpegError jerr{};
  cinfo.err = jpeg_std_error(&jerr.manager);
  jerr.manager.error_exit = JpegErrorExit;
  jerr.manager.emit_message = JpegQuiet;
  Image image;  // declared before setjmp: it stays in scope across the jump
  if (setjmp(jerr.jump)) {
    jpeg_destroy_decompress(&cinfo);
    SetError(error, std::string("JPEG: ") + jerr.message);
    return std::nullopt;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.data()),
               static_cast<unsigned long>(data.size()));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&cinfo);
    SetError(error, "JPEG: no picture");
    return std::nullopt;
  }
  if (!SizeAcceptable(cinfo.image_width, cinfo.image_height)) {
    jpeg_destroy_decompress(&cinfo);
    SetError(error, "JPEG: picture too large");
    return std::nullopt;
  }
  cinfo.out_color_space = JCS_EXT_RGBA;
  jpeg_start_decompress(&cinfo);
  image.width = static_cast<int>(cinfo.output_width);
  image.height = static_cast<int>(cinfo.output_height);
  image.rgba.resize(static_cast<size_t>(image.width) * image.height * 4);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = &image.rgba[static_cast<size_t>(cinfo.output_scanline) * image.width * 4];
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  if (jerr.truncated) {
    SetError(error, "JPEG: the data ends before the picture");
    return std::nullopt;
  }
  return image;
}

struct PngReader {
  const uint8_t* data;
  size_t size;
  size_t position;
};

void PngRead(png_structp png, png_bytep out, png_size_t length) {
  auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
  if (reader->size - reader->position < length) png_error(png, "truncated data");
  std::memcpy(out, reader->data + reader->position, length);
  reader->position += length;
}

void PngErrorFn(png_structp png, png_const_charp message) {
  auto* text = static_cast<std::string*>(png_get_error_ptr(png));
  if (text) *text = message;
  png_longjmp(png, 1);
}

void PngWarningFn(png_structp, png_const_charp) {}

std::optional<Image> DecodePng(std::string_view data, std::string* error) {
  std::string message = "bad data";
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, &message, PngErrorFn, PngWarningFn);
  if (!png) {
    SetError(error, "PNG: out of memory");
    return std::nullopt;
  }
  png_infop info = png_create_info_struct(png);
  PngReader reader{reinterpret_cast<const uint8_t*>(data.data()), data.size(), 0};
  Image image;
  std::vector<png_bytep> rows;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    SetError(error, "PNG: " + message);
    return std::nullopt;
  }
  png_set_user_limits(png, kMaxDimension, kMaxDimension);
  png_set_chunk_malloc_max(png, 8 * 1024 * 1024);
  png_set_read_fn(png, &reader, PngRead);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  if (!SizeAcceptable(width, height)) png_error(png, "picture too large");
  const int color = png_get_color_type(png, info);
  if (png_get_bit_depth(png, info) == 16) png_set_strip_16(png);
  if (color == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (color == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8) {
    png_set_expand_gray_1_2_4_to_8(png);
  }
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (color == PNG_COLOR_TYPE_GRAY || color == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) {
    png_error(png, "unexpected pixel layout");
  }
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.rgba.resize(static_cast<size_t>(width) * height * 4);
  rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y)
    rows[y] = &image.rgba[static_cast<size_t>(y) * width * 4];
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return image;
}

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::string*>(png_get_io_ptr(png));
  out->append(reinterpret_cast<const char*>(data), length);
}

void PngFlush(png_structp) {}

}  // namespace

std::optional<Image> LinuxImageCodec::Decode(std::string_view data, std::string* error) {
  switch (SniffImageFormat(data)) {
    case ImageFormat::kJpeg:
      return DecodeJpeg(data, error);
    case ImageFormat::kPng:
      return DecodePng(data, error);
    case ImageFormat::kUnknown:
      break;
  }
  SetError(error, "neither JPEG nor PNG data");
  return std::nullopt;
}

std::optional<std::string> LinuxImageCodec::EncodeJpeg(const Image& image, double quality,
                                                       std::string* error) {
  if (!image.valid()) {
    SetError(error, "JPEG: no picture to encode");
    return std::nullopt;
  }
  jpeg_compress_struct cinfo{};
  JpegError jerr{};
  cinfo.err = jpeg_std_error(&jerr.manager);
  jerr.manager.error_exit = JpegErrorExit;
  jerr.manager.emit_message = JpegQuiet;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(jerr.jump)) {
    jpeg_destroy_compress(&cinfo);
    free(buffer);
    SetError(error, std::string("JPEG: ") + jerr.message);
    return std::nullopt;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(image.width);
  cinfo.image_height = static_cast<JDIMENSION>(image.height);
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_EXT_RGBA;
  jpeg_set_defaults(&cinfo);
  int q = static_cast<int>(quality * 100 + 0.5);
  jpeg_set_quality(&cinfo, q < 1 ? 1 : (q > 100 ? 100 : q), TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(
        &image.rgba[static_cast<size_t>(cinfo.next_scanline) * image.width * 4]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::string out(reinterpret_cast<const char*>(buffer), size);
  jpeg_destroy_compress(&cinfo);
  free(buffer);
  return out;
}

std::optional<std::string> LinuxImageCodec::EncodePng(const Image& image, std::string* error) {
  if (!image.valid()) {
    SetError(error, "PNG: no picture to encode");
    return std::nullopt;
  }
  std::string message = "cannot encode";
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, &message, PngErrorFn, PngWarningFn);
  if (!png) {
    SetError(error, "PNG: out of memory");
    return std::nullopt;
  }
  png_infop info = png_create_info_struct(png);
  std::string out;
  std::vector<png_bytep> rows(static_cast<size_t>(image.height));
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    SetError(error, "PNG: " + message);
    return std::nullopt;
  }
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.height; ++y) {
    rows[static_cast<size_t>(y)] =
        const_cast<png_bytep>(&image.rgba[static_cast<size_t>(y) * image.width * 4]);
  }
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

}  // namespace platform
