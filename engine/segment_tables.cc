// MediaSegmenter: the tables that open a segment and the PES writer selectors.
#include <cstring>

#include "engine/media_segmenter.h"

namespace selvo {

namespace {

// The SDT's texts: the provider (6 bytes) and the service (9 bytes).
constexpr char kProviderName[] = "SelvoL";
constexpr char kServiceName[] = "SelvoLive";
static_assert(sizeof(kProviderName) == 7 && sizeof(kServiceName) == 10);

constexpr uint8_t kISO639LanguageDescriptor[] = {0x0A, 0x04, 0x75, 0x6E, 0x64, 0x00};

constexpr uint16_t kSdtPid = 0x0011;
constexpr uint16_t kPatPid = 0x0000;

// Starts a TS packet carrying a section: header with payload_unit_start, pointer_field 0.
void SectionPacketStart(BufferWriter& writer, uint16_t pid, uint32_t counter) {
  const uint8_t header[5] = {0x47, static_cast<uint8_t>(0x40 | ((pid >> 8) & 0x1F)),
                             static_cast<uint8_t>(pid),
                             static_cast<uint8_t>(0x10 | (counter & 0x0F)), 0x00};
  writer.Append(header, sizeof(header));
}

void SectionWithCrc(BufferWriter& writer, const uint8_t* section, size_t size) {
  const size_t at = writer.size();
  writer.Append(section, size);
  WriteCRCWithStuffing(writer, writer.data() + at, size);
}

}  // namespace

MediaSegmenter::MediaSegmenter()
    : video_pes_writer_(&MediaSegmenter::WriteVideoPES),
      audio_pes_writer_(&MediaSegmenter::WriteAudioPES) {}

void MediaSegmenter::MakeTSHeader(BufferWriter& writer, uint32_t pat_counter, uint32_t pmt_counter,
                                  bool has_video, bool has_audio) {
  writer.Reserve(3 * kTsPacketSize);

  // SDT: one service, running, with a service descriptor naming provider and service.
  SectionPacketStart(writer, kSdtPid, 0);
  uint8_t sdt[36] = {0x42, 0xF0, 0x25, 0x00, 0x01, 0xC1, 0x00, 0x00, 0x00, 0x01,
                     0xFF, 0x00, 0x01, 0xFC, 0x80, 0x14, 0x48, 0x12, 0x01, 0x06};
  std::memcpy(sdt + 20, kProviderName, 6);
  sdt[26] = 0x09;
  std::memcpy(sdt + 27, kServiceName, 9);
  SectionWithCrc(writer, sdt, sizeof(sdt));

  // PAT: program 1 on the PMT PID.
  SectionPacketStart(writer, kPatPid, pat_counter);
  const uint8_t pat[] = {0x00,
                         0xB0,
                         0x0D,
                         0x00,
                         0x01,
                         0xC1,
                         0x00,
                         0x00,
                         0x00,
                         0x01,
                         static_cast<uint8_t>(0xE0 | (kPmtPid >> 8)),
                         static_cast<uint8_t>(kPmtPid)};
  SectionWithCrc(writer, pat, sizeof(pat));

  // PMT: H.264 and ADTS AAC as present; the PCR rides on video when there is video.
  SectionPacketStart(writer, kPmtPid, pmt_counter);
  uint8_t pmt[40];
  size_t n = 0;
  const uint8_t section_length = has_video && has_audio ? 0x1D : has_video ? 0x12 : 0x18;
  const uint16_t pcr_pid = has_video ? kVideoPid : kAudioPid;
  const uint8_t head[] = {0x02,
                          0xB0,
                          section_length,
                          0x00,
                          0x01,
                          0xC1,
                          0x00,
                          0x00,
                          static_cast<uint8_t>(0xE0 | (pcr_pid >> 8)),
                          static_cast<uint8_t>(pcr_pid),
                          0xF0,
                          0x00};
  std::memcpy(pmt, head, sizeof(head));
  n = sizeof(head);
  if (has_video) {
    const uint8_t video[] = {0x1B, 0xE1, 0x00, 0xF0, 0x00};
    std::memcpy(pmt + n, video, sizeof(video));
    n += sizeof(video);
  }
  if (has_audio) {
    const uint8_t audio[] = {0x0F, 0xE1, 0x01, 0xF0, sizeof(kISO639LanguageDescriptor)};
    std::memcpy(pmt + n, audio, sizeof(audio));
    n += sizeof(audio);
    std::memcpy(pmt + n, kISO639LanguageDescriptor, sizeof(kISO639LanguageDescriptor));
    n += sizeof(kISO639LanguageDescriptor);
  }
  SectionWithCrc(writer, pmt, n);

  if (has_video) {
    video_pes_writer_ = &MediaSegmenter::WriteVideoPES1stNal;
  } else if (has_audio) {
    audio_pes_writer_ = &MediaSegmenter::Write1stAudioPES;
  }
}

void MediaSegmenter::WriteVideoPES(BufferWriter& writer, const ByteSpan* spans, size_t span_count,
                                   ContinuityCounter& counter) {
  WritePESPacketImpl(writer, kVideoPid, kVideoStreamId, spans, span_count, counter.video_counter,
                     counter.video_time);
}

void MediaSegmenter::WriteVideoPES1stNal(BufferWriter& writer, const ByteSpan* spans,
                                         size_t span_count, ContinuityCounter& counter) {
  Write1stPESPacketImpl(writer, kVideoPid, kVideoStreamId, spans, span_count, counter.video_counter,
                        counter.video_time);
  video_pes_writer_ = &MediaSegmenter::WriteVideoPES;
}

void MediaSegmenter::WriteAudioPES(BufferWriter& writer, const ByteSpan* spans, size_t span_count,
                                   uint32_t& audio_counter, uint64_t time_us) {
  WritePESPacketImpl(writer, kAudioPid, kAudioStreamId, spans, span_count, audio_counter, time_us);
}

void MediaSegmenter::Write1stAudioPES(BufferWriter& writer, const ByteSpan* spans,
                                      size_t span_count, uint32_t& audio_counter,
                                      uint64_t time_us) {
  Write1stPESPacketImpl(writer, kAudioPid, kAudioStreamId, spans, span_count, audio_counter,
                        time_us);
  audio_pes_writer_ = &MediaSegmenter::WriteAudioPES;
}

}  // namespace selvo
