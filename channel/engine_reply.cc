#include "channel/engine_reply.h"

#include <iostream>

namespace flutter {

class EngineReply::State {
 public:
  State(FlutterDesktopMessengerRef messenger,
        const FlutterDesktopMessageResponseHandle* response_handle)
      : messenger_(FlutterDesktopMessengerAddRef(messenger)), response_handle_(response_handle) {}

  ~State() { FlutterDesktopMessengerRelease(messenger_); }

  State(const State&) = delete;
  State& operator=(const State&) = delete;

  void Respond(const uint8_t* data, size_t data_size) {
    FlutterDesktopMessengerRef lock = FlutterDesktopMessengerLock(messenger_);
    // Availability is checked inside the lock so that no response can reach an
    // engine that is shutting down at the same moment.
    if (FlutterDesktopMessengerIsAvailable(messenger_)) {
      // Atomic so that copies answering from two threads cannot both take the
      // handle even if the embedding's lock were not exclusive.
      const FlutterDesktopMessageResponseHandle* handle = response_handle_.exchange(nullptr);
      if (handle != nullptr) {
        FlutterDesktopMessengerSendResponse(messenger_, handle, data, data_size);
      } else {
        std::cerr << "Error: Response can be set only once. Ignoring duplicate response."
                  << std::endl;
      }
    }
    if (lock != nullptr) {
      FlutterDesktopMessengerUnlock(lock);
    }
  }

 private:
  FlutterDesktopMessengerRef messenger_;
  std::atomic<const FlutterDesktopMessageResponseHandle*> response_handle_;
};

EngineReply::EngineReply(FlutterDesktopMessengerRef messenger,
                         const FlutterDesktopMessageResponseHandle* response_handle)
    : state_(std::make_shared<State>(messenger, response_handle)) {}

void EngineReply::operator()(const uint8_t* data, size_t data_size) const {
  state_->Respond(data, data_size);
}

}  // namespace flutter
