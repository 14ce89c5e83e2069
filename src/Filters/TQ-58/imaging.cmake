# The image library: bitmaps, resampling, tone tables, sharpening, planes.
# Pure computation on memory: no CUPS, no Little CMS, no I/O.
set(TQ58_IMAGING_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/NvoImgLib.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NvoImgLib_Size.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NvoImgLib_Tone.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NvoImgLib_Saturation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NvoImgLib_Sharpen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NvoImgLib_Separate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NvoImgLib_LinuxDef.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NvoImgLib_Vector.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NvoImgLib_Vector512.cpp
  CACHE INTERNAL "Sources of tq58_imaging")
set(TQ58_IMAGING_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "Include folder of tq58_imaging")

add_library(tq58_imaging STATIC ${TQ58_IMAGING_SOURCES})
target_include_directories(tq58_imaging PUBLIC ${CMAKE_CURRENT_LIST_DIR})
set_target_properties(tq58_imaging PROPERTIES POSITION_INDEPENDENT_CODE ON)
