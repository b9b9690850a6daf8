# Tools of the engine tests: the loopback HTTP server (http_server.py, started through
# server_launcher.py, both run from the source tree), a sample setup program that the server
# delivers and the installer runs (signed at test time by test_signing.py), and a program that
# tries what another program may do with a file.
qv_tool(sample_setup SOURCES sample_setup.cpp LIBS advapi32)
qv_tool(file_probe SOURCES file_probe.cpp)
