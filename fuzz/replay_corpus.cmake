# Replays the committed corpus of every fuzz harness through its replay program (replay_main.cc):
# the test FuzzCorpusReplay of a tree that builds the tests. Fails at the first harness that
# fails. Arguments: -DHARNESS_DIR=<folder of the fuzz_* programs> -DCORPUS=<fuzz/corpus>
# -DHARNESSES=<names, separated by commas>.
string(REPLACE "," ";" harnesses "${HARNESSES}")
foreach(harness IN LISTS harnesses)
  execute_process(COMMAND "${HARNESS_DIR}/fuzz_${harness}${CMAKE_EXECUTABLE_SUFFIX}"
                          "${CORPUS}/${harness}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "fuzz_${harness} failed on its corpus: ${status}")
  endif()
endforeach()
