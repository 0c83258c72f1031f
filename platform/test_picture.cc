#include "platform/test_picture.h"

#include <time.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace platform {
namespace {

constexpr uint8_t kMarker = 0xB2;  // 1011 0010
constexpr int kCodeFirstRow = 1;
constexpr int kCodeRows = 3;
constexpr int kCodeCells = kTestPictureColumns * kCodeRows;  // 72
constexpr int kTimeBits = 48;

struct Yuv {
  uint8_t y, u, v;
};
constexpr Yuv kWhite{235, 128, 128};
constexpr Yuv kBlack{16, 128, 128};
// 75% colour bars, video range.
constexpr Yuv kBars[] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
                         {84, 184, 198},  {65, 100, 212}, {35, 212, 114}, {16, 128, 128}};

// 5x7 glyphs, one row a byte, the leftmost dot in bit 4.
struct Glyph {
  char c;
  uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
};

int CellX(int column, int width) { return column * width / kTestPictureColumns; }
int CellY(int row, int height) { return row * height / kTestPictureRows; }

void Fill(VideoFrame& f, int x0, int y0, int x1, int y1, Yuv c) {
  x0 = std::clamp(x0, 0, f.width);
  x1 = std::clamp(x1, 0, f.width);
  y0 = std::clamp(y0, 0, f.height);
  y1 = std::clamp(y1, 0, f.height);
  if (x0 >= x1 || y0 >= y1) return;
  for (int y = y0; y < y1; ++y) std::memset(f.y() + y * f.y_stride + x0, c.y, x1 - x0);
  for (int y = y0 / 2; y < (y1 + 1) / 2; ++y) {
    uint8_t* row = f.uv() + y * f.uv_stride;
    for (int x = x0 / 2; x < (x1 + 1) / 2; ++x) {
      row[2 * x] = c.u;
      row[2 * x + 1] = c.v;
    }
  }
}

std::array<bool, kCodeCells> CodeBits(int64_t wall_ms) {
  uint8_t bytes[6];
  const uint64_t value = static_cast<uint64_t>(wall_ms) & ((uint64_t{1} << kTimeBits) - 1);
  for (int i = 0; i < 6; ++i) bytes[i] = static_cast<uint8_t>(value >> (40 - 8 * i));
  const uint16_t crc = TestPictureCrc(bytes, 6);
  std::array<bool, kCodeCells> bits{};
  for (int i = 0; i < 8; ++i) bits[i] = (kMarker >> (7 - i)) & 1;
  for (int i = 0; i < kTimeBits; ++i) bits[8 + i] = (value >> (kTimeBits - 1 - i)) & 1;
  for (int i = 0; i < 16; ++i) bits[56 + i] = (crc >> (15 - i)) & 1;
  return bits;
}

void DrawText(VideoFrame& f, const char* text, int x, int y, int dot) {
  for (const char* p = text; *p; ++p, x += 6 * dot) {
    for (const Glyph& g : kGlyphs) {
      if (g.c != *p) continue;
      for (int row = 0; row < 7; ++row) {
        for (int col = 0; col < 5; ++col) {
          if (g.rows[row] & (0x10 >> col)) {
            Fill(f, x + col * dot, y + row * dot, x + (col + 1) * dot, y + (row + 1) * dot, kWhite);
          }
        }
      }
    }
  }
}

}  // namespace

uint16_t TestPictureCrc(const uint8_t* data, int length) {
  uint16_t crc = 0xFFFF;
  for (int i = 0; i < length; ++i) {
    crc ^= static_cast<uint16_t>(data[i] << 8);
    for (int b = 0; b < 8; ++b) {
      crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                           : static_cast<uint16_t>(crc << 1);
    }
  }
  return crc;
}

void DrawTestPicture(VideoFrame& f, int64_t wall_ms) {
  const int w = f.width;
  const int h = f.height;
  const int band_top = CellY(9, h);
  Fill(f, 0, 0, w, band_top, kBlack);

  // Colour bars that scroll with time, and a box that bounces across them.
  const int bar_width = std::max(1, w / 8);
  const int shift = static_cast<int>((wall_ms / 25) % (8 * bar_width));
  for (int x = 0; x < w; x += 2) {
    int index = ((x + shift) / bar_width) % 8;
    Fill(f, x, band_top, x + 2, h, kBars[index]);
  }
  const int box = std::max(2, (h - band_top) / 3) & ~1;
  const int travel = std::max(1, w - box);
  int position = static_cast<int>((wall_ms / 10) % (2 * travel));
  if (position > travel) position = 2 * travel - position;
  const int box_y = band_top + (h - band_top - box) / 2;
  Fill(f, position & ~1, box_y, (position & ~1) + box, box_y + box, kWhite);

  // The code.
  const auto bits = CodeBits(wall_ms);
  for (int i = 0; i < kCodeCells; ++i) {
    const int row = kCodeFirstRow + i / kTestPictureColumns;
    const int col = i % kTestPictureColumns;
    Fill(f, CellX(col, w), CellY(row, h), CellX(col + 1, w), CellY(row + 1, h),
         bits[i] ? kWhite : kBlack);
  }

  // The readable time, local, in rows 5 to 8.
  time_t seconds = static_cast<time_t>(wall_ms / 1000);
  struct tm local {};
  localtime_r(&seconds, &local);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(wall_ms % 1000));
  const int area_top = CellY(5, h);
  const int area_height = CellY(9, h) - area_top;
  const int text_cells = static_cast<int>(std::strlen(text)) * 6;
  const int dot = std::max(1, std::min(area_height / 9, w / (text_cells + 2)));
  DrawText(f, text, (w - text_cells * dot) / 2, area_top + (area_height - 7 * dot) / 2, dot);
}

std::optional<int64_t> ReadTestPictureTime(const uint8_t* luma, int width, int height, int stride) {
  if (!luma || width < kTestPictureColumns * 2 || height < kTestPictureRows * 2) {
    return std::nullopt;
  }
  std::array<int, kCodeCells> mean{};
  for (int i = 0; i < kCodeCells; ++i) {
    const int row = kCodeFirstRow + i / kTestPictureColumns;
    const int col = i % kTestPictureColumns;
    const int x0 = CellX(col, width), x1 = CellX(col + 1, width);
    const int y0 = CellY(row, height), y1 = CellY(row + 1, height);
    // The middle half of the cell: away from the blur at its edges.
    const int mx0 = x0 + (x1 - x0) / 4, mx1 = std::max(mx0 + 1, x1 - (x1 - x0) / 4);
    const int my0 = y0 + (y1 - y0) / 4, my1 = std::max(my0 + 1, y1 - (y1 - y0) / 4);
    long sum = 0;
    for (int y = my0; y < my1; ++y) {
      for (int x = mx0; x < mx1; ++x) sum += luma[static_cast<size_t>(y) * stride + x];
    }
    mean[i] = static_cast<int>(sum / ((mx1 - mx0) * (my1 - my0)));
  }
  int darkest_white = 255, lightest_black = 0;
  for (int i = 0; i < 8; ++i) {
    if ((kMarker >> (7 - i)) & 1) {
      darkest_white = std::min(darkest_white, mean[i]);
    } else {
      lightest_black = std::max(lightest_black, mean[i]);
    }
  }
  if (darkest_white - lightest_black < 40) return std::nullopt;
  const int threshold = (darkest_white + lightest_black) / 2;
  uint64_t value = 0;
  uint16_t crc = 0;
  for (int i = 8; i < 8 + kTimeBits; ++i) value = (value << 1) | (mean[i] > threshold ? 1 : 0);
  for (int i = 56; i < kCodeCells; ++i) {
    crc = static_cast<uint16_t>((crc << 1) | (mean[i] > threshold ? 1 : 0));
  }
  uint8_t bytes[6];
  for (int i = 0; i < 6; ++i) bytes[i] = static_cast<uint8_t>(value >> (40 - 8 * i));
  if (TestPictureCrc(bytes, 6) != crc) return std::nullopt;
  return static_cast<int64_t>(value);
}

}  // namespace platform
