# Sanitizers apply to everything, the host stand-in included, so a fault is
# caught on whichever side of the boundary it happens.
if(TESSARO_SANITIZE)
  add_compile_options(-fsanitize=${TESSARO_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${TESSARO_SANITIZE})
endif()

# g++ warns (-Wtsan) that ThreadSanitizer does not model the atomic_thread_fence inside Asio;
# the fence is Asio's, so targets that compile Asio go without that warning.
function(tessaro_asio_target target)
  if(TESSARO_SANITIZE MATCHES "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-tsan)
  endif()
endfunction()
