# The flags Debian builds its packages with (dpkg-buildflags, plus immediate binding):
# stack protector, checked string and memory functions, a read-only relocation table
# resolved at start-up, position-independent executables. Off for debug builds, since
# _FORTIFY_SOURCE needs optimisation, and for the sanitizers, which bring their own checks.
option(TESSARO_HARDENING "Build with the hardening flags of Debian packages" OFF)

if(TESSARO_HARDENING)
  if(TESSARO_SANITIZE)
    message(FATAL_ERROR "TESSARO_HARDENING and TESSARO_SANITIZE do not go together")
  endif()
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES C CXX)
  add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
  add_compile_definitions(_FORTIFY_SOURCE=2)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
