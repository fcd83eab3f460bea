#pragma once

// FlutterWindow: the top-level window filled with the Flutter user interface.
// Once its platform window exists it starts the engine and view through a
// FlutterViewController sized to the client area, registers the external
// plugins and then the executable's own WindowsAudioPlugin, embeds the view as
// its child and shows itself after the engine's first frame. Destroying the
// window releases the controller, which ends the engine and every plugin.
//
// Owned by the entry point; everything runs on the user-interface thread.

#include <windows.h>

#include <memory>

#include "channel/flutter_view_controller.h"
#include "channel/project_settings.h"
#include "runner/win32_window.h"

class FlutterWindow : public Win32Window {
 public:
  // Keeps a copy of project, from which the engine is created.
  explicit FlutterWindow(const flutter::ProjectSettings& project);
  ~FlutterWindow() override;

 protected:
  LRESULT ProcessMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept override;
  bool CreateContent() override;
  void DestroyContent() override;

 private:
  flutter::ProjectSettings project_;
  // Present from CreateContent until DestroyContent.
  std::unique_ptr<flutter::FlutterViewController> flutter_controller_;
};
