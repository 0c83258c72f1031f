#include "engine/box_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/testing/box_builder.h"

namespace selvo {
namespace {

using namespace selvo::testing;

// A stdio stream over bytes in memory.
class MemoryStream {
 public:
  explicit MemoryStream(Bytes bytes) : bytes_(std::move(bytes)) {
    if (bytes_.empty()) bytes_.push_back(0), empty_ = true;
    stream_ = fmemopen(bytes_.data(), empty_ ? 0 : bytes_.size(), "rb");
  }
  ~MemoryStream() {
    if (stream_) std::fclose(stream_);
  }
  FILE* get() const { return stream_; }

 private:
  Bytes bytes_;
  bool empty_ = false;
  FILE* stream_ = nullptr;
};

TEST(BoxReaderTest, ReadsBoxHeaders) {
  struct Case {
    std::string name;
    Bytes bytes;
    int result;
    uint32_t size;
  };
  const Case cases[] = {
      {"32-bit size", Cat({U32(24), Text("moov")}), 1, 24},
      {"smallest box", Cat({U32(8), Text("free")}), 1, 8},
      {"64-bit size", Cat({U32(1), Text("mdat"), U32(0), U32(40)}), 1, 32},
      {"size 0 (to the end of the file)", Cat({U32(0), Text("mdat")}), 0, 0},
      {"size 7", Cat({U32(7), Text("mdat")}), 0, 0},
      {"size 2", Cat({U32(2), Text("mdat")}), 0, 0},
      {"64-bit size beyond 32 bits", Cat({U32(1), Text("mdat"), U32(1), U32(40)}), 0, 0},
      {"64-bit size below its header", Cat({U32(1), Text("mdat"), U32(0), U32(15)}), 0, 0},
      {"short type", Cat({U32(24), Text("mo")}), 0, 0},
      {"short 64-bit size", Cat({U32(1), Text("mdat"), U32(0)}), 0, 0},
      {"nothing", {}, 0, 0},
  };
  for (const Case& c : cases) {
    MemoryStream stream(c.bytes);
    uint32_t size = 0;
    uint32_t type = 0;
    EXPECT_EQ(ReadMediaTagPair(stream.get(), &size, &type), c.result) << c.name;
    if (c.result == 1) {
      EXPECT_EQ(size, c.size) << c.name;
      EXPECT_EQ(type, c.bytes[4] == 'm' ? (c.bytes[5] == 'o' ? MakeTag("moov") : MakeTag("mdat"))
                                        : MakeTag("free"))
          << c.name;
    }
  }
}

TEST(BoxReaderTest, FindsTopLevelBoxesAfterTheFileType) {
  const Bytes payload = {1, 2, 3, 4, 5};
  struct Case {
    std::string name;
    Bytes file;
    int64_t offset;  // -1: not found
  };
  const Bytes ftyp = Ftyp();
  const int64_t after_ftyp = static_cast<int64_t>(ftyp.size());
  const Case cases[] = {
      {"after a wide box", Cat({ftyp, Box("wide", {}), Box("mdat", payload)}), after_ftyp + 16},
      {"64-bit size", Cat({ftyp, LargeBox("mdat", payload)}), after_ftyp + 16},
      {"after a 64-bit box", Cat({ftyp, LargeBox("free", Zeros(3)), Box("mdat", payload)}),
       after_ftyp + 19 + 8},
      {"missing", Cat({ftyp, Box("free", Zeros(3)), Box("moov", {})}), -1},
      {"behind a box of size 0", Cat({ftyp, U32(0), Text("free"), Box("mdat", payload)}), -1},
      {"the first box is never matched", Box("mdat", payload), -1},
      {"first box size below 4", Cat({U32(3), Box("mdat", payload)}), -1},
      {"truncated", Truncated(Cat({ftyp, Box("free", Zeros(100)), Box("mdat", payload)}), 40), -1},
  };
  for (const Case& c : cases) {
    MemoryStream stream(c.file);
    uint32_t size = 0;
    EXPECT_EQ(SeekToMediaTag(stream.get(), MakeTag("mdat"), &size), c.offset) << c.name;
    if (c.offset >= 0) {
      EXPECT_EQ(size, payload.size()) << c.name;
    }
  }
}

TEST(BoxReaderTest, SearchesTagPathsDepthFirst) {
  const Bytes stbl1 = Box("stbl", Cat({Stts(1, 1024), Stsz({5})}));
  const Bytes stbl2 = Box("stbl", Stsz({7, 8}));
  // Two minf boxes under one mdia, the second with a 64-bit header.
  const Bytes trak_payload =
      Box("mdia", Cat({Handler("soun"), Box("minf", stbl1), LargeBox("minf", stbl2)}));
  const Bytes file = Cat({Ftyp(), Box("moov", Box("trak", trak_payload))});
  MemoryStream stream(file);
  ASSERT_EQ(fseeko(stream.get(), static_cast<off_t>(Ftyp().size() + 8 + 8), SEEK_SET), 0);

  std::vector<uint32_t> offsets;
  ASSERT_TRUE(SearchMediaObjects(stream.get(), static_cast<uint32_t>(trak_payload.size()),
                                 stszHierarchy, 4, &offsets));
  ASSERT_EQ(offsets.size(), 2u);
  for (uint32_t offset : offsets) {
    EXPECT_EQ(std::string(file.begin() + offset + 4, file.begin() + offset + 8), "stsz");
  }
  EXPECT_LT(offsets[0], offsets[1]);

  // A level that is missing in one branch fails the whole search.
  ASSERT_EQ(fseeko(stream.get(), static_cast<off_t>(Ftyp().size() + 8 + 8), SEEK_SET), 0);
  offsets.clear();
  EXPECT_FALSE(SearchMediaObjects(stream.get(), static_cast<uint32_t>(trak_payload.size()),
                                  sttsHierarchy, 4, &offsets));
}

TEST(BoxReaderTest, FindsTracksByHandler) {
  const Bytes video = Track("vide", Stsz({1}));
  const Bytes audio = Track("soun", Stts(1, 1024));
  const Bytes file = Cat({Ftyp(), Box("mdat", Zeros(10)), Box("moov", Cat({video, audio}))});
  MemoryStream stream(file);
  const int64_t video_at = static_cast<int64_t>(Ftyp().size() + 18 + 8);
  EXPECT_EQ(SeekToMediaTrak(stream.get(), MakeTag("vide")), video_at);
  EXPECT_EQ(SeekToMediaTrak(stream.get(), MakeTag("soun")),
            video_at + static_cast<int64_t>(video.size()));
  EXPECT_EQ(SeekToMediaTrak(stream.get(), MakeTag("text")), -1);

  MemoryStream no_moov(Cat({Ftyp(), Box("mdat", Zeros(10))}));
  EXPECT_EQ(SeekToMediaTrak(no_moov.get(), MakeTag("vide")), -1);
}

}  // namespace
}  // namespace selvo
