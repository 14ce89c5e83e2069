# Tests of the colour pipeline and the ICC transform (real profiles from colord-data
# and icc-profiles-free).
tq58_add_gtest(test_filter_color
  SOURCES ColorProcessTest.cpp ColorTransformTest.cpp
  LIBS tq58_filter tq58_testsupport)
