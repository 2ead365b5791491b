# Version records: every program and shared library of ours carries one as an ELF
# note (owner "Corvanta", type 0x5652), read by GetFileVersionInfo and VerQueryValue.
# The note holds "Name=Value" lines; the reader in platform/os/src/version_record.cpp
# expects exactly this owner and type.

# The values every file gets unless its target says otherwise.
set(VERSION_RECORD_COMPANY "Corvanta Rodevadido GmbH")
set(VERSION_RECORD_PRODUCT "Device Software")
set(VERSION_RECORD_VERSION "1.0.0.0")
set(VERSION_RECORD_COPYRIGHT "Copyright (C) Corvanta Rodevadido GmbH")

# version_record(<target> [FILE_VERSION a.b.c.d] [PRODUCT_VERSION a.b.c.d]
#                [DESCRIPTION text] [PRODUCT text] [NONE])
# Sets what the target's record says; NONE leaves the target without a record.
function(version_record target)
  cmake_parse_arguments(V "NONE" "FILE_VERSION;PRODUCT_VERSION;DESCRIPTION;PRODUCT" "" ${ARGN})
  if(V_NONE)
    set_target_properties(${target} PROPERTIES VERSION_RECORD_NONE ON)
  endif()
  foreach(field FILE_VERSION PRODUCT_VERSION DESCRIPTION PRODUCT)
    if(DEFINED V_${field})
      set_target_properties(${target} PROPERTIES VERSION_RECORD_${field} "${V_${field}}")
    endif()
  endforeach()
endfunction()

function(_version_record_targets dir result)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _version_record_targets(${sub} subTargets)
    list(APPEND targets ${subTargets})
  endforeach()
  set(${result} ${targets} PARENT_SCOPE)
endfunction()

function(_version_record_value target field default result)
  get_target_property(value ${target} VERSION_RECORD_${field})
  if(NOT value)
    set(value "${default}")
  endif()
  set(${result} "${value}" PARENT_SCOPE)
endfunction()

# Writes the note source of one target and adds it to the target.
function(_version_record_add target)
  get_target_property(outputName ${target} OUTPUT_NAME)
  if(NOT outputName)
    set(outputName ${target})
  endif()
  _version_record_value(${target} FILE_VERSION "${VERSION_RECORD_VERSION}" fileVersion)
  _version_record_value(${target} PRODUCT_VERSION "${VERSION_RECORD_VERSION}" productVersion)
  _version_record_value(${target} DESCRIPTION "${outputName}" description)
  _version_record_value(${target} PRODUCT "${VERSION_RECORD_PRODUCT}" product)
  set(text "CompanyName=${VERSION_RECORD_COMPANY}\nFileDescription=${description}\n")
  string(APPEND text "FileVersion=${fileVersion}\nLegalCopyright=${VERSION_RECORD_COPYRIGHT}\n")
  string(APPEND text "ProductName=${product}\nProductVersion=${productVersion}\n")

  # The text goes in as bytes, so no value needs quoting.
  set(folder ${CMAKE_BINARY_DIR}/version_records)
  file(WRITE ${folder}/${target}.txt "${text}")
  file(READ ${folder}/${target}.txt hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "(..)" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE ",$" "" bytes "${bytes}")
  file(CONFIGURE OUTPUT ${folder}/${target}.c CONTENT "/* Version record of ${target}, written by the build. */
__asm__(\".pushsection .note.corvanta.version,\\\"a\\\",@note\\n\"
        \".balign 4\\n\"
        \".long 9\\n\"
        \".long ${size}\\n\"
        \".long 0x5652\\n\"
        \".asciz \\\"Corvanta\\\"\\n\"
        \".balign 4\\n\"
        \".byte ${bytes}\\n\"
        \".balign 4\\n\"
        \".popsection\\n\");
" @ONLY)
  target_sources(${target} PRIVATE ${folder}/${target}.c)
endfunction()

# Gives every program and shared library below the source folder its record; called
# once, after all folders are added.
function(add_version_records)
  _version_record_targets(${CMAKE_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(imported ${target} IMPORTED)
    get_target_property(none ${target} VERSION_RECORD_NONE)
    if(imported OR none)
      continue()
    endif()
    if(type STREQUAL "EXECUTABLE" OR type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
      _version_record_add(${target})
    endif()
  endforeach()
endfunction()
