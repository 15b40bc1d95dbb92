// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTcpServer>
#include <functional>
#include <utility>

class QTcpSocket;

/// What the local server answers to one request.
struct HttpAnswer
{
    int status = 200;
    QByteArray contentType = "text/html; charset=UTF-8";
    QByteArray body;
    bool silent = false; ///< accept the request and never answer
    int delayMs = 0;     ///< answer this much later, the test's event loop running meanwhile

    /// A page with the given body and status.
    static HttpAnswer page(const QByteArray& body, int status = 200);
    /// A JSON body in UTF-8.
    static HttpAnswer json(const QByteArray& body);
    /// A request that is accepted and never answered.
    static HttpAnswer never();
};

/// One request as the server received it.
struct ServedRequest
{
    QByteArray target; ///< the request target exactly as sent: path and query, still encoded
    QString path;
    QList<std::pair<QString, QString>> queryItems; ///< decoded, in order, repeated keys kept

    /// The first value of a query key; a null string when the key is absent.
    QString query(const QString& key) const;
};

/// A minimal HTTP/1.1 translation service on 127.0.0.1 that runs in the test's own event loop.
/// By default it answers "/" with a start page holding a service key and every other path with
/// the configured translation answer; a handler can take over completely. One request per connection.
class TranslateServer : public QObject
{
public:
    using Handler = std::function<HttpAnswer(const ServedRequest&)>;

    /// Service key on the default start page.
    static constexpr QStringView DefaultServiceKey = u"427110.1469889687";
    /// A start page holding a service key, as the real service embeds it in a script.
    static QByteArray startPageWithKey(QStringView serviceKey);

    TranslateServer();

    /// Listens on 127.0.0.1 at a free port.
    [[nodiscard]] bool start();
    quint16 port() const { return m_server.serverPort(); }
    /// The TranslateHost / client host setting that points at this server.
    QString hostSetting() const;

    /// Body served for "/" (the default holds DefaultServiceKey).
    void setStartPage(const QByteArray& body) { m_startPage = body; }
    /// Answer to every request other than "/".
    void setTranslation(const HttpAnswer& answer) { m_translation = answer; }
    /// Replaces the default start page / translation rule for every request.
    void setHandler(Handler handler) { m_handler = std::move(handler); }

    /// Every request received, in order of arrival.
    QList<ServedRequest> requests;
    /// The raw targets of the requests, in order.
    QList<QByteArray> targets() const;
    /// The paths of the requests, in order.
    QStringList paths() const;

private:
    void serve(QTcpSocket* socket);
    HttpAnswer answerFor(const ServedRequest& request) const;

    QTcpServer m_server;
    QByteArray m_startPage;
    HttpAnswer m_translation;
    Handler m_handler;
};
