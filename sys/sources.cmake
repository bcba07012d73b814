melvora_layer(sys USES framework CORE ProgramAddress.cpp)
if(WIN32)
    target_link_libraries(melvora_sys PUBLIC advapi32 shell32 shlwapi ole32 oleaut32 uuid)
endif()
