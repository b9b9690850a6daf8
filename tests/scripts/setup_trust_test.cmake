# The configure-time rules of what the build requires of the setup program
# (cmake/QvSetupTrust.cmake), case by case. Run: cmake -P setup_trust_test.cmake
cmake_minimum_required(VERSION 3.21)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/QvSetupTrust.cmake)

set(_hash "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad")
string(TOUPPER "${_hash}" _hash_upper)
string(SUBSTRING "${_hash}" 1 63 _hash_short)
# Each case: name|url|signer|sha256|error expected (0/1)|warning expected (0/1)
set(_cases
    "default loopback address|http://127.0.0.1:8765/QuorvinSetup.exe|||0|0"
    "https, nothing required|https://downloads.example.com/QuorvinSetup.exe|||0|0"
    "HTTPS in capitals|HTTPS://downloads.example.com/QuorvinSetup.exe|||0|0"
    "plain http to a server|http://downloads.example.com/QuorvinSetup.exe|||0|1"
    "plain http in capitals|HTTP://downloads.example.com/QuorvinSetup.exe|||0|1"
    "no scheme: opened as http|downloads.example.com/QuorvinSetup.exe|||0|1"
    "another loopback name|http://localhost:8765/QuorvinSetup.exe|||0|1"
    "a host that only starts like loopback|http://127.0.0.1.example.com/a.exe|||0|1"
    "plain http, signer set|http://downloads.example.com/a.exe|Quorvin||0|0"
    "plain http, hash set|http://downloads.example.com/a.exe||${_hash}|0|0"
    "hash in capitals|http://downloads.example.com/a.exe||${_hash_upper}|0|0"
    "hash one digit short|https://x/a.exe||${_hash_short}|1|0"
    "hash not hexadecimal|https://x/a.exe||${_hash_short}g|1|0"
    "hash with a blank|https://x/a.exe||${_hash_short} |1|0"
)
set(_failures 0)
foreach(_case IN LISTS _cases)
    string(REPLACE "|" ";" _fields "${_case}")
    list(GET _fields 0 _name)
    list(GET _fields 1 _url)
    list(GET _fields 2 _signer)
    list(GET _fields 3 _sha256)
    list(GET _fields 4 _want_error)
    list(GET _fields 5 _want_warning)
    qv_setup_trust_findings("${_url}" "${_signer}" "${_sha256}" _error _warning)
    set(_got_error 0)
    set(_got_warning 0)
    if(_error)
        set(_got_error 1)
    endif()
    if(_warning)
        set(_got_warning 1)
    endif()
    if(NOT _got_error EQUAL _want_error OR NOT _got_warning EQUAL _want_warning)
        message("FAIL ${_name}: error=${_got_error} (want ${_want_error}) '${_error}', "
            "warning=${_got_warning} (want ${_want_warning}) '${_warning}'")
        math(EXPR _failures "${_failures} + 1")
    endif()
endforeach()

# Values written into the resource script: quotes doubled, backslashes escaped.
qv_rc_string([[Quorvin "Test" Signer\x]] _rc)
if(NOT _rc STREQUAL [[Quorvin ""Test"" Signer\\x]])
    message("FAIL resource-script string: ${_rc}")
    math(EXPR _failures "${_failures} + 1")
endif()

if(_failures GREATER 0)
    message(FATAL_ERROR "${_failures} case(s) failed")
endif()
message("all cases hold")
