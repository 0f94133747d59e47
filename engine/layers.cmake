# The layers of the engine, one folder and one library each, and the layers each one builds on.
# A layer may include the headers of, and link to, only the layers it builds on, directly or
# through others: never a layer above it or beside it. Read by engine/CMakeLists.txt, which checks
# the links, and by tests/enginelayers.cmake, which checks the includes.
set(TAVLO_ENGINE_LAYERS base import input model solver estimation output api cli)

set(TAVLO_ENGINE_USES_base "")
set(TAVLO_ENGINE_USES_import base)
set(TAVLO_ENGINE_USES_input base)
set(TAVLO_ENGINE_USES_model input import)
set(TAVLO_ENGINE_USES_solver model)
set(TAVLO_ENGINE_USES_estimation solver)
set(TAVLO_ENGINE_USES_output estimation)
set(TAVLO_ENGINE_USES_api output import)
set(TAVLO_ENGINE_USES_cli api)

# tavlo_engine_layers_below(<layer> <variable>): every layer that <layer> builds on, directly or
# through others.
function(tavlo_engine_layers_below layer variable)
    set(below "")
    set(pending ${TAVLO_ENGINE_USES_${layer}})
    while(pending)
        list(POP_FRONT pending next)
        if(NOT next IN_LIST below)
            list(APPEND below ${next})
            list(APPEND pending ${TAVLO_ENGINE_USES_${next}})
        endif()
    endwhile()
    set(${variable} ${below} PARENT_SCOPE)
endfunction()
