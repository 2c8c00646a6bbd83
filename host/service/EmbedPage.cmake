# Writes OUTPUT, a C++ source that defines PageAssets::Files() with the bytes of each file of
# FILES (a list of paths below SOURCE_DIR), so the page ships inside the program.
set(entries "")
set(arrays "")
set(index 0)
foreach(name IN LISTS FILES)
  file(READ "${SOURCE_DIR}/${name}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  if(name MATCHES "\\.html$")
    set(type "text/html; charset=utf-8")
  elseif(name MATCHES "\\.css$")
    set(type "text/css; charset=utf-8")
  elseif(name MATCHES "\\.js$")
    set(type "text/javascript; charset=utf-8")
  elseif(name MATCHES "\\.svg$")
    set(type "image/svg+xml")
  else()
    set(type "application/octet-stream")
  endif()
  string(APPEND arrays "const char kFile${index}[] = {${bytes} '\\0'};\n")
  string(APPEND entries "    {\"/${name}\", {kFile${index}, ${size}}, \"${type}\"},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from host/service/page by EmbedPage.cmake; do not edit.
#include \"service/PageAssets.h\"

namespace {
${arrays}
const PageAssets::File kFiles[] = {
${entries}};
} // namespace

std::span<const PageAssets::File> PageAssets::Files() { return kFiles; }
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
