# Tools of the engine tests: the loopback HTTP server (http_server.py, run from the source tree)
# and a sample setup program that the server delivers and the installer runs.
if(WIN32)
    add_executable(sample_setup sample_setup.cpp)
    target_link_libraries(sample_setup PRIVATE qv_options advapi32)
    target_link_options(sample_setup PRIVATE -municode)
    set_target_properties(sample_setup PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endif()
