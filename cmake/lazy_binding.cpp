// The binder of the stubs that cmake/LazyLibraries.cmake writes: opens a library on the first call
// into it and fills the slots of all its functions.
#include <dlfcn.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// A vtable the program holds a copy of, filled from the library's when it opens.
struct CopiedData {
    const char* name;
    void* copy;
    std::size_t size;  // bytes
};

// Laid out as the stubs' descriptor: names is every function's name, each ended by a NUL, in slot
// order.
struct LazyLibrary {
    const char* soname;
    const char* names;
    void** slots;
    std::size_t count;
    const CopiedData* copies;
    std::size_t copyCount;
};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

[[noreturn]] void missingFunction() {
    fail("a function of a library opened on first use is missing from it");
}

}  // namespace

// Called by a stub whose slot is still empty; returns once every slot of the library is filled.
// A function the library no longer exports fails when it is called, as with the dynamic linker's
// lazy binding.
extern "C" __attribute__((visibility("hidden"))) void carvel_lazy_bind(LazyLibrary* library) {
    static std::mutex mutex;
    const std::scoped_lock lock(mutex);
    if (library->count == 0 || __atomic_load_n(&library->slots[0], __ATOMIC_ACQUIRE) != nullptr) {
        return;
    }
    void* handle = dlopen(library->soname, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        fail(dlerror());
    }
    for (std::size_t i = 0; i < library->copyCount; ++i) {
        const CopiedData& data = library->copies[i];
        const void* original = dlsym(handle, data.name);
        if (original == nullptr) {
            fail(dlerror());
        }
        std::memcpy(data.copy, original, data.size);
    }
    void* first = nullptr;
    const char* name = library->names;
    for (std::size_t i = 0; i < library->count; ++i, name += std::strlen(name) + 1) {
        void* function = dlsym(handle, name);
        if (function == nullptr) {
            function = reinterpret_cast<void*>(&missingFunction);
        }
        if (i == 0) {
            first = function;  // written last: a filled first slot means a filled table
        } else {
            __atomic_store_n(&library->slots[i], function, __ATOMIC_RELEASE);
        }
    }
    __atomic_store_n(&library->slots[0], first, __ATOMIC_RELEASE);
}
