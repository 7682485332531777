#pragma once

#include <dlfcn.h>

namespace kelvor {

// `function` is typed after the library's own declaration (decltype(&snd_pcm_open)), so every
// call through it is checked as if the library were linked. False when the symbol is missing.
template <class Function>
bool BindSymbol(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

}  // namespace kelvor
