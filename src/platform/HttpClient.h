// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

/// What came back from one GET.
struct HttpAnswer
{
    /// False when no HTTP answer came: no connection, the time limit passed, or the body grew past
    /// the limit. An error status is an answer too, to be judged by its content.
    bool answered = false;
    QByteArray body;
    /// The Content-Type header as sent, empty when there was none.
    QString contentType;
};

/// HTTP GET for the translation client.
class HttpClient
{
public:
    virtual ~HttpClient() = default;
    /// Fetches url, following only redirects that are no less safe, and waits at most timeoutMs
    /// while window events keep running. A body longer than maxBytes makes no answer.
    virtual HttpAnswer get(const QUrl& url, int timeoutMs, qint64 maxBytes) = 0;
};
