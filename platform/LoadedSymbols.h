#pragma once
// Functions of libraries loaded with dlopen when first needed, not at start-up.

#include <dlfcn.h>

namespace platform {

template <typename F>
bool resolve(void* lib, const char* name, F& fn)
{
    fn = reinterpret_cast<F>(dlsym(lib, name));
    return fn != nullptr;
}

}  // namespace platform
