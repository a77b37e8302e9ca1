# Everything every target shares: language level, warnings, sanitizers.
add_library(zembrix_settings INTERFACE)
target_compile_features(zembrix_settings INTERFACE cxx_std_20)
target_compile_options(zembrix_settings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
  -Wnull-dereference -Wimplicit-fallthrough -Wformat=2)
if(ZEMBRIX_WERROR)
  target_compile_options(zembrix_settings INTERFACE -Werror)
endif()
if(ZEMBRIX_SANITIZE)
  target_compile_options(zembrix_settings INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(zembrix_settings INTERFACE -fsanitize=address,undefined)
  target_compile_definitions(zembrix_settings INTERFACE _GLIBCXX_ASSERTIONS)
endif()
