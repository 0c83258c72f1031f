#include "engine/task_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace selvo {

namespace {

constexpr char kEmptyField[] = "-";

// The whitespace-separated words of a line, as the "%s" conversions of the original
// readers see them.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
    const size_t start = at;
    while (at < line.size() && !std::isspace(static_cast<unsigned char>(line[at]))) ++at;
    if (at > start) words.push_back(line.substr(start, at - start));
  }
  return words;
}

// A whole decimal number (optionally signed).
bool Number(const std::string& word, long long* value) {
  if (word.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(word.c_str(), &end, 10);
  if (errno != 0 || end != word.c_str() + word.size()) return false;
  *value = parsed;
  return true;
}

std::string Unescaped(const std::string& word) {
  return word == kEmptyField ? std::string() : Replace20WithSpace(word);
}

// Fields 4 to 16 from `words` starting at `first`.
bool ParseData(const std::vector<std::string>& words, size_t first, TaskData* out) {
  if (words.size() < first + 13) return false;
  long long n[10];
  const size_t numbers[10] = {2, 3, 4, 6, 7, 8, 9, 10, 11, 12};
  for (int i = 0; i < 10; ++i) {
    if (!Number(words[first + numbers[i]], &n[i])) return false;
  }
  out->url = words[first] == kEmptyField ? std::string() : words[first];
  out->video_path = Replace20WithSpace(words[first + 1]);
  out->audio_path = Unescaped(words[first + 5]);
  StreamProgress& p = out->progress;
  p.video_position = n[0];
  p.counter.video_time = static_cast<uint64_t>(n[1]);
  p.counter.video_counter = static_cast<uint32_t>(n[2]);
  p.audio_position = n[3];
  p.counter.audio_time = static_cast<uint64_t>(n[4]);
  p.counter.audio_counter = static_cast<uint32_t>(n[5]);
  p.pat_counter = static_cast<uint32_t>(n[6]);
  p.pmt_counter = static_cast<uint32_t>(n[7]);
  p.segment = static_cast<uint32_t>(n[8]);
  p.piece = static_cast<uint32_t>(n[9]);
  return true;
}

bool SyncDirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "."
                          : slash == 0               ? "/"
                                                     : path.substr(0, slash);
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

std::string UploadListPath(const std::string& data_directory, const std::string& user_id) {
  return data_directory + "/uploadlist_" + user_id + "_" + kTasksDataVersion + ".txt";
}

std::string PreviousUploadListPath(const std::string& data_directory, const std::string& user_id) {
  return data_directory + "/uploadlist_" + user_id + ".txt";
}

std::string SnapshotPath(const std::string& data_directory) {
  return data_directory + "/" + kSnapshotFileName;
}

std::string EscapeField(const std::string& text) {
  if (text.empty()) return kEmptyField;
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    if (c == ' ') {
      out += "%20";
    } else if (c == '%') {
      out += "%%";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Replace20WithSpace(const std::string& escaped) {
  std::string out;
  out.reserve(escaped.size());
  for (size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] == '%' && escaped.compare(i + 1, 2, "20") == 0) {
      out += ' ';
      i += 2;
    } else if (escaped[i] == '%' && i + 1 < escaped.size() && escaped[i + 1] == '%') {
      out += '%';
      ++i;
    } else {
      out += escaped[i];
    }
  }
  return out;
}

void ConvertAscTimeToTm(const char* text, struct tm* tm) {
  std::memset(tm, 0, sizeof(*tm));
  auto number = [text](int from, int count) {
    int value = 0;
    for (int i = from; i < from + count; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  tm->tm_year = number(0, 4) - 1900;
  tm->tm_mon = number(5, 2) - 1;
  tm->tm_mday = number(8, 2);
  tm->tm_hour = number(11, 2);
  tm->tm_min = number(14, 2);
  tm->tm_sec = number(17, 2);
  tm->tm_isdst = 0;
}

std::string LocalTimeText(time_t when) {
  struct tm local {};
  localtime_r(&when, &local);
  char text[64];
  std::snprintf(text, sizeof(text), "%d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

void AppendTaskHead(std::string* out, const std::string& id, const std::string& start_time,
                    const std::string& end_time) {
  *out += EscapeField(id) + " " + EscapeField(start_time) + " " + EscapeField(end_time) + " ";
}

void AppendTaskData(std::string* out, const TaskData& data) {
  const StreamProgress& p = data.progress;
  char numbers[3][96];
  std::snprintf(numbers[0], sizeof(numbers[0]), "%" PRId64 " %lld %d", p.video_position,
                static_cast<long long>(p.counter.video_time),
                static_cast<int>(p.counter.video_counter));
  std::snprintf(numbers[1], sizeof(numbers[1]), "%" PRId64 " %lld %d", p.audio_position,
                static_cast<long long>(p.counter.audio_time),
                static_cast<int>(p.counter.audio_counter));
  std::snprintf(numbers[2], sizeof(numbers[2]), "%d %d %d %d", static_cast<int>(p.pat_counter),
                static_cast<int>(p.pmt_counter), static_cast<int>(p.segment),
                static_cast<int>(p.piece));
  *out += (data.url.empty() ? std::string(kEmptyField) : data.url) + " " +
          EscapeField(data.video_path) + " " + numbers[0] + " " + EscapeField(data.audio_path) +
          " " + numbers[1] + " " + numbers[2] + "\n";
}

bool ParseTaskLine(const std::string& line, TaskLine* out) {
  const std::vector<std::string> words = Words(line);
  if (words.size() < 16) return false;
  TaskLine parsed;
  if (!ParseData(words, 3, &parsed.data)) return false;
  parsed.id = Unescaped(words[0]);
  parsed.start_time = Unescaped(words[1]);
  parsed.end_time_missing = words[2] == kEmptyField;
  if (!parsed.end_time_missing) parsed.end_time = Replace20WithSpace(words[2]);
  *out = std::move(parsed);
  return true;
}

bool ParseSnapshotLine(const std::string& line, TaskData* out) {
  return ParseData(Words(line), 0, out);
}

bool UpgradePreviousLine(const std::string& line, std::string* current_line) {
  const std::vector<std::string> words = Words(line);
  TaskData data;
  if (words.size() < 15 || !ParseData(words, 2, &data)) return false;
  // The texts stay byte for byte as they were written; the numbers are written anew in
  // the same format.
  const StreamProgress& p = data.progress;
  char video_numbers[96];
  std::snprintf(video_numbers, sizeof(video_numbers), "%" PRId64 " %lld %d", p.video_position,
                static_cast<long long>(p.counter.video_time),
                static_cast<int>(p.counter.video_counter));
  char audio_numbers[160];
  std::snprintf(audio_numbers, sizeof(audio_numbers), "%" PRId64 " %lld %d %d %d %d %d",
                p.audio_position, static_cast<long long>(p.counter.audio_time),
                static_cast<int>(p.counter.audio_counter), static_cast<int>(p.pat_counter),
                static_cast<int>(p.pmt_counter), static_cast<int>(p.segment),
                static_cast<int>(p.piece));
  *current_line = std::string(kEmptyField) + " " + words[0] + " " + words[1] + " " + words[2] +
                  " " + words[3] + " " + video_numbers + " " + words[7] + " " + audio_numbers +
                  "\n";
  return true;
}

bool ReadLines(const std::string& path, std::vector<std::string>* lines) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) lines->push_back(line);
  return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& content) {
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, 0644) == 0;
  for (size_t written = 0; ok && written < content.size();) {
    const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) written += static_cast<size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  // Make the rename itself durable.
  SyncDirectoryOf(path);
  return true;
}

}  // namespace selvo
