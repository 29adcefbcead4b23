# SPDX-License-Identifier: MIT
# Reads NEWS.md, the history of releases, so that every file that lists
# releases (the AppStream metainfo, the Debian changelog, the man pages'
# date) is made from it and the version stays written once, in project().
#
# NEWS.md: each release is a heading "## VERSION (YYYY-MM-DD)", newest
# first, followed by paragraphs and "- " list items; a line of a list item
# that goes on is indented by two spaces. Backticks are dropped.
#
# Sets:
#   VANTREL_RELEASE_DATE      the date of PROJECT_VERSION's entry
#   VANTREL_METAINFO_RELEASES the <release> elements of the metainfo
#   VANTREL_DEBIAN_CHANGELOG  the entries of a Debian changelog
set(VANTREL_NEWS ${PROJECT_SOURCE_DIR}/NEWS.md)
set(VANTREL_MAINTAINER "The Vantrel developers <vantrel@example.org>" CACHE STRING
  "Maintainer named in the Debian package and its changelog: Name <address>")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VANTREL_NEWS})

# Word-wraps TEXT to lines shorter than WIDTH, the first line starting with
# FIRST, the others with REST.
function(_vantrel_wrap text first rest width out)
  string(REPLACE " " ";" words "${text}")
  set(result "")
  set(line "${first}")
  set(empty TRUE)
  foreach(word IN LISTS words)
    if(word STREQUAL "")
      continue()
    endif()
    string(LENGTH "${line} ${word}" length)
    if(empty)
      string(APPEND line "${word}")
      set(empty FALSE)
    elseif(length LESS width)
      string(APPEND line " ${word}")
    else()
      string(APPEND result "${line}\n")
      set(line "${rest}${word}")
    endif()
  endforeach()
  set(${out} "${result}${line}\n" PARENT_SCOPE)
endfunction()

function(_vantrel_xml_escape text out)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Appends the block under way (a paragraph "P" or a list item "L") to the
# release under way, in both forms.
macro(_vantrel_end_block)
  if(NOT block_text STREQUAL "")
    string(REPLACE "`" "" block_text "${block_text}")
    string(STRIP "${block_text}" block_text)
    _vantrel_xml_escape("${block_text}" xml_text)
    if(block_kind STREQUAL "L" AND NOT in_list)
      string(APPEND xml "        <ul>\n")
      set(in_list TRUE)
    elseif(block_kind STREQUAL "P" AND in_list)
      string(APPEND xml "        </ul>\n")
      set(in_list FALSE)
    endif()
    if(block_kind STREQUAL "L")
      string(APPEND xml "          <li>${xml_text}</li>\n")
    else()
      string(APPEND xml "        <p>${xml_text}</p>\n")
    endif()
    _vantrel_wrap("${block_text}" "  * " "    " 80 item)
    string(APPEND changes "${item}")
  endif()
  set(block_text "")
endmacro()

macro(_vantrel_end_release)
  _vantrel_end_block()
  if(NOT version STREQUAL "")
    if(in_list)
      string(APPEND xml "        </ul>\n")
      set(in_list FALSE)
    endif()
    string(APPEND VANTREL_METAINFO_RELEASES
      "    <release version=\"${version}\" date=\"${date}\">\n"
      "      <description>\n${xml}      </description>\n"
      "    </release>\n")
    execute_process(COMMAND date -u -R -d "${date}" OUTPUT_VARIABLE rfc_date
      OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "NEWS.md: cannot read the date ${date} of ${version}")
    endif()
    string(APPEND VANTREL_DEBIAN_CHANGELOG
      "${PROJECT_NAME} (${version}) unstable; urgency=medium\n\n${changes}\n"
      " -- ${VANTREL_MAINTAINER}  ${rfc_date}\n\n")
  endif()
  set(xml "")
  set(changes "")
endmacro()

# The lines of NEWS.md. Semicolons and square brackets would split or join
# list elements, so control characters stand in for them on the way.
string(ASCII 31 _vantrel_semicolon)
string(ASCII 30 _vantrel_open)
string(ASCII 29 _vantrel_close)
file(READ ${VANTREL_NEWS} news)
string(REPLACE ";" "${_vantrel_semicolon}" news "${news}")
string(REPLACE "[" "${_vantrel_open}" news "${news}")
string(REPLACE "]" "${_vantrel_close}" news "${news}")
string(REPLACE "\n" ";" news_lines "${news}")

set(VANTREL_METAINFO_RELEASES "")
set(VANTREL_DEBIAN_CHANGELOG "")
set(VANTREL_RELEASE_DATE "")
set(versions "")
set(version "")
set(block_text "")
set(block_kind "")
set(in_list FALSE)
set(xml "")
set(changes "")
foreach(line IN LISTS news_lines)
  if(line MATCHES "^## ")
    _vantrel_end_release()
    if(NOT line MATCHES "^## ([0-9]+\\.[0-9]+\\.[0-9]+) \\(([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9])\\)$")
      message(FATAL_ERROR "NEWS.md: \"${line}\" is not a heading \"## VERSION (YYYY-MM-DD)\"")
    endif()
    set(version ${CMAKE_MATCH_1})
    set(date ${CMAKE_MATCH_2})
    list(APPEND versions ${version})
    if(version STREQUAL PROJECT_VERSION)
      set(VANTREL_RELEASE_DATE ${date})
    endif()
  elseif(version STREQUAL "")
    # The file's title and notes before the first release.
  elseif(line MATCHES "^[ \t]*$")
    _vantrel_end_block()
  elseif(line MATCHES "^- (.*)$")
    _vantrel_end_block()
    set(block_kind L)
    set(block_text "${CMAKE_MATCH_1}")
  elseif(block_text STREQUAL "")
    set(block_kind P)
    set(block_text "${line}")
  else()
    string(STRIP "${line}" line)
    string(APPEND block_text " ${line}")
  endif()
endforeach()
_vantrel_end_release()

list(LENGTH versions count)
if(count EQUAL 0)
  message(FATAL_ERROR "NEWS.md has no release entry \"## VERSION (YYYY-MM-DD)\"")
endif()
list(GET versions 0 newest)
if(NOT newest STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "NEWS.md opens with ${newest}, but project() declares ${PROJECT_VERSION}: "
    "add an entry \"## ${PROJECT_VERSION} (YYYY-MM-DD)\" at the top of NEWS.md")
endif()
foreach(var VANTREL_METAINFO_RELEASES VANTREL_DEBIAN_CHANGELOG)
  string(REPLACE "${_vantrel_semicolon}" ";" ${var} "${${var}}")
  string(REPLACE "${_vantrel_open}" "[" ${var} "${${var}}")
  string(REPLACE "${_vantrel_close}" "]" ${var} "${${var}}")
endforeach()
string(STRIP "${VANTREL_METAINFO_RELEASES}" VANTREL_METAINFO_RELEASES)
string(REGEX REPLACE "\n+$" "\n" VANTREL_DEBIAN_CHANGELOG "${VANTREL_DEBIAN_CHANGELOG}")
