# The data dictionary setrix.dll carries as RCDATA "FIELD", "FILE" and "INDEX" and the
# Btrieve exports write out byte for byte. By default the record-manager stand-in's fixture
# tool writes it at build time from the product's table descriptions; a genuine record
# manager cannot read those files. A shipping build names the folder of the product's own
# FIELD.DDF, FILE.DDF and INDEX.DDF in SETRIX_DICTIONARY_DIR and embeds them instead.
set(SETRIX_DICTIONARY_DIR "" CACHE PATH
    "Folder with the product's FIELD.DDF, FILE.DDF and INDEX.DDF to embed (empty: the stand-in's own, written at build time)")

set(SETRIX_DICTIONARY_NAMES FIELD.DDF FILE.DDF INDEX.DDF)
set(SETRIX_DICTIONARY_SCRIPT_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/../setup/Dictionary.rc.in)

# setrix_dictionary_folder(<files var> <folder>)
# The three files of a folder given for embedding, in resource order; the names are found
# whatever their case. Stops the configuration when the folder lacks one of them. No folder
# gives no files, and a warning: the build then embeds the stand-in's dictionary.
function(setrix_dictionary_folder files_var folder)
  if(folder STREQUAL "")
    message(WARNING "SETRIX_DICTIONARY_DIR is not set: setrix.dll embeds dictionary files "
                    "(FIELD.DDF, FILE.DDF, INDEX.DDF) that only the stand-in record manager reads. "
                    "Its Btrieve exports cannot work with a genuine record manager: do not ship it. "
                    "A shipping build names the folder of the product's own three files in "
                    "-DSETRIX_DICTIONARY_DIR=<folder>.")
    set(${files_var} "" PARENT_SCOPE)
    return()
  endif()
  if(NOT IS_DIRECTORY "${folder}")
    message(FATAL_ERROR "SETRIX_DICTIONARY_DIR: '${folder}' is no folder")
  endif()
  file(GLOB present LIST_DIRECTORIES false "${folder}/*")
  set(files)
  foreach(name IN LISTS SETRIX_DICTIONARY_NAMES)
    set(found)
    foreach(path IN LISTS present)
      get_filename_component(present_name "${path}" NAME)
      string(TOUPPER "${present_name}" present_name)
      if(present_name STREQUAL name)
        set(found "${path}")
      endif()
    endforeach()
    if(NOT found)
      message(FATAL_ERROR "SETRIX_DICTIONARY_DIR: '${folder}' holds no ${name}; "
                          "the dictionary to embed is FIELD.DDF, FILE.DDF and INDEX.DDF")
    endif()
    list(APPEND files "${found}")
  endforeach()
  set(${files_var} "${files}" PARENT_SCOPE)
endfunction()

# setrix_dictionary_script(<script> <field file> <file file> <index file>)
# Writes the resource script that embeds the three files as "FIELD", "FILE" and "INDEX".
function(setrix_dictionary_script script field_file file_file index_file)
  set(dictionary_field "${field_file}")
  set(dictionary_file "${file_file}")
  set(dictionary_index "${index_file}")
  configure_file(${SETRIX_DICTIONARY_SCRIPT_TEMPLATE} "${script}" @ONLY)
endfunction()
