melvora_layer(controls USES framework
    CORE BarGeometry.cpp)
