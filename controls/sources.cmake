melvora_folder(controls
    CORE BarGeometry.cpp)
