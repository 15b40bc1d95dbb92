// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a translation answer and a document of nested objects, about 1 MB each, with our reader
// and with Qt's own on the same bytes. Ours is lenient and builds 1-based lists of dynamic values;
// the goal is to stay within twice Qt's time.
#include "translate/Json.h"

#include <QJsonDocument>
#include <QString>
#include <benchmark/benchmark.h>

namespace {

constexpr qsizetype TargetSize = 1024 * 1024;

/// A nest of lists of strings, numbers and nulls shaped like the service's answer.
QByteArray translationAnswer()
{
    QByteArray text = "[[";
    for (int i = 0; text.size() < TargetSize; ++i) {
        if (i > 0)
            text += ',';
        text += "[\"Translated sentence number " + QByteArray::number(i) +
                " with a few more words in it.\",\"原文第" + QByteArray::number(i) +
                "句，还有一些文字。\",null,null," + QByteArray::number(i % 7) + ",null,null,[[null," +
                QByteArray::number(i * 13) + "]],[[\"alt\\u00e9\",0.5,true]]]";
    }
    text += "],null,\"en\",null,null,null,0.93,[],[[\"en\"],null,[0.93],[\"en\"]]]";
    return text;
}

/// Objects nested four deep, keys and strings and numbers mixed.
QByteArray nestedObjects()
{
    QByteArray text = "{\"items\":[";
    for (int i = 0; text.size() < TargetSize; ++i) {
        if (i > 0)
            text += ',';
        text +=
            "{\"id\":" + QByteArray::number(i) + ",\"name\":\"item " + QByteArray::number(i) +
            "\",\"price\":12.5,\"tags\":[\"a\",\"b\"],\"owner\":{\"name\":\"someone\",\"age\":" +
            QByteArray::number(20 + i % 50) +
            ",\"address\":{\"city\":\"上海\",\"zip\":\"200000\",\"geo\":{\"lat\":31.23,\"lng\":121.47}}}}";
    }
    text += "],\"count\":1}";
    return text;
}

void parseOurs(benchmark::State& state, const QByteArray& bytes)
{
    const QString text = QString::fromUtf8(bytes);
    JSON json;
    for (auto _ : state) {
        const JsonValue root = json.parse(text);
        benchmark::DoNotOptimize(root.count());
    }
    if (!json.GetParserErrors().isEmpty())
        state.SkipWithError("reader logged errors");
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void parseOursFromBytes(benchmark::State& state, const QByteArray& bytes)
{
    JSON json;
    for (auto _ : state) {
        const JsonValue root = json.parse(QString::fromUtf8(bytes));
        benchmark::DoNotOptimize(root.count());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void parseQt(benchmark::State& state, const QByteArray& bytes)
{
    for (auto _ : state) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
        benchmark::DoNotOptimize(document.isNull());
        if (error.error != QJsonParseError::NoError)
            state.SkipWithError("Qt rejected the document");
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

const QByteArray& translation()
{
    static const QByteArray bytes = translationAnswer();
    return bytes;
}

const QByteArray& objects()
{
    static const QByteArray bytes = nestedObjects();
    return bytes;
}

void BM_TranslationAnswer_Ours(benchmark::State& state)
{
    parseOurs(state, translation());
}
void BM_TranslationAnswer_OursFromUtf8(benchmark::State& state)
{
    parseOursFromBytes(state, translation());
}
void BM_TranslationAnswer_QJsonDocument(benchmark::State& state)
{
    parseQt(state, translation());
}
void BM_NestedObjects_Ours(benchmark::State& state)
{
    parseOurs(state, objects());
}
void BM_NestedObjects_OursFromUtf8(benchmark::State& state)
{
    parseOursFromBytes(state, objects());
}
void BM_NestedObjects_QJsonDocument(benchmark::State& state)
{
    parseQt(state, objects());
}

} // namespace

BENCHMARK(BM_TranslationAnswer_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TranslationAnswer_OursFromUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TranslationAnswer_QJsonDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NestedObjects_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NestedObjects_OursFromUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NestedObjects_QJsonDocument)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
