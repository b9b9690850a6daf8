# stamp_version: a copy of the installer with another download address (PrivateBuild).
if(WIN32)
    add_executable(stamp_version stamp_version.cpp)
    target_link_libraries(stamp_version PRIVATE qv_test_version_block qv_options)
    target_include_directories(stamp_version PRIVATE ${PROJECT_SOURCE_DIR}/src
        ${PROJECT_SOURCE_DIR}/tests)
    target_link_options(stamp_version PRIVATE -municode)
    set_target_properties(stamp_version PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

    qv_test(stamp_version_test WINE_ONLY SOURCES stamp_version_test.cpp
        LIBS qv_config_win32 qv_test_version_block)
    target_compile_definitions(stamp_version_test PRIVATE
        QV_TEST_STAMP_VERSION="$<TARGET_FILE:stamp_version>"
        QV_TEST_PRODUCT_EXE="$<TARGET_FILE:QuorvinOnlineInstaller>")
    add_dependencies(stamp_version_test stamp_version QuorvinOnlineInstaller)
endif()
