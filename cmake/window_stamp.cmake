# Writes window_stamp.h: a digest of every header the program and the window
# module share, so a module built against other headers carries another
# stamp. Run at build time with -DHEADERS=<list> -DOUT=<file> -DVERSION=<v>.
set(digest_input "${VERSION}")
foreach(header IN LISTS HEADERS)
  file(SHA256 "${header}" one)
  string(APPEND digest_input ";${one}")
endforeach()
string(SHA256 digest "${digest_input}")
string(SUBSTRING "${digest}" 0 32 digest)
set(text "// Generated at build time: the stamp the program and its window module share.\n#pragma once\n#define TW_WINDOW_STAMP \"tarnwick-window-abi:${VERSION}:${digest}\"\n")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUT}" "${text}")
