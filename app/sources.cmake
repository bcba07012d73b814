# SetupApp.cpp holds the program's one application object, so only Setup.exe has it.
melvora_layer(app USES install net sys controls framework
    CORE PartnerId.cpp
    PROGRAM_ONLY SetupApp.cpp)
if(WIN32)
    target_include_directories(melvora_app PUBLIC ${CMAKE_SOURCE_DIR}/res)
endif()
