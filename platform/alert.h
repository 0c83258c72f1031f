// Alerts: a title, a message and buttons; the delegate hears which button
// dismissed the alert. The headless presenter keeps the alerts it is shown
// until something presses one of their buttons: a test, or a later user
// interface. It is the presenter of the process until another is installed.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

struct Alert;

class AlertDelegate {
 public:
  virtual ~AlertDelegate() = default;
  virtual void AlertClickedButtonAtIndex(const Alert& alert, int button_index) = 0;
};

struct Alert {
  std::string title;
  std::string message;
  std::vector<std::string> buttons;
  int tag = 0;
  AlertDelegate* delegate = nullptr;  // not owned; must outlive the alert
};

class AlertPresenter {
 public:
  virtual ~AlertPresenter() = default;
  // Shows `alert`; call on the main queue.
  virtual void Show(Alert alert) = 0;
};

class HeadlessAlertPresenter final : public AlertPresenter {
 public:
  // Keeps the alert and logs it ("alert: <title>: <message>").
  void Show(Alert alert) override;
  // The alerts shown and not dismissed yet, oldest first.
  std::vector<Alert> visible() const;
  // Dismisses visible alert `index` with button `button` and tells its delegate.
  // False when there is no such alert or button. Call on the main queue.
  bool Press(size_t index, int button);

 private:
  mutable std::mutex mutex_;
  std::vector<Alert> visible_;
};

// The presenter of the process (a headless one unless another was installed;
// nullptr restores it).
AlertPresenter& DefaultAlertPresenter();
void SetDefaultAlertPresenter(AlertPresenter* presenter);

}  // namespace platform
