# The Windows DLL: tqla.dll exports what the generated module-definition file
# lists (scripts/windows_exports.py reads the public headers), its import
# library carries the names C and C++ hosts link against, and nothing of the
# MinGW runtime has to be shipped beside it or tqla.exe.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TQLA_WINDOWS_ARCH i686)
else()
  set(TQLA_WINDOWS_ARCH x86_64)
endif()
set(TQLA_DEF_DIR ${PROJECT_BINARY_DIR}/exports)
set(TQLA_EXPORT_HEADERS ${PROJECT_SOURCE_DIR}/include/tqla/tqla.h ${PROJECT_SOURCE_DIR}/include/tqla/tqla_ext.h)
set(TQLA_DEF_FILES ${TQLA_DEF_DIR}/tqla.def)
if(TQLA_WINDOWS_ARCH STREQUAL i686)
  list(APPEND TQLA_DEF_FILES ${TQLA_DEF_DIR}/tqla-c.def ${TQLA_DEF_DIR}/tqla-cxx.def)
endif()
add_custom_command(OUTPUT ${TQLA_DEF_FILES}
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/scripts/windows_exports.py
    --arch ${TQLA_WINDOWS_ARCH} --out-dir ${TQLA_DEF_DIR} ${TQLA_EXPORT_HEADERS}
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/windows_exports.py ${TQLA_EXPORT_HEADERS}
  COMMENT "Generating the DLL's export table from the public headers")
add_custom_target(tqla_exports DEPENDS ${TQLA_DEF_FILES})

add_dependencies(tqla tqla_exports)
set_target_properties(tqla PROPERTIES PREFIX "" OUTPUT_NAME tqla IMPORT_PREFIX "" IMPORT_SUFFIX ".dll.a"
  LINK_DEPENDS "${TQLA_DEF_FILES}")
target_link_options(tqla PRIVATE ${TQLA_DEF_DIR}/tqla.def -static)
target_link_libraries(tqla PRIVATE setupapi)
if(TQLA_WINDOWS_ARCH STREQUAL i686)
  # Exported as Name (from Name@N) and as the decorated C++ name; the import
  # library maps _Name@N (C hosts) and the decorated names (C++ hosts) to them.
  target_link_options(tqla PRIVATE -Wl,--kill-at)
  find_program(TQLA_DLLTOOL ${TQLA_MINGW_TRIPLET}-dlltool REQUIRED)
  find_program(TQLA_AR ${TQLA_MINGW_TRIPLET}-ar REQUIRED)
  set(implib_dir ${PROJECT_BINARY_DIR}/implib)
  file(WRITE ${implib_dir}/merge.mri "CREATE tqla.lib\nADDLIB c.a\nADDLIB cxx.a\nSAVE\nEND\n")
  add_custom_command(TARGET tqla POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${implib_dir}
    COMMAND ${TQLA_DLLTOOL} --kill-at -D tqla.dll -d ${TQLA_DEF_DIR}/tqla-c.def -l ${implib_dir}/c.a
    COMMAND ${TQLA_DLLTOOL} --no-leading-underscore -D tqla.dll -d ${TQLA_DEF_DIR}/tqla-cxx.def
      -l ${implib_dir}/cxx.a
    COMMAND ${CMAKE_COMMAND} -E rm -f ${implib_dir}/tqla.lib
    COMMAND ${CMAKE_COMMAND} -E chdir ${implib_dir} sh -c "${TQLA_AR} -M < merge.mri"
    COMMAND ${CMAKE_COMMAND} -E copy ${implib_dir}/tqla.lib $<TARGET_LINKER_FILE:tqla>
    COMMAND ${CMAKE_COMMAND} -E copy ${implib_dir}/tqla.lib $<TARGET_FILE_DIR:tqla>/tqla.lib
    COMMENT "Import library with the C and C++ names of the exports"
    VERBATIM)
else()
  add_custom_command(TARGET tqla POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_LINKER_FILE:tqla> $<TARGET_FILE_DIR:tqla>/tqla.lib)
endif()
