# Writes OUTPUT, a C++ source that defines one std::string_view per input file, so that the tool
# carries its schema and code-table data and needs no files beside it at run time.
# Arguments: -DOUTPUT=... -DNAMES="a;b" -DFILES="pa;pb"
list(LENGTH NAMES n)
math(EXPR last "${n} - 1")
set(out "// Generated from the files under schema/; edit those, not this.\n#include <string_view>\nnamespace schema::embedded {\n")
foreach(i RANGE ${last})
    list(GET NAMES ${i} name)
    list(GET FILES ${i} file)
    file(READ "${file}" content HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${content}")
    string(LENGTH "${content}" hexlen)
    math(EXPR len "${hexlen} / 2")
    string(APPEND out "static const char ${name}_bytes[] = {${bytes} 0};\n")
    string(APPEND out "extern const std::string_view ${name}(${name}_bytes, ${len});\n")
endforeach()
string(APPEND out "}  // namespace schema::embedded\n")
file(WRITE "${OUTPUT}.tmp" "${out}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
