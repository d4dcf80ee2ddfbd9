# Warning flags for our own targets only (never for GoogleTest or other third-party code).
function(brennic_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion)
  if(BRENNIC_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
