# Sanitizers apply to everything, the host stand-in included, so a fault is
# caught on whichever side of the boundary it happens.
if(TESSARO_SANITIZE)
  add_compile_options(-fsanitize=${TESSARO_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${TESSARO_SANITIZE})
endif()
