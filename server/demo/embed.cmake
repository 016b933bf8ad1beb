# Writes a C++ source holding every given .sql file as a raw string, named by its base name.
# Run at build time: cmake -DOUT=<file.cpp> -DFILES=<a.sql|b.sql> -P embed.cmake
string(REPLACE "|" ";" FILES "${FILES}")
set(body "// Generated from server/demo/sql by embed.cmake; edit the .sql files instead.\n")
string(APPEND body "#include \"server/demo/scripts.h\"\n\nnamespace demo {\n\n")
string(APPEND body "const std::vector<Script>& scripts() {\n    static const std::vector<Script> all = {\n")
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME_WE)
  file(READ ${file} text)
  string(APPEND body "        {\"${name}\", R\"sql(${text})sql\"},\n")
endforeach()
string(APPEND body "    };\n    return all;\n}\n\n}  // namespace demo\n")
file(WRITE ${OUT}.tmp "${body}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
