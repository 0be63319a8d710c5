# vantora_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [MEDIA] [ENV k=v ...])
#   A GoogleTest executable whose tests are registered one by one with CTest.
#   LABELS defaults to "unit". MEDIA makes every test require the generated
#   test clips (fixture "media"). Under VANTORA_THREADS_ONLY only executables
#   labelled "threads" are built.
function(vantora_test name)
  cmake_parse_arguments(T "MEDIA" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(VANTORA_THREADS_ONLY AND NOT "threads" IN_LIST T_LABELS)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads ${T_LIBS})
  target_compile_definitions(${name} PRIVATE
    VANTORA_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VANTORA_BINARY_DIR="${CMAKE_BINARY_DIR}")
  set(env "VANTORA_TEST_MEDIA=${VANTORA_TEST_MEDIA_DIR}" "VANTORA_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
          "VANTORA_BINARY_DIR=${CMAKE_BINARY_DIR}" "QT_QPA_PLATFORM=offscreen" ${T_ENV})
  set(props LABELS "${T_LABELS}" ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT})
  if(T_MEDIA)
    list(APPEND props FIXTURES_REQUIRED media)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# vantora_fuzz(<name> SOURCES ... [LIBS ...] [SECONDS n])
#   A libFuzzer target, built only with VANTORA_FUZZ (clang). scripts/test runs
#   every target listed in fuzz_targets.txt for its number of seconds.
function(vantora_fuzz name)
  cmake_parse_arguments(F "" "SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT VANTORA_FUZZ)
    return()
  endif()
  if(NOT F_SECONDS)
    set(F_SECONDS 20)
  endif()
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  add_dependencies(all_fuzz_targets ${name})
  file(APPEND ${CMAKE_BINARY_DIR}/fuzz_targets.txt "${name} ${F_SECONDS} ${CMAKE_CURRENT_SOURCE_DIR}\n")
endfunction()
