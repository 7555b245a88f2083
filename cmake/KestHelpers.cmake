# kest_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [TIMEOUT <s>])
# One ctest test per test executable; under the win32 and win64 presets ctest runs it through
# Wine (CMAKE_CROSSCOMPILING_EMULATOR).
function(kest_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} kest_gtest_main)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
  if(NOT T_TIMEOUT AND CMAKE_CROSSCOMPILING)
    # Under Wine a start that hangs is cut off after 150 s (the slowest suite needs about
    # 20 s); scripts/test.sh then runs the program once more.
    set(T_TIMEOUT 150)
  elseif(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "KEST_BIN_DIR=${KEST_BIN_DIR};KEST_SOURCE_DIR=${CMAKE_SOURCE_DIR};KEST_TEST_TMP=${CMAKE_BINARY_DIR}/testtmp")
endfunction()
