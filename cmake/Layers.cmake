# One static library per layer of the program. A layer sees its own headers and those of the layers
# it links, and no others: each layer's headers are reachable only through an include root of its
# own in the build tree, which holds one forwarding header per header of the folder. A wrong-way
# include ("device/" code including "panels/PanelKit.h") therefore fails to compile, and the
# direction of the links below is the direction of the includes.
#
# orvelin_add_layer(TARGET FOLDER folder SOURCES file... [LINKS target...])
#   TARGET   the library; its include root is ${CMAKE_BINARY_DIR}/layers/<folder>
#   FOLDER   the source folder whose headers it offers, as "<folder>/Name.h"
#   SOURCES  its sources, relative to FOLDER
#   LINKS    the layers and libraries below it (PUBLIC)
function(orvelin_add_layer target)
    cmake_parse_arguments(LAYER "" "FOLDER" "SOURCES;LINKS" ${ARGN})
    set(folder ${PROJECT_SOURCE_DIR}/${LAYER_FOLDER})
    list(TRANSFORM LAYER_SOURCES PREPEND ${folder}/)
    add_library(${target} STATIC ${LAYER_SOURCES})
    orvelin_layer_headers(${target} ${LAYER_FOLDER})
    target_link_libraries(${target} PUBLIC ${LAYER_LINKS})
endfunction()

# Offers the headers of folder to target and to whatever links it, through the folder's include
# root (see above). A header added later is picked up when CMake runs again, which a build does by
# itself (CONFIGURE_DEPENDS).
function(orvelin_layer_headers target folder)
    set(root ${CMAKE_BINARY_DIR}/layers/${folder})
    file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h)
    foreach(header ${headers})
        get_filename_component(name ${header} NAME)
        # A relative path keeps the forwarder the same in every checkout, so a compiler cache
        # serves a clone in another folder too.
        file(RELATIVE_PATH target_path ${root}/${folder} ${header})
        file(CONFIGURE OUTPUT ${root}/${folder}/${name} CONTENT "#include \"${target_path}\"\n")
    endforeach()
    target_include_directories(${target} PUBLIC ${root})
endfunction()
