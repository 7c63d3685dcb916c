# The packed Windows release. brindlec_packed_executable(NAME UNPACKED)
# writes NAME.exe into the build folder: the executable target UNPACKED,
# compressed by brindlec-pack (built for the build machine from this
# folder) and linked behind the start-up code that unpacks it in memory.
include(ExternalProject)

function(brindlec_packed_executable name unpacked)
  set(pack_dir ${PROJECT_SOURCE_DIR}/tools/pack)
  set(host_dir ${CMAKE_CURRENT_BINARY_DIR}/host-pack)
  set(packer ${host_dir}/brindlec-pack)
  ExternalProject_Add(${name}_packer
    SOURCE_DIR ${pack_dir}
    BINARY_DIR ${host_dir}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${packer})

  # The payload, and the linker script lines that place the reserved range.
  set(payload ${CMAKE_CURRENT_BINARY_DIR}/${name}-payload.c)
  set(layout ${CMAKE_CURRENT_BINARY_DIR}/packed_layout.ld)
  add_custom_command(OUTPUT ${payload} ${layout}
    COMMAND ${packer} payload $<TARGET_FILE:${unpacked}> ${payload} ${layout}
    DEPENDS ${name}_packer ${packer} ${unpacked}
    COMMENT "Packing ${unpacked}")

  # The start-up code around it: C without a C library, built for size as
  # one program (it keeps the stack at the 4-byte alignment Windows gives;
  # the intro's entry aligns its own), from kernel32 alone, loaded at the
  # intro's own base with no relocations.
  set(stub_options -flto -fomit-frame-pointer -mtune=i486 -mpreferred-stack-boundary=2 -malign-data=abi
    -fno-ident)
  add_executable(${name}-stub WIN32 ${pack_dir}/stub.c ${pack_dir}/unpack.c ${payload})
  set_target_properties(${name}-stub PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  target_compile_options(${name}-stub PRIVATE -ffreestanding -fno-stack-protector -fno-ident
    -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-tree-loop-distribute-patterns ${stub_options})
  target_link_options(${name}-stub PRIVATE ${stub_options} -nostdlib -s -L${CMAKE_CURRENT_BINARY_DIR}
    -Wl,-T,${pack_dir}/stub.ld -Wl,-e,_packed_start@4 -Wl,--gc-sections
    -Wl,--disable-dynamicbase -Wl,--disable-reloc-section -Wl,--nxcompat)
  target_link_libraries(${name}-stub PRIVATE kernel32)
  set_property(TARGET ${name}-stub APPEND PROPERTY LINK_DEPENDS ${pack_dir}/stub.ld ${layout})

  set(packed ${PROJECT_BINARY_DIR}/${name}.exe)
  add_custom_command(OUTPUT ${packed}
    COMMAND ${packer} finish $<TARGET_FILE:${unpacked}> $<TARGET_FILE:${name}-stub> ${packed}
    DEPENDS ${name}-stub ${unpacked} ${packer}
    COMMENT "Finishing ${name}.exe")
  add_custom_target(${name} ALL DEPENDS ${packed})
endfunction()
