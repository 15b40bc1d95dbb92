// SPDX-License-Identifier: GPL-3.0-or-later
#include "translate/TranslateClient.h"

#include "platform/HttpClient.h"
#include "platform/LazyServices.h"
#include "translate/Json.h"

#include <QStringDecoder>
#include <QUrl>

namespace {

QString decodeBody(const QString& contentType, const QByteArray& body)
{
    for (QStringView part : QStringView(contentType).split(u';')) {
        part = part.trimmed();
        if (part.startsWith(QLatin1String("charset="), Qt::CaseInsensitive)) {
            QStringDecoder decoder(part.mid(8).trimmed().toString().remove(u'"').toLatin1().constData());
            if (decoder.isValid())
                return decoder.decode(body);
        }
    }
    return QString::fromUtf8(body);
}

} // namespace

TranslateClient::TranslateClient(const QString& hostSetting, HttpClient* http)
    : m_host(hostSetting), m_ownHttp(http ? nullptr : std::make_unique<LazyHttpClient>()),
      m_http(http ? http : m_ownHttp.get())
{
}

TranslateClient::~TranslateClient() = default;

JSON& TranslateClient::sharedJson()
{
    static JSON json;
    return json;
}

QString TranslateClient::TranslateText(const QString& text, int target)
{
    const std::optional<QString> address = BuildTranslateUrl(text, target);
    if (!address)
        return QString();
    const QString answer = HttpGetText(*address);
    const JsonValue root = sharedJson().parse(answer);

    // The answer is a nest of lists; its first element lists the sentences, each an entry whose
    // first element is the translated sentence.
    const JsonValue sentences = root.item(1);
    if (!sentences.isList())
        return QString();
    QString result;
    const int count = sentences.count();
    for (int i = 1; i <= count; ++i) {
        bool ok = false;
        const JsonValue translated = sentences.item(i).item(1, &ok);
        if (!ok)
            return result;
        switch (translated.kind()) {
        case JsonValue::Kind::Text:
            result += translated.text();
            break;
        case JsonValue::Kind::Number:
            result += JSON::numberText(translated.number());
            break;
        case JsonValue::Kind::Boolean:
            result += translated.boolean() ? QLatin1String("True") : QLatin1String("False");
            break;
        case JsonValue::Kind::Null:
        case JsonValue::Kind::Empty:
            break;
        case JsonValue::Kind::Dictionary:
        case JsonValue::Kind::List:
            return result;
        }
    }
    return result;
}

std::optional<QString> TranslateClient::BuildTranslateUrl(const QString& text, int target)
{
    const std::optional<QString> tkk = FetchServiceKey();
    if (!tkk)
        return std::nullopt;
    bool encoded = false;
    const QString q = EncodeUriComponent(text, &encoded);
    if (!encoded)
        return std::nullopt;
    return TranslateBaseUrl(m_host) + TranslatePath.toString() + QLatin1String("?client=webapp&sl=auto&tl=") +
           TargetLanguageCode(target) + QLatin1String("&hl=zh-CN&dt=at&dt=bd&dt=ex&dt=ld&dt=md&") +
           QLatin1String("dt=qca&dt=rw&dt=rm&dt=ss&dt=t&dt=gt&source=bh&ssel=0&tsel=0&kc=1&tk=") +
           ComputeRequestToken(text, *tkk) + QLatin1String("&q=") + q;
}

std::optional<QString> TranslateClient::FetchServiceKey()
{
    const QString page = HttpGetText(TranslateBaseUrl(m_host));
    const QStringList matches = RegexMatches(page, QStringLiteral("tkk:.*?,"));
    // The list always ends in an empty element, so one match makes two elements.
    if (matches.size() < 2)
        return std::nullopt;
    const QStringList pieces = matches.first().split(u'\'');
    if (pieces.size() < 2)
        return std::nullopt;
    return pieces.at(1);
}

QString TranslateClient::HttpGetText(const QString& address)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return QString();
    const HttpAnswer answer = m_http->get(url, m_timeoutMs, MaxResponseBytes);
    if (!answer.answered || answer.body.size() > MaxResponseBytes)
        return QString();
    return decodeBody(answer.contentType, answer.body);
}
