# The release stamp tool (tools/stamp_installer) on copies of the real installer.
if(WIN32)
    qv_test(stamp_installer_test WINE_ONLY SOURCES stamp_installer_test.cpp
        LIBS qv_config_win32 qv_version_block FIXTURES engine_signed_samples)
    target_compile_definitions(stamp_installer_test PRIVATE
        QV_TEST_STAMP_INSTALLER="$<TARGET_FILE:stamp_installer>"
        QV_TEST_PRODUCT_EXE="${QV_INSTALLER_EXE}"
        QV_TEST_SIGNED_DIR="${CMAKE_BINARY_DIR}/tests/engine/signed-samples")
    add_dependencies(stamp_installer_test stamp_installer QuorvinOnlineInstaller)
endif()

if(WIN32 AND QV_WINE_TESTS)
    # scripts/stamp, the release engineer's command, running that tool under this tree's Wine.
    add_test(NAME stamp_script
        COMMAND ${QV_PYTHON3} ${PROJECT_SOURCE_DIR}/tests/scripts/stamp_script_test.py
            ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/tests/engine/signed-samples)
    set_tests_properties(stamp_script PROPERTIES LABELS "wine" TIMEOUT 240
        FIXTURES_REQUIRED engine_signed_samples)
endif()
