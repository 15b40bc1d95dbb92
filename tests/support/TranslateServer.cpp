// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TranslateServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <memory>

HttpAnswer HttpAnswer::page(const QByteArray& body, int status)
{
    HttpAnswer answer;
    answer.status = status;
    answer.body = body;
    return answer;
}

HttpAnswer HttpAnswer::json(const QByteArray& body)
{
    HttpAnswer answer = page(body);
    answer.contentType = "application/json; charset=UTF-8";
    return answer;
}

HttpAnswer HttpAnswer::never()
{
    HttpAnswer answer;
    answer.silent = true;
    return answer;
}

QString ServedRequest::query(const QString& key) const
{
    for (const auto& [name, value] : queryItems) {
        if (name == key)
            return value;
    }
    return QString();
}

QByteArray TranslateServer::startPageWithKey(QStringView serviceKey)
{
    return "<html><script>var c={tkk:'" + serviceKey.toLatin1() + "',ttsk:1};</script></html>";
}

TranslateServer::TranslateServer()
    : m_startPage(startPageWithKey(DefaultServiceKey)),
      m_translation(HttpAnswer::json(R"([[["translated"]]])"))
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

bool TranslateServer::start()
{
    return m_server.isListening() || m_server.listen(QHostAddress::LocalHost, 0);
}

QString TranslateServer::hostSetting() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
}

QList<QByteArray> TranslateServer::targets() const
{
    QList<QByteArray> result;
    for (const ServedRequest& request : requests)
        result.append(request.target);
    return result;
}

QStringList TranslateServer::paths() const
{
    QStringList result;
    for (const ServedRequest& request : requests)
        result.append(request.path);
    return result;
}

HttpAnswer TranslateServer::answerFor(const ServedRequest& request) const
{
    if (m_handler)
        return m_handler(request);
    return request.target == "/" ? HttpAnswer::page(m_startPage) : m_translation;
}

void TranslateServer::serve(QTcpSocket* socket)
{
    // Sockets are children of the listening server, so none outlives this object.
    auto received = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
        received->append(socket->readAll());
        if (!received->contains("\r\n\r\n"))
            return;
        const QList<QByteArray> requestLine = received->left(received->indexOf("\r\n")).split(' ');
        received->clear();

        ServedRequest request;
        request.target = requestLine.value(1);
        const QUrl url = QUrl::fromEncoded("http://127.0.0.1" + request.target);
        request.path = url.path();
        request.queryItems = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
        requests.append(request);

        const HttpAnswer answer = answerFor(request);
        if (answer.silent)
            return;
        auto respond = [socket, answer] {
            QByteArray response = "HTTP/1.1 " + QByteArray::number(answer.status) + " Whatever\r\n";
            response += "Content-Type: " + answer.contentType + "\r\n";
            response += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
            response += "Connection: close\r\n\r\n";
            socket->write(response + answer.body);
            socket->disconnectFromHost();
        };
        if (answer.delayMs > 0)
            QTimer::singleShot(answer.delayMs, socket, respond);
        else
            respond();
    });
}
