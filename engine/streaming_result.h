// The results a task reports when it finishes (the value of its kTaskFinished event).
#pragma once

namespace selvo {

enum StreamingResult : int {
  kResultCompleted = 0,           // the last piece and the close request were sent
  kResultStopped = 1,             // the pass saw the stop flag
  kErrorHttpBufferOverflow = -5,  // the server answered 413
  kErrorProgram = -6,             // reserved for the application
  kErrorAccessToken = -7,         // the server answered 401
  kErrorNetwork = -8,             // any other answer, or the transfer failed
  kErrorMediaFile = -9,           // media data not found, or unreadable
};

}  // namespace selvo
