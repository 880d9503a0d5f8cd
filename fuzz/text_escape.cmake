# The escaping of outside texts, against the C library's UTF-8 decoder.
ostrel_fuzz_target(fuzz_text_escape
  FOLDERS common
  SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_text_escape.cpp
  ${PROJECT_SOURCE_DIR}/platform/common/text_escape.cpp)
