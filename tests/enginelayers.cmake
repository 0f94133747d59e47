# Fails when an engine source includes a header of a layer above its own or beside it, when an
# include of the engine is not rooted at the repository ("engine/<layer>/<file>"), names no file,
# or when a source lies outside the layers of engine/layers.cmake.
#   cmake -DSOURCE_DIR=<repository> -P tests/enginelayers.cmake
cmake_minimum_required(VERSION 3.16)
if(NOT SOURCE_DIR)
    message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<repository> -P enginelayers.cmake")
endif()
include(${SOURCE_DIR}/engine/layers.cmake)

set(faults "")
file(GLOB entries RELATIVE ${SOURCE_DIR}/engine ${SOURCE_DIR}/engine/*)
foreach(entry ${entries})
    if(IS_DIRECTORY ${SOURCE_DIR}/engine/${entry})
        if(NOT entry IN_LIST TAVLO_ENGINE_LAYERS)
            list(APPEND faults "engine/${entry}: a folder that is no layer of engine/layers.cmake")
        endif()
    elseif(entry MATCHES "\\.(h|cpp)$")
        list(APPEND faults "engine/${entry}: a source outside the layers")
    endif()
endforeach()

foreach(layer ${TAVLO_ENGINE_LAYERS})
    tavlo_engine_layers_below(${layer} below)
    file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
         ${SOURCE_DIR}/engine/${layer}/*.h ${SOURCE_DIR}/engine/${layer}/*.cpp)
    foreach(source ${sources})
        file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
        foreach(line ${includes})
            string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" header "${line}")
            if(NOT header MATCHES "^engine/([^/]+)/")
                list(APPEND faults "${source}: \"${header}\" is not rooted at the repository")
                continue()
            endif()
            set(target ${CMAKE_MATCH_1})
            if(NOT EXISTS ${SOURCE_DIR}/${header})
                list(APPEND faults "${source}: \"${header}\" names no file")
            elseif(NOT target STREQUAL layer AND NOT target IN_LIST below)
                list(APPEND faults
                     "${source}: \"${header}\" is in the layer ${target}, which ${layer} does not build on")
            endif()
        endforeach()
    endforeach()
endforeach()

if(faults)
    list(JOIN faults "\n  " text)
    message(FATAL_ERROR "Engine layers broken:\n  ${text}")
endif()
