# The programs' pictures as the build embeds them. The art is the PNG files of res/art/
# (made by tools/gen_art.sh, or a designer's); SKIN_FORMAT says how Setup.exe carries it:
#
#   png (default)  the PNG files themselves, resources of type "PNG" that the program
#                  decodes as it starts (framework/PictureResource.h)
#   bmp            uncompressed BITMAP resources made from the same files, as the program
#                  carried its art before: about 3 MB more, nothing to decode
#
# Either way every file is first checked and decoded by tools/gen_art/skin_resources.py
# under the rules the program applies, so a picture that will not do stops the build.
set(SKIN_FORMAT png CACHE STRING "How Setup.exe carries its pictures: png (compressed) or bmp")
set_property(CACHE SKIN_FORMAT PROPERTY STRINGS png bmp)
if(NOT SKIN_FORMAT MATCHES "^(png|bmp)$")
    message(FATAL_ERROR "SKIN_FORMAT must be png or bmp, not '${SKIN_FORMAT}'")
endif()

find_package(Python3 COMPONENTS Interpreter REQUIRED)
file(GLOB MELVORA_ART_PNGS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/art/*.png)
set(art_tool ${CMAKE_SOURCE_DIR}/tools/gen_art/skin_resources.py)
set(art_tool_depends ${art_tool} ${CMAKE_SOURCE_DIR}/tools/gen_art/pngfile.py)
set(MELVORA_ART_PNG_STAMP ${CMAKE_BINARY_DIR}/generated/art-png.stamp)
set(MELVORA_ART_BMP_DIR ${CMAKE_BINARY_DIR}/generated/bitmap-skins)
set(MELVORA_ART_BMP_STAMP ${MELVORA_ART_BMP_DIR}/art-bmp.stamp)

add_custom_command(OUTPUT ${MELVORA_ART_PNG_STAMP}
    COMMAND Python3::Interpreter ${art_tool} png ${MELVORA_ART_PNG_STAMP} ${MELVORA_ART_PNGS}
    DEPENDS ${MELVORA_ART_PNGS} ${art_tool_depends}
    COMMENT "Checking the art in res/art")
add_custom_target(melvora_art_png DEPENDS ${MELVORA_ART_PNG_STAMP})

add_custom_command(OUTPUT ${MELVORA_ART_BMP_STAMP}
    COMMAND Python3::Interpreter ${art_tool} bmp ${MELVORA_ART_BMP_DIR} ${MELVORA_ART_PNGS}
    COMMAND ${CMAKE_COMMAND} -E touch ${MELVORA_ART_BMP_STAMP}
    DEPENDS ${MELVORA_ART_PNGS} ${art_tool_depends}
    COMMENT "Making BITMAP resources of the art in res/art")
add_custom_target(melvora_art_bmp DEPENDS ${MELVORA_ART_BMP_STAMP})

# Makes target's resource script rc (in the calling folder) carry the pictures in format
# (png or bmp), rebuilt whenever the art changes.
function(melvora_picture_resources target rc format)
    if(format STREQUAL "bmp")
        add_dependencies(${target} melvora_art_bmp)
        target_compile_definitions(${target} PRIVATE MELVORA_BITMAP_SKINS)
        target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated)
        set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${MELVORA_ART_BMP_STAMP})
    else()
        add_dependencies(${target} melvora_art_png)
        set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${MELVORA_ART_PNG_STAMP})
    endif()
endfunction()
