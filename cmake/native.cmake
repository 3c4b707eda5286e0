# Native (Linux) build of the portable code: its tests under AddressSanitizer
# and UndefinedBehaviorSanitizer, plus libFuzzer targets when clang is used.
option(TESSEL_SANITIZE "Build portable code with ASan/UBSan" ON)
if(TESSEL_SANITIZE)
  set(SAN -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_compile_options(tessel_portable PUBLIC ${SAN})
  target_link_options(tessel_portable PUBLIC ${SAN})
endif()
target_compile_options(tessel_portable PRIVATE -Wall -Wextra)

file(GLOB NATIVE_TEST_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/tests/listing/*.cpp
     ${CMAKE_SOURCE_DIR}/tests/portable/*.cpp)
if(NATIVE_TEST_SOURCES)
  add_executable(test_portable ${NATIVE_TEST_SOURCES})
  target_link_libraries(test_portable tessel_portable gtest_main)
  target_compile_definitions(test_portable PRIVATE TESSEL_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data")
  add_test(NAME portable COMMAND test_portable)
endif()

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*.cpp)
  foreach(src ${FUZZ_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} tessel_portable)
  endforeach()
endif()
