# Build helpers shared by every folder.
#
# The handheld program works in 16-bit characters and the installer in 8-bit ones, so
# libraries whose interfaces carry native-width text are compiled twice: <name>_w (16-bit)
# and <name>_a (8-bit). KELVANO_WIDE selects the width inside the sources.

# Splits the .cpp files of the calling folder into sources, tests (name_test.cpp) and
# libFuzzer targets (name_fuzz.cpp).
macro(kelvano_glob_sources)
  file(GLOB _all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(KELVANO_SOURCES "")
  set(KELVANO_TESTS "")
  set(KELVANO_FUZZERS "")
  foreach(_f ${_all})
    if(_f MATCHES "_test\\.cpp$")
      list(APPEND KELVANO_TESTS ${_f})
    elseif(_f MATCHES "_fuzz\\.cpp$")
      list(APPEND KELVANO_FUZZERS ${_f})
    else()
      list(APPEND KELVANO_SOURCES ${_f})
    endif()
  endforeach()
endmacro()

# The test programs that run code on more than one thread, in process or in the programs
# they start (device service, shell tool, game): `make tsan` builds them, through the target
# kelvano_threaded_tests, and runs their tests, labelled "threaded".
set(KELVANO_THREADED_TESTS
    host_base_test host_ui_test host_audio_test foundation_a_test foundation_w_test anim_w_test
    skin_test game_test gameui_test kelvano_test kelvano_e2e_test setuplib_test
    device_service_test device_rapi_test install_device_test setup_e2e_test setup_trouble_test)
add_custom_target(kelvano_threaded_tests)

# kelvano_test(<target> SOURCES ... LINK ...): a GoogleTest program registered with CTest.
function(kelvano_test target)
  cmake_parse_arguments(K "" "" "SOURCES;LINK" ${ARGN})
  if(NOT K_SOURCES)
    return()
  endif()
  add_executable(${target} ${K_SOURCES})
  target_link_libraries(${target} PRIVATE ${K_LINK} GTest::gtest GTest::gtest_main)
  # Programs the tests run fail on memory they leave in use at the end. The discovery passes
  # the properties on as one flat list, so no value may hold a ";": each variable comes
  # through a property of its own.
  set(_label "")
  if(target IN_LIST KELVANO_THREADED_TESTS)
    set(_label LABELS threaded)
    add_dependencies(kelvano_threaded_tests ${target})
  endif()
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST
                       PROPERTIES ${_label} ENVIRONMENT "KELVANO_TEST=1"
                                  ENVIRONMENT_MODIFICATION "KELVANO_LEAK_CHECK=set:fail")
endfunction()

# kelvano_fuzzers(<library> <files>...): with KELVANO_FUZZ, one libFuzzer program per
# name_fuzz.cpp, linked with the library; `make fuzz` runs each for a short time. Without it,
# a fuzzer with inputs in testdata/fuzz-regressions/<name>/ beside it is built as a plain
# program, name_replay, that the test name_regressions runs on each of them.
function(kelvano_fuzzers library)
  if(NOT KELVANO_FUZZ)
    foreach(_f ${ARGN})
      get_filename_component(_name ${_f} NAME_WE)
      get_filename_component(_dir ${_f} DIRECTORY)
      set(_cases ${_dir}/testdata/fuzz-regressions/${_name})
      if(IS_DIRECTORY ${_cases})
        add_executable(${_name}_replay ${_f} ${CMAKE_SOURCE_DIR}/tests/support/fuzz_replay_main.cpp)
        target_link_libraries(${_name}_replay PRIVATE ${library})
        add_test(NAME ${_name}_regressions COMMAND ${_name}_replay ${_cases})
        set_tests_properties(${_name}_regressions PROPERTIES ENVIRONMENT "KELVANO_TEST=1")
      endif()
    endforeach()
    return()
  endif()
  foreach(_f ${ARGN})
    get_filename_component(_name ${_f} NAME_WE)
    add_executable(${_name} ${_f})
    target_link_libraries(${_name} PRIVATE ${library})
    target_link_options(${_name} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${_name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  endforeach()
endfunction()

# kelvano_library(<name> [WIDTHS] [SHARED] SOURCES ... TESTS ... FUZZERS ... LINK ...
#                 WIDTH_LINK ...)
# With WIDTHS, builds <name>_a and <name>_w and links the matching variant of each
# WIDTH_LINK library; otherwise builds <name>. Libraries are static unless SHARED (one copy
# for a program and every library it loads). Tests are built for every variant, fuzzers
# against the 8-bit one.
function(kelvano_library name)
  cmake_parse_arguments(K "WIDTHS;SHARED" "" "SOURCES;TESTS;FUZZERS;LINK;WIDTH_LINK" ${ARGN})
  set(_type STATIC)
  if(K_SHARED)
    set(_type SHARED)
  endif()
  if(K_WIDTHS)
    set(_variants a w)
  else()
    set(_variants "")
  endif()
  if(NOT _variants)
    add_library(${name} ${_type} ${K_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${K_LINK})
    kelvano_test(${name}_test SOURCES ${K_TESTS} LINK ${name})
    kelvano_fuzzers(${name} ${K_FUZZERS})
    return()
  endif()
  foreach(_w ${_variants})
    set(_t ${name}_${_w})
    add_library(${_t} ${_type} ${K_SOURCES})
    target_include_directories(${_t} PUBLIC ${CMAKE_SOURCE_DIR})
    if(_w STREQUAL "w")
      target_compile_definitions(${_t} PUBLIC KELVANO_WIDE=1)
    else()
      target_compile_definitions(${_t} PUBLIC KELVANO_WIDE=0)
    endif()
    target_link_libraries(${_t} PUBLIC ${K_LINK})
    foreach(_d ${K_WIDTH_LINK})
      target_link_libraries(${_t} PUBLIC ${_d}_${_w})
    endforeach()
    kelvano_test(${_t}_test SOURCES ${K_TESTS} LINK ${_t})
  endforeach()
  kelvano_fuzzers(${name}_a ${K_FUZZERS})
endfunction()

include(Resources)

# kelvano_check_layers(<test> TARGETS ... FORBID <regex> [SOURCES <dir> INCLUDES <regex>]
#                      [EXPECT_FAULT]):
# a CTest test that fails when anything in the transitive link closure of the targets
# matches FORBID, or a file under SOURCES includes a header matching INCLUDES. The closure
# is read from the targets' link properties once every folder is configured, so a forbidden
# library added anywhere (to the target, or to any library it links, privately or not) is
# caught without building anything; the include scan catches the use before a link would.
# EXPECT_FAULT turns the test around, to show that the check sees a forbidden library.
function(kelvano_check_layers test)
  cmake_parse_arguments(K "EXPECT_FAULT" "FORBID;SOURCES;INCLUDES" "TARGETS" ${ARGN})
  # A deferred call reads its arguments when it runs, so they are written into it now.
  cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]] CALL \
    _kelvano_check_layers [[${test}]] [[${K_EXPECT_FAULT}]] [[${K_FORBID}]] [[${K_SOURCES}]] \
    [[${K_INCLUDES}]] [[${K_TARGETS}]])")
endfunction()

function(_kelvano_check_layers test expectFault forbid sources includes targets)
  set(_todo ${targets})
  set(_seen "")
  while(_todo)
    list(POP_FRONT _todo _item)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" _item "${_item}")
    if(_item MATCHES "^::@" OR _item IN_LIST _seen)
      continue() # directory markers CMake inserts, and libraries already walked
    endif()
    list(APPEND _seen "${_item}")
    if(TARGET "${_item}")
      foreach(_property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
        get_target_property(_libs "${_item}" ${_property})
        if(_libs)
          list(APPEND _todo ${_libs})
        endif()
      endforeach()
    endif()
  endwhile()
  set(_config ${CMAKE_BINARY_DIR}/layers/${test}.cmake)
  file(WRITE ${_config} "set(CLOSURE [==[${_seen}]==])\nset(FORBID [==[${forbid}]==])\n"
                        "set(SOURCES [==[${sources}]==])\nset(INCLUDES [==[${includes}]==])\n")
  add_test(NAME ${test} COMMAND ${CMAKE_COMMAND} -DCONFIG=${_config}
                                -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayers.cmake)
  set_tests_properties(${test} PROPERTIES WILL_FAIL ${expectFault})
endfunction()
