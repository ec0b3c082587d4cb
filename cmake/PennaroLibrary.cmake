# pennaro_library(NAME FOLDER folder SOURCES file... LINKS lib...)
#   A static library made of the files of one folder of the source tree (FOLDER is its path
#   from the top, "store/engine"). It links only LINKS, publicly, so that its users get what
#   its headers need. Its users include its headers by that path ("store/engine/Dataset.h")
#   and reach no other folder through it: see pennaro_expose. The folder itself is on the
#   library's own private path.
function(pennaro_library name)
    cmake_parse_arguments(L "" "FOLDER" "SOURCES;LINKS" ${ARGN})
    if(NOT L_FOLDER OR NOT L_SOURCES)
        message(FATAL_ERROR "pennaro_library(${name}) needs FOLDER and SOURCES")
    endif()
    add_library(${name} STATIC ${L_SOURCES})
    pennaro_expose(${name} ${L_FOLDER})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/${L_FOLDER})
    target_link_libraries(${name} PUBLIC ${L_LINKS})
endfunction()

# pennaro_expose(TARGET folder...)
#   Gives TARGET a public include root of its own in the build tree, include/TARGET/, that
#   holds one symbolic link per folder, named like the folder's path from the top
#   (include/pennaro_engine/store/engine -> <source>/store/engine). An include line keeps
#   its full path, yet only the folders of the libraries a target links can be found: a
#   header of the engine that reached for "app/Ostiva_Unit.h" would not compile.
function(pennaro_expose target)
    set(root ${CMAKE_BINARY_DIR}/include/${target})
    foreach(folder ${ARGN})
        if(NOT IS_DIRECTORY ${CMAKE_SOURCE_DIR}/${folder})
            message(FATAL_ERROR "pennaro_expose(${target}): no folder ${folder}")
        endif()
        get_filename_component(parent ${root}/${folder} DIRECTORY)
        file(MAKE_DIRECTORY ${parent})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    endforeach()
    target_include_directories(${target} PUBLIC ${root})
endfunction()
