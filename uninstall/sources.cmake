# UninstallApp.cpp holds the uninstaller's one application object, LateImports.cpp binds
# its DLLs beyond the KnownDLLs: only Uninstall.exe has them.
melvora_layer(uninstall USES install sys framework
    CORE UninstallIni.cpp UninstallReport.cpp
    PROGRAM_ONLY UninstallApp.cpp LateImports.cpp)
if(WIN32)
    target_include_directories(melvora_uninstall PUBLIC ${CMAKE_SOURCE_DIR}/res)
    target_link_libraries(melvora_uninstall PUBLIC advapi32 shell32 ole32 uuid)
endif()
