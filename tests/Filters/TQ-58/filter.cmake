tq58_add_gtest(test_filter_front
  SOURCES CommonTest.cpp DeviceEntryTest.cpp MediaModelTest.cpp
  LIBS tq58_filter tq58_testsupport tq58_packetdecoder)
target_compile_definitions(test_filter_front PRIVATE TQ58_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

# Needs a private cupsd and lpadmin.
tq58_add_gtest(test_filter_cups
  SOURCES CupsDeviceUriTest.cpp
  LIBS tq58_filter tq58_testsupport
  LABELS cupsd)
target_compile_definitions(test_filter_cups PRIVATE TQ58_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
