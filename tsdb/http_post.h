#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>

// POSTs of line protocol through libcurl's easy interface: one handle, reused, so that the
// connection (and a TLS session) stays open between batches. Requests go one after another
// from one thread; only AbortBy may come from another.
namespace tsdb {

struct CurlLibrary;

struct HttpAnswer {
    bool answered = false;  // a status line came back
    long status = 0;
    std::string body;   // the first kilobyte of the answer, for messages
    int curlCode = 0;   // CURLcode when there was no answer
    std::string error;  // why there was no answer, in curl's words
};

class HttpPoster {
public:
    // `authorization`: the whole header value, or empty for none. `userAgent`: the program's
    // name, to which the version is added. `gzip`: bodies go gzip-compressed
    // ("Content-Encoding: gzip"); an empty one always goes as it is.
    HttpPoster(const std::string& url, const std::string& authorization,
               const std::string& userAgent, bool gzip = false);
    HttpPoster(const HttpPoster&) = delete;
    HttpPoster& operator=(const HttpPoster&) = delete;
    ~HttpPoster();

    // `body` as text/plain. Gives up after `timeout`, and at the time AbortBy sets.
    HttpAnswer Post(std::string_view body, std::chrono::milliseconds timeout);

    // The bodies of the requests that were answered: as given, and as sent (compressed).
    long long BodyBytes() const { return m_bodyBytes; }
    long long WireBytes() const { return m_wireBytes; }

    // Any thread: a Post in flight, or a later one, ends by `deadline`.
    void AbortBy(std::chrono::steady_clock::time_point deadline);

    // Connection set-up, including the name look-up and TLS.
    static constexpr std::chrono::milliseconds kConnectTimeout{5000};

private:
    const CurlLibrary* m_lib = nullptr;     // set once the handle is made
    void* m_curl = nullptr;                 // CURL*
    void* m_headers = nullptr;              // curl_slist*
    void* m_gzipHeaders = nullptr;          // the same and Content-Encoding: gzip; or null
    std::atomic<long long> m_abortAtNs{0};  // steady clock; 0 for never
    std::string m_answer;
    std::string m_userAgent;
    std::string m_compressed;
    long long m_bodyBytes = 0;
    long long m_wireBytes = 0;
};

// `text` as one gzip member (zlib's deflate); false when zlib fails.
bool Gzip(std::string_view text, std::string* out);

// Whether a failed answer is for the user to fix (a host name not known, a certificate not
// trusted, a URL curl cannot use), not something waiting would cure.
bool NeedsFixing(const HttpAnswer& answer);

// Whether the server's certificate was not trusted.
bool IsCertificateFailure(const HttpAnswer& answer);

// "HTTP 503" with the answer's first line, if any ("HTTP 400: unable to parse ...").
std::string StatusText(const HttpAnswer& answer);

// A URL for messages: "user:password@" left out.
std::string UrlForMessages(const std::string& url);

}  // namespace tsdb
