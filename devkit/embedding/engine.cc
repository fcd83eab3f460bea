#include "devkit/embedding/engine.h"

#include <windows.h>

#include <utility>

#include "devkit/embedding/handle_registry.h"
#include "devkit/embedding/trace_writer.h"
#include "devkit/embedding/ui_thread.h"
#include "devkit/embedding/view.h"
#include "devkit/embedding/wide_text.h"

namespace devkit {
namespace {

std::wstring CopyWide(const wchar_t* text) { return text == nullptr ? std::wstring() : text; }

bool IsRelativePath(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':') return false;                     // C:\ or C:relative
  if (!path.empty() && (path[0] == L'\\' || path[0] == L'/')) return false;  // \\server, \root
  return true;
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

std::wstring ResolveAgainstExecutableFolder(const std::wstring& path) {
  if (path.empty() || !IsRelativePath(path)) return path;
  std::wstring module(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    if (length == 0) return path;
    if (length < module.size()) {
      module.resize(length);
      break;
    }
    module.resize(module.size() * 2);
  }
  const size_t separator = module.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return path;
  return module.substr(0, separator + 1) + path;
}

Engine::Engine(const FlutterDesktopEngineProperties& properties)
    : assets_path_(ResolveAgainstExecutableFolder(CopyWide(properties.assets_path))),
      icu_data_path_(ResolveAgainstExecutableFolder(CopyWide(properties.icu_data_path))),
      aot_library_path_(ResolveAgainstExecutableFolder(CopyWide(properties.aot_library_path))),
      entrypoint_(properties.entrypoint == nullptr ? "" : properties.entrypoint),
      messenger_(new Messenger()) {
  if (properties.entrypoint_argv != nullptr) {
    for (int32_t i = 0; i < properties.entrypoint_argc; ++i) {
      const char* argument = properties.entrypoint_argv[i];
      arguments_.emplace_back(argument == nullptr ? "" : argument);
    }
  }
  for (int i = 0; i < 4; ++i) settings_[i] = properties.engine_settings[i];
  options_ = ParseDevkitOptions(arguments_);
}

Engine::~Engine() {
  Shutdown();
  // The host may hold references of its own; the messenger then outlives
  // the engine, unavailable, until the last of them is released.
  messenger_->ReleaseOwner();
}

Registrar* Engine::RegistrarFor(const std::string& plugin_name) {
  if (shut_down_) return nullptr;
  for (const auto& registrar : registrars_) {
    if (registrar->plugin_name() == plugin_name) return registrar.get();
  }
  registrars_.push_back(
      std::make_unique<Registrar>(this, plugin_name, messenger_->NewRegistrarHandle()));
  return registrars_.back().get();
}

std::wstring Engine::MissingBundlePart() const {
  if (!IsDirectory(assets_path_)) return assets_path_;
  if (!IsFile(icu_data_path_)) return icu_data_path_;
  if (!IsFile(aot_library_path_)) return aot_library_path_;
  return std::wstring();
}

void Engine::Run(int width, int height) {
  ui_thread().MarkCurrent();
  view_ = std::make_unique<View>(this, width < 0 ? 0 : width, height < 0 ? 0 : height);
  // What the UI would have been started with, for the person at the console.
  std::string arguments = "[";
  for (size_t i = 0; i < arguments_.size(); ++i) {
    arguments += (i > 0 ? "," : "") + Quote(arguments_[i]);
  }
  arguments += "]";
  view_->Log("Engine started: entry point " + Quote(entrypoint_) + ", arguments " + arguments +
             ", settings [" + std::to_string(settings_[0]) + "," + std::to_string(settings_[1]) +
             "," + std::to_string(settings_[2]) + "," + std::to_string(settings_[3]) +
             "], assets " + Quote(Utf8FromWide(assets_path_)));
  View* view = view_.get();
  messenger_->SetUiPoster([view](std::function<void()> task) { view->PostTask(std::move(task)); });
}

void Engine::SetNextFrameCallback(FlutterDesktopOnNextFrame callback, void* user_data) {
  next_frame_callback_ = callback;
  next_frame_user_data_ = user_data;
}

void Engine::RunNextFrameCallback() {
  FlutterDesktopOnNextFrame callback = next_frame_callback_;
  void* user_data = next_frame_user_data_;
  if (callback == nullptr) return;
  // Cleared first: the callback may set the next one.
  next_frame_callback_ = nullptr;
  next_frame_user_data_ = nullptr;
  Trace().Line("event next-frame engine=" + Handles().Name(HandleKind::kEngine, handle()));
  callback(user_data);
}

void Engine::ReloadSystemFonts() {
  if (view_) view_->ReloadFonts();
}

void Engine::Shutdown() {
  if (shut_down_) return;
  shut_down_ = true;
  Trace().Line("event engine-shutdown engine=" + Handles().Name(HandleKind::kEngine, handle()) +
               ThreadNote());
  messenger_->Shutdown();
  if (view_) view_->StopActivity();
  next_frame_callback_ = nullptr;
  // By index: a handler may ask for registrars, which are refused from now on
  // but must not disturb the walk.
  for (size_t i = 0; i < registrars_.size(); ++i) {
    Registrar* registrar = registrars_[i].get();
    FlutterDesktopOnPluginRegistrarDestroyed handler = registrar->destruction_handler();
    Trace().Line("event registrar-destroyed registrar=" +
                 Handles().Name(HandleKind::kRegistrar, registrar->handle()) +
                 " plugin=" + Quote(registrar->plugin_name()) +
                 " handler=" + (handler != nullptr ? "set" : "null"));
    registrar->set_destruction_handler(nullptr);
    if (handler != nullptr) handler(registrar->handle());
  }
  registrars_.clear();
  view_.reset();
}

}  // namespace devkit
