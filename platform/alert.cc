#include "platform/alert.h"

#include <atomic>

#include "platform/log.h"

namespace platform {
namespace {

std::atomic<AlertPresenter*> g_installed{nullptr};

}  // namespace

void HeadlessAlertPresenter::Show(Alert alert) {
  Logf("alert: %s: %s", alert.title.c_str(), alert.message.c_str());
  std::lock_guard lock(mutex_);
  visible_.push_back(std::move(alert));
}

std::vector<Alert> HeadlessAlertPresenter::visible() const {
  std::lock_guard lock(mutex_);
  return visible_;
}

bool HeadlessAlertPresenter::Press(size_t index, int button) {
  Alert alert;
  {
    std::lock_guard lock(mutex_);
    if (index >= visible_.size() || button < 0 ||
        static_cast<size_t>(button) >= visible_[index].buttons.size()) {
      return false;
    }
    alert = std::move(visible_[index]);
    visible_.erase(visible_.begin() + static_cast<long>(index));
  }
  if (alert.delegate) alert.delegate->AlertClickedButtonAtIndex(alert, button);
  return true;
}

AlertPresenter& DefaultAlertPresenter() {
  if (AlertPresenter* p = g_installed.load(std::memory_order_acquire)) return *p;
  static HeadlessAlertPresenter* headless = new HeadlessAlertPresenter();
  return *headless;
}

void SetDefaultAlertPresenter(AlertPresenter* presenter) {
  g_installed.store(presenter, std::memory_order_release);
}

}  // namespace platform
