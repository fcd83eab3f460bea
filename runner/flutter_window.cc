#include "runner/flutter_window.h"

#include <optional>
#include <utility>

#include "audio_plugin/windows_audio_plugin.h"
#include "channel/registrar_cache.h"
#include "runner/external_plugins.h"

FlutterWindow::FlutterWindow(const flutter::ProjectSettings& project) : project_(project) {}

FlutterWindow::~FlutterWindow() {
  // Before the base destructor destroys the platform window: the controller
  // must not outlive the content it belongs to.
  flutter_controller_.reset();
}

bool FlutterWindow::CreateContent() {
  if (!Win32Window::CreateContent()) {
    return false;
  }

  const RECT frame = ClientRectangle();
  flutter_controller_ = std::make_unique<flutter::FlutterViewController>(
      frame.right - frame.left, frame.bottom - frame.top, project_);
  flutter::FlutterEngine* engine = flutter_controller_->GetEngine();
  if (engine == nullptr || flutter_controller_->GetView() == nullptr) {
    return false;
  }

  RegisterExternalPlugins(engine);
  // The cache answers null for a null registrar handle; the audio channel then
  // stays closed rather than being opened on nothing.
  if (flutter::PluginRegistrarWindows* audio_registrar =
          flutter::RegistrarCache::RegistrarFor(engine->GetPluginRegistrar("WindowsAudioPlugin"))) {
    WindowsAudioPlugin::RegisterWithRegistrar(audio_registrar);
  }

  AdoptChild(flutter_controller_->GetView()->GetWindowHandle());

  // The window was created hidden; showing it only once a frame exists
  // avoids a flash of an empty window.
  engine->SetNextFrameCallback([this]() { MakeVisible(); });

  // Asks for a frame now, so that the window above is shown without waiting
  // for the user interface to draw on its own.
  flutter_controller_->ForceRedraw();
  return true;
}

void FlutterWindow::DestroyContent() {
  if (flutter_controller_ != nullptr) {
    // Emptied before the controller is destroyed, so that messages sent while
    // the engine shuts down no longer reach it.
    std::unique_ptr<flutter::FlutterViewController> controller = std::move(flutter_controller_);
    controller.reset();
  }
  Win32Window::DestroyContent();
}

LRESULT FlutterWindow::ProcessMessage(HWND window, UINT message, WPARAM wparam,
                                      LPARAM lparam) noexcept {
  // The embedding sees every top-level message first; what it handles goes no
  // further.
  if (flutter_controller_ != nullptr) {
    std::optional<LRESULT> result =
        flutter_controller_->HandleTopLevelWindowProc(window, message, wparam, lparam);
    if (result) {
      return *result;
    }
  }

  if (message == WM_FONTCHANGE && flutter_controller_ != nullptr) {
    flutter_controller_->GetEngine()->ReloadSystemFonts();
  }

  return Win32Window::ProcessMessage(window, message, wparam, lparam);
}
