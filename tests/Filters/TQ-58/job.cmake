tq58_add_gtest(test_filter_job
  SOURCES PlanePacketTest.cpp JobDriverTest.cpp
  LIBS tq58_filter tq58_testsupport tq58_packetdecoder)
target_compile_definitions(test_filter_job PRIVATE TQ58_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  TQ58_FILTER_PATH="$<TARGET_FILE:rastertotq58>")
