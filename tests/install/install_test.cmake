# Installs the build into a scratch prefix, moves the tree (nothing may point back to where it
# was installed or built), checks what a desktop installation holds, then runs the installed
# quarnel-scan on each installed sample and the installed quarnel with and without its samples.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/staged
                OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
set(prefix ${WORK_DIR}/moved)
file(RENAME ${WORK_DIR}/staged ${prefix})

foreach(path bin/quarnel bin/quarnel-scan
             share/quarnel/samples/LeftFoot.landmarks.json
             share/quarnel/samples/RightFoot.landmarks.json
             share/applications/quarnel.desktop
             share/icons/hicolor/scalable/apps/quarnel.svg
             share/icons/hicolor/48x48/apps/quarnel.png
             share/mime/packages/quarnel.xml
             share/man/man1/quarnel.1.gz share/man/man1/quarnel-scan.1.gz
             ${MODULE_DIR}/libquarnel_help.so)
  if(NOT EXISTS ${prefix}/${path})
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()

foreach(side Left Right)
  set(scan ${prefix}/share/quarnel/samples/${side}Foot.wrl)
  execute_process(COMMAND ${prefix}/bin/quarnel-scan info ${scan}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result TIMEOUT 60)
  if(NOT result EQUAL 0 OR NOT out MATCHES "\"vertices\": [1-9][0-9][0-9][0-9][0-9]+,")
    message(FATAL_ERROR "quarnel-scan info ${scan}: exit ${result}\n${out}${err}")
  endif()
endforeach()

# Without the lab's data folder the program opens on its samples; quit as "Exit" does.
file(MAKE_DIRECTORY ${WORK_DIR}/home)
set(ENV{HOME} ${WORK_DIR}/home)
set(ENV{QUARNEL_QUIT_AFTER_MS} 3000)
unset(ENV{QUARNEL_DATA_DIR})
function(run_quarnel)
  execute_process(COMMAND ${prefix}/bin/quarnel OUTPUT_VARIABLE out ERROR_VARIABLE err
                  RESULT_VARIABLE result TIMEOUT 120)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "installed quarnel: exit ${result}\n${out}${err}")
  endif()
  set(quarnel_output "${out}${err}" PARENT_SCOPE)
endfunction()
run_quarnel()
if(quarnel_output MATCHES "[Ee]rror|[Ww]arning|[Cc]ritical")
  message(FATAL_ERROR "installed quarnel complained:\n${quarnel_output}")
endif()
# Where it looks for them: beside itself in the moved tree, nowhere else.
file(REMOVE_RECURSE ${prefix}/share/quarnel/samples)
run_quarnel()
string(FIND "${quarnel_output}" "warning: no sample scans in ${prefix}/share/quarnel/samples" at)
if(at EQUAL -1)
  message(FATAL_ERROR "installed quarnel did not miss its samples:\n${quarnel_output}")
endif()
