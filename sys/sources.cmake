list(APPEND MELVORA_WIN_SOURCES
    sys/Registry.cpp
)
