# GCC expands a memset whose size it only estimates (a host map table, an array
# of a builder's fields) as `rep stos`, above all once a profile tells it the
# usual size. For the few hundred bytes of a map table that microcoded loop
# costs far more than the C library's memset, which picks vector code for the
# processor when the program starts. Link options too: link-time optimisation
# generates the code again.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i.86)$")
  set(library_memset -mmemset-strategy=libcall:-1:noalign)
  add_compile_options(${library_memset})
  add_link_options(${library_memset})
endif()
