# AddressSanitizer + UndefinedBehaviorSanitizer for the whole build. Any
# UB report aborts, so a sanitizer finding fails the test that caused it.
if(QUILLON_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
