// The worker threads: one per running task, carrying its upload from the recording files
// to the upload stream.
//
// A worker runs streaming passes (engine/streaming_pass.h) over the task's recordings
// into a fresh upload stream each. After every accepted piece it moves the task's
// progress on, writes the snapshot file and reports the seconds and bytes uploaded (audio-
// only tasks report neither). When the recorder signals that the files are final, it
// waits 2 s and runs a second pass over the finished files from the last accepted piece.
// Every run ends with exactly one kTaskFinished report: kResultCompleted, kResultStopped
// (the stop flag was raised, even when it cut a transfer short) or the error.
#pragma once

#include "engine/streaming_task.h"

namespace selvo {

// Audio and video; continues as video only when the audio of a resumed task cannot be
// used and none of it was sent yet.
void ThreadProcessAvcAacEntry(StreamingTaskImpl* impl);
// Video only (the audio is AMR and cannot go into the stream).
void ThreadProcessAvcAmrEntry(StreamingTaskImpl* impl);
// Audio only (a voice message).
void ThreadProcessAacEntry(StreamingTaskImpl* impl);
// The entry function for the kind of stream the start chose.
void RunStreamingWorker(StreamingTaskImpl* impl);

}  // namespace selvo
