# Profile-guided optimisation of the native release build (GCC): a training build of the
# exporter, instrumented, exports generated levels and the sample level; the product's code is
# then compiled with the branch and call counts it measured. Output is unchanged: the profile
# steers code layout and inlining, never arithmetic.
#
# Both builds name their objects alike (CMakeFiles/<target>.dir/<source>.o); with the build
# folder taken off the front, the training build's counts are found by the product's compile.
set(PALLIX_PGO_TARGETS pallix_core pallix_export_tool)
set(PALLIX_PGO_PREFIX -fprofile-prefix-path=${CMAKE_BINARY_DIR})

if(PALLIX_PGO_GENERATE)
  foreach(target IN LISTS PALLIX_PGO_TARGETS)
    target_compile_options(${target} PRIVATE -fprofile-generate=${PALLIX_PGO_GENERATE} ${PALLIX_PGO_PREFIX}
                                             -fprofile-update=single)
  endforeach()
  # Everything linking the core needs the counting runtime. The training main differs from
  # the product's (it writes the counts before its quick exit), so it is not counted itself.
  target_link_options(pallix_core INTERFACE -fprofile-generate)
  target_compile_definitions(pallix-export PRIVATE PALLIX_PROFILE_TRAINING)
  return()
endif()

include(ExternalProject)
set(train_dir ${CMAKE_BINARY_DIR}/pgo-train)
set(profile_dir ${CMAKE_BINARY_DIR}/pgo-profile)
set(stamp ${profile_dir}/trained.stamp)
ExternalProject_Add(pallix_pgo_build
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${train_dir}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER}
             -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER} -DPALLIX_TESTS=OFF -DPALLIX_BENCH=OFF
             -DPALLIX_OGRE_CHECKS=OFF -DPALLIX_PGO=OFF -DPALLIX_PGO_GENERATE=${profile_dir}
  INSTALL_COMMAND ""
  BUILD_ALWAYS TRUE)
# Runs every time; retrains (and so recompiles the product) only when the training build
# changed.
add_custom_target(pallix_pgo_profile
  COMMAND ${CMAKE_COMMAND} -DTRAIN_DIR=${train_dir} -DPROFILE_DIR=${profile_dir} -DSTAMP=${stamp}
          -DSAMPLE=${CMAKE_SOURCE_DIR}/examples/sample-level/scene.xml
          -P ${CMAKE_SOURCE_DIR}/cmake/ProfileTraining.cmake
  COMMENT "Training the exporter's profile"
  VERBATIM)
add_dependencies(pallix_pgo_profile pallix_pgo_build)
# Compiled plain: with the counts, the XML mesh writer's branch-free layout code came out about
# a tenth slower (measured with the file writes left out).
set(plain_sources src/mesh/ZROgreXmlMesh.cpp)
foreach(target IN LISTS PALLIX_PGO_TARGETS)
  add_dependencies(${target} pallix_pgo_profile)
  get_target_property(sources ${target} SOURCES)
  foreach(source IN LISTS sources)
    file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${source})
    if(relative IN_LIST plain_sources)
      continue()
    endif()
    set_property(SOURCE ${source} TARGET_DIRECTORY ${target} APPEND PROPERTY COMPILE_OPTIONS
                 -fprofile-use=${profile_dir} ${PALLIX_PGO_PREFIX} -fprofile-partial-training -Wno-missing-profile)
    set_property(SOURCE ${source} TARGET_DIRECTORY ${target} APPEND PROPERTY OBJECT_DEPENDS ${stamp})
  endforeach()
endforeach()
