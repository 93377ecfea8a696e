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

# The message catalogs: resources/po/<language>.po, the support host put in place of
# @SUPPORT_HOST@, compiled by msgfmt --check and embedded under their resource
# identifiers. A catalog that does not compile stops the build.
find_program(OMBRIX_MSGFMT msgfmt REQUIRED)
set(OMBRIX_CATALOGS
  cs=201 de=202 el=203 en_GB=204 es_AR=205 es_ES=206 fi=207 fr=208 hu=209 it=210 ja=211 ko=212
  nl=213 no=214 pl=215 pt=216 ro=217 ru=218 sv=219 th=220 tr=221 zh_CN=222 zh_TW=223)
set(catalogArrays "")
set(catalogCases "")
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/generated/po)
foreach(entry ${OMBRIX_CATALOGS})
  string(REPLACE "=" ";" pair ${entry})
  list(GET pair 0 language)
  list(GET pair 1 id)
  set(po ${CMAKE_SOURCE_DIR}/resources/po/${language}.po)
  if(NOT EXISTS ${po})
    continue()
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${po})
  file(READ ${po} text)
  string(REPLACE "@SUPPORT_HOST@" "${OMBRIX_SUPPORT_HOST}" text "${text}")
  set(source ${CMAKE_BINARY_DIR}/generated/po/${language}.po)
  set(mo ${CMAKE_BINARY_DIR}/generated/po/${language}.mo)
  file(WRITE ${source} "${text}")
  execute_process(COMMAND ${OMBRIX_MSGFMT} --check -o ${mo} ${source}
                  RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "resources/po/${language}.po does not compile:\n${errors}")
  endif()
  file(READ ${mo} hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND catalogArrays "const unsigned char kCatalog${id}[] = {${bytes}};\n")
  string(APPEND catalogCases "    case ${id}: return {reinterpret_cast<const char*>(kCatalog${id}), ${size}};\n")
endforeach()
file(WRITE ${CMAKE_BINARY_DIR}/generated/message_catalogs_resource.cpp.tmp
  "// Generated from resources/po; do not edit.\n"
  "#include \"updater/locale/posix/embedded_message_catalog.h\"\n"
  "namespace ombrix::locale::posix {\n"
  "namespace {\n${catalogArrays}}\n"
  "std::string_view EmbeddedCatalogResource(std::uint16_t id) {\n"
  "  switch (id) {\n${catalogCases}    default: return {};\n  }\n}\n"
  "}  // namespace ombrix::locale::posix\n")
configure_file(${CMAKE_BINARY_DIR}/generated/message_catalogs_resource.cpp.tmp
  ${CMAKE_BINARY_DIR}/generated/message_catalogs_resource.cpp COPYONLY)
list(APPEND PELLOR_RESOURCE_SOURCES ${CMAKE_BINARY_DIR}/generated/message_catalogs_resource.cpp)
