# Compiles text resources into the updater: each file becomes a byte array in a
# generated source, so the binary carries them and nothing is read at run time.
function(ombrix_embed_resource input symbol output)
  file(READ ${input} hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  file(WRITE ${output}.tmp
    "// Generated from ${input}; do not edit.\n"
    "#include <cstddef>\n"
    "extern const unsigned char ${symbol}[];\n"
    "extern const std::size_t ${symbol}Size;\n"
    "const unsigned char ${symbol}[] = {${bytes} 0};\n"
    "const std::size_t ${symbol}Size = ${size};\n")
  configure_file(${output}.tmp ${output} COPYONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${input})
endfunction()

set(PELLOR_RESOURCE_SOURCES ${CMAKE_BINARY_DIR}/generated/string_table_resource.cpp)
ombrix_embed_resource(${CMAKE_SOURCE_DIR}/resources/strings.txt
  kStringTableResource ${CMAKE_BINARY_DIR}/generated/string_table_resource.cpp)
