// Names of the process-wide notifications the shell posts.
#pragma once

namespace shell {

// A remote notification arrived (or the launch / an unread check found new
// messages); the main screen shows the inbox badge. The spelling is historical.
inline constexpr char kReceiveRemoteNotification[] = "RecevieRemoteNotification";
// The application goes to the background: the camera stops recording.
inline constexpr char kCloseMediaSourceNotification[] = "CloseMediaSourceNotification";
// The application is active again: the camera may open.
inline constexpr char kOpenMediaSourceNotification[] = "OpenMediaSourceNotification";

}  // namespace shell
