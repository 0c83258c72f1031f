// The task files: the upload list of each user and the snapshot of the latest accepted
// piece, both one text line per task in the data directory.
//
// Upload list line (16 fields separated by single spaces, ended by a newline):
//   id start end url video video_position video_time video_cc
//   audio audio_position audio_time audio_cc pat_cc pmt_cc segment piece
// Texts are escaped (a space as "%20", a percent sign as "%%"; an empty text as "-"),
// except the URL, which is written as it is ("-" when empty). The snapshot line holds
// fields 4 to 16. The list before data version "1.2" had fields 2 to 16.
//
// Files are replaced whole: written to a temporary file beside them, flushed to disk and
// renamed over the old one, so that a crash or a full disk leaves the old or the new
// version, never a part of one.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "engine/streaming_pass.h"

namespace selvo {

inline constexpr char kTasksDataVersion[] = "1.2";
inline constexpr char kSnapshotFileName[] = "tasksnapshot.txt";

std::string UploadListPath(const std::string& data_directory, const std::string& user_id);
std::string PreviousUploadListPath(const std::string& data_directory, const std::string& user_id);
std::string SnapshotPath(const std::string& data_directory);

// "%20" for a space, "%%" for a percent sign; "-" for an empty text.
std::string EscapeField(const std::string& text);
// The reverse: "%20" gives a space and "%%" a percent sign; a percent sign before anything
// else stays as it is.
std::string Replace20WithSpace(const std::string& escaped);
// Reads a 19-character "YYYY-MM-DD HH:MM:SS" by position into `tm` (cleared first).
void ConvertAscTimeToTm(const char* text, struct tm* tm);
// `when` in local time as "YYYY-MM-DD HH:MM:SS".
std::string LocalTimeText(time_t when);

// What a line says about a task's upload.
struct TaskData {
  std::string url;
  std::string video_path;
  std::string audio_path;
  StreamProgress progress;
};

// Appends fields 1 to 3 ("%s %s %s ").
void AppendTaskHead(std::string* out, const std::string& id, const std::string& start_time,
                    const std::string& end_time);
// Appends fields 4 to 16 and the newline.
void AppendTaskData(std::string* out, const TaskData& data);

// A line of the current upload list. Fields that are "-" read as empty, except the end
// time, for which `end_time_missing` is set instead (the recording was not finished when
// the line was written). False when the line does not hold all 16 fields.
struct TaskLine {
  std::string id;
  std::string start_time;
  std::string end_time;
  bool end_time_missing = false;
  TaskData data;
};
bool ParseTaskLine(const std::string& line, TaskLine* out);
// A snapshot line (fields 4 to 16).
bool ParseSnapshotLine(const std::string& line, TaskData* out);
// A line of the list before version "1.2" (fields 2 to 16), rewritten in the current
// format with an empty id. False when it does not hold all 15 fields.
bool UpgradePreviousLine(const std::string& line, std::string* current_line);

// The lines of a text file; false when it cannot be read.
bool ReadLines(const std::string& path, std::vector<std::string>* lines);
// Replaces `path` with `content` through a flushed temporary file in the same directory.
// False (the old file untouched) when any step fails.
bool WriteFileAtomically(const std::string& path, const std::string& content);

}  // namespace selvo
