# tovan_channel_core: values, method calls and results, codecs. Portable: no
# embedding symbols, built natively and for Windows.
add_library(tovan_channel_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/byte_buffer_streams.cc
  ${CMAKE_CURRENT_LIST_DIR}/encodable_value.cc
  ${CMAKE_CURRENT_LIST_DIR}/fail_fast.cc
  ${CMAKE_CURRENT_LIST_DIR}/reply_guard.cc
  ${CMAKE_CURRENT_LIST_DIR}/standard_codec_serializer.cc
  ${CMAKE_CURRENT_LIST_DIR}/standard_method_codec.cc
)
target_include_directories(tovan_channel_core PUBLIC ${PROJECT_SOURCE_DIR})
tovan_warnings(tovan_channel_core)
tovan_windows_defaults(tovan_channel_core)
