# Line tables (-g1) are enough for backtraces, gdb's file:line and sanitizer reports, and compile
# in about two thirds of the time full debug information takes.
set(CMAKE_C_FLAGS_RELWITHDEBINFO "-O2 -g1 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELWITHDEBINFO "-O2 -g1 -DNDEBUG")
# The sanitizer flavours build at -O1, as the sanitizers' own documentation advises: their reports
# stay exact, and the instrumented code compiles about three times faster than at -O2.
if(FLINTCAST_SANITIZE OR FLINTCAST_TSAN)
  set(CMAKE_C_FLAGS_RELWITHDEBINFO "-O1 -g1 -DNDEBUG")
  set(CMAKE_CXX_FLAGS_RELWITHDEBINFO "-O1 -g1 -DNDEBUG")
endif()
if(FLINTCAST_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(FLINTCAST_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
