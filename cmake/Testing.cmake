# veltmoor_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS slow])
# One GoogleTest program per subsystem; every case becomes a CTest test. The shared
# main (tests/test_main.cpp) makes each program headless and dialog-free, with its
# settings and caches in the build tree; scripts run under VELTMOOR_TEST_ENV.
set(VELTMOOR_TEST_ENV
    "VELTMOOR_NO_DIALOGS=1"
    "SDL_VIDEODRIVER=offscreen"
    "SDL_AUDIODRIVER=dummy"
    "MESA_SHADER_CACHE_DIR=${CMAKE_BINARY_DIR}/mesa-cache"
    "VELTMOOR_CONFIG_DIR=${CMAKE_BINARY_DIR}/test-config"
    "VELTMOOR_TEST_OUT=${CMAKE_BINARY_DIR}/test-out"
    "VELTMOOR_APP_DIR=${VELTMOOR_APP_DIR}")

function(veltmoor_test name)
    if(NOT VELTMOOR_TESTS)
        return()
    endif()
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/test_main.cpp)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_compile_definitions(${name} PRIVATE
        VELTMOOR_TEST_BUILD_DIR="${CMAKE_BINARY_DIR}" VELTMOOR_TEST_APP_DIR="${VELTMOOR_APP_DIR}")
    target_link_libraries(${name} PRIVATE ${T_LIBS} veltmoor_options GTest::gtest)
    gtest_discover_tests(${name} PROPERTIES LABELS "${T_LABELS}" DISCOVERY_TIMEOUT 60)
endfunction()

# veltmoor_benchmark(NAME SOURCES a.cpp LIBS lib1): Google Benchmark programs in
# <build>/bench; `./do bench` runs them all (meaningful in the Release build only).
function(veltmoor_benchmark name)
    if(NOT VELTMOOR_BENCHMARKS)
        return()
    endif()
    cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${B_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
    target_link_libraries(${name} PRIVATE ${B_LIBS} veltmoor_options benchmark::benchmark)
endfunction()
