#ifndef CHANNEL_ENGINE_REPLY_H_
#define CHANNEL_ENGINE_REPLY_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "channel/flutter_windows_api.h"

namespace flutter {

// The reply path of one incoming message: answers it through the embedding
// exactly once, and only while the engine is still available. Built by the
// messenger for each message and handed to the channel's handler as a
// ByteReply; it may be copied, kept past the handler's return and called from
// any thread.
//
// All copies share one state: the reference on the messenger handle (taken
// with FlutterDesktopMessengerAddRef, given back when the last copy goes) and
// the response handle, which is cleared when used. Sharing the response handle
// means that two copies of one reply cannot answer the same message twice.
class EngineReply {
 public:
  EngineReply(FlutterDesktopMessengerRef messenger,
              const FlutterDesktopMessageResponseHandle* response_handle);

  // Sends `data` as the response, under the messenger's lock, while the
  // engine is available. A second call while available prints
  // "Error: Response can be set only once. Ignoring duplicate response.".
  void operator()(const uint8_t* data, size_t data_size) const;

 private:
  class State;
  std::shared_ptr<State> state_;
};

}  // namespace flutter

#endif  // CHANNEL_ENGINE_REPLY_H_
