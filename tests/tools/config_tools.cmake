# stamp_version: a copy of the installer with another download address (PrivateBuild).
qv_tool(stamp_version SOURCES stamp_version.cpp LIBS qv_test_version_block)
if(WIN32)
    qv_test(stamp_version_test WINE_ONLY SOURCES stamp_version_test.cpp
        LIBS qv_config_win32 qv_test_version_block)
    target_compile_definitions(stamp_version_test PRIVATE
        QV_TEST_STAMP_VERSION="$<TARGET_FILE:stamp_version>"
        QV_TEST_PRODUCT_EXE="${QV_INSTALLER_EXE}")
    add_dependencies(stamp_version_test stamp_version QuorvinOnlineInstaller)
endif()
