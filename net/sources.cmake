melvora_layer(net USES sys framework
    CORE UrlRules.cpp DownloadProgress.cpp DownloadRetry.cpp ReplyReader.cpp ProgramImage.cpp)
if(WIN32)
    # The publisher's hosts, generated from the build settings.
    target_include_directories(melvora_net PUBLIC ${CMAKE_BINARY_DIR}/generated)
    target_link_libraries(melvora_net PUBLIC wininet wintrust crypt32)
endif()
