# Tools of the engine tests: the loopback HTTP server (http_server.py, started through
# server_launcher.py, both run from the source tree) and a sample setup program that the server
# delivers and the installer runs.
qv_tool(sample_setup SOURCES sample_setup.cpp LIBS advapi32)
