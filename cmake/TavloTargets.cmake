# tavlo_add_subsystem(<name> CORE <files>... [CORE_DEPENDS <targets>...]
#                     [WIDGETS <files>... DEPENDS <targets>...])
# Two static libraries per subsystem folder, each made of the files its folder lists:
#   <name>_core  the file formats, models and calculations. It links Qt Core and Gui only, so a
#                widget header cannot even be found from its files.
#   <name>       the dialogs and windows, over the core and Qt Widgets.
function(tavlo_add_subsystem name)
    cmake_parse_arguments(ARG "" "" "CORE;CORE_DEPENDS;WIDGETS;DEPENDS" ${ARGN})
    add_library(${name}_core STATIC ${ARG_CORE})
    set_target_properties(${name}_core PROPERTIES AUTOMOC ON)
    target_include_directories(${name}_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name}_core PUBLIC ${ARG_CORE_DEPENDS} Qt5::Core Qt5::Gui)
    if(ARG_WIDGETS)
        add_library(${name} STATIC ${ARG_WIDGETS})
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
        target_link_libraries(${name} PUBLIC ${name}_core ${ARG_DEPENDS} Qt5::Widgets)
    endif()
endfunction()
