// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

/// Host of the public translation service used when Config.ini names none.
inline constexpr QStringView DefaultTranslateHost = u"translate.google.com";

/// Path of the translation request below the service's address.
inline constexpr QStringView TranslatePath = u"/translate_a/single";

/// The request token the service expects for a text, derived from the text and the service key TKK
/// ("h.k", two decimal integers; a missing or unreadable part counts as 0). Pure function.
QString ComputeRequestToken(const QString& text, const QString& tkk);

/// The text as UTF-8 with every byte percent-encoded except A-Z a-z 0-9 - _ . ! ~ * ' ( ).
/// A lone surrogate cannot be encoded: the result is "" and *ok false.
QString EncodeUriComponent(const QString& text, bool* ok = nullptr);

/// Every match of the pattern in the text, case-insensitive, in order, followed by one empty element.
QStringList RegexMatches(const QString& text, const QString& pattern);

/// Language code of a TargetLanguage value (0 "zh-CN", 1 "en", ... 7 "ko"); "" for any other value.
QString TargetLanguageCode(int target);

/// The service's address for a host setting: a value starting with "http://" or "https://" is taken
/// as it is (trailing slashes dropped), a bare host name gets "https://" in front.
QString TranslateBaseUrl(const QString& hostSetting);

/// The bare host name of a host setting (no scheme, no port), the name to resolve for the
/// reachability test.
QString TranslateHostName(const QString& hostSetting);
