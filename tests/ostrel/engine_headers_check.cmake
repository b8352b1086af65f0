# Keeps each engine's client header inside its engine: sqlite3.h only in
# ostrel/src/sqlite/ and libpq-fe.h only in ostrel/src/postgres/ (and in each
# engine's own tests), so neither the rest of the library nor spoolmap, its
# tests or the fuzz targets reach around the engine interface.
#
#   cmake -DSOURCE_DIR=<project> -P tests/ostrel/engine_headers_check.cmake

# header, then the path prefixes (relative to the project) where it may be
# included
set(RULES
  "sqlite3.h,ostrel/src/sqlite/,tests/ostrel/sqlite/"
  "libpq-fe.h,ostrel/src/postgres/,tests/ostrel/postgres/")
# spoolmap's attribute-table tests write their small SQLite files directly;
# writing a test file is not reading the database around the library.
set(SQLITE_TEST_DATA_WRITERS "tests/unit/dbf_test_database.h")

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/ostrel/*.h ${SOURCE_DIR}/ostrel/*.cpp
  ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp
  ${SOURCE_DIR}/tests/*.h ${SOURCE_DIR}/tests/*.cpp
  ${SOURCE_DIR}/fuzz/*.h ${SOURCE_DIR}/fuzz/*.cpp)

set(failures "")
foreach(rule ${RULES})
  string(REPLACE "," ";" parts "${rule}")
  list(GET parts 0 header)
  list(SUBLIST parts 1 -1 allowed)
  if(header STREQUAL "sqlite3.h")
    list(APPEND allowed ${SQLITE_TEST_DATA_WRITERS})
  endif()
  string(REPLACE "." "\\." header_pattern "${header}")
  foreach(source ${sources})
    set(inside FALSE)
    foreach(prefix ${allowed})
      string(FIND "${source}" "${prefix}" at)
      if(at EQUAL 0)
        set(inside TRUE)
      endif()
    endforeach()
    if(NOT inside)
      file(STRINGS ${SOURCE_DIR}/${source} lines
           REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]${header_pattern}[>\"]")
      if(lines)
        string(APPEND failures "  ${source} includes ${header}\n")
      endif()
    endif()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "Engine headers outside their engine:\n${failures}")
endif()
message(STATUS "Engine headers stay inside their engines (${CMAKE_CURRENT_LIST_FILE}).")
