// MediaSegmenter: the media parameters read from the sample files.
#include <cstdio>
#include <cstring>
#include <memory>

#include "engine/aac_frame_parser.h"
#include "engine/aac_tables.h"
#include "engine/box_reader.h"
#include "engine/media_segmenter.h"

namespace selvo {

namespace {

constexpr uint32_t kDefaultAudioFrameDuration = 46440;

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool ReadU8(FILE* stream, uint8_t* value) { return std::fread(value, 1, 1, stream) == 1; }

bool ReadU16(FILE* stream, uint16_t* value) {
  uint8_t bytes[2];
  if (std::fread(bytes, 1, 2, stream) != 2) return false;
  *value = static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
  return true;
}

bool ReadU32(FILE* stream, uint32_t* value) {
  uint8_t bytes[4];
  if (std::fread(bytes, 1, 4, stream) != 4) return false;
  *value = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
           bytes[3];
  return true;
}

bool SeekTo(FILE* stream, int64_t offset) { return fseeko(stream, offset, SEEK_SET) == 0; }
bool Skip(FILE* stream, int64_t count) { return fseeko(stream, count, SEEK_CUR) == 0; }

// Finds the boxes along `path` inside the trak box at `trak`.
bool SearchTrak(FILE* stream, int64_t trak, const MediaObjectTag* path,
                std::vector<uint32_t>* offsets) {
  uint32_t size;
  uint32_t type;
  return SeekTo(stream, trak) && ReadMediaTagPair(stream, &size, &type) &&
         SearchMediaObjects(stream, size - 8, path, 4, offsets);
}

// Reads the single sample entry of the stsd box at `stsd`: true with its type when the
// table has exactly one entry; the stream is then at the entry's contents.
bool ReadOnlySampleEntry(FILE* stream, uint32_t stsd, uint32_t* type) {
  uint32_t count;
  uint32_t size;
  return SeekTo(stream, int64_t{stsd} + 12) && ReadU32(stream, &count) && count == 1 &&
         ReadMediaTagPair(stream, &size, type);
}

// Reads one parameter-set list of an avcC box (count byte, then 16-bit length and bytes per
// set) and keeps the last set. False on a short read or an empty list.
bool ReadParameterSets(FILE* stream, std::vector<uint8_t>* last) {
  uint8_t count;
  if (!ReadU8(stream, &count)) return false;
  count &= 0x1F;
  if (count == 0) return false;
  for (int i = 0; i < count; ++i) {
    uint16_t length;
    if (!ReadU16(stream, &length)) return false;
    last->resize(length);
    if (length > 0 && std::fread(last->data(), 1, length, stream) != length) return false;
  }
  return true;
}

std::vector<uint8_t> WithStartCode(const std::vector<uint8_t>& nal) {
  std::vector<uint8_t> out(4 + nal.size());
  out[3] = 1;
  if (!nal.empty()) std::memcpy(out.data() + 4, nal.data(), nal.size());
  return out;
}

}  // namespace

int MediaSegmenter::ReadAudioParameters(const char* path) {
  File file(path ? std::fopen(path, "rb") : nullptr);
  if (!file) return 0;
  FILE* stream = file.get();
  const int64_t trak = SeekToMediaTrak(stream, MakeTag("soun"));
  if (trak <= 0) return 0;

  std::vector<uint32_t> stsds;
  if (!SearchTrak(stream, trak, stscHierarchy, &stsds)) return 0;
  bool found = false;
  uint16_t channels = 0;
  uint16_t sample_size = 0;
  uint16_t rate = 0;
  for (uint32_t stsd : stsds) {
    uint32_t type;
    if (!ReadOnlySampleEntry(stream, stsd, &type) || type != MakeTag("mp4a")) continue;
    // Sample entry fields and the sound description's version, revision and vendor.
    if (!Skip(stream, 16) || !ReadU16(stream, &channels) || !ReadU16(stream, &sample_size) ||
        !Skip(stream, 4) || !ReadU16(stream, &rate)) {
      return 0;
    }
    found = true;
    break;
  }
  if (!found) return 0;  // an AMR recording, or no usable entry

  std::vector<uint32_t> stts_boxes;
  if (!SearchTrak(stream, trak, sttsHierarchy, &stts_boxes) || stts_boxes.empty()) return 0;
  uint32_t entries;
  uint32_t sample_count;
  uint32_t delta;
  if (!SeekTo(stream, int64_t{stts_boxes.back()} + 12) || !ReadU32(stream, &entries) ||
      entries == 0 || !ReadU32(stream, &sample_count) || !ReadU32(stream, &delta)) {
    return 0;
  }

  InitAacTables();
  // Only the rates of the AAC rate table can be signalled in ADTS and have a band layout.
  int index = -1;
  for (int i = 0; i < kAacSamplingIndices; ++i) {
    if (mpeg4audio_sample_rates[i] == rate) index = i;
  }
  if (index < 0) return 0;

  const uint64_t bytes_per_frame = uint64_t{delta} * sample_size / 8;
  audio_bytes_per_frame_ =
      bytes_per_frame > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(bytes_per_frame);
  audio_channels_ = channels;
  audio_sampling_index_ = static_cast<uint16_t>(index);
  const double duration = static_cast<double>(delta) / rate * 1000000.0;
  audio_frame_duration_ = duration >= 1.0 && duration < 4294967295.0
                              ? static_cast<uint32_t>(duration)
                              : kDefaultAudioFrameDuration;
  return 1;
}

int MediaSegmenter::ReadH264SPSPPS(FILE* stream, int64_t trak, std::vector<uint8_t>* sps,
                                   std::vector<uint8_t>* pps) {
  std::vector<uint32_t> stsds;
  if (!SearchTrak(stream, trak, stscHierarchy, &stsds)) return 0;
  for (uint32_t stsd : stsds) {
    uint32_t type;
    if (!ReadOnlySampleEntry(stream, stsd, &type) || type != MakeTag("avc1")) continue;
    uint32_t size;
    if (!Skip(stream, 78) || !ReadMediaTagPair(stream, &size, &type) || type != MakeTag("avcC")) {
      continue;
    }
    // Version, profile, compatibility, level; then the NAL length size, which must be the
    // 4 bytes the packet maker reads.
    uint8_t length_size;
    if (!Skip(stream, 4) || !ReadU8(stream, &length_size)) return 0;
    if ((length_size & 3) != 3) return 0;
    if (!ReadParameterSets(stream, sps) || !ReadParameterSets(stream, pps)) return 0;
    return 1;
  }
  return 0;
}

int MediaSegmenter::ReadVclNalNumberPerFrame(FILE* stream, int64_t trak, uint32_t* count) {
  std::vector<uint32_t> stszs;
  if (!SearchTrak(stream, trak, stszHierarchy, &stszs)) return 0;
  bool listed = false;
  for (uint32_t stsz : stszs) {
    uint32_t sample_size;
    uint32_t sample_count;
    if (!SeekTo(stream, int64_t{stsz} + 12) || !ReadU32(stream, &sample_size)) return 0;
    if (sample_size != 0) continue;  // one size for all samples: frames cannot be told apart
    if (!ReadU32(stream, &sample_count)) return 0;
    if (sample_count != 0) {
      listed = true;
      break;
    }
  }
  uint32_t first_size;
  if (!listed || !ReadU32(stream, &first_size)) return 0;

  uint32_t mdat_size;
  if (SeekToMediaTag(stream, MakeTag("mdat"), &mdat_size) < 0) return 0;
  // Walk the first sample's NAL units; only slices make up the frame count.
  uint64_t sample_left = first_size;
  uint64_t mdat_left = mdat_size;
  uint32_t slices = 0;
  for (;;) {
    uint32_t length;
    if (mdat_left < 4 || !ReadU32(stream, &length)) return 0;
    mdat_left -= 4;
    if (length > mdat_left) return 0;
    if (length > 0) {
      uint8_t header;
      if (!ReadU8(stream, &header)) return 0;
      const int nal_type = header & 0x1F;
      if (nal_type >= 1 && nal_type <= 5) ++slices;
      if (!Skip(stream, int64_t{length} - 1)) return 0;
    }
    mdat_left -= length;
    const uint64_t used = uint64_t{length} + 4;
    if (sample_left == used) break;
    if (sample_left < used) return 0;
    sample_left -= used;
  }
  if (slices == 0) return 0;
  *count = slices;
  return 1;
}

int MediaSegmenter::InitMediaParameters(const char* audio_sample_path) {
  return ReadAudioParameters(audio_sample_path);
}

int MediaSegmenter::InitMediaParameters(uint32_t frame_rate, const char* video_sample_path,
                                        const char* audio_sample_path, bool* is_amr) {
  const int audio = ReadAudioParameters(audio_sample_path);
  if (is_amr) *is_amr = audio != 1;
  nal_counter_ = 1;
  nal_per_frame_ = 1;
  if (frame_rate == 0) return 0;

  File file(video_sample_path ? std::fopen(video_sample_path, "rb") : nullptr);
  if (!file) return 0;
  FILE* stream = file.get();
  const int64_t trak = SeekToMediaTrak(stream, MakeTag("vide"));
  if (trak <= 0) return 0;
  std::vector<uint8_t> sps;
  std::vector<uint8_t> pps;
  uint32_t count = 0;
  if (!ReadH264SPSPPS(stream, trak, &sps, &pps) ||
      !ReadVclNalNumberPerFrame(stream, trak, &count)) {
    return 0;
  }
  video_frame_rate_ = frame_rate;
  video_frame_duration_ = 1000000 / frame_rate;
  sps_ = WithStartCode(sps);
  pps_ = WithStartCode(pps);
  nal_per_frame_ = count;
  return 1;
}

int CheckMediaSampleFiles(uint32_t frame_rate, const char* video_sample_path,
                          const char* audio_sample_path) {
  MediaSegmenter segmenter;
  bool is_amr = true;
  return segmenter.InitMediaParameters(frame_rate, video_sample_path, audio_sample_path, &is_amr) ==
                     1 &&
                 !is_amr
             ? 1
             : 0;
}

int CheckAudioSampleFile(const char* audio_sample_path) {
  MediaSegmenter segmenter;
  return segmenter.InitMediaParameters(audio_sample_path);
}

}  // namespace selvo
