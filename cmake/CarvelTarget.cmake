# Common compile settings for every target of the project.
set(CARVEL_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
if(CARVEL_WERROR)
  list(APPEND CARVEL_WARNINGS -Werror)
endif()

set(CARVEL_QT_DEFINES QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING QT_NO_NARROWING_CONVERSIONS_IN_CONNECT QT_NO_KEYWORDS)

if(CARVEL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(CARVEL_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

function(carvel_setup target)
  target_compile_options(${target} PRIVATE ${CARVEL_WARNINGS})
  target_compile_definitions(${target} PRIVATE ${CARVEL_QT_DEFINES})
endfunction()

# carvel_test(name SOURCES... LIBS...): one GoogleTest executable per folder; nothing without
# BUILD_TESTING.
function(carvel_test name)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  carvel_setup(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} carvel_testing GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SDL_AUDIODRIVER=dummy;CARVEL_TESTDATA=${CMAKE_SOURCE_DIR}/testdata/third-party"
    TIMEOUT 300)
endfunction()
