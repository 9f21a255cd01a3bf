#include "tsdb/http_post.h"

#include <zlib.h>

#include <algorithm>

#include "res/build_info.h"
#include "tsdb/curl_library.h"

namespace tsdb {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kAnswerKept = 1024;

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

size_t KeepAnswer(char* data, size_t size, size_t count, void* user) {
    auto* answer = static_cast<std::string*>(user);
    const size_t n = size * count;
    answer->append(data, std::min(n, kAnswerKept - std::min(kAnswerKept, answer->size())));
    return n;
}

// libcurl calls this at least about once a second while a request is open.
int CheckAbort(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const long long abortAt = static_cast<std::atomic<long long>*>(user)->load();
    return abortAt != 0 && NowNs() >= abortAt ? 1 : 0;
}

// The database's answer for messages: its first line, at most 200 characters.
std::string FirstLine(const std::string& body) {
    std::string line = body.substr(0, body.find_first_of("\r\n"));
    if (line.size() > 200) line = line.substr(0, 200) + "...";
    return line;
}

}  // namespace

HttpPoster::HttpPoster(const std::string& url, const std::string& authorization,
                       const std::string& userAgent, bool gzip)
    : m_userAgent(userAgent + "/" + res::kVersion) {
    const CurlLibrary* lib = Curl();
    CURL* curl = lib ? lib->easy_init() : nullptr;
    m_curl = curl;
    if (!curl) return;
    m_lib = lib;
    curl_slist* headers = m_lib->slist_append(nullptr, "Content-Type: text/plain; charset=utf-8");
    headers = m_lib->slist_append(headers, "Expect:");  // no 100-continue round trip
    if (!authorization.empty())
        headers = m_lib->slist_append(headers, ("Authorization: " + authorization).c_str());
    m_headers = headers;
    if (gzip) {
        curl_slist* zipped = nullptr;
        for (const curl_slist* h = headers; h; h = h->next)
            zipped = m_lib->slist_append(zipped, h->data);
        m_gzipHeaders = m_lib->slist_append(zipped, "Content-Encoding: gzip");
    }
    m_lib->easy_setopt(curl, CURLOPT_URL, url.c_str());
    m_lib->easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    m_lib->easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);  // a redirect would lose the POST body
    m_lib->easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);        // threads; the resolver is threaded
    m_lib->easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    m_lib->easy_setopt(curl, CURLOPT_USERAGENT, m_userAgent.c_str());
    m_lib->easy_setopt(curl, CURLOPT_POST, 1L);
    m_lib->easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(kConnectTimeout.count()));
    m_lib->easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    // The system's certificates (libcurl's default bundle); spelled out so that it stays on.
    m_lib->easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    m_lib->easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    m_lib->easy_setopt(curl, CURLOPT_WRITEFUNCTION, KeepAnswer);
    m_lib->easy_setopt(curl, CURLOPT_WRITEDATA, &m_answer);
    m_lib->easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    m_lib->easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CheckAbort);
    m_lib->easy_setopt(curl, CURLOPT_XFERINFODATA, &m_abortAtNs);
}

HttpPoster::~HttpPoster() {
    if (!m_lib) return;
    m_lib->easy_cleanup(static_cast<CURL*>(m_curl));
    m_lib->slist_free_all(static_cast<curl_slist*>(m_headers));
    m_lib->slist_free_all(static_cast<curl_slist*>(m_gzipHeaders));
}

void HttpPoster::AbortBy(Clock::time_point deadline) {
    m_abortAtNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count();
}

HttpAnswer HttpPoster::Post(std::string_view body, std::chrono::milliseconds timeout) {
    HttpAnswer answer;
    CURL* curl = static_cast<CURL*>(m_curl);
    if (!curl) {
        answer.curlCode = CURLE_FAILED_INIT;
        answer.error = "libcurl could not start";
        Curl(&answer.error);  // or why it cannot be loaded
        return answer;
    }
    if (const long long abortAt = m_abortAtNs.load(); abortAt != 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::nanoseconds(abortAt - NowNs()));
        timeout = std::min(timeout, left);
    }
    if (timeout.count() <= 0) {
        answer.curlCode = CURLE_OPERATION_TIMEDOUT;
        answer.error = "no time left";
        return answer;
    }
    char error[CURL_ERROR_SIZE] = {};
    m_answer.clear();
    m_lib->easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    std::string_view wire = body;
    const bool zipped = m_gzipHeaders && !body.empty() && Gzip(body, &m_compressed);
    if (zipped) wire = m_compressed;
    m_lib->easy_setopt(curl, CURLOPT_HTTPHEADER, zipped ? m_gzipHeaders : m_headers);
    m_lib->easy_setopt(curl, CURLOPT_POSTFIELDS, wire.data());
    m_lib->easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(wire.size()));
    m_lib->easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
    const CURLcode code = m_lib->easy_perform(curl);
    m_lib->easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    if (code == CURLE_OK) {
        answer.answered = true;
        m_lib->easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
        answer.body = m_answer;
        m_bodyBytes += static_cast<long long>(body.size());
        m_wireBytes += static_cast<long long>(wire.size());
    } else {
        answer.curlCode = code;
        answer.error = error[0] != 0 ? error : m_lib->easy_strerror(code);
        if (code == CURLE_ABORTED_BY_CALLBACK) answer.error = "no time left";
    }
    return answer;
}

bool Gzip(std::string_view text, std::string* out) {
    z_stream z{};
    // 15 + 16: a gzip header and trailer around the deflate stream.
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out->resize(deflateBound(&z, static_cast<uLong>(text.size())));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out->data());
    z.avail_out = static_cast<uInt>(out->size());
    const int result = deflate(&z, Z_FINISH);
    out->resize(z.total_out);
    deflateEnd(&z);
    return result == Z_STREAM_END;
}

bool NeedsFixing(const HttpAnswer& answer) {
    switch (answer.curlCode) {
        case CURLE_FAILED_INIT:  // libcurl missing or broken: waiting will not bring it
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_LOGIN_DENIED:
            return true;
        default:
            return false;
    }
}

bool IsCertificateFailure(const HttpAnswer& answer) {
    return answer.curlCode == CURLE_PEER_FAILED_VERIFICATION;
}

std::string StatusText(const HttpAnswer& answer) {
    const std::string body = FirstLine(answer.body);
    return "HTTP " + std::to_string(answer.status) + (body.empty() ? "" : ": " + body);
}

std::string UrlForMessages(const std::string& url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos) return url;
    const size_t hostStart = scheme + 3;
    const size_t hostEnd = url.find_first_of("/?#", hostStart);
    const size_t at = url.rfind('@', hostEnd == std::string::npos ? url.size() : hostEnd);
    if (at == std::string::npos || at < hostStart) return url;
    return url.substr(0, hostStart) + url.substr(at + 1);
}

}  // namespace tsdb
