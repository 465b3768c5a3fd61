# DUOSCRIPTFORGE_SANITIZE: a comma-separated list for -fsanitize= (for example
# "address,undefined"), applied to every target: the engines, their tests and the module.
# The module then needs the sanitizer runtime preloaded into the interpreter (see tools/test).
set(DUOSCRIPTFORGE_SANITIZE "" CACHE STRING "Sanitizers to build with, as for -fsanitize=")

if(DUOSCRIPTFORGE_SANITIZE)
  add_compile_options(-fsanitize=${DUOSCRIPTFORGE_SANITIZE} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${DUOSCRIPTFORGE_SANITIZE})
endif()
