#ifndef CHANNEL_FLUTTER_VIEW_H_
#define CHANNEL_FLUTTER_VIEW_H_

#include "channel/flutter_windows_api.h"

namespace flutter {

// The embedding's view: the child window the engine draws into. Owned by the
// view controller or a plugin registrar wrapper; the view handle belongs to
// the embedding, so destroying the wrapper makes no library call.
class FlutterView {
 public:
  explicit FlutterView(FlutterDesktopViewRef view);
  virtual ~FlutterView();

  FlutterView(const FlutterView&) = delete;
  FlutterView& operator=(const FlutterView&) = delete;

  HWND GetWindowHandle() const;

 private:
  FlutterDesktopViewRef view_;
};

}  // namespace flutter

#endif  // CHANNEL_FLUTTER_VIEW_H_
