# vantora_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [MEDIA] [ENV k=v ...])
#   A GoogleTest executable whose tests are registered one by one with CTest.
#   LABELS defaults to "unit". MEDIA makes every test require the generated
#   test clips (fixture "media"). Under VANTORA_THREADS_ONLY only executables
#   labelled "threads" are built.
function(vantora_test name)
  cmake_parse_arguments(T "MEDIA" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  if(NOT BUILD_TESTING)
    return()
  endif()
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
  # Includes are rooted at the module ("image/udf_writer.h").
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads ${T_LIBS})
  target_compile_definitions(${name} PRIVATE
    VANTORA_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VANTORA_BINARY_DIR="${CMAKE_BINARY_DIR}")
  set(env "VANTORA_TEST_MEDIA=${VANTORA_TEST_MEDIA_DIR}" "VANTORA_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
          "VANTORA_BINARY_DIR=${CMAKE_BINARY_DIR}" "QT_QPA_PLATFORM=offscreen" ${T_ENV})
  # gtest_discover_tests flattens list-valued PROPERTIES, so the properties are
  # set by a script that CTest runs after the discovered tests are defined.
  set(fixture "")
  if(T_MEDIA)
    set(fixture "FIXTURES_REQUIRED media")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_LIST ${name}_TESTS)
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake")
  file(GENERATE OUTPUT ${script} CONTENT
"if(${name}_TESTS)
  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS [==[${T_LABELS}]==]
    ENVIRONMENT [==[${env}]==] TIMEOUT ${T_TIMEOUT} ${fixture})
endif()
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# vantora_fuzz(<name> SOURCES ... [LIBS ...] [SECONDS n] [SEEDS dir])
#   A libFuzzer target, built only with VANTORA_FUZZ (clang). scripts/test runs
#   every target listed in fuzz_targets.txt for its number of seconds.
function(vantora_fuzz name)
  cmake_parse_arguments(F "" "SECONDS;SEEDS" "SOURCES;LIBS" ${ARGN})
  if(NOT VANTORA_FUZZ OR NOT BUILD_TESTING)
    return()
  endif()
  if(NOT F_SECONDS)
    set(F_SECONDS 20)
  endif()
  add_executable(${name} ${F_SOURCES})
  # Includes are rooted at the module, as for the tests.
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  add_dependencies(all_fuzz_targets ${name})
  file(APPEND ${CMAKE_BINARY_DIR}/fuzz_targets.txt "${name} ${F_SECONDS} ${F_SEEDS}\n")
endfunction()

# vantora_module_tests(<prefix> LIBS ...)
#   Registers the tests and fuzz targets that sit beside a module's sources, by
#   file name, so several people can add tests without editing the same lines:
#     *_test.cpp          -> <prefix>_tests          label unit (with the test clips)
#     *_e2e_test.cpp      -> <prefix>_e2e_tests      label e2e (external validators)
#     *_threads_test.cpp  -> <prefix>_threads_tests  label threads (also run under tsan)
#     *_big_test.cpp      -> <prefix>_big_tests      label big (left out of scripts/test)
#     *_fuzz.cpp          -> fuzz target <prefix>_<stem>_fuzz (<prefix>_fuzz when the stem
#                            is the prefix); seconds from
#                            FUZZ_SECONDS_<stem> when set, else 20
#                            and seeds from fuzz_seeds/<stem>/
#     *_testutil.cpp      -> linked into every test executable of the module
function(vantora_module_tests prefix)
  cmake_parse_arguments(M "RECURSE" "" "LIBS" ${ARGN})
  if(NOT BUILD_TESTING)
    return()
  endif()
  if(M_RECURSE)
    vantora_glob_tree(tests "*_test.cpp")
    vantora_glob_tree(utils "*_testutil.cpp")
    vantora_glob_tree(fuzzers "*_fuzz.cpp")
  else()
    file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
    file(GLOB utils CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_testutil.cpp)
    file(GLOB fuzzers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_fuzz.cpp)
  endif()
  set(unit "")
  set(e2e "")
  set(threads "")
  set(big "")
  foreach(f IN LISTS tests)
    if(f MATCHES "_e2e_test\\.cpp$")
      list(APPEND e2e ${f})
    elseif(f MATCHES "_threads_test\\.cpp$")
      list(APPEND threads ${f})
    elseif(f MATCHES "_big_test\\.cpp$")
      list(APPEND big ${f})
    else()
      list(APPEND unit ${f})
    endif()
  endforeach()
  if(unit)
    vantora_test(${prefix}_tests SOURCES ${unit} ${utils} LIBS ${M_LIBS} LABELS unit MEDIA)
  endif()
  if(e2e)
    vantora_test(${prefix}_e2e_tests SOURCES ${e2e} ${utils} LIBS ${M_LIBS} LABELS e2e MEDIA TIMEOUT 900)
  endif()
  if(threads)
    vantora_test(${prefix}_threads_tests SOURCES ${threads} ${utils} LIBS ${M_LIBS} LABELS threads MEDIA)
  endif()
  if(big)
    vantora_test(${prefix}_big_tests SOURCES ${big} ${utils} LIBS ${M_LIBS} LABELS big MEDIA TIMEOUT 3600)
  endif()
  foreach(f IN LISTS fuzzers)
    get_filename_component(stem ${f} NAME_WE)
    get_filename_component(fdir ${f} DIRECTORY)
    string(REGEX REPLACE "_fuzz$" "" stem ${stem})
    set(seconds 20)
    if(DEFINED FUZZ_SECONDS_${stem})
      set(seconds ${FUZZ_SECONDS_${stem}})
    endif()
    if(stem STREQUAL prefix)
      set(target ${prefix}_fuzz)
    else()
      set(target ${prefix}_${stem}_fuzz)
    endif()
    vantora_fuzz(${target} SOURCES ${f} LIBS ${M_LIBS} SECONDS ${seconds}
                 SEEDS ${fdir}/fuzz_seeds/${stem})
  endforeach()
endfunction()

# vantora_glob_tree(<var> <pattern>) — files matching the pattern in the
# module's folder and its subfolders, leaving out test_tools/ and fuzz_seeds/.
function(vantora_glob_tree var pattern)
  file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${pattern})
  list(FILTER found EXCLUDE REGEX "/(test_tools|fuzz_seeds)/")
  set(${var} ${found} PARENT_SCOPE)
endfunction()

# vantora_sources(<var> [RECURSE]) — the module's library sources: every .cpp
# beside the CMakeLists.txt (with RECURSE, also in its subfolders) that is not
# a test, test utility or fuzz target.
function(vantora_sources var)
  cmake_parse_arguments(S "RECURSE" "" "" ${ARGN})
  if(S_RECURSE)
    vantora_glob_tree(all "*.cpp")
  else()
    file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  list(FILTER all EXCLUDE REGEX "_(test|testutil|fuzz)\\.cpp$")
  set(${var} ${all} PARENT_SCOPE)
endfunction()

# vantora_shared_library(<name> SOURCES ... [PUBLIC libs...] [PRIVATE libs...])
#   The module's code compiled once, with hidden visibility, as the object
#   library <name>_objects, and the shared library <name> made of it, which
#   exports only what the public headers in include/ mark for export (the
#   static platform layers it links privately stay inside it too). The
#   module's tests and benchmarks link <name>_objects, so they still reach the
#   internal classes. A version script keeps the dynamic symbol table to the
#   module's own namespace (<name>::): the standard library's template
#   instances the module happens to hold stay inside it.
function(vantora_shared_library name)
  cmake_parse_arguments(L "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  add_library(${name}_objects OBJECT ${L_SOURCES})
  set_target_properties(${name}_objects PROPERTIES CXX_VISIBILITY_PRESET hidden)
  target_include_directories(${name}_objects PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                                             PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_objects PUBLIC ${L_PUBLIC} PRIVATE ${L_PRIVATE})
  add_library(${name} SHARED $<TARGET_OBJECTS:${name}_objects>)
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  target_link_libraries(${name} PUBLIC ${L_PUBLIC} PRIVATE ${L_PRIVATE})
  set(hidden_archives "")
  foreach(lib IN LISTS L_PRIVATE)
    if(TARGET ${lib})
      get_target_property(type ${lib} TYPE)
      if(type STREQUAL "STATIC_LIBRARY")
        list(APPEND hidden_archives "$<TARGET_LINKER_FILE_NAME:${lib}>")
      endif()
    endif()
  endforeach()
  if(hidden_archives)
    list(JOIN hidden_archives ":" archives)
    target_link_options(${name} PRIVATE "LINKER:--exclude-libs,${archives}")
  endif()
  # The type information and virtual tables of the namespace's classes, by
  # their mangled names (typeinfo, its name, vtable, VTT).
  string(LENGTH ${name} length)
  set(ns "N${length}${name}")
  set(map ${CMAKE_CURRENT_BINARY_DIR}/${name}.map)
  file(WRITE ${map} "{\n  global:\n    extern \"C++\" {\n      ${name}::*;\n    };\n"
                    "    _ZTI${ns}*;\n    _ZTS${ns}*;\n    _ZTV${ns}*;\n    _ZTT${ns}*;\n  local: *;\n};\n")
  target_link_options(${name} PRIVATE "LINKER:--version-script=${map}")
  set_target_properties(${name} PROPERTIES LINK_DEPENDS ${map})
endfunction()
