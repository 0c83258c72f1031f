// FakePlatform: installs a test double for every port of the process for the
// life of a test, and restores the defaults afterwards.
//
//   platform::FakePlatform fake;
//   ... code under test submits work, posts, writes preferences ...
//   fake.dispatcher.RunUntilIdle();
#pragma once

#include "platform/alert.h"
#include "platform/testing/fake_application.h"
#include "platform/testing/fake_environment.h"
#include "platform/testing/fake_location.h"
#include "platform/testing/fake_push.h"
#include "platform/testing/fake_reachability.h"
#include "platform/testing/fake_transliterator.h"
#include "platform/testing/manual_dispatcher.h"
#include "platform/testing/memory_preference_store.h"
#include "platform/testing/scripted_http.h"

namespace platform {

class FakePlatform {
 public:
  FakePlatform();
  ~FakePlatform();
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  ManualDispatcher dispatcher;
  ManualClock& clock;
  FakeEnvironment environment;
  MemoryPreferenceStore preferences;
  FakeApplication application;
  FakeLocationProvider location;
  FakePushService push;
  FakeReachability reachability;
  ScriptedHttpTransport http;
  HeadlessAlertPresenter alerts;
  FakeTransliterator transliterator;
};

}  // namespace platform
