# Authenticode signing of Setup.exe and Uninstall.exe. Off unless a certificate is given:
#   -DSIGN_PKCS12=cert.p12 -DSIGN_PASSWORD_FILE=cert.pass      (or SIGN_PASSWORD=...)
#   -DSIGN_CERT=cert.pem -DSIGN_KEY=key.pem [-DSIGN_PASSWORD_FILE=key.pass]
#   optional: -DSIGN_TIMESTAMP_URL=http://timestamp.example/ -DSIGN_URL=https://www.example/
# Every link of either program is then followed by signing it (SignFile.cmake). A
# configuration that cannot sign stops at configure time, before anything is built.

set(SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file (.p12/.pfx) with the code-signing certificate and its key; empty: Setup.exe is not signed")
set(SIGN_CERT "" CACHE FILEPATH "Code-signing certificate (PEM or DER; a PEM file may add its chain), instead of SIGN_PKCS12, with SIGN_KEY")
set(SIGN_KEY "" CACHE FILEPATH "Private key of SIGN_CERT (PEM or DER)")
set(SIGN_PASSWORD_FILE "" CACHE FILEPATH "File whose first line is the password of SIGN_PKCS12 or SIGN_KEY")
set(SIGN_PASSWORD "" CACHE STRING "Password of SIGN_PKCS12 or SIGN_KEY (kept in CMakeCache.txt: prefer SIGN_PASSWORD_FILE)")
set(SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 timestamp server(s), tried in turn (;-separated); empty: no timestamp")
set(SIGN_URL "" CACHE STRING "Web address stored in the signature beside its description")
# ASCII: the signature stores this name in a string type that has no room for Korean.
set(SIGN_DESCRIPTION "MELVORA Setup" CACHE STRING "Program name stored in the signature")
set(SIGN_UNINSTALL_DESCRIPTION "MELVORA Uninstall" CACHE STRING "Program name stored in Uninstall.exe's signature")

set(MELVORA_SIGNING_DIR "${CMAKE_BINARY_DIR}/signing")
set(MELVORA_SIGNED_FILES)
foreach(_program Setup Uninstall)
    get_target_property(_dir ${_program} RUNTIME_OUTPUT_DIRECTORY)
    get_target_property(_name ${_program} OUTPUT_NAME)
    list(APPEND MELVORA_SIGNED_FILES "${_dir}/${_name}${CMAKE_EXECUTABLE_SUFFIX}")
endforeach()

# A program left from an unsigned build must not pass for the signed one that was asked for.
function(melvora_signing_fail why)
    file(REMOVE ${MELVORA_SIGNED_FILES})
    message(FATAL_ERROR "Signing: ${why}\nNothing is built while signing is configured and "
                        "cannot be done.")
endfunction()

# The settings and password files are link dependencies of Setup.exe: rewriting them
# unchanged must not re-sign it on every configure. Sets `changed_var` when it wrote.
function(melvora_write_if_changed path content changed_var)
    set(${changed_var} OFF PARENT_SCOPE)
    if(EXISTS "${path}")
        file(READ "${path}" old)
        if(old STREQUAL content)
            return()
        endif()
    endif()
    file(WRITE "${path}" "${content}")
    set(${changed_var} ON PARENT_SCOPE)
endfunction()

# `set(name <value>)` with the value bracket-quoted, whatever characters it holds.
function(melvora_cmake_set name value out_var)
    set(eq "")
    while(value MATCHES "]${eq}]")
        string(APPEND eq "=")
    endwhile()
    set(${out_var} "set(${name} [${eq}[${value}]${eq}])\n" PARENT_SCOPE)
endfunction()

function(melvora_require_file var)
    if(NOT EXISTS "${${var}}" OR IS_DIRECTORY "${${var}}")
        melvora_signing_fail("${var} names no file: '${${var}}'")
    endif()
endfunction()

if(SIGN_PKCS12 STREQUAL "" AND SIGN_CERT STREQUAL "" AND SIGN_KEY STREQUAL "")
    foreach(var SIGN_PASSWORD SIGN_PASSWORD_FILE SIGN_TIMESTAMP_URL SIGN_URL)
        if(NOT ${var} STREQUAL "")
            melvora_signing_fail("${var} is set, but no certificate is: give SIGN_PKCS12, or SIGN_CERT and SIGN_KEY.")
        endif()
    endforeach()
    # Signing again later starts from fresh settings, so whatever was built meanwhile is signed.
    file(REMOVE_RECURSE "${MELVORA_SIGNING_DIR}")
    message(STATUS "Signing: off (give SIGN_PKCS12, or SIGN_CERT and SIGN_KEY, to sign Setup.exe and Uninstall.exe)")
    return()
endif()

# -- which certificate, key and password -----------------------------------------------
set(_credentials)
if(NOT SIGN_PKCS12 STREQUAL "")
    if(NOT SIGN_CERT STREQUAL "" OR NOT SIGN_KEY STREQUAL "")
        melvora_signing_fail("give either SIGN_PKCS12 or SIGN_CERT and SIGN_KEY, not both.")
    endif()
    melvora_require_file(SIGN_PKCS12)
    set(_credentials -pkcs12 "${SIGN_PKCS12}")
else()
    if(SIGN_CERT STREQUAL "" OR SIGN_KEY STREQUAL "")
        melvora_signing_fail("SIGN_CERT and SIGN_KEY go together: give both, or SIGN_PKCS12.")
    endif()
    melvora_require_file(SIGN_CERT)
    melvora_require_file(SIGN_KEY)
    set(_credentials -certs "${SIGN_CERT}" -key "${SIGN_KEY}")
endif()

set(_password_file "${MELVORA_SIGNING_DIR}/password")
if(NOT SIGN_PASSWORD_FILE STREQUAL "" AND NOT SIGN_PASSWORD STREQUAL "")
    melvora_signing_fail("give either SIGN_PASSWORD or SIGN_PASSWORD_FILE, not both.")
elseif(NOT SIGN_PASSWORD_FILE STREQUAL "")
    melvora_require_file(SIGN_PASSWORD_FILE)
    file(REMOVE "${_password_file}")
    set(_password_file "${SIGN_PASSWORD_FILE}")
    list(APPEND _credentials -readpass "${_password_file}")
elseif(NOT SIGN_PASSWORD STREQUAL "")
    # Handed to osslsigncode in a private file, so it appears in no command line.
    file(MAKE_DIRECTORY "${MELVORA_SIGNING_DIR}")
    file(CHMOD "${MELVORA_SIGNING_DIR}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    melvora_write_if_changed("${_password_file}" "${SIGN_PASSWORD}\n" _changed)
    list(APPEND _credentials -readpass "${_password_file}")
else()
    file(REMOVE "${_password_file}")
    set(_password_file "")
    # An encrypted key without a password would make OpenSSL ask on the terminal mid-build.
    if(NOT SIGN_KEY STREQUAL "")
        file(STRINGS "${SIGN_KEY}" _encrypted REGEX "ENCRYPTED" LIMIT_COUNT 1)
        if(_encrypted)
            melvora_signing_fail("SIGN_KEY '${SIGN_KEY}' is encrypted: give its password in SIGN_PASSWORD_FILE.")
        endif()
    endif()
endif()

# -- the tools ---------------------------------------------------------------------------
find_program(OSSLSIGNCODE_PROGRAM osslsigncode)
find_program(OPENSSL_PROGRAM openssl)
foreach(tool OSSLSIGNCODE_PROGRAM OPENSSL_PROGRAM)
    if(NOT ${tool})
        melvora_signing_fail("${tool} not found; install the packages osslsigncode and openssl (tools/install-deps.sh).")
    endif()
endforeach()
execute_process(COMMAND "${OSSLSIGNCODE_PROGRAM}" --version OUTPUT_VARIABLE _version ERROR_VARIABLE _version)
set(_ca_bundle "")
if(_version MATCHES "Default -CAfile location: ([^\n]+)")
    string(STRIP "${CMAKE_MATCH_1}" _ca_bundle)
endif()

# -- settings for SignFile.cmake ----------------------------------------------------------
set(_settings_file "${MELVORA_SIGNING_DIR}/settings.cmake")
set(_settings "# Written by cmake/Signing.cmake; read by cmake/SignFile.cmake.\n")
foreach(pair "SIGN_TOOL;${OSSLSIGNCODE_PROGRAM}" "SIGN_OPENSSL;${OPENSSL_PROGRAM}"
             "SIGN_DESCRIPTION;${SIGN_DESCRIPTION}" "SIGN_UNINSTALL_DESCRIPTION;${SIGN_UNINSTALL_DESCRIPTION}"
             "SIGN_URL;${SIGN_URL}" "SIGN_CA_BUNDLE;${_ca_bundle}")
    list(GET pair 0 name)
    list(SUBLIST pair 1 -1 value)
    melvora_cmake_set(${name} "${value}" line)
    string(APPEND _settings "${line}")
endforeach()
melvora_cmake_set(SIGN_ARGS "${_credentials}" line)
string(APPEND _settings "${line}")
melvora_cmake_set(SIGN_TIMESTAMP_URLS "${SIGN_TIMESTAMP_URL}" line)
string(APPEND _settings "${line}")
file(MAKE_DIRECTORY "${MELVORA_SIGNING_DIR}")
melvora_write_if_changed("${_settings_file}" "${_settings}" _changed)
if(_changed)
    # Whatever programs are there were built unsigned or signed otherwise; until the next
    # build signs them, there are none.
    file(REMOVE ${MELVORA_SIGNED_FILES})
endif()

# -- a trial signature, so a wrong certificate or password stops here -----------------------
include("${CMAKE_CURRENT_LIST_DIR}/SignFile.cmake")
include("${_settings_file}")
set(_trial "${MELVORA_SIGNING_DIR}/trial.ps1")
file(WRITE "${_trial}" "# MELVORA signing check\r\n")
set(_trial_signed "${MELVORA_SIGNING_DIR}/trial-signed.ps1")   # osslsigncode goes by the extension
melvora_sign_file("${_trial}" "${_trial_signed}" OFF _problem _summary)
file(REMOVE "${_trial}" "${_trial_signed}")
if(_problem)
    melvora_signing_fail("the certificate cannot sign (check SIGN_PKCS12, or SIGN_CERT and SIGN_KEY, and the password): ${_problem}")
endif()
if(SIGN_TIMESTAMP_URL STREQUAL "")
    message(STATUS "Signing: Setup.exe and Uninstall.exe will be signed (${_summary}; no timestamp)")
else()
    message(STATUS "Signing: Setup.exe and Uninstall.exe will be signed (${_summary}; timestamps from ${SIGN_TIMESTAMP_URL})")
endif()

# -- sign after every link ----------------------------------------------------------------
# A new certificate, password or setting signs both programs again.
set(_sign_inputs "${_settings_file}" "${CMAKE_CURRENT_LIST_DIR}/SignFile.cmake")
foreach(var SIGN_PKCS12 SIGN_CERT SIGN_KEY)
    if(NOT ${var} STREQUAL "")
        list(APPEND _sign_inputs "${${var}}")
    endif()
endforeach()
if(_password_file)
    list(APPEND _sign_inputs "${_password_file}")
endif()
foreach(_program Setup Uninstall)
    add_custom_command(TARGET ${_program} POST_BUILD
        COMMAND "${CMAKE_COMMAND}" "-DSIGN_FILE=$<TARGET_FILE:${_program}>" "-DSIGN_SETTINGS=${_settings_file}"
                "-DSIGN_PROGRAM=${_program}" -P "${CMAKE_CURRENT_LIST_DIR}/SignFile.cmake"
        COMMENT "Signing ${_program}.exe"
        VERBATIM)
    set_property(TARGET ${_program} APPEND PROPERTY LINK_DEPENDS ${_sign_inputs})
endforeach()
