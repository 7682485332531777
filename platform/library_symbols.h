#pragma once

#include <dlfcn.h>

#include <optional>

namespace kelvor {

// `function` is typed after the library's own declaration (decltype(&snd_pcm_open)), so every
// call through it is checked as if the library were linked. False when the symbol is missing.
template <class Function>
bool BindSymbol(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

// Opens the library `soname` and fills `Api`, a struct of function pointers, through
// `bindAll(bind, api)`, which calls bind(name, api.member) for each. Nullopt without the library
// or with a symbol missing. By its name alone, the loader searches only the system's folders (the
// game's executable carries no run path), never the working folder. Once bound, the library stays
// loaded for the rest of the run.
template <class Api, class BindAll>
std::optional<Api> LoadLibraryApi(const char* soname, BindAll bindAll) {
  void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return std::nullopt;
  Api api{};
  const auto bind = [library](const char* name, auto& function) {
    return BindSymbol(library, name, function);
  };
  if (bindAll(bind, api)) return api;
  dlclose(library);
  return std::nullopt;
}

}  // namespace kelvor
