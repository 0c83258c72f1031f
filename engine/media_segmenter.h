// MediaSegmenter: one task's knowledge of its media and the writers that turn recorded
// samples into transport-stream packets.
//
// The media parameters come from the sample files (complete recordings made with the
// settings of the real ones): SPS and PPS, slices per frame, and the audio format. With
// them the segmenter turns length-prefixed H.264 NAL units into Annex B access units
// (MakeVideoPESAvc) and raw AAC frames into ADTS runs (MakeAudioPES), each written as one
// PES packet, and writes the tables that open every segment (MakeTSHeader).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/buffer_writer.h"
#include "engine/media_reader.h"
#include "engine/ts_packetizer.h"

namespace selvo {

// Per-task transport-stream state, saved with the task.
struct ContinuityCounter {
  uint32_t video_counter = 0;  // only the low 4 bits are written
  uint32_t audio_counter = 0;
  uint64_t video_time = 0;  // microseconds: PTS of the next video access unit
  uint64_t audio_time = 0;  // microseconds: PTS of the next AAC frame
};

// End-of-media flag of one stream: 1 once the media data ended.
struct PacketDataState {
  uint32_t end = 0;
};

// The access unit being assembled from NAL units. A NAL unit that is whole in the read
// buffer is only referenced, and copied once, into the TS packets, when the unit is written;
// one that arrives in parts is copied into `buffer` as it comes. Before the read buffer can
// change (the packet maker asks for more data), referenced bytes are copied into `buffer`
// too (Keep), so a unit of any size passes through a fixed read buffer.
class AccessUnitState {
 public:
  explicit AccessUnitState(size_t capacity = 32768) : buffer(capacity) { parts_.reserve(64); }

  // Empties the unit.
  void Clear();
  // Appends bytes by copying them into `buffer`.
  void AppendCopy(const uint8_t* data, size_t size);
  // Appends bytes that stay where they are until the unit is written or Keep is called.
  void AppendReference(const uint8_t* data, size_t size);
  // Copies every referenced part into `buffer`.
  void Keep();
  // The unit as a list of spans, valid until the next change.
  const std::vector<ByteSpan>& Spans();
  size_t size() const { return size_; }

  BufferWriter buffer;         // the copied parts
  uint16_t nal_history = 0;    // low byte: type of the last NAL unit, high byte: the one before
  uint32_t nal_remaining = 0;  // bytes of the current NAL unit still to copy
  uint8_t nal_type = 0;        // type of the current NAL unit
  size_t nal_start = 0;        // where the current NAL unit's bytes start in `buffer`
  uint64_t pending_bytes = 0;  // file bytes behind the unit being assembled
  // File bytes of the access units written since the caller last took them. Bytes of a
  // unit still being assembled are not counted, so a position advanced by these always
  // points at the start of an access unit.
  uint64_t written_bytes = 0;

 private:
  struct Part {
    const uint8_t* data;  // referenced bytes, or null for bytes in `buffer`
    size_t offset;        // in `buffer`, when data is null
    size_t size;
  };
  std::vector<Part> parts_;
  std::vector<ByteSpan> spans_;
  size_t size_ = 0;
};

// The ADTS frames collected for one audio PES. The frames stay in the read buffer (the
// packet's read position stays at the run's first byte) until the run is written, so each
// byte is copied once, into the TS packets.
struct AudioRunState {
  AudioRunState();
  struct Frame {
    size_t offset;  // from the packet's read position; kSilentFrame for a substituted frame
    size_t size;
  };
  static constexpr size_t kSilentFrame = SIZE_MAX;

  bool open = false;
  uint64_t start_time = 0;  // PTS of the run
  size_t bytes = 0;         // packet bytes the run covers (frames and skipped damage)
  size_t adts_bytes = 0;    // ADTS bytes collected (headers and frames)
  std::vector<Frame> frames;
  std::vector<uint8_t> headers;  // 7 bytes per frame
  std::vector<ByteSpan> spans;   // scratch for writing the run
  // Damage being skipped: set after a frame failed to walk until frames walk cleanly again.
  bool resyncing = false;
  uint64_t damaged_bytes = 0;
  // Statistics of the frames walked, to size the silence that replaces damage.
  uint64_t walked_bytes = 0;
  uint64_t walked_frames = 0;
  // File bytes of the runs written since the caller last took them.
  uint64_t written_bytes = 0;
};

class MediaSegmenter {
 public:
  using VideoPESWriter = void (MediaSegmenter::*)(BufferWriter&, const ByteSpan*, size_t,
                                                  ContinuityCounter&);
  using AudioPESWriter = void (MediaSegmenter::*)(BufferWriter&, const ByteSpan*, size_t, uint32_t&,
                                                  uint64_t);

  MediaSegmenter();

  // Reads the audio parameters from an AAC audio sample file. Returns 1 on success, 0 if
  // the file is missing, damaged, not AAC (an AMR recording) or at an unusable rate.
  int InitMediaParameters(const char* audio_sample_path);
  // Reads the audio parameters (setting `is_amr` when they could not be read as AAC), then
  // the H.264 parameters of the video sample file. Returns 1 if the video parameters were
  // read; on failure the SPS and PPS stay as they were.
  int InitMediaParameters(uint32_t frame_rate, const char* video_sample_path,
                          const char* audio_sample_path, bool* is_amr);

  // Appends the SDT, PAT and PMT packets that open a segment and arms the PCR: the next
  // video PES (or, without video, audio PES) carries one.
  void MakeTSHeader(BufferWriter& writer, uint32_t pat_counter, uint32_t pmt_counter,
                    bool has_video, bool has_audio);

  // One video PES with PTS = video time on the video PID (the 1stNal form adds the PCR and
  // then switches the selector back).
  void WriteVideoPES(BufferWriter& writer, const ByteSpan* spans, size_t span_count,
                     ContinuityCounter& counter);
  void WriteVideoPES1stNal(BufferWriter& writer, const ByteSpan* spans, size_t span_count,
                           ContinuityCounter& counter);
  // One audio PES with PTS = `time_us` on the audio PID.
  void WriteAudioPES(BufferWriter& writer, const ByteSpan* spans, size_t span_count,
                     uint32_t& audio_counter, uint64_t time_us);
  void Write1stAudioPES(BufferWriter& writer, const ByteSpan* spans, size_t span_count,
                        uint32_t& audio_counter, uint64_t time_us);

  // Consumes NAL units from `packet`, builds access units in `unit` and writes each
  // complete one as a PES into `ts`; keeps going while video time stays less than
  // 100 ms ahead of audio time. Returns 1 (paused with data left), 2 (the next NAL unit
  // is incomplete: the unit stays open until more data arrives), 3 (everything consumed,
  // or the media ended: 'moov' met) or -1 (an access unit grew absurdly large: the data is
  // not H.264).
  int MakeVideoPESAvc(BufferWriter& ts, MediaPacket& packet, ContinuityCounter& counter,
                      PacketDataState& end, AccessUnitState& unit);

  // Delimits AAC frames in `packet`, wraps them into ADTS frames and writes them as one
  // PES (PTS = audio time at the start) once audio is 100 ms ahead of video or 32 KiB are
  // collected. A frame that does not walk is replaced by silence and the stream is
  // resynchronised. Returns 1 (paused), 2 (need more data: the run stays open and is
  // continued by the next call) or 3 (everything consumed, or the media ended).
  int MakeAudioPES(BufferWriter& ts, MediaPacket& packet, ContinuityCounter& counter,
                   PacketDataState& end, AudioRunState& run);
  // Writes an open audio run as it stands (at the end of the media data).
  void FlushAudioRun(BufferWriter& ts, MediaPacket& packet, ContinuityCounter& counter,
                     AudioRunState& run);

  // Media parameters.
  const std::vector<uint8_t>& sps() const { return sps_; }
  const std::vector<uint8_t>& pps() const { return pps_; }
  uint16_t audio_channels() const { return audio_channels_; }
  uint16_t audio_sampling_index() const { return audio_sampling_index_; }
  uint32_t audio_bytes_per_frame() const { return audio_bytes_per_frame_; }
  uint32_t audio_frame_duration() const { return audio_frame_duration_; }
  uint32_t video_frame_rate() const { return video_frame_rate_; }
  uint32_t video_frame_duration() const { return video_frame_duration_; }
  uint32_t nal_per_frame() const { return nal_per_frame_; }
  // The access unit being built starts afresh (a pass starts at an access-unit boundary).
  void ResetNalCounter() { nal_counter_ = 1; }

  VideoPESWriter video_pes_writer() const { return video_pes_writer_; }
  AudioPESWriter audio_pes_writer() const { return audio_pes_writer_; }

 private:
  int ReadAudioParameters(const char* path);
  int ReadH264SPSPPS(FILE* stream, int64_t trak, std::vector<uint8_t>* sps,
                     std::vector<uint8_t>* pps);
  int ReadVclNalNumberPerFrame(FILE* stream, int64_t trak, uint32_t* count);
  void FinishNal(BufferWriter& ts, ContinuityCounter& counter, AccessUnitState& unit,
                 const uint8_t* nal, size_t size);
  void AppendFrame(AudioRunState& run, size_t offset, size_t size, uint64_t& audio_time);
  size_t FindResyncPoint(const uint8_t* data, size_t size, size_t limit) const;

  std::vector<uint8_t> sps_;  // 00 00 00 01 + SPS
  std::vector<uint8_t> pps_;  // 00 00 00 01 + PPS
  uint16_t audio_channels_ = 0;
  // Index of the sample rate in the AAC rate table: written into every ADTS header and
  // selecting the frame walker's band layout. Kept per task, so that tasks recorded at
  // different rates cannot disturb each other.
  uint16_t audio_sampling_index_ = 0;
  uint32_t audio_bytes_per_frame_ = 0;
  uint32_t audio_frame_duration_ = 0;
  uint32_t video_frame_rate_ = 0;
  uint32_t video_frame_duration_ = 0;
  uint32_t nal_counter_ = 1;
  uint32_t nal_per_frame_ = 1;

  VideoPESWriter video_pes_writer_;
  AudioPESWriter audio_pes_writer_;
};

// Library front checks of sample files, each on a throw-away segmenter.
// 1 if the video sample yields H.264 parameters and the audio sample is AAC.
int CheckMediaSampleFiles(uint32_t frame_rate, const char* video_sample_path,
                          const char* audio_sample_path);
// 1 if the audio sample yields AAC parameters.
int CheckAudioSampleFile(const char* audio_sample_path);

}  // namespace selvo
