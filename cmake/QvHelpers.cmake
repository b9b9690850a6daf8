include(GoogleTest)

# Options every target of the project shares.
add_library(qv_options INTERFACE)
target_compile_options(qv_options INTERFACE $<$<COMPILE_LANGUAGE:C,CXX>:-Wall -Wextra>)
if(WIN32)
    enable_language(RC)
    target_compile_definitions(qv_options INTERFACE
        UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601
        _WIN32_IE=0x0800)
    # Unused functions and data are dropped from every Windows binary, the shipped exe above all.
    target_compile_options(qv_options INTERFACE
        $<$<COMPILE_LANGUAGE:C,CXX>:-ffunction-sections -fdata-sections>
        $<$<COMPILE_LANGUAGE:CXX>:-include ${PROJECT_SOURCE_DIR}/src/common/lean_string_config.h>)
    target_link_options(qv_options INTERFACE -static -static-libgcc -static-libstdc++
        -Wl,--gc-sections)
    # Resource scripts are UTF-8; 65001 makes windres store the Chinese texts exactly.
    set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001 -O coff")
    # Tests run under Wine through this wrapper (private prefix and display under the build tree).
    # The system's interpreter first: a version-manager shim costs each test most of a second.
    find_program(QV_PYTHON3 python3 HINTS /usr/bin REQUIRED)
    set(QV_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-run.in ${QV_WINE_RUN} @ONLY
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                         WORLD_READ WORLD_EXECUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QV_WINE_RUN})
    execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-can-run ${QV_MINGW_ARCH}
        RESULT_VARIABLE _wine_rc OUTPUT_QUIET ERROR_QUIET)
    if(_wine_rc EQUAL 0)
        set(QV_WINE_TESTS ON)
    else()
        set(QV_WINE_TESTS OFF)
        message(STATUS "Wine cannot run ${QV_MINGW_ARCH} programs here: tests are built, not registered")
    endif()
else()
    if(QV_SANITIZE)
        target_compile_options(qv_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
            -fno-sanitize-recover=all)
        target_link_options(qv_options INTERFACE -fsanitize=address,undefined)
    endif()
endif()

# qv_test(NAME SOURCES ... [LIBS ...] [WINE_ONLY] [LABELS ...] [RESOURCE_LOCK name]
#         [FIXTURES name ...])
# A GoogleTest executable; cross-built tests run under Wine through the emulator. Tests that
# share a RESOURCE_LOCK (say, a registry key of the prefix) never run at the same time; FIXTURES
# names CTest fixtures (files made at test time) that must be set up before the tests run.
function(qv_test name)
    cmake_parse_arguments(T "WINE_ONLY" "RESOURCE_LOCK" "SOURCES;LIBS;LABELS;FIXTURES" ${ARGN})
    if(T_WINE_ONLY AND NOT WIN32)
        return()
    endif()
    if(WIN32)
        add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/common/wine_test_main.cpp)
        target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest qv_options)
    else()
        add_executable(${name} ${T_SOURCES})
        target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest_main qv_options)
    endif()
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
    if(WIN32)
        if(NOT QV_WINE_TESTS)
            return()
        endif()
        list(APPEND T_LABELS wine)
    else()
        list(APPEND T_LABELS native)
    endif()
    # The properties are set by a script that CTest reads after the discovery script, on every
    # test the discovery listed: handed through gtest_discover_tests(PROPERTIES), a list value
    # such as two labels is flattened on the way and swallows the properties after it.
    set(_script "${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake")
    set(_lock "")
    if(T_RESOURCE_LOCK)
        set(_lock "RESOURCE_LOCK [==[${T_RESOURCE_LOCK}]==]")
    endif()
    set(_fixtures "")
    if(T_FIXTURES)
        set(_fixtures "FIXTURES_REQUIRED [==[${T_FIXTURES}]==]")
    endif()
    file(WRITE "${_script}" "foreach(_qv_test IN LISTS ${name}_TESTS)
    set_tests_properties(\"\${_qv_test}\" PROPERTIES LABELS [==[${T_LABELS}]==] TIMEOUT 60 ${_lock}
        ${_fixtures})
endforeach()
")
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
        TEST_LIST ${name}_TESTS)
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${_script}")
endfunction()

# qv_tool(NAME SOURCES ... [LIBS ...])
# A Windows helper program of the tests (wWinMain or wmain), built into ${CMAKE_BINARY_DIR}/bin
# where the tests, the demo and the bench look for it. Nothing on other hosts. Tools see the
# installer's own headers (resource ids, user texts) rather than restating them.
function(qv_tool name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    if(NOT WIN32)
        return()
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} qv_options)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/res
        ${PROJECT_SOURCE_DIR}/tests)
    target_link_options(${name} PRIVATE -municode)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endfunction()
