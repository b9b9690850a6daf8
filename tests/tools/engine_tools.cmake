# Tools of the engine tests: the loopback HTTP server (http_server.py, started through
# server_launcher.py, both run from the source tree) and a sample setup program that the server
# delivers and the installer runs.
qv_tool(sample_setup SOURCES sample_setup.cpp LIBS advapi32)
# trust_test_root: trusts a throw-away test root CA in a Wine prefix for the HTTPS tests.
qv_tool(trust_test_root SOURCES trust_test_root.cpp LIBS crypt32)
