// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtHttpClient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {
/// True when the reply carries an HTTP answer, error statuses included.
bool isHttpAnswer(const QNetworkReply& reply)
{
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    const int error = reply.error();
    return error == QNetworkReply::NoError || (error >= 200 && error < 300) || (error >= 400 && error < 500);
}
} // namespace

HttpAnswer QtHttpClient::get(const QUrl& url, int timeoutMs, qint64 maxBytes)
{
    // Owned by the application object, so it goes before the libraries it needs are torn down.
    if (!m_network)
        m_network = new QNetworkAccessManager(QCoreApplication::instance());

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = m_network->get(request);

    QByteArray body;
    bool tooLarge = false;
    bool timedOut = false;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        body += reply->readAll();
        if (body.size() > maxBytes) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    limit.start(timeoutMs);
    // Window events keep flowing while the answer is awaited.
    if (!reply->isFinished())
        loop.exec();
    limit.stop();

    HttpAnswer answer;
    if (!tooLarge && !timedOut && isHttpAnswer(*reply)) {
        body += reply->readAll();
        if (body.size() <= maxBytes) {
            answer.answered = true;
            answer.body = body;
            answer.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toString();
        }
    }
    reply->disconnect(&loop);
    reply->deleteLater();
    return answer;
}
