// dlopen/dlsym/dlclose behind an owning object.
#include "platform/shell/SharedLibrary.h"

#include <dlfcn.h>

SharedLibrary::SharedLibrary(const std::string& path) {
  mHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (mHandle == nullptr) {
    const char* error = dlerror();
    mError = error != nullptr ? error : "cannot load " + path;
  }
}

SharedLibrary::~SharedLibrary() {
  if (mHandle != nullptr) dlclose(mHandle);
}

void* SharedLibrary::Symbol(const char* name) const {
  if (mHandle == nullptr) return nullptr;
  dlerror();
  return dlsym(mHandle, name);
}
