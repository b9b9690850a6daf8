# Tools of the engine tests: the loopback HTTP server (http_server.py, started through
# server_launcher.py, both run from the source tree), a sample setup program that the server
# delivers and the installer runs (signed at test time by test_signing.py), and a program that
# tries what another program may do with a file.
qv_tool(sample_setup SOURCES sample_setup.cpp LIBS advapi32)
# trust_test_root: trusts a throw-away test root CA in a Wine prefix for the HTTPS tests.
qv_tool(trust_test_root SOURCES trust_test_root.cpp LIBS crypt32)
qv_tool(file_probe SOURCES file_probe.cpp)
