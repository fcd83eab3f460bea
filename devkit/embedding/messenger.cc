#include "devkit/embedding/messenger.h"

#include <utility>

#include "devkit/embedding/handle_registry.h"
#include "devkit/embedding/trace_writer.h"
#include "devkit/embedding/ui_thread.h"

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

Messenger::Messenger() : Messenger(std::make_shared<Shared>()) {}

Messenger::Messenger(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

Messenger::~Messenger() = default;

Messenger* Messenger::NewRegistrarHandle() { return new Messenger(shared_); }

int Messenger::AddRef() {
  ++host_references_;
  return ++references_;
}

bool Messenger::Release(int* remaining) {
  int held = host_references_.load();
  do {
    if (held == 0) return false;
  } while (!host_references_.compare_exchange_weak(held, held - 1));
  *remaining = DropReference();
  return true;
}

void Messenger::ReleaseOwner() { DropReference(); }

int Messenger::DropReference() {
  const int remaining = --references_;
  if (remaining == 0) delete this;
  return remaining;
}

void Messenger::SetCallback(const std::string& channel, FlutterDesktopMessageCallback callback,
                            void* user_data) {
  std::lock_guard<std::mutex> lock(shared_->tables_mutex);
  if (callback == nullptr) {
    shared_->callbacks.erase(channel);
  } else {
    shared_->callbacks[channel] = ChannelCallback{callback, user_data, this};
  }
}

bool Messenger::Deliver(const std::string& channel, const uint8_t* bytes, size_t size,
                        ResponseSink sink) {
  ChannelCallback target{};
  uint64_t id = 0;
  {
    std::lock_guard<std::mutex> lock(shared_->tables_mutex);
    auto it = shared_->callbacks.find(channel);
    if (!shared_->available.load() || it == shared_->callbacks.end()) {
      Trace().Line("event no-handler channel=" + Quote(channel) + " size=" + std::to_string(size) +
                   ThreadNote());
      return false;
    }
    target = it->second;
    id = ++last_response_id;
    shared_->owed_responses[id] = std::move(sink);
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
  target.callback(target.installed_on->handle(), &message, target.user_data);
  return true;
}

Messenger::ResponseOutcome Messenger::Respond(const FlutterDesktopMessageResponseHandle* handle,
                                              const uint8_t* data, size_t size,
                                              const std::function<void(ResponseOutcome)>& decided) {
  // Taken here as well as by a well-behaved host, so that a response racing
  // the engine's shutdown is either delivered before it or dropped after it.
  shared_->lock.Lock();
  ResponseOutcome outcome = ResponseOutcome::kRefused;
  ResponseSink sink;
  if (!shared_->available.load()) {
    outcome = ResponseOutcome::kDropped;
  } else {
    std::lock_guard<std::mutex> lock(shared_->tables_mutex);
    auto it = shared_->owed_responses.find(ResponseId(handle));
    if (it != shared_->owed_responses.end()) {
      sink = std::move(it->second);
      shared_->owed_responses.erase(it);
      outcome = ResponseOutcome::kSent;
    }
  }
  if (decided) decided(outcome);
  if (sink) sink(data, size);
  shared_->lock.Unlock();
  return outcome;
}

void Messenger::SetUiPoster(std::function<void(std::function<void()>)> poster) {
  std::lock_guard<std::mutex> lock(shared_->tables_mutex);
  shared_->ui_poster = std::move(poster);
}

bool Messenger::IsRunning() {
  std::lock_guard<std::mutex> lock(shared_->tables_mutex);
  return shared_->available.load() && shared_->ui_poster != nullptr;
}

bool Messenger::PostToUi(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(shared_->tables_mutex);
  if (!shared_->available.load() || !shared_->ui_poster) return false;
  shared_->ui_poster(std::move(task));
  return true;
}

void Messenger::Shutdown() {
  shared_->lock.Lock();
  shared_->available.store(false);
  std::map<uint64_t, ResponseSink> forgotten;
  {
    std::lock_guard<std::mutex> lock(shared_->tables_mutex);
    shared_->callbacks.clear();
    forgotten.swap(shared_->owed_responses);
    shared_->ui_poster = nullptr;
  }
  shared_->lock.Unlock();
  // The sinks (and whatever they captured) are destroyed outside both locks.
}

}  // namespace devkit
