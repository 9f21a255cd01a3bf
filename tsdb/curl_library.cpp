#include "tsdb/curl_library.h"

#include <dlfcn.h>

namespace tsdb {
namespace {

constexpr const char* kLibrary = "libcurl.so.4";

struct Loaded {
    CurlLibrary functions{};
    bool ok = false;
    std::string why;
};

template <typename Function>
bool Find(void* library, const char* name, Function* function, std::string* why) {
    *function = reinterpret_cast<Function>(dlsym(library, name));
    if (!*function) *why = std::string(kLibrary) + " has no " + name;
    return *function != nullptr;
}

Loaded Load() {
    Loaded loaded;
    // Never closed: the handles it makes live as long as their owners, to the end of the process.
    void* library = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* error = dlerror();
        loaded.why = std::string(kLibrary) + " cannot be loaded";
        if (error) loaded.why += std::string(": ") + error;
        return loaded;
    }
    CurlLibrary& f = loaded.functions;
    std::string* why = &loaded.why;
    loaded.ok = Find(library, "curl_global_init", &f.global_init, why) &&
                Find(library, "curl_easy_init", &f.easy_init, why) &&
                Find(library, "curl_easy_setopt", &f.easy_setopt, why) &&
                Find(library, "curl_easy_perform", &f.easy_perform, why) &&
                Find(library, "curl_easy_getinfo", &f.easy_getinfo, why) &&
                Find(library, "curl_easy_strerror", &f.easy_strerror, why) &&
                Find(library, "curl_easy_cleanup", &f.easy_cleanup, why) &&
                Find(library, "curl_slist_append", &f.slist_append, why) &&
                Find(library, "curl_slist_free_all", &f.slist_free_all, why);
    if (loaded.ok && f.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        loaded.ok = false;
        loaded.why = std::string(kLibrary) + " could not start";
    }
    return loaded;
}

}  // namespace

const CurlLibrary* Curl(std::string* why) {
    static const Loaded loaded = Load();  // thread-safe, once
    if (!loaded.ok && why) *why = loaded.why;
    return loaded.ok ? &loaded.functions : nullptr;
}

}  // namespace tsdb
