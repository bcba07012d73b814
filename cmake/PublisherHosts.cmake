# The publisher's three servers are settings of the build. Each is "host" or "host:port";
# without a port the requests go to the scheme's own port (80 for http, 443 for https).
set(PRODUCT_HOST "127.0.0.1:47080" CACHE STRING "Product web server, host[:port]")
set(STATS_HOST "127.0.0.1:47081" CACHE STRING "Statistics server, host[:port]")
set(LOG_HOST "127.0.0.1:47082" CACHE STRING "Log server, host[:port]")
# How the servers are reached, and whose programs the installer accepts.
set(PUBLISHER_SCHEME "http" CACHE STRING "Scheme of every address the installer builds: http or https")
set_property(CACHE PUBLISHER_SCHEME PROPERTY STRINGS http https)
set(DOWNLOAD_SIGNER "" CACHE STRING
    "Common name of the signer that every downloaded .exe and .dll must be signed by; empty: no check")

if(PUBLISHER_SCHEME STREQUAL "http")
    set(PUBLISHER_HTTPS 0)
    set(default_port 80)
elseif(PUBLISHER_SCHEME STREQUAL "https")
    set(PUBLISHER_HTTPS 1)
    set(default_port 443)
else()
    message(FATAL_ERROR "PUBLISHER_SCHEME must be http or https, not '${PUBLISHER_SCHEME}'")
endif()

function(melvora_split_host value out_host out_port)
    if(value MATCHES "^([^:/ ]+)(:([0-9]+))?$")
        set(host "${CMAKE_MATCH_1}")
        set(port "${CMAKE_MATCH_3}")   # quoted: an empty match must not unset it
        if(port STREQUAL "")
            set(port ${default_port})
        elseif(port LESS 1 OR port GREATER 65535)
            message(FATAL_ERROR "Port out of range in '${value}'")
        endif()
    else()
        message(FATAL_ERROR "A server must be given as host or host:port, not '${value}'")
    endif()
    set(${out_host} ${host} PARENT_SCOPE)
    set(${out_port} ${port} PARENT_SCOPE)
endfunction()

melvora_split_host("${PRODUCT_HOST}" PRODUCT_HOST_NAME PRODUCT_PORT)
melvora_split_host("${STATS_HOST}" STATS_HOST_NAME STATS_PORT)
melvora_split_host("${LOG_HOST}" LOG_HOST_NAME LOG_PORT)
set(PRODUCT_ORIGIN "${PUBLISHER_SCHEME}://${PRODUCT_HOST}")
message(STATUS "Publisher servers: product ${PRODUCT_ORIGIN}, statistics ${STATS_HOST_NAME}:${STATS_PORT}, "
               "log ${LOG_HOST_NAME}:${LOG_PORT}, ${PUBLISHER_SCHEME}")

# The signer's name goes into a wide string literal: it is compared with the certificate's
# name as Unicode, whatever the user's code page.
set(control_characters)
foreach(code RANGE 1 31)
    string(ASCII ${code} ch)
    string(APPEND control_characters "${ch}")
endforeach()
string(ASCII 127 ch)
if(DOWNLOAD_SIGNER MATCHES "[${control_characters}${ch}]")
    message(FATAL_ERROR "DOWNLOAD_SIGNER must not hold control characters")
endif()
string(REPLACE "\\" "\\\\" DOWNLOAD_SIGNER_LITERAL "${DOWNLOAD_SIGNER}")
string(REPLACE "\"" "\\\"" DOWNLOAD_SIGNER_LITERAL "${DOWNLOAD_SIGNER_LITERAL}")
if(DOWNLOAD_SIGNER STREQUAL "")
    message(STATUS "Downloaded programs: not checked (give DOWNLOAD_SIGNER to require a signature)")
else()
    message(STATUS "Downloaded programs: .exe and .dll files must be signed by \"${DOWNLOAD_SIGNER}\"")
endif()

configure_file(${CMAKE_SOURCE_DIR}/cmake/PublisherHosts.h.in ${CMAKE_BINARY_DIR}/generated/PublisherHosts.h @ONLY)
