# ui_driver: drives the running installer's dialog, tray menu and cancel question like a user.
if(WIN32)
    add_executable(ui_driver ui_driver.cpp)
    target_link_libraries(ui_driver PRIVATE qv_options user32)
    target_link_options(ui_driver PRIVATE -municode)
    set_target_properties(ui_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endif()
