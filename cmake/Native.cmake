# Native build: engine unit tests and the copy benchmark.
find_package(GTest REQUIRED)
include(GoogleTest)

file(GLOB NATIVE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cpp
  ${CMAKE_SOURCE_DIR}/tests/native/sim/*.cpp)
add_executable(relay_tests ${NATIVE_TEST_SOURCES})
target_link_libraries(relay_tests PRIVATE relay_core GTest::gtest GTest::gtest_main)
# The sanitizer builds run fewer schedules of the simulation: their checks of
# memory and threads matter there, not the breadth of the search.
if(VARNOW_SANITIZE)
  target_compile_definitions(relay_tests PRIVATE VARNOW_SIM_FIXED_SEEDS=500)
endif()
gtest_discover_tests(relay_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)

if(EXISTS ${CMAKE_SOURCE_DIR}/bench/copy_bench.cpp)
  add_executable(copy_bench bench/copy_bench.cpp)
  target_link_libraries(copy_bench PRIVATE relay_core)
endif()
