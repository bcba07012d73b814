# SetupApp.cpp holds the program's one application object, LateImports.cpp binds its
# DLLs beyond the KnownDLLs: only Setup.exe has them.
melvora_layer(app USES install net sys controls framework
    CORE PartnerId.cpp CommandLine.cpp
    PROGRAM_ONLY SetupApp.cpp LateImports.cpp)
if(WIN32)
    target_include_directories(melvora_app PUBLIC ${CMAKE_SOURCE_DIR}/res)
endif()
