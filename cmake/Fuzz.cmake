# The fuzz build: every library gets libFuzzer's coverage hooks and both sanitizers; the fuzz
# targets add the libFuzzer driver at link time (fuzz/CMakeLists.txt).
if(FLINTCAST_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
