# Helpers shared by every folder's CMakeLists.

set(VEL_ROOT ${CMAKE_SOURCE_DIR})

# vel_windows_resources(target): links the message table (and any common resources) into an
# executable; the runtime reads its texts from the executable's own string resources.
function(vel_windows_resources target)
  if(WIN32)
    target_sources(${target} PRIVATE ${VEL_MESSAGES_RC})
    add_dependencies(${target} vel_generated_messages)
  endif()
endfunction()

# vel_compile_windows(name SOURCES file.win ...): compiles window sources (tools/wslc.py) into
# ${VEL_GEN_DIR}/windows_<name>/: one DABDUMP .bin per module, windows.rc embedding them,
# listing.inc (the canonical listing of the sources) and bytes.inc (the resource bytes as C++
# arrays, for host tests). Target vel_windows_<name> builds them.
function(vel_compile_windows name)
  cmake_parse_arguments(W "" "" "SOURCES" ${ARGN})
  set(dir ${VEL_GEN_DIR}/windows_${name})
  set(tool ${VEL_ROOT}/tools/wslc.py)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_custom_command(OUTPUT ${dir}/windows.rc ${dir}/listing.inc ${dir}/bytes.inc
    COMMAND ${Python3_EXECUTABLE} ${tool} --out-dir ${dir} --rc ${dir}/windows.rc
            --listing ${dir}/listing.inc --bytes ${dir}/bytes.inc ${W_SOURCES}
    DEPENDS ${W_SOURCES} ${tool}
    COMMENT "Compiling window descriptors (${name})" VERBATIM)
  add_custom_target(vel_windows_${name} DEPENDS ${dir}/windows.rc ${dir}/listing.inc ${dir}/bytes.inc)
endfunction()

# vel_window_resources(target [NAME name]): links the window descriptors compiled by
# vel_compile_windows (default: the program's own windows, set "program") into an executable
# and lets its sources include the generated listing.inc and bytes.inc.
function(vel_window_resources target)
  cmake_parse_arguments(W "" "NAME" "" ${ARGN})
  if(NOT W_NAME)
    set(W_NAME program)
  endif()
  set(dir ${VEL_GEN_DIR}/windows_${W_NAME})
  if(WIN32)
    target_sources(${target} PRIVATE ${dir}/windows.rc)
  endif()
  target_include_directories(${target} PRIVATE ${dir})
  add_dependencies(${target} vel_windows_${W_NAME})
endfunction()

# vel_test(name SOURCES ... LIBS ... [WINDOWS_ONLY] [HOST_ONLY] [LABELS ...])
# One test program, run once by ctest (under Wine in the Windows build).
function(vel_test name)
  cmake_parse_arguments(T "WINDOWS_ONLY;HOST_ONLY" "" "SOURCES;LIBS;LABELS;ARGS" ${ARGN})
  if(T_WINDOWS_ONLY AND NOT WIN32)
    return()
  endif()
  if(T_HOST_ONLY AND WIN32)
    return()
  endif()
  add_executable(${name} ${T_SOURCES} ${VEL_ROOT}/tests/support/check_main.cpp)
  target_include_directories(${name} PRIVATE ${VEL_ROOT} ${VEL_ROOT}/tests)
  target_link_libraries(${name} PRIVATE ${T_LIBS})
  vel_windows_resources(${name})
  add_test(NAME ${name} COMMAND ${name} ${T_ARGS})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# vel_fuzz(name SOURCES ... LIBS ... [SECONDS n]): a libFuzzer target, run for a bounded time.
function(vel_fuzz name)
  cmake_parse_arguments(F "" "SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT VEL_FUZZ)
    return()
  endif()
  if(NOT F_SECONDS)
    set(F_SECONDS 20)
  endif()
  add_executable(${name} ${F_SOURCES})
  target_include_directories(${name} PRIVATE ${VEL_ROOT})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
  file(MAKE_DIRECTORY ${corpus})
  add_test(NAME ${name}
           COMMAND ${name} -max_total_time=${F_SECONDS} -rss_limit_mb=2048 -print_final_stats=0 ${corpus})
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 300)
endfunction()

# vel_bench(name SOURCES ... LIBS ... [WINDOWS_ONLY] [HOST_ONLY] [NO_SMOKE]): a benchmark
# program (named bench_*), built in every tree. scripts/bench measures with it; ctest runs it
# once in its smoke mode (AFC_BENCH_SMOKE=1: every case on small sizes, label "bench"), so that
# a benchmark that no longer runs fails the tests. NO_SMOKE: a benchmark that needs servers,
# smoke-run through its script instead (bench/CMakeLists.txt).
function(vel_bench name)
  cmake_parse_arguments(B "WINDOWS_ONLY;HOST_ONLY;NO_SMOKE" "" "SOURCES;LIBS" ${ARGN})
  if(B_WINDOWS_ONLY AND NOT WIN32)
    return()
  endif()
  if(B_HOST_ONLY AND WIN32)
    return()
  endif()
  add_executable(${name} ${B_SOURCES})
  target_include_directories(${name} PRIVATE ${VEL_ROOT})
  target_link_libraries(${name} PRIVATE ${B_LIBS})
  vel_windows_resources(${name})
  if(NOT B_NO_SMOKE)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "AFC_BENCH_SMOKE=1" LABELS bench TIMEOUT 300)
  endif()
endfunction()
