#include "devkit/embedding/messenger.h"

#include <utility>

#include "devkit/embedding/handle_registry.h"
#include "devkit/embedding/trace_writer.h"

namespace devkit {
namespace {

std::atomic<uint64_t> last_response_id{0};

}  // namespace

void ReentrantLock::Lock() {
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock<std::mutex> lock(mutex_);
  if (depth_ > 0 && owner_ == me) {
    ++depth_;
    return;
  }
  released_.wait(lock, [this] { return depth_ == 0; });
  owner_ = me;
  depth_ = 1;
}

bool ReentrantLock::Unlock() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (depth_ == 0 || owner_ != std::this_thread::get_id()) return false;
  if (--depth_ == 0) {
    owner_ = std::thread::id();
    released_.notify_one();
  }
  return true;
}

Messenger::Messenger() { Handles().Add(HandleKind::kMessenger, this); }

// Leaves the registry before the memory is freed, so that a new object at
// the same address is never mistaken for this one.
Messenger::~Messenger() { Handles().Remove(this); }

int Messenger::AddRef() { return ++references_; }

int Messenger::Release() {
  const int remaining = --references_;
  if (remaining == 0) delete this;
  return remaining;
}

void Messenger::SetCallback(const std::string& channel, FlutterDesktopMessageCallback callback,
                            void* user_data) {
  std::lock_guard<std::mutex> lock(tables_mutex_);
  if (callback == nullptr) {
    callbacks_.erase(channel);
  } else {
    callbacks_[channel] = ChannelCallback{callback, user_data};
  }
}

bool Messenger::Deliver(const std::string& channel, const uint8_t* bytes, size_t size,
                        ResponseSink sink) {
  ChannelCallback target{};
  uint64_t id = 0;
  {
    std::lock_guard<std::mutex> lock(tables_mutex_);
    auto it = callbacks_.find(channel);
    if (!available_.load() || it == callbacks_.end()) {
      Trace().Line("event no-handler channel=" + Quote(channel) + " size=" + std::to_string(size) +
                   ThreadNote());
      return false;
    }
    target = it->second;
    id = ++last_response_id;
    owed_responses_[id] = std::move(sink);
  }
  Trace().Line("event message channel=" + Quote(channel) + " size=" + std::to_string(size) +
               " response=response#" + std::to_string(id) + ThreadNote());
  FlutterDesktopMessage message{};
  message.struct_size = sizeof(message);
  message.channel = channel.c_str();
  message.message = bytes;
  message.message_size = size;
  message.response_handle =
      reinterpret_cast<const FlutterDesktopMessageResponseHandle*>(static_cast<uintptr_t>(id));
  target.callback(handle(), &message, target.user_data);
  return true;
}

Messenger::ResponseOutcome Messenger::Respond(const FlutterDesktopMessageResponseHandle* handle,
                                              const uint8_t* data, size_t size,
                                              const std::function<void(ResponseOutcome)>& decided) {
  // Taken here as well as by a well-behaved host, so that a response racing
  // the engine's shutdown is either delivered before it or dropped after it.
  lock_.Lock();
  ResponseOutcome outcome = ResponseOutcome::kRefused;
  ResponseSink sink;
  if (!available_.load()) {
    outcome = ResponseOutcome::kDropped;
  } else {
    std::lock_guard<std::mutex> lock(tables_mutex_);
    auto it = owed_responses_.find(ResponseId(handle));
    if (it != owed_responses_.end()) {
      sink = std::move(it->second);
      owed_responses_.erase(it);
      outcome = ResponseOutcome::kSent;
    }
  }
  if (decided) decided(outcome);
  if (sink) sink(data, size);
  lock_.Unlock();
  return outcome;
}

void Messenger::SetUiPoster(std::function<void(std::function<void()>)> poster) {
  std::lock_guard<std::mutex> lock(tables_mutex_);
  ui_poster_ = std::move(poster);
}

bool Messenger::IsRunning() {
  std::lock_guard<std::mutex> lock(tables_mutex_);
  return available_.load() && ui_poster_ != nullptr;
}

bool Messenger::PostToUi(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(tables_mutex_);
  if (!available_.load() || !ui_poster_) return false;
  ui_poster_(std::move(task));
  return true;
}

void Messenger::Shutdown() {
  lock_.Lock();
  available_.store(false);
  std::map<uint64_t, ResponseSink> forgotten;
  {
    std::lock_guard<std::mutex> lock(tables_mutex_);
    callbacks_.clear();
    forgotten.swap(owed_responses_);
    ui_poster_ = nullptr;
  }
  lock_.Unlock();
  // The sinks (and whatever they captured) are destroyed outside both locks.
}

}  // namespace devkit
