// A messenger handle of one engine: one message callback per channel, the
// responses owed to delivered messages, the lock the host takes around its
// responses, and a reference count that keeps the handle valid after the
// engine has gone.
//
// The engine has one messenger and every registrar another handle onto the
// same channels, responses and lock, so that the trace tells which of them
// the host installed a channel on (a plugin's channel belongs on its
// registrar's messenger). A message is delivered with the handle its channel
// was installed on.
//
// Each handle is owned jointly by its engine or registrar (one reference,
// given back at the engine's end) and by every FlutterDesktopMessengerAddRef
// the host made; deleted by the last release. Delivery runs on the thread that
// asks for it (the UI thread for the console and the script); responses may
// come from any thread.
#ifndef DEVKIT_EMBEDDING_MESSENGER_H_
#define DEVKIT_EMBEDDING_MESSENGER_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "channel/flutter_windows_api.h"
#include "devkit/embedding/handle_registry.h"
#include "devkit/embedding/ui_thread.h"

namespace devkit {

// A lock the owning thread may take again (the host locks around a response,
// and the response path locks as well) and that refuses an unlock from a
// thread that does not hold it instead of corrupting itself.
class ReentrantLock {
 public:
  void Lock();
  // False when the calling thread does not hold the lock.
  bool Unlock();

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  std::thread::id owner_;
  int depth_ = 0;
};

class Messenger {
 public:
  // Receives the bytes of the one response to a delivered message; runs on
  // the thread that sent the response, inside the messenger lock.
  using ResponseSink = std::function<void(const uint8_t* data, size_t size)>;

  enum class ResponseOutcome { kSent, kRefused, kDropped };

  // An engine's messenger, with one reference, the engine's.
  Messenger();
  Messenger(const Messenger&) = delete;
  Messenger& operator=(const Messenger&) = delete;

  // A registrar's handle onto this messenger's channels, responses and lock,
  // with one reference, the registrar's.
  Messenger* NewRegistrarHandle();

  FlutterDesktopMessengerRef handle() const { return handle_.get(); }

  // The host's references. AddRef answers the count after the change;
  // Release answers false, and changes nothing, when the host holds none.
  int AddRef();
  bool Release(int* remaining);
  // The owner's reference (engine or registrar). The last reference of either
  // kind deletes the object.
  void ReleaseOwner();

  // The UI thread of the engine whose channels these are.
  UiThread& ui_thread() { return shared_->ui_thread; }

  void Lock() { shared_->lock.Lock(); }
  bool Unlock() { return shared_->lock.Unlock(); }

  bool IsAvailable() const { return shared_->available.load(); }

  // A null callback clears the channel.
  void SetCallback(const std::string& channel, FlutterDesktopMessageCallback callback,
                   void* user_data);

  // Hands `bytes` to the channel's callback on the calling thread, as the
  // UI does; the response to it goes to `sink`. False (and the sink is
  // dropped unused) when the channel has no callback or the engine is gone.
  bool Deliver(const std::string& channel, const uint8_t* bytes, size_t size, ResponseSink sink);

  // The host's response to a delivered message: sent to the message's sink
  // the first time, refused after that (or for a handle never given out),
  // dropped once the engine has shut down. `decided` learns the outcome
  // before the sink runs (the trace line comes before whatever the receiver
  // does).
  ResponseOutcome Respond(const FlutterDesktopMessageResponseHandle* handle, const uint8_t* data,
                          size_t size, const std::function<void(ResponseOutcome)>& decided);

  // Set when the engine starts running (its view then runs tasks on the UI
  // thread), cleared when it ends.
  void SetUiPoster(std::function<void(std::function<void()>)> poster);
  bool IsRunning();
  // Runs `task` later on the UI thread; false when the engine is not running.
  bool PostToUi(std::function<void()> task);

  // The engine is ending: from now on the messenger is unavailable, no
  // message is delivered and owed responses are forgotten.
  void Shutdown();

  static uint64_t ResponseId(const FlutterDesktopMessageResponseHandle* handle) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
  }

 private:
  struct ChannelCallback {
    FlutterDesktopMessageCallback callback;
    void* user_data;
    Messenger* installed_on;  // kept alive by its owner until Shutdown clears the table
  };

  // What the engine's messenger and its registrars' handles have in common.
  struct Shared {
    std::atomic<bool> available{true};
    ReentrantLock lock;
    // Guards the two tables; never held while calling out of the library.
    std::mutex tables_mutex;
    std::map<std::string, ChannelCallback> callbacks;
    // Response handles are numbers that are never reused, so a stale handle
    // can never answer a newer message.
    std::map<uint64_t, ResponseSink> owed_responses;
    std::function<void(std::function<void()>)> ui_poster;
    UiThread ui_thread;
  };

  explicit Messenger(std::shared_ptr<Shared> shared);
  ~Messenger();
  int DropReference();

  std::atomic<int> references_{1};
  std::atomic<int> host_references_{0};
  std::shared_ptr<Shared> shared_;
  LibraryHandle<FlutterDesktopMessengerRef> handle_{HandleKind::kMessenger, this};
};

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_MESSENGER_H_
