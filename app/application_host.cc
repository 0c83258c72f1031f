#include "app/application_host.h"

#include <cstdlib>

#include "app/streaming_engine.h"
#include "contacts/blacklist_data_manager.h"
#include "contacts/contact_data_manager.h"
#include "platform/log.h"
#include "platform/preferences.h"
#include "service/service_http_client.h"
#include "shell/login_user_info_preferences.h"
#include "store/timeline_utils.h"

namespace app {
namespace {

constexpr char kServerUrlKey[] = "ServerURL";
constexpr char kDefaultServerUrl[] = "http://127.0.0.1:8080";

double BackgroundSeconds() {
  const char* text = std::getenv("SELVO_BACKGROUND_SECONDS");
  double seconds = text ? std::atof(text) : 0;
  return seconds > 0 ? seconds : 180;
}

}  // namespace

shell::StartupHooks MakeStartupHooks(const GlobalOptions& options) {
  shell::StartupHooks hooks;
  AddStreamingEngineHooks(hooks, options);
  // Writes what the contact stores still hold (only when they were used).
  hooks.save_contact_stores = [] {
    contacts::ContactDataManager::ResetSharedInstance();
    contacts::BlacklistDataManager::ResetSharedInstance();
  };
  return hooks;
}

ApplicationHost::ApplicationHost(const GlobalOptions& options)
    : options_(options),
      environment_(options.data_dir),
      push_(platform::ConfiguredPushService::FromEnvironment()),
      http_(platform::CurlSettings{options.ca_file.value_or("")}) {
  platform::SetVerboseLogging(options.verbose);
  platform::SetDefaultEnvironment(&environment_);
  application_ = std::make_unique<platform::LinuxApplication>(platform::LinuxDispatcher::Machine(),
                                                              push_, BackgroundSeconds());
  platform::SetSharedApplication(application_.get());
  if (options.server) {
    auto& store = platform::StandardPreferences();
    store.Set(kServerUrlKey, *options.server);
    store.Synchronize();
  }
  // Every service request verifies the server's certificate, against --ca-file
  // when given.
  platform::SetDefaultHttpClientFactory(&http_);
  client_environment_ = std::make_unique<shell::ShellClientEnvironment>();
  service::ServiceHTTPClient::SetServiceBaseUrl(ServerUrl());
  // The image caches keep the signed-in user's own avatar apart.
  store::TimelineUtils::SetSignedInUserIdSource([] {
    if (!shell::LoginUserInfoPreferences::AccessToken()) return std::string();
    return shell::LoginUserInfoPreferences::UserId();
  });
}

ApplicationHost::~ApplicationHost() {
  // The clients' transports come from the factory that goes with this host.
  service::ServiceHTTPClient::ResetSharedClients();
  store::TimelineUtils::ResetImageCaches();
  store::TimelineUtils::SetSignedInUserIdSource(nullptr);
  // The contact stores live in this host's documents directory.
  contacts::ContactDataManager::ResetSharedInstance();
  contacts::BlacklistDataManager::ResetSharedInstance();
  client_environment_.reset();
  platform::SetDefaultHttpClientFactory(nullptr);
  platform::SetSharedApplication(nullptr);
  platform::SetDefaultEnvironment(nullptr);
}

void ApplicationHost::SetInterruptHandler(std::function<void(int signo)> handler) {
  application_->SetInterruptHandler(std::move(handler));
}

std::string ApplicationHost::ServerUrl() const {
  if (options_.server) return *options_.server;
  platform::Value stored = platform::StandardPreferences().Get(kServerUrlKey);
  return stored.is_string() && !stored.AsString().empty() ? stored.AsString() : kDefaultServerUrl;
}

int ApplicationHost::Run(std::function<void(Finish finish)> job) {
  delegate_ = std::make_unique<shell::SelvoAppDelegate>(MakeStartupHooks(options_));
  platform::LinuxApplication* application = application_.get();
  // Run queues the launch behind this block: hop once more so that the job runs after
  // launching (the engine and the application queue exist by then).
  platform::MainQueue().Async([application, job = std::move(job)]() mutable {
    platform::MainQueue().Async([application, job = std::move(job)] {
      job([application](int status) { application->Terminate(status); });
    });
  });
  return application_->Run(*delegate_, platform::LaunchOptions{});
}

}  // namespace app
