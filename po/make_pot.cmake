# Extracts every text marked for translation into a template, and merges the
# template into the catalogues.  Run in script mode:
#   cmake -DSOURCE_DIR=<tree> -DOUTPUT=<file.pot> -DXGETTEXT=<xgettext>
#         [-DMSGMERGE=<msgmerge> -DMSGINIT=<msginit> -DLANGUAGES=<de,fr,...>]
#         -P po/make_pot.cmake
# A language without a catalogue yet gets one made by msginit.
# The sources are the C++ files of the subsystem folders and the interface
# description (its translatable properties).  A template that differs from
# the one already at OUTPUT only by its creation date is not rewritten.
foreach(var SOURCE_DIR OUTPUT XGETTEXT)
  if(NOT ${var})
    message(FATAL_ERROR "make_pot.cmake: ${var} is not set")
  endif()
endforeach()

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/shell/*.cpp ${SOURCE_DIR}/shell/*.h
  ${SOURCE_DIR}/document/*.cpp ${SOURCE_DIR}/document/*.h
  ${SOURCE_DIR}/imaging/*.cpp ${SOURCE_DIR}/imaging/*.h
  ${SOURCE_DIR}/tools/*.cpp ${SOURCE_DIR}/tools/*.h
  ${SOURCE_DIR}/panels/*.cpp ${SOURCE_DIR}/panels/*.h)
list(SORT sources)
list(APPEND sources shell/ui/vorpix.glade)

set(fresh ${OUTPUT}.new)
execute_process(
  COMMAND ${XGETTEXT} --output=${fresh} --from-code=UTF-8 --add-location=file
          --add-comments=TRANSLATORS: --package-name=vorpix --package-version=0.3.4
          --copyright-holder=The\ vorpix\ developers
          --keyword=_ --keyword=N_ --keyword=C_:1c,2 --keyword=NC_:1c,2 --keyword=Q_
          --keyword=g_dngettext:2,3
          ${sources}
  WORKING_DIRECTORY ${SOURCE_DIR}
  RESULT_VARIABLE status
  ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "xgettext failed: ${errors}")
endif()

function(without_date path result)
  file(READ ${path} text)
  string(REGEX REPLACE "\"POT-Creation-Date: [^\"]*\"" "" text "${text}")
  set(${result} "${text}" PARENT_SCOPE)
endfunction()

set(changed TRUE)
if(EXISTS ${OUTPUT})
  without_date(${OUTPUT} old)
  without_date(${fresh} new)
  if(old STREQUAL new)
    set(changed FALSE)
  endif()
endif()
if(changed)
  file(RENAME ${fresh} ${OUTPUT})
else()
  file(REMOVE ${fresh})
endif()

if(MSGMERGE)
  get_filename_component(po_dir ${OUTPUT} DIRECTORY)
  string(REPLACE "," ";" languages "${LANGUAGES}")
  foreach(language ${languages})
    set(po ${po_dir}/${language}.po)
    if(NOT EXISTS ${po})
      # A new language starts as an untranslated copy of the template.
      execute_process(
        COMMAND ${MSGINIT} --no-translator --locale=${language} --input=${OUTPUT}
                --output-file=${po}
        RESULT_VARIABLE status)
      if(NOT status EQUAL 0)
        message(FATAL_ERROR "msginit failed on ${language}.po")
      endif()
      continue()
    endif()
    execute_process(
      COMMAND ${MSGMERGE} --quiet --update --backup=none --add-location=file
              ${po} ${OUTPUT}
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "msgmerge failed on ${language}.po")
    endif()
  endforeach()
endif()
