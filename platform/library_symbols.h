#pragma once

#include <dlfcn.h>

namespace kelvor {

// Looks up `name` in a library opened with dlopen and stores it in `function`, a pointer typed
// after the library's own declaration (decltype(&snd_pcm_open)), so every call through it is
// checked as if the library were linked. False when the library lacks the symbol.
template <class Function>
bool BindSymbol(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

}  // namespace kelvor
