list(APPEND MELVORA_CORE_SOURCES
    app/PartnerId.cpp
)
list(APPEND MELVORA_WIN_SOURCES
    app/SetupSession.cpp
)
# Only in the program itself: the application object is a global.
list(APPEND MELVORA_APP_SOURCES
    app/SetupApp.cpp
)
