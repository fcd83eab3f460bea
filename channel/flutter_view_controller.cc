#include "channel/flutter_view_controller.h"

#include <iostream>

namespace flutter {

FlutterViewController::FlutterViewController(int width, int height, const ProjectSettings& project)
    : engine_(std::make_shared<FlutterEngine>(project)) {
  FlutterDesktopEngineRef engine = engine_->HandOverEngine();
  // A controller over no engine cannot run; that is a creation failure, not a
  // call into the library with a null engine.
  if (engine != nullptr) {
    controller_ = FlutterDesktopViewControllerCreate(width, height, engine);
  }
  if (controller_ == nullptr) {
    std::cerr << "Failed to create view controller." << std::endl;
    return;
  }
  view_ = std::make_unique<FlutterView>(FlutterDesktopViewControllerGetView(controller_));
}

FlutterViewController::~FlutterViewController() {
  // Ends the view and the engine, and with them the registrars; only then may
  // the wrappers whose handles they were go.
  if (controller_ != nullptr) {
    FlutterDesktopViewControllerDestroy(controller_);
  }
  view_.reset();
  engine_.reset();
}

void FlutterViewController::ForceRedraw() {
  if (controller_ != nullptr) {
    FlutterDesktopViewControllerForceRedraw(controller_);
  }
}

std::optional<LRESULT> FlutterViewController::HandleTopLevelWindowProc(HWND hwnd, UINT message,
                                                                       WPARAM wparam,
                                                                       LPARAM lparam) {
  if (controller_ == nullptr) {
    return std::nullopt;
  }
  LRESULT result = 0;
  if (FlutterDesktopViewControllerHandleTopLevelWindowProc(controller_, hwnd, message, wparam,
                                                           lparam, &result)) {
    return result;
  }
  return std::nullopt;
}

}  // namespace flutter
