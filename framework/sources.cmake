melvora_layer(framework
    CORE CString.cpp AfxParseURL.cpp PngCheck.cpp
    NATIVE_ONLY WideTextNative.cpp
    PROGRAM_ONLY AppMain.cpp ProgramRuntime.cpp)
if(WIN32)
    target_compile_definitions(melvora_framework PUBLIC
        _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0700 __USE_MINGW_ANSI_STDIO=1 STRICT NOMINMAX)
    target_link_libraries(melvora_framework PUBLIC comctl32 ole32 oleaut32 uuid shlwapi gdi32 user32)
endif()
