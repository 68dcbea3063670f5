# Writes the registry of a fresh simulated machine as corvane-sim saves it: a machine folder with
# the given description, a run of corvane-sim that finds no setup to start, and the registry.reg
# it leaves behind.
#   cmake -DSIM=corvane-sim -DWORK=dir -DDESCRIPTION="key = value|..." -DOUTPUT=file -P this
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
string(REPLACE "|" "\n" lines "${DESCRIPTION}")
file(WRITE ${WORK}/machine.txt "${lines}\n")
# The engine fails for want of a setup; the machine, with its first registry, stays.
execute_process(COMMAND ${SIM} --machine ${WORK} "C:\\Setup\\none.exe"
  WORKING_DIRECTORY ${WORK} OUTPUT_QUIET ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT EXISTS ${WORK}/registry.reg)
  message(FATAL_ERROR "corvane-sim left no registry.reg in ${WORK} (exit ${rc}): ${err}")
endif()
file(READ ${WORK}/registry.reg text)
if(NOT text MATCHES "CurrentVersion")
  message(FATAL_ERROR "${WORK}/registry.reg holds no seeded keys")
endif()
get_filename_component(dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${dir})
file(COPY_FILE ${WORK}/registry.reg ${OUTPUT})
