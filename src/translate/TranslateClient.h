// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "translate/GoogleTranslate.h"

#include <QString>
#include <memory>
#include <optional>

class HttpClient;
class JSON;

/// Translates texts through the web translation service: fetches the service key from the start
/// page, sends the request with its token and reads the sentences out of the JSON answer.
/// The waits keep window events flowing (a local event loop), so a translation started from a key
/// press lets the tick, clicks and even another translation run until its answer arrives.
class TranslateClient
{
public:
    /// Time limit of one HTTP request, so a silent server cannot hold a translation forever.
    static constexpr int DefaultTimeoutMs = 10000;
    /// Larger answers are cut off and count as a failure.
    static constexpr qint64 MaxResponseBytes = 8 * 1024 * 1024;

    /// hostSetting: a bare host name (https) or an address starting with "http://" or "https://".
    /// http: the client for the requests; none takes the system's, loaded with the service module
    /// on the first request.
    explicit TranslateClient(const QString& hostSetting = DefaultTranslateHost.toString(),
                             HttpClient* http = nullptr);
    ~TranslateClient();
    TranslateClient(const TranslateClient&) = delete;
    TranslateClient& operator=(const TranslateClient&) = delete;

    void setHost(const QString& hostSetting) { m_host = hostSetting; }
    QString host() const { return m_host; }
    /// Time limit of each request in milliseconds.
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }

    /// The translation of the text into a TargetLanguage (0 "zh-CN", 1 "en", ...): the translated
    /// sentences joined, the part collected before a malformed entry, or "" when anything fails.
    QString TranslateText(const QString& text, int target);
    /// The request address for the text, with a fresh service key; none when the key cannot be had
    /// or the text cannot be encoded.
    std::optional<QString> BuildTranslateUrl(const QString& text, int target);
    /// The service key TKK from the start page; none when the page holds no "tkk:'...'," match.
    std::optional<QString> FetchServiceKey();
    /// The body of a GET of the address whatever the HTTP status, decoded as its charset says
    /// (UTF-8 by default); "" when no answer came, the time limit passed or the body was too large.
    QString HttpGetText(const QString& address);

    /// The JSON reader shared by every translation, created on first use.
    static JSON& sharedJson();

private:
    QString m_host;
    int m_timeoutMs = DefaultTimeoutMs;
    std::unique_ptr<HttpClient> m_ownHttp;
    HttpClient* m_http;
};
