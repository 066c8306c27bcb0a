# cmake -DWORK=<scratch folder> -P DictionaryOption.cmake
# The dictionary folder a build may be given to embed: a folder holding the three files
# (in any case of their names) becomes a resource script naming exactly them, in resource
# order; a folder lacking one of them, or a folder that does not exist, stops the
# configuration; no folder given goes on with a warning that the build is no shipping one.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/EmbeddedDictionary.cmake)

if(DEFINED FOLDER)
  # One configuration step on its own, so that its refusal can be watched from outside.
  setrix_dictionary_folder(files "${FOLDER}")
  if(files)
    setrix_dictionary_script("${SCRIPT}" ${files})
  endif()
  return()
endif()

file(REMOVE_RECURSE "${WORK}")
function(make_folder folder)
  file(MAKE_DIRECTORY "${WORK}/${folder}")
  foreach(name IN LISTS ARGN)
    file(WRITE "${WORK}/${folder}/${name}" "${name}")
  endforeach()
endfunction()
make_folder(complete INDEX.DDF field.ddf File.Ddf FIELDEXT.DDF)
make_folder(without-index FIELD.DDF FILE.DDF USER.DDF)
make_folder(without-field FILE.DDF INDEX.DDF)
make_folder(index-a-folder FIELD.DDF FILE.DDF INDEX.DDF.OLD)
file(MAKE_DIRECTORY "${WORK}/index-a-folder/INDEX.DDF")

function(configure_with folder result_var output_var)
  execute_process(COMMAND ${CMAKE_COMMAND} -DFOLDER=${folder} -DSCRIPT=${WORK}/Dictionary.rc
                          -P ${CMAKE_CURRENT_LIST_FILE}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(${result_var} "${result}" PARENT_SCOPE)
  string(REGEX REPLACE "[ \t\r\n]+" " " output "${output}")  # CMake wraps its messages
  set(${output_var} "${output}" PARENT_SCOPE)
endfunction()

configure_with("${WORK}/complete" result output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "a complete folder was refused: ${output}")
endif()
if(output MATCHES "Warning")
  message(FATAL_ERROR "a complete folder was warned about: ${output}")
endif()
file(READ "${WORK}/Dictionary.rc" script)
foreach(line "FIELD RCDATA \"${WORK}/complete/field.ddf\"" "FILE RCDATA \"${WORK}/complete/File.Ddf\""
             "INDEX RCDATA \"${WORK}/complete/INDEX.DDF\"")
  string(FIND "${script}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the resource script lacks the line ${line}:\n${script}")
  endif()
endforeach()
string(REGEX MATCHALL "RCDATA" resources "${script}")
list(LENGTH resources count)
if(NOT count EQUAL 3)
  message(FATAL_ERROR "the resource script embeds ${count} files, not 3:\n${script}")
endif()

foreach(refusal "without-index|holds no INDEX.DDF" "without-field|holds no FIELD.DDF"
                "index-a-folder|holds no INDEX.DDF" "missing|is no folder")
  string(REPLACE "|" ";" refusal "${refusal}")
  list(GET refusal 0 folder)
  list(GET refusal 1 message)
  file(REMOVE "${WORK}/Dictionary.rc")
  configure_with("${WORK}/${folder}" result output)
  string(FIND "${output}" "${message}" at)
  if(result EQUAL 0 OR at EQUAL -1 OR EXISTS "${WORK}/Dictionary.rc")
    message(FATAL_ERROR "the folder ${folder} was not refused with '${message}': ${output}")
  endif()
endforeach()
# No folder: the configuration goes on, and says loudly that the build is no shipping one.
file(REMOVE "${WORK}/Dictionary.rc")
configure_with("" result output)
if(NOT result EQUAL 0 OR NOT output MATCHES "CMake Warning"
   OR NOT output MATCHES "SETRIX_DICTIONARY_DIR is not set.*only the stand-in record manager reads")
  message(FATAL_ERROR "no folder did not go on with the stand-in warning: ${output}")
endif()
message(STATUS "dictionary folders: taken, refused and warned about as they should be")
