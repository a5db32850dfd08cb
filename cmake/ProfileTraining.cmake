# cmake -DTRAIN_DIR=... -DPROFILE_DIR=... -DSTAMP=... -DSAMPLE=... -P ProfileTraining.cmake
# Runs the instrumented exporter on its training levels, unless its counts are newer than it.
set(exporter ${TRAIN_DIR}/pallix-export)
set(generator ${TRAIN_DIR}/pallix-scenegen)
if(EXISTS ${STAMP} AND NOT ${exporter} IS_NEWER_THAN ${STAMP} AND NOT ${CMAKE_CURRENT_LIST_FILE} IS_NEWER_THAN ${STAMP})
  return()
endif()

function(run)
  # Quiet unless it fails: a training level may name textures that are not there.
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " line "${ARGN}")
    message(FATAL_ERROR "profile training failed (${status}): ${line}\n${errors}")
  endif()
endfunction()

set(work ${PROFILE_DIR}/levels)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work}/out)
# The levels come first: the generator's own counts are not wanted.
run(${generator} --plain --seed 3 --size 8 --textures ${work} --out ${work}/level.xml)
run(${generator} --plain --seed 5 --primitives 20000 --polygons 1 --out ${work}/tiny.xml)
run(${generator} --seed 9 --size 2 --textures ${work} --out ${work}/decorated.xml)
file(GLOB_RECURSE counts ${PROFILE_DIR}/*.gcda)
if(counts)
  file(REMOVE ${counts})
endif()

run(${exporter} --quiet ${work}/level.xml ${work}/out/level.mesh)
run(${exporter} --quiet ${work}/tiny.xml ${work}/out/tiny.mesh)
run(${exporter} --quiet ${work}/decorated.xml ${work}/out/decorated.mesh)
run(${exporter} --quiet --no-materials --no-textures ${work}/level.xml ${work}/out/level.xml)
run(${exporter} --quiet ${SAMPLE} ${work}/out/sample.mesh)
file(REMOVE_RECURSE ${work})
file(TOUCH ${STAMP})
