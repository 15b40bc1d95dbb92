// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/HttpClient.h"

#include <QPointer>

class QNetworkAccessManager;

/// QNetworkAccessManager behind the interface; the one manager is made on the first request.
class QtHttpClient : public HttpClient
{
public:
    HttpAnswer get(const QUrl& url, int timeoutMs, qint64 maxBytes) override;

private:
    QPointer<QNetworkAccessManager> m_network;
};
