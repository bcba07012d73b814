melvora_layer(install USES net sys framework
    CORE ComponentList.cpp PlainFileName.cpp)
if(WIN32)
    target_link_libraries(melvora_install PUBLIC psapi shell32 ole32 uuid)
endif()
