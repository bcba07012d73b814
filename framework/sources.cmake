# Windows-free pieces: built natively for unit tests and fuzzing as well.
list(APPEND MELVORA_CORE_SOURCES
    framework/CString.cpp
    framework/AfxParseURL.cpp
)
# The window framework.
list(APPEND MELVORA_WIN_SOURCES
    framework/CWindow.cpp
    framework/CWnd.cpp
    framework/CDataExchange.cpp
    framework/CDialog.cpp
    framework/CWinApp.cpp
    framework/CWinThread.cpp
    framework/CDC.cpp
    framework/CBitmap.cpp
    framework/CTreeCtrl.cpp
    framework/COleControlSite.cpp
)
