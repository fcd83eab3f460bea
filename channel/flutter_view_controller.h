#ifndef CHANNEL_FLUTTER_VIEW_CONTROLLER_H_
#define CHANNEL_FLUTTER_VIEW_CONTROLLER_H_

#include <memory>
#include <optional>

#include "channel/flutter_engine.h"
#include "channel/flutter_view.h"
#include "channel/flutter_windows_api.h"
#include "channel/project_settings.h"

namespace flutter {

// Creates the engine from the project settings and the embedding's view
// controller around it, and exposes the view whose window the host embeds.
// Owned by the host window for the window's lifetime; used on the thread that
// runs its message loop. Destroying it ends the view and the engine.
class FlutterViewController {
 public:
  // `width` and `height` are the initial view size in physical pixels. On
  // failure the object exists without a view (GetView() is null).
  FlutterViewController(int width, int height, const ProjectSettings& project);
  virtual ~FlutterViewController();

  FlutterViewController(const FlutterViewController&) = delete;
  FlutterViewController& operator=(const FlutterViewController&) = delete;

  FlutterEngine* GetEngine() const { return engine_.get(); }
  FlutterView* GetView() const { return view_.get(); }

  void ForceRedraw();

  // Offers a top-level window message to the embedding; a result when the
  // embedding handled it.
  std::optional<LRESULT> HandleTopLevelWindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                                  LPARAM lparam);

 private:
  FlutterDesktopViewControllerRef controller_ = nullptr;
  std::shared_ptr<FlutterEngine> engine_;
  std::unique_ptr<FlutterView> view_;
};

}  // namespace flutter

#endif  // CHANNEL_FLUTTER_VIEW_CONTROLLER_H_
