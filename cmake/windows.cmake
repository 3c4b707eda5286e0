find_package(Python3 REQUIRED COMPONENTS Interpreter)
# Windows (mingw-w64, i686 or x86_64) build: tesselcore.dll, tessel95.exe, tesselsetup.exe
# and the Wine-run tests.

add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501 _WIN32_IE=0x0500)
# Users get binaries that need nothing beside them: no libgcc, libstdc++ or
# winpthread DLLs.
set(TESSEL_STATIC_LINK -static -static-libgcc -static-libstdc++)
target_compile_options(tessel_portable PRIVATE -Wall)

file(GLOB CORE_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/engine/*.cpp
     ${CMAKE_SOURCE_DIR}/sites/*.cpp
     ${CMAKE_SOURCE_DIR}/shellext/*.cpp)
file(GLOB CORE_RESOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sites/*.rc ${CMAKE_SOURCE_DIR}/shellext/*.rc)
set(CORE_LIBS ws2_32 user32 gdi32 comctl32 comdlg32 advapi32 shell32 ole32 oleaut32 uuid winmm shlwapi)

# The library's code once, as a static library: the DLL wraps it with the
# ordinal table, and tests link it directly to reach internal functions.
add_library(tesselcore_static STATIC ${CORE_SOURCES})
target_include_directories(tesselcore_static PUBLIC ${CMAKE_SOURCE_DIR}/include
                           ${CMAKE_SOURCE_DIR}/engine ${CMAKE_SOURCE_DIR}/sites ${CMAKE_SOURCE_DIR}/shellext)
target_link_libraries(tesselcore_static PUBLIC tessel_portable ${CORE_LIBS})
target_compile_options(tesselcore_static PRIVATE -Wall)

find_program(MINGW_NM ${TOOLCHAIN_PREFIX}-nm REQUIRED)
set(DECORATED_DEF ${CMAKE_BINARY_DIR}/tesselcore.decorated.def)
add_custom_command(OUTPUT ${DECORATED_DEF}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/decorate_def.py ${MINGW_NM}
          ${CMAKE_SOURCE_DIR}/tesselcore.def ${DECORATED_DEF}
          $<TARGET_FILE:tesselcore_static> $<TARGET_FILE:tessel_portable>
  DEPENDS ${CMAKE_SOURCE_DIR}/tesselcore.def ${CMAKE_SOURCE_DIR}/tools/decorate_def.py
          tesselcore_static tessel_portable
  COMMENT "Decorating the export table")
add_custom_target(tesselcore_def DEPENDS ${DECORATED_DEF})
add_library(tesselcore SHARED ${CMAKE_SOURCE_DIR}/engine/dllmain.c ${CORE_RESOURCES})
add_dependencies(tesselcore tesselcore_def)
set_property(TARGET tesselcore APPEND PROPERTY LINK_DEPENDS ${DECORATED_DEF})
set_target_properties(tesselcore PROPERTIES PREFIX "" OUTPUT_NAME tesselcore)
target_link_libraries(tesselcore PRIVATE -Wl,--whole-archive tesselcore_static tessel_portable -Wl,--no-whole-archive
                      ${CORE_LIBS})
target_link_options(tesselcore PRIVATE ${TESSEL_STATIC_LINK} -Wl,--kill-at ${DECORATED_DEF})
# The linker's import library would carry the plain names too; rebuild it so
# that callers' decorated stdcall references resolve to the plain exports.
find_program(MINGW_DLLTOOL ${TOOLCHAIN_PREFIX}-dlltool REQUIRED)
add_custom_command(TARGET tesselcore POST_BUILD
  COMMAND ${MINGW_DLLTOOL} -k -d ${DECORATED_DEF} -D tesselcore.dll -l $<TARGET_LINKER_FILE:tesselcore>
  COMMENT "Import library for tesselcore")

# Test programs: one per tests/<area> folder, linked with the static library.
function(tessel_wine_test name)
  file(GLOB srcs CONFIGURE_DEPENDS ${ARGN})
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs} ${CMAKE_SOURCE_DIR}/tests/support/testmain.cpp
                 ${CMAKE_SOURCE_DIR}/tests/support/fakeftp.cpp)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  target_link_libraries(${name} PRIVATE tesselcore_static gtest)
  target_link_options(${name} PRIVATE ${TESSEL_STATIC_LINK} -Wl,--enable-stdcall-fixup)
  target_compile_definitions(${name} PRIVATE TESSEL_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
                             TESSEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  # Each case runs as its own Wine process so that one crash or hang is
  # reported against that case alone.
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES TIMEOUT 90 ENVIRONMENT "TESSEL_BUILD_DIR=${CMAKE_BINARY_DIR}")
endfunction()

tessel_wine_test(test_engine   ${CMAKE_SOURCE_DIR}/tests/engine/*.cpp)
tessel_wine_test(test_listing  ${CMAKE_SOURCE_DIR}/tests/listing/*.cpp)
tessel_wine_test(test_sites    ${CMAKE_SOURCE_DIR}/tests/sites/*.cpp)
tessel_wine_test(test_shellext ${CMAKE_SOURCE_DIR}/tests/shellext/*.cpp)
tessel_wine_test(test_client   ${CMAKE_SOURCE_DIR}/tests/client/*.cpp)
tessel_wine_test(test_setup    ${CMAKE_SOURCE_DIR}/tests/setup/*.cpp)
if(TARGET test_engine)
  add_dependencies(test_engine tesselcore)
endif()
# The session and shell extension tests show the library's dialogs from the
# code linked into the test program, so the program carries the resources.
foreach(t test_sites test_shellext)
  if(TARGET ${t})
    target_sources(${t} PRIVATE ${CORE_RESOURCES})
    add_dependencies(${t} tesselcore)
  endif()
endforeach()

# Small command-line driver over the exports: the demo and the benchmarks use it.
add_executable(tesseldrv ${CMAKE_SOURCE_DIR}/tools/tesseldrv.cpp)
target_include_directories(tesseldrv PRIVATE ${CMAKE_SOURCE_DIR}/include)
target_link_libraries(tesseldrv PRIVATE tesselcore ws2_32 user32)
target_link_options(tesseldrv PRIVATE ${TESSEL_STATIC_LINK} -Wl,--enable-stdcall-fixup)

if(EXISTS ${CMAKE_SOURCE_DIR}/client/CMakeLists.txt)
  add_subdirectory(client)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/setup/CMakeLists.txt)
  add_subdirectory(setup)
endif()
