# Tests of the value core and codecs.
tovan_add_test(NAME encodable_value_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/encodable_value_test.cc
  LIBS tovan_channel_core)
tovan_add_test(NAME standard_codec_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/standard_codec_test.cc
  LIBS tovan_channel_core)
tovan_add_test(NAME method_codec_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/method_codec_test.cc
  LIBS tovan_channel_core)
