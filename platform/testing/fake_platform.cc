#include "platform/testing/fake_platform.h"

#include "platform/transliterator.h"

namespace platform {

FakePlatform::FakePlatform()
    : clock(dispatcher.manual_clock()), environment(clock), application(clock) {
  SetDefaultDispatcher(&dispatcher);
  SetDefaultClock(&clock);
  SetDefaultEnvironment(&environment);
  SetStandardPreferences(&preferences);
  SetSharedApplication(&application);
  SetDefaultLocationProvider(&location);
  SetDefaultReachability(&reachability);
  SetDefaultHttpClientFactory(&http);
  SetDefaultAlertPresenter(&alerts);
  SetDefaultTransliterator(&transliterator);
}

FakePlatform::~FakePlatform() {
  dispatcher.RunUntilIdle();
  SetDefaultAlertPresenter(nullptr);
  SetDefaultHttpClientFactory(nullptr);
  SetDefaultReachability(nullptr);
  SetDefaultTransliterator(nullptr);
  SetDefaultLocationProvider(nullptr);
  SetSharedApplication(nullptr);
  SetStandardPreferences(nullptr);
  SetDefaultEnvironment(nullptr);
  SetDefaultClock(nullptr);
  SetDefaultDispatcher(nullptr);
}

}  // namespace platform
