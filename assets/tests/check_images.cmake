# Checks the rendered interface images and the default theme package.
#
#   cmake -DZIP=.../gfx/handdrawn.zip [-DTHEME_NAME=Hand-drawn] -DBUILTIN_DIR=... -DAPPICON_DIR=...
#         -DNAMES=New,Add,... -DSIZES=16,24,... -DWORK_DIR=... -P check_images.cmake
#
# - the package holds theme.cfg, the three button images and every icon at
#   every size, each a PNG of the right edge length;
# - theme.cfg has CR LF line ends, names the theme in its first 255 bytes and
#   gives every icon its base name;
# - the images compiled into the program have their fixed sizes.

cmake_minimum_required(VERSION 3.20)

foreach(var ZIP BUILTIN_DIR APPICON_DIR NAMES SIZES WORK_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_images: ${var} is not set")
  endif()
endforeach()
string(REPLACE "," ";" NAMES "${NAMES}")
string(REPLACE "," ";" SIZES "${SIZES}")

set(failures 0)
macro(fail text)
  message(SEND_ERROR "${text}")
  math(EXPR failures "${failures} + 1")
endmacro()

# Reads the width and height from a PNG's header.
function(png_size file out_w out_h)
  set(${out_w} -1 PARENT_SCOPE)
  set(${out_h} -1 PARENT_SCOPE)
  if(NOT EXISTS "${file}")
    return()
  endif()
  file(READ "${file}" sig HEX LIMIT 8)
  file(READ "${file}" chunk HEX OFFSET 12 LIMIT 4)
  if(NOT sig STREQUAL "89504e470d0a1a0a" OR NOT chunk STREQUAL "49484452")
    return()
  endif()
  file(READ "${file}" w HEX OFFSET 16 LIMIT 4)
  file(READ "${file}" h HEX OFFSET 20 LIMIT 4)
  math(EXPR w "0x${w}")
  math(EXPR h "0x${h}")
  set(${out_w} ${w} PARENT_SCOPE)
  set(${out_h} ${h} PARENT_SCOPE)
endfunction()

macro(expect_png file width height)
  png_size("${file}" w h)
  if(NOT w EQUAL ${width} OR NOT h EQUAL ${height})
    fail("${file}: expected a ${width}x${height} PNG, found ${w}x${h}")
  endif()
endmacro()

# --- The theme package --------------------------------------------------------
if(NOT EXISTS "${ZIP}")
  message(FATAL_ERROR "theme package missing: ${ZIP}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf "${ZIP}"
  OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot list ${ZIP}")
endif()
string(REPLACE "\n" ";" entries "${listing}")

set(expected theme.cfg Convert_button.png InFiles_button.png InFolder_button.png)
foreach(name IN LISTS NAMES)
  foreach(size IN LISTS SIZES)
    list(APPEND expected ${name}_${size}.png)
  endforeach()
endforeach()
foreach(entry IN LISTS expected)
  if(NOT entry IN_LIST entries)
    fail("${ZIP} lacks ${entry}")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf "${ZIP}"
  WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot extract ${ZIP}")
endif()

expect_png("${WORK_DIR}/Convert_button.png" 64 64)
expect_png("${WORK_DIR}/InFiles_button.png" 48 48)
expect_png("${WORK_DIR}/InFolder_button.png" 48 48)
foreach(name IN LISTS NAMES)
  foreach(size IN LISTS SIZES)
    expect_png("${WORK_DIR}/${name}_${size}.png" ${size} ${size})
  endforeach()
endforeach()

# theme.cfg: CR LF lines; the display name within the first 255 bytes.
# file(READ) drops carriage returns, so the line ends are checked on the bytes.
file(READ "${WORK_DIR}/theme.cfg" cfg_hex HEX)
string(REPLACE "0d0a" "" without_crlf "${cfg_hex}")
if(without_crlf MATCHES "^(..)*(0d|0a)")
  fail("theme.cfg has a line end other than CR LF")
endif()
file(READ "${WORK_DIR}/theme.cfg" cfg)
if(NOT DEFINED THEME_NAME)
  set(THEME_NAME "Hand-drawn")
endif()
string(FIND "${cfg}" "[Theme]\nName=${THEME_NAME}\n" at)
if(NOT at EQUAL 0)
  fail("theme.cfg does not begin with the theme's display name")
endif()
foreach(button Convert InFiles InFolder)
  if(NOT cfg MATCHES "\\[Buttons\\]\n([^[]*\n)?${button}=${button}_button\\.png\n")
    fail("theme.cfg lacks the button entry ${button}")
  endif()
endforeach()
foreach(name IN LISTS NAMES)
  if(NOT cfg MATCHES "\\[Icons\\]\n([^[]*\n)?${name}=${name}\n")
    fail("theme.cfg lacks the icon entry ${name}")
  endif()
endforeach()

# --- Images compiled into the program ---------------------------------------
expect_png("${BUILTIN_DIR}/banner.png" 360 40)
expect_png("${BUILTIN_DIR}/buttons/Convert.png" 64 64)
expect_png("${BUILTIN_DIR}/buttons/InFiles.png" 48 48)
expect_png("${BUILTIN_DIR}/buttons/InFolder.png" 48 48)
foreach(name IN LISTS NAMES)
  expect_png("${BUILTIN_DIR}/icons/${name}.png" 16 16)
endforeach()

# --- Desktop icon -------------------------------------------------------------
expect_png("${APPICON_DIR}/48x48/tarnwick.png" 48 48)
expect_png("${APPICON_DIR}/128x128/tarnwick.png" 128 128)

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} check(s) failed")
endif()
list(LENGTH expected count)
message(STATUS "theme package and built-in images are complete (${count} package entries)")
