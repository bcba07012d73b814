# Signs one file with osslsigncode and checks the signature it made.
#
# Included by Signing.cmake at configure time (a trial signature proves the certificate,
# key and password work) and run after every link of Setup.exe and Uninstall.exe:
#   cmake -DSIGN_FILE=<Setup.exe> -DSIGN_SETTINGS=<build>/signing/settings.cmake -P SignFile.cmake
# (-DSIGN_PROGRAM=Uninstall stores SIGN_UNINSTALL_DESCRIPTION as the program name instead.)
# The settings file sets SIGN_TOOL, SIGN_OPENSSL, SIGN_ARGS (certificate, key and password
# options), SIGN_DESCRIPTION, SIGN_UNINSTALL_DESCRIPTION, SIGN_URL, SIGN_TIMESTAMP_URLS and
# SIGN_CA_BUNDLE.
#
# The program is signed into a temporary file, which replaces it only once its signature
# checks out. On any failure the program itself is deleted: a build that was asked to sign
# never leaves an unsigned program behind, and the next build links and signs it again.

# A tool's output, indented so that CMake prints its lines as they are.
function(melvora_indent text out_var)
    string(STRIP "${text}" text)
    string(REGEX REPLACE "\n[ \t\r\n]*" "\n    " text "${text}")
    set(${out_var} "    ${text}" PARENT_SCOPE)
endfunction()

# Checks the signature of `file`: the digest stored in it must match the file, the
# signature must be valid for its certificate, the certificate must be valid now and allow
# code signing, and with `need_timestamp` a timestamp must be present. Whether the chain
# leads to a root this machine trusts is not the build's business (test certificates are
# self-signed), so the certificates carried by the signature are trusted for the check.
# Sets `result_var` to "" on success or to what went wrong, `summary_var` to a short
# description of the signature.
function(melvora_check_signature file need_timestamp result_var summary_var)
    set(sig "${file}.p7.pem")
    set(anchors "${file}.anchors.pem")
    file(REMOVE "${sig}" "${anchors}")
    execute_process(COMMAND "${SIGN_TOOL}" extract-signature -pem -in "${file}" -out "${sig}"
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 60)
    if(rc EQUAL 0)
        execute_process(COMMAND "${SIGN_OPENSSL}" pkcs7 -print_certs -in "${sig}" -out "${anchors}"
            RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 60)
    endif()
    if(NOT rc EQUAL 0)
        file(REMOVE "${sig}" "${anchors}")
        melvora_indent("${out}" out)
        set(${result_var} "the new signature could not be read back:\n${out}" PARENT_SCOPE)
        return()
    endif()
    # A certificate issued by a public authority usually leaves its root out of the
    # signature; the system's bundle supplies it.
    if(SIGN_CA_BUNDLE AND EXISTS "${SIGN_CA_BUNDLE}")
        file(READ "${SIGN_CA_BUNDLE}" bundle)
        file(APPEND "${anchors}" "${bundle}")
    endif()
    # -ignore-crl: the build does not go online to fetch revocation lists.
    execute_process(COMMAND "${SIGN_TOOL}" verify -in "${file}" -CAfile "${anchors}" -ignore-crl
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 120)
    file(REMOVE "${sig}" "${anchors}")

    string(REGEX MATCH "Current message digest *: *([0-9A-Fa-f]+)" _ "${out}")
    set(stored "${CMAKE_MATCH_1}")
    string(REGEX MATCH "Calculated message digest *: *([0-9A-Fa-f]+)" _ "${out}")
    set(calculated "${CMAKE_MATCH_1}")
    set(problem "")
    if(stored STREQUAL "" OR NOT stored STREQUAL calculated)
        set(problem "the digest stored in the signature does not match the file")
    elseif(NOT rc EQUAL 0 OR NOT out MATCHES "\nSignature verification: ok")
        set(problem "the signature does not verify (expired certificate, or one not made for code signing?)")
    elseif(need_timestamp AND NOT out MATCHES "Timestamp time: ")
        set(problem "the signature carries no timestamp")
    endif()
    if(problem)
        melvora_indent("${out}" out)
        set(${result_var} "${problem}. osslsigncode verify said:\n${out}" PARENT_SCOPE)
        return()
    endif()

    string(FIND "${out}" "Signer's certificate:" at)
    set(summary "SHA-256")
    if(at GREATER_EQUAL 0)
        string(SUBSTRING "${out}" ${at} -1 signer)
        if(signer MATCHES "Subject: ([^\n]*)")
            string(APPEND summary ", signer ${CMAKE_MATCH_1}")
        endif()
    endif()
    if(out MATCHES "Timestamp time: ([^\n]*)")
        string(APPEND summary ", timestamp ${CMAKE_MATCH_1}")
        # The timestamp authority's chain is checked against the system's bundle only; a
        # private authority is reported, not refused.
        if(NOT out MATCHES "Timestamp Server Signature verification: ok")
            message(WARNING "The timestamp is present, but its server's certificate "
                            "is not trusted by ${SIGN_CA_BUNDLE}.")
        endif()
    endif()
    set(${result_var} "" PARENT_SCOPE)
    set(${summary_var} "${summary}" PARENT_SCOPE)
endfunction()

# Signs `in` into `out` (SHA-256, with the description, the URL and, when `use_timestamp`
# and servers are set, a timestamp) and checks the result. Sets `result_var` to "" on
# success or to what went wrong; `out` exists only on success.
function(melvora_sign_file in out use_timestamp result_var summary_var)
    file(REMOVE "${out}")
    set(cmd "${SIGN_TOOL}" sign ${SIGN_ARGS} -h sha256 -n "${SIGN_DESCRIPTION}")
    if(NOT SIGN_URL STREQUAL "")
        list(APPEND cmd -i "${SIGN_URL}")
    endif()
    set(need_timestamp OFF)
    if(use_timestamp AND SIGN_TIMESTAMP_URLS)
        set(need_timestamp ON)
        foreach(url IN LISTS SIGN_TIMESTAMP_URLS)   # tried in turn until one answers
            list(APPEND cmd -ts "${url}")
        endforeach()
    endif()
    execute_process(COMMAND ${cmd} -in "${in}" -out "${out}"
        RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log TIMEOUT 300)
    if(NOT rc EQUAL 0 OR NOT EXISTS "${out}")
        file(REMOVE "${out}")
        if(need_timestamp AND log MATCHES "timestamping failed")
            set(hint "the timestamp server did not answer")
        else()
            set(hint "wrong password, or a key that does not belong to the certificate?")
        endif()
        melvora_indent("${log}" log)
        set(${result_var} "osslsigncode failed (${hint}):\n${log}" PARENT_SCOPE)
        return()
    endif()
    melvora_check_signature("${out}" ${need_timestamp} problem summary)
    if(problem)
        file(REMOVE "${out}")
    endif()
    set(${result_var} "${problem}" PARENT_SCOPE)
    set(${summary_var} "${summary}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED SIGN_FILE)
    include("${SIGN_SETTINGS}")
    if(SIGN_PROGRAM STREQUAL "Uninstall")
        set(SIGN_DESCRIPTION "${SIGN_UNINSTALL_DESCRIPTION}")
    endif()
    get_filename_component(name "${SIGN_FILE}" NAME)
    get_filename_component(dir "${SIGN_FILE}" DIRECTORY)
    get_filename_component(stem "${SIGN_FILE}" NAME_WLE)
    get_filename_component(ext "${SIGN_FILE}" LAST_EXT)
    set(signed "${dir}/${stem}.signing${ext}")   # same folder, so the rename cannot fail half-way
    melvora_sign_file("${SIGN_FILE}" "${signed}" ON problem summary)
    if(problem)
        file(REMOVE "${signed}" "${SIGN_FILE}")
        message(FATAL_ERROR "Signing ${name} failed: ${problem}\n"
                            "${name} was deleted so that no unsigned copy is left behind.")
    endif()
    file(RENAME "${signed}" "${SIGN_FILE}")
    message(STATUS "Signed ${name}: ${summary}")
endif()
