# Hardening of the program that ships. debug_hardening carries the compile
# options for every object linked into it; debug_harden_program() adds the
# link options and the export list to the program itself.
include(CheckPIESupported)
check_pie_supported()

# _FORTIFY_SOURCE needs the optimiser, so not in Debug (the sanitizer builds).
set(DEBUG_FORTIFIED "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")

add_library(debug_hardening INTERFACE)
target_compile_options(debug_hardening INTERFACE
    -fstack-protector-strong
    "$<${DEBUG_FORTIFIED}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
set_target_properties(debug_hardening PROPERTIES INTERFACE_POSITION_INDEPENDENT_CODE ON)

# PIE, full RELRO, and a dynamic symbol table that offers only the names in
# debug-exports.list (a dynamic list, so a sanitizer runtime can still add
# the names it needs).
function(debug_harden_program target)
    set(exports ${PROJECT_SOURCE_DIR}/cmake/debug-exports.list)
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${exports})
    target_link_libraries(${target} PRIVATE debug_hardening)
    target_link_options(${target} PRIVATE -Wl,-z,relro,-z,now -Wl,--dynamic-list=${exports})
endfunction()
