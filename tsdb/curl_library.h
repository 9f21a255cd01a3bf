#pragma once

#include <curl/curl.h>

#include <string>

// libcurl, loaded by the first request rather than at start. With the TLS, Kerberos, LDAP and SSH
// libraries it brings it is about 6 MiB of resident memory, which a run that writes to no
// database would carry for nothing. The header gives the types and constants; the functions come
// from the library once it is loaded.
namespace tsdb {

struct CurlLibrary {
    decltype(&::curl_global_init) global_init;
    decltype(&::curl_easy_init) easy_init;
    decltype(&::curl_easy_setopt) easy_setopt;
    decltype(&::curl_easy_perform) easy_perform;
    decltype(&::curl_easy_getinfo) easy_getinfo;
    decltype(&::curl_easy_strerror) easy_strerror;
    decltype(&::curl_easy_cleanup) easy_cleanup;
    decltype(&::curl_slist_append) slist_append;
    decltype(&::curl_slist_free_all) slist_free_all;
};

// Loads libcurl on the first call (any thread) and initialises it once. nullptr when it cannot be
// loaded; then `why` says so, naming the library.
const CurlLibrary* Curl(std::string* why = nullptr);

}  // namespace tsdb
