# One static library per layer of the program. A layer sees its own headers and those of the layers
# it links, and no others: each layer's headers are reachable only through an include root of its
# own in the build tree, which holds one forwarding header per header of the folder. A wrong-way
# include ("device/" code including "panels/PanelKit.h") therefore fails to compile, and the
# direction of the links below is the direction of the includes.
#
# Each layer names every layer its files include, and no more. A link is PUBLIC only where the
# layer's own headers include the lower layer's headers (its callers need them to compile);
# otherwise it is PRIVATE, and the lower layer stays out of sight of the callers. A static library
# still hands its PRIVATE links on to the final link, so the programs link the whole chain.
#
# orvelin_add_layer(TARGET FOLDER folder SOURCES file... [PUBLIC target...] [PRIVATE target...])
#   TARGET   the library; its include root is ${CMAKE_BINARY_DIR}/layers/<folder>
#   FOLDER   the source folder whose headers it offers, as "<folder>/Name.h"
#   SOURCES  its sources, relative to FOLDER
#   PUBLIC   the layers and libraries below it that its headers include
#   PRIVATE  the layers and libraries below it that only its sources include
function(orvelin_add_layer target)
    cmake_parse_arguments(LAYER "" "FOLDER" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
    set(folder ${PROJECT_SOURCE_DIR}/${LAYER_FOLDER})
    list(TRANSFORM LAYER_SOURCES PREPEND ${folder}/)
    add_library(${target} STATIC ${LAYER_SOURCES})
    orvelin_layer_headers(${target} ${LAYER_FOLDER})
    target_link_libraries(${target} PUBLIC ${LAYER_PUBLIC} PRIVATE ${LAYER_PRIVATE})
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

# Writes the links of each target named that this build has into file, one line a target:
#   <target> PUBLIC <link>;... PRIVATE <link>;...
# A PRIVATE link of a static library shows in its interface as $<LINK_ONLY:...>; everything else
# there is PUBLIC. tests/scripts/design_graph_test.py holds the design page's graph against it.
function(orvelin_write_link_graph file)
    set(text "")
    foreach(target ${ARGN})
        if(NOT TARGET ${target})
            continue()
        endif()
        get_target_property(links ${target} LINK_LIBRARIES)
        get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
        set(public "")
        foreach(link ${interface})
            if(link AND NOT link MATCHES "^\\$<LINK_ONLY:")
                list(APPEND public ${link})
            endif()
        endforeach()
        set(private "")
        foreach(link ${links})
            if(link AND NOT link IN_LIST public)
                list(APPEND private ${link})
            endif()
        endforeach()
        string(APPEND text "${target} PUBLIC ${public} PRIVATE ${private}\n")
    endforeach()
    file(WRITE ${file} "${text}")
endfunction()
