tq58_add_gtest(test_filter_job
  SOURCES PlanePacketTest.cpp JobDriverTest.cpp CancelCheckpointTest.cpp PrintJobTest.cpp
  LIBS tq58_filter tq58_testsupport tq58_packetdecoder)
target_compile_definitions(test_filter_job PRIVATE TQ58_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  TQ58_FILTER_PATH="$<TARGET_FILE:rastertotq58>")

# Whole jobs through cupsfilter and a private cupsd.
tq58_add_gtest(test_filter_endtoend
  SOURCES EndToEndTest.cpp
  LIBS tq58_testsupport tq58_packetdecoder tq58_common
  LABELS cupsd)
target_compile_definitions(test_filter_endtoend PRIVATE TQ58_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  TQ58_FILTER_PATH="$<TARGET_FILE:rastertotq58>" TQ58_MAKE_SAMPLE_PATH="$<TARGET_FILE:tq58-make-sample>")
add_dependencies(test_filter_endtoend rastertotq58 tq58-make-sample)

# Fifos, links, a cancel and extreme options put in the way of the built filter.
tq58_add_gtest(test_filter_hostile
  SOURCES HostileInputTest.cpp
  LIBS tq58_testsupport tq58_packetdecoder Cups::Cups Cups::Image)
target_compile_definitions(test_filter_hostile PRIVATE TQ58_FILTER_PATH="$<TARGET_FILE:rastertotq58>")
target_include_directories(test_filter_hostile PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
add_dependencies(test_filter_hostile rastertotq58)

# A made-up second model's job settings, from its profile.
tq58_add_gtest(test_filter_second_model
  SOURCES SecondModelTest.cpp
  LIBS tq58_filter tq58_testsupport)
