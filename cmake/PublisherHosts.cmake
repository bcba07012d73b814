# The publisher's three servers are settings of the build. Each is "host" or "host:port";
# without a port the requests use the service's default port.
set(PRODUCT_HOST "127.0.0.1:47080" CACHE STRING "Product web server, host[:port]")
set(STATS_HOST "127.0.0.1:47081" CACHE STRING "Statistics server, host[:port]")
set(LOG_HOST "127.0.0.1:47082" CACHE STRING "Log server, host[:port]")

function(melvora_split_host value out_host out_port)
    if(value MATCHES "^([^:/ ]+)(:([0-9]+))?$")
        set(host "${CMAKE_MATCH_1}")
        set(port "${CMAKE_MATCH_3}")   # quoted: an empty match must not unset it
        if(port STREQUAL "")
            set(port 0)
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
message(STATUS "Publisher servers: product ${PRODUCT_HOST}, statistics ${STATS_HOST}, log ${LOG_HOST}")

configure_file(${CMAKE_SOURCE_DIR}/cmake/PublisherHosts.h.in ${CMAKE_BINARY_DIR}/generated/PublisherHosts.h @ONLY)
