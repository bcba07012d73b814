# SetupApp.cpp holds the program's one application object, so only Setup.exe has it.
melvora_folder(app
    CORE PartnerId.cpp
    APP_ONLY SetupApp.cpp)
