# What the build requires of the downloaded setup program (QV_SETUP_SIGNER, QV_SETUP_SHA256), the
# checks of those settings at configure time, and the escaping of build values for the resource
# script. Included by the top-level CMakeLists.txt and by the tests of these rules (cmake -P).

# qv_setup_trust_findings(URL SIGNER SHA256 ERROR_VAR WARNING_VAR)
# Sets ERROR_VAR to why the settings cannot be built (a SHA-256 that is not 64 hexadecimal
# digits), else empty; and WARNING_VAR to why the build is unsafe (neither setting while the
# address is plain HTTP to a host other than 127.0.0.1: whoever is on the network path then
# chooses what runs), else empty. An address without a scheme is opened as plain HTTP.
function(qv_setup_trust_findings url signer sha256 error_var warning_var)
    set(_error "")
    set(_warning "")
    if(NOT sha256 STREQUAL "" AND NOT sha256 MATCHES "^[0-9A-Fa-f]+$")
        set(_error "QV_SETUP_SHA256 must be 64 hexadecimal digits, not \"${sha256}\"")
    else()
        string(LENGTH "${sha256}" _length)
        if(NOT _length EQUAL 0 AND NOT _length EQUAL 64)
            set(_error "QV_SETUP_SHA256 must be 64 hexadecimal digits, not ${_length}")
        endif()
    endif()
    if(signer STREQUAL "" AND sha256 STREQUAL "")
        string(TOLOWER "${url}" _lower)
        if(NOT _lower MATCHES "^https://")
            string(REGEX REPLACE "^http://" "" _rest "${_lower}")
            string(REGEX MATCH "^[^/:?#]*" _host "${_rest}")
            if(NOT _host STREQUAL "127.0.0.1")
                string(CONCAT _warning "QV_DOWNLOAD_URL is plain HTTP to ${_host} and neither "
                    "QV_SETUP_SIGNER nor QV_SETUP_SHA256 is set: anyone on the network path "
                    "chooses what the installer runs. Set one of them (README: What the "
                    "installer runs).")
            endif()
        endif()
    endif()
    set(${error_var} "${_error}" PARENT_SCOPE)
    set(${warning_var} "${_warning}" PARENT_SCOPE)
endfunction()

# qv_rc_string(VALUE OUT_VAR)
# VALUE written as the inside of a resource-script string: quotes doubled, backslashes escaped.
function(qv_rc_string value out_var)
    string(REPLACE "\\" "\\\\" _text "${value}")
    string(REPLACE "\"" "\"\"" _text "${_text}")
    set(${out_var} "${_text}" PARENT_SCOPE)
endfunction()
