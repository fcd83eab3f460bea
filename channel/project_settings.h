#ifndef CHANNEL_PROJECT_SETTINGS_H_
#define CHANNEL_PROJECT_SETTINGS_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace flutter {

// Where the user interface bundle lies and how to enter it: everything the
// engine is created from. Filled at start-up; the host window keeps a copy and
// the engine wrapper reads it once, on the thread that runs the message loop.
struct ProjectSettings {
  std::wstring assets_path;       // the "flutter_assets" folder
  std::wstring icu_data_path;     // the "icudtl.dat" file
  std::wstring aot_library_path;  // the "app.so" file
  // UTF-8; empty selects the application's default entry point.
  std::string entrypoint;
  // UTF-8, in order, handed to the entry point.
  std::vector<std::string> entrypoint_arguments;
  // Passed through to the embedding unchanged.
  std::array<int32_t, 4> engine_settings = {0, 0, 0, 0};
};

// The settings of a bundle laid out the usual way: "flutter_assets",
// "icudtl.dat" and "app.so" inside `data_directory`, which is kept as given
// (a relative one is resolved by the embedding, beside the executable). The
// entry point is the default one, without arguments.
inline ProjectSettings BundleSettings(const std::wstring& data_directory) {
  ProjectSettings settings;
  settings.assets_path = data_directory + L"\\flutter_assets";
  settings.icu_data_path = data_directory + L"\\icudtl.dat";
  settings.aot_library_path = data_directory + L"\\app.so";
  return settings;
}

}  // namespace flutter

#endif  // CHANNEL_PROJECT_SETTINGS_H_
