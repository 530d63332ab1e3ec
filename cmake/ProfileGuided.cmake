# Profile-guided optimisation. A build with TESSARO_PROFILE=generate writes what
# its runs executed to TESSARO_PROFILE_DIR; a build with TESSARO_PROFILE=use is
# optimised with that profile (`make profile` writes it; `make bench` and
# `make package` use it). Profile files are named relative to the build folder,
# so the two builds may live in different folders. Code the runs never reached,
# and functions changed since, are optimised as they would be without a profile.
set(TESSARO_PROFILE "" CACHE STRING "Profile-guided optimisation: generate, use, or empty for none")
set(TESSARO_PROFILE_DIR "${PROJECT_SOURCE_DIR}/build/profile-data" CACHE PATH
    "Where a generate build writes the profile and a use build reads it")

if(TESSARO_PROFILE STREQUAL "generate")
  # Atomic counters: the runs that are profiled convert on several threads.
  set(profile_flags -fprofile-generate=${TESSARO_PROFILE_DIR} -fprofile-update=atomic)
elseif(TESSARO_PROFILE STREQUAL "use")
  set(profile_flags -fprofile-use=${TESSARO_PROFILE_DIR} -fprofile-partial-training -Wno-missing-profile
                    -Wno-coverage-mismatch)
elseif(NOT TESSARO_PROFILE STREQUAL "")
  message(FATAL_ERROR "TESSARO_PROFILE is generate, use or empty, not '${TESSARO_PROFILE}'")
endif()

if(profile_flags)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    message(FATAL_ERROR "TESSARO_PROFILE needs GCC's profile options")
  endif()
  add_compile_options(${profile_flags} -fprofile-prefix-path=${CMAKE_BINARY_DIR})
  # Link-time optimisation reads the profile again when it links.
  add_link_options(${profile_flags})
endif()
