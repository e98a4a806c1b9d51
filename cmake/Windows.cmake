# Cross build: the Windows program, its framework layer and the tests that run
# under Wine.
enable_language(C RC)

# CTest runs the Windows programs under Wine through the project's harness.
# Set before any executable target, which takes the emulator when created.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
endif()
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")

# The version of project() reaches the version resource and the manifest
# through generated files; version.txt tells scripts/package.sh.
set(VARNOW_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(res/VarnowVersion.h.in ${VARNOW_GENERATED_DIR}/VarnowVersion.h @ONLY)
configure_file(res/Varnow.manifest.in ${VARNOW_GENERATED_DIR}/Varnow.exe.manifest @ONLY)
file(CONFIGURE OUTPUT ${VARNOW_GENERATED_DIR}/version.txt CONTENT "${PROJECT_VERSION}\n")
include_directories(${VARNOW_GENERATED_DIR})

file(GLOB FRAMEWORK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/framework/*.cpp)
add_library(win_framework STATIC ${FRAMEWORK_SOURCES})
target_link_libraries(win_framework PUBLIC relay_core comctl32 shell32 comdlg32 ole32 user32 gdi32 advapi32)

file(GLOB APP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/ui/*.cpp)
list(REMOVE_ITEM APP_SOURCES ${CMAKE_SOURCE_DIR}/app/SectionName.cpp)
add_executable(Varnow WIN32 ${APP_SOURCES} ${CMAKE_SOURCE_DIR}/res/Varnow.rc)
target_link_libraries(Varnow PRIVATE win_framework version)
# No link time in the header: the same sources give the same program.
target_link_options(Varnow PRIVATE -municode -Wl,--no-insert-timestamp)

# GoogleTest from Debian's sources, built with the cross compiler.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# Small Windows programs the tests start as second processes (a producer that
# holds a job file open, a registry reader, ...).
file(GLOB HELPER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/helpers/*.cpp)
foreach(helper ${HELPER_SOURCES})
  get_filename_component(name ${helper} NAME_WE)
  add_executable(${name} ${helper})
  target_link_libraries(${name} PRIVATE win_framework)
  list(APPEND HELPER_TARGETS ${name})
endforeach()

file(GLOB WINE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*.cpp)
if(WINE_TEST_SOURCES)
  add_executable(wine_tests ${WINE_TEST_SOURCES})
  target_link_libraries(wine_tests PRIVATE win_framework gtest gtest_main)
  # The tray icon and the one-copy object are tested in-process, with the
  # program's menu, icons and strings.
  target_sources(wine_tests PRIVATE ${CMAKE_SOURCE_DIR}/ui/TrayIcon.cpp ${CMAKE_SOURCE_DIR}/app/SectionCopy.cpp
                                    ${CMAKE_SOURCE_DIR}/res/Varnow.rc)
  target_compile_definitions(wine_tests PRIVATE VARNOW_BIN_DIR="${CMAKE_BINARY_DIR}"
                                                VARNOW_VERSION="${PROJECT_VERSION}")
  target_link_libraries(wine_tests PRIVATE version)
  if(HELPER_TARGETS)
    add_dependencies(wine_tests ${HELPER_TARGETS} Varnow)
  endif()
  gtest_discover_tests(wine_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 180 RUN_SERIAL TRUE)
endif()

# The soak: two copies of Varnow.exe, their producers and printers for a few
# minutes. Not a CTest test; scripts/wine-soak.sh runs it once.
add_executable(wine_soak
  ${CMAKE_SOURCE_DIR}/tests/wine/soak/Soak_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/wine/soak/SoakJobs.cpp
  ${CMAKE_SOURCE_DIR}/tests/wine/VarnowDriver.cpp
  ${CMAKE_SOURCE_DIR}/tests/wine/PlatformTestSupport.cpp)
target_link_libraries(wine_soak PRIVATE win_framework gtest gtest_main)
target_compile_definitions(wine_soak PRIVATE VARNOW_BIN_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(wine_soak Varnow menuspy)

# The bare relay loop that scripts/measure.sh sets Varnow.exe's backlog beside.
add_executable(bare_relay ${CMAKE_SOURCE_DIR}/bench/bare_relay.cpp)

# Drives Varnow.exe for the manual's screenshots (scripts/build-manual.sh).
add_executable(WindowShot ${CMAKE_SOURCE_DIR}/docs/manual/WindowShot.cpp)
target_compile_definitions(WindowShot PRIVATE _WIN32_WINNT=0x0600)
target_link_libraries(WindowShot PRIVATE advapi32 user32)
target_link_options(WindowShot PRIVATE -municode)

# The shipped program must need no MinGW runtime DLLs.
add_test(NAME VarnowImportsOnlySystemDlls
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-imports.sh ${VARNOW_OBJDUMP} $<TARGET_FILE:Varnow>)

# Read the menus that Varnow.exe shows from inside its process (see MenuSpy.cpp).
add_library(menuspy SHARED ${CMAKE_SOURCE_DIR}/tests/wine/menuspy/MenuSpy.cpp)
set_target_properties(menuspy PROPERTIES PREFIX "")
target_link_options(menuspy PRIVATE -Wl,--kill-at -static)
if(TARGET wine_tests)
  add_dependencies(wine_tests menuspy)
endif()
