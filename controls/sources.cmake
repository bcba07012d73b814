melvora_layer(controls USES framework
    CORE BarGeometry.cpp)
if(WIN32)
    # The check box answers assistive technology with an object of its own.
    target_link_libraries(melvora_controls PUBLIC oleacc)
endif()
