// Libraries loaded when first needed rather than at start-up. A short-lived command-line
// run pays for every linked library it loads, and most runs never meet a TIFF or HEIF file.
#pragma once

#include <dlfcn.h>

namespace vantrel {

// Opens the library `soname` (kept loaded until the program ends); nullptr if it is not
// installed. The build passes the names of the libraries it found, VANTREL_TIFF_SONAME,
// VANTREL_HEIF_SONAME and VANTREL_GDK_PIXBUF_SONAME, so the headers compiled against and the
// library opened are the same version.
inline void* OpenSharedLibrary(const char* soname) { return dlopen(soname, RTLD_NOW | RTLD_LOCAL); }

// Points `function` at the library's symbol `name`; false when there is none.
template <class Function>
bool BindFunction(void* library, Function& function, const char* name) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

}  // namespace vantrel
