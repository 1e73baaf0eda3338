# festoonery_add_production: a production's program, its run folder and its archive.
# The same function in the engine's tree, beside a production's own project
# (add_subdirectory of the engine) and in an installed engine (find_package).
#
#   festoonery_add_production(NAME
#       SOURCES file...      the production's own sources: its table (thisProduction(),
#                            whose program name is NAME) and its own scenes
#       [DATA folder]        its assets, which play as data/NAME beside data/common
#       [LIBRARIES lib...]   more libraries its sources use
#       [INSTALL])           install rules: bin/NAME and share/NAME/data.mvt (for a
#                            production that is the top-level project: the engine's
#                            own build installs no example)
#
# The program lands in ${CMAKE_CURRENT_BINARY_DIR}/run, its working folder, with links
# data/common (the engine's common tree) and data/NAME (DATA) for development mode, and
# data.mvt: DATA whole and the common files the program opens (NAME --list-assets).
# Nothing is written outside the build folder.
#
# Needs: the targets Festoonery::main, Festoonery::scenes and Festoonery::festoonery-tool,
# and FESTOONERY_COMMON_DIR (the common tree).

function(festoonery_add_production name)
  cmake_parse_arguments(PARSE_ARGV 1 P "INSTALL" "DATA" "SOURCES;LIBRARIES")
  if(P_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "festoonery_add_production(${name}): unknown arguments: ${P_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT P_SOURCES)
    message(FATAL_ERROR "festoonery_add_production(${name}): no SOURCES (the production's table at least)")
  endif()
  # An in-source build would put the run folder and its links among the sources.
  if(CMAKE_CURRENT_BINARY_DIR STREQUAL CMAKE_CURRENT_SOURCE_DIR)
    message(FATAL_ERROR "festoonery_add_production(${name}): build in a folder of its own "
                        "(cmake -S . -B build), not in the source folder")
  endif()

  add_executable(${name} ${P_SOURCES})
  target_link_libraries(${name} PRIVATE Festoonery::main Festoonery::scenes ${P_LIBRARIES})
  # The production's source locations in boxes and logs: relative to its own folder.
  target_compile_options(${name} PRIVATE "-fmacro-prefix-map=${CMAKE_CURRENT_SOURCE_DIR}/=")
  set(run ${CMAKE_CURRENT_BINARY_DIR}/run)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${run})

  file(MAKE_DIRECTORY ${run}/data)
  file(CREATE_LINK ${FESTOONERY_COMMON_DIR} ${run}/data/common SYMBOLIC)
  set(pack_paths)
  set(own_assets)
  if(P_DATA)
    get_filename_component(data ${P_DATA} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    if(NOT IS_DIRECTORY ${data})
      message(FATAL_ERROR "festoonery_add_production(${name}): DATA ${P_DATA} is not a folder")
    endif()
    file(CREATE_LINK ${data} ${run}/data/${name} SYMBOLIC)
    file(GLOB_RECURSE own_assets CONFIGURE_DEPENDS ${data}/*)
    if(own_assets)
      set(pack_paths data/${name})
    endif()
  endif()
  file(GLOB_RECURSE common_assets CONFIGURE_DEPENDS ${FESTOONERY_COMMON_DIR}/*)

  add_custom_command(
    OUTPUT ${run}/data.mvt
    BYPRODUCTS ${run}/assets.txt
    COMMAND ${name} --list-assets ${name} assets.txt
    COMMAND Festoonery::festoonery-tool pack -o data.mvt --from assets.txt ${pack_paths}
    WORKING_DIRECTORY ${run}
    DEPENDS ${name} ${own_assets} ${common_assets}
    COMMENT "Packing ${name}'s data.mvt: data/${name} and the common files it uses"
    VERBATIM)
  add_custom_target(${name}-archive ALL DEPENDS ${run}/data.mvt)

  if(P_INSTALL AND PROJECT_IS_TOP_LEVEL)
    include(GNUInstallDirs)
    install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${run}/data.mvt DESTINATION ${CMAKE_INSTALL_DATADIR}/${name})
  endif()
endfunction()
