# Tests of the image library.
tq58_add_gtest(test_imaging
  SOURCES
    NvoImgLibBitmapTest.cpp
    NvoImgLibSizeTest.cpp
    NvoImgLibToneTest.cpp
    NvoImgLibSharpenTest.cpp
    NvoImgLibSeparateTest.cpp
    NvoImgLibVectorTest.cpp
  LIBS tq58_imaging)

# The same library sources compiled at different optimisation settings must
# produce identical bytes: floating-point results may not depend on them.
include(CheckCXXCompilerFlag)
check_cxx_compiler_flag(-march=native TQ58_HAVE_MARCH_NATIVE)
set(tq58_imaging_variants O0 O3)
set(tq58_imaging_flags_O0 -O0)
set(tq58_imaging_flags_O3 -O3)
if(TQ58_HAVE_MARCH_NATIVE)
  list(APPEND tq58_imaging_variants O3native)
  set(tq58_imaging_flags_O3native -O3 -march=native)
endif()
set(tq58_imaging_dumps)
foreach(variant IN LISTS tq58_imaging_variants)
  add_library(tq58_imaging_${variant} OBJECT ${TQ58_IMAGING_SOURCES})
  target_include_directories(tq58_imaging_${variant} PUBLIC ${TQ58_IMAGING_DIR})
  target_compile_options(tq58_imaging_${variant} PRIVATE ${tq58_imaging_flags_${variant}})
  add_executable(imaging_dump_${variant} NvoImgLibDump.cpp)
  target_link_libraries(imaging_dump_${variant} PRIVATE tq58_imaging_${variant})
  list(APPEND tq58_imaging_dumps $<TARGET_FILE:imaging_dump_${variant}>)
endforeach()
# The plain path and the AVX2 path, where the processor would take faster kernels.
foreach(path IN ITEMS PLAIN AVX2)
  string(TOLOWER ${path} name)
  add_executable(imaging_dump_${name} NvoImgLibDump.cpp)
  target_link_libraries(imaging_dump_${name} PRIVATE tq58_imaging_O3)
  target_compile_definitions(imaging_dump_${name} PRIVATE TQ58_DUMP_${path}_PATH)
  list(APPEND tq58_imaging_dumps $<TARGET_FILE:imaging_dump_${name}>)
endforeach()
# A second compiler, when installed, builds the same program once more.
find_program(TQ58_CLANGXX NAMES clang++)
if(TQ58_CLANGXX AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(tq58_clang_dump ${CMAKE_CURRENT_BINARY_DIR}/imaging_dump_clang++)
  add_custom_command(OUTPUT ${tq58_clang_dump}
    COMMAND ${TQ58_CLANGXX} -std=c++20 -O2 -ffp-contract=off -I${TQ58_IMAGING_DIR}
            ${TQ58_IMAGING_SOURCES} ${CMAKE_CURRENT_LIST_DIR}/NvoImgLibDump.cpp -o ${tq58_clang_dump}
    DEPENDS ${TQ58_IMAGING_SOURCES} ${CMAKE_CURRENT_LIST_DIR}/NvoImgLibDump.cpp
    COMMENT "Building the image dump program with clang++")
  add_custom_target(imaging_dump_clangxx ALL DEPENDS ${tq58_clang_dump})
  list(APPEND tq58_imaging_dumps ${tq58_clang_dump})
endif()
add_test(NAME imaging_optimisation_independence
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/compare_outputs.sh ${tq58_imaging_dumps})
