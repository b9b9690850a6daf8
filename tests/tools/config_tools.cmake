# The release stamp tool (tools/stamp_installer) on copies of the real installer.
if(WIN32)
    qv_test(stamp_installer_test WINE_ONLY SOURCES stamp_installer_test.cpp
        LIBS qv_config_win32 qv_version_block FIXTURES engine_signed_samples)
    target_compile_definitions(stamp_installer_test PRIVATE
        QV_TEST_STAMP_INSTALLER="$<TARGET_FILE:stamp_installer>"
        QV_TEST_PRODUCT_EXE="$<TARGET_FILE:QuorvinOnlineInstaller>"
        QV_TEST_SIGNED_DIR="${CMAKE_BINARY_DIR}/tests/engine/signed-samples")
    add_dependencies(stamp_installer_test stamp_installer QuorvinOnlineInstaller)
endif()
