melvora_folder(framework
    CORE CString.cpp AfxParseURL.cpp
    APP_ONLY AppMain.cpp)
