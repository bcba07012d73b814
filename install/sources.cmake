melvora_folder(install
    CORE ComponentList.cpp)
