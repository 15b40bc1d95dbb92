// SPDX-License-Identifier: GPL-3.0-or-later
#include "translate/Json.h"
#include "translate/JsonDictionary.h"
#include "translate/JsonList.h"

#include <QtTest>

namespace {

const QString CrLf = QStringLiteral("\r\n");

int listDepth(JsonValue value)
{
    int depth = 0;
    while (value.isList()) {
        ++depth;
        value = value.item(1);
    }
    return depth;
}

} // namespace

class TestJson : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void translationAnswerElements();
    void objectKeysKeepOrderAndCase();
    void accessOfWrongKindOrRangeIsEmpty();
    void unterminatedNumberStaysEmpty();
    void logIsClearedByParseAndOnRequest();
    void deepNestingEndsInOneLogEntry_data();
    void deepNestingEndsInOneLogEntry();
    void nestingAtTheLimitIsRead();
    void toStringWritesKinds();
    void escapeString_data();
    void escapeString();
    void numberText_data();
    void numberText();
    void writerOutputReadsBack();
    void selfContainingListIsWrittenOnce();
    void toUnicode_data();
    void toUnicode();
    void stringToJson_data();
    void stringToJson();
};

void TestJson::parse_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("log");

    const QString dup = JsonDictionary::duplicateKeyDescription();

    QTest::newRow("translation nest") << QStringLiteral("[['Hello','你好',null,null,1],[null,null,'Nǐ hǎo']]")
                                      << QStringLiteral("[[\"Hello\",\"\\u4F60\\u597D\",null,null,1],"
                                                        "[null,null,\"N\\u01D0 h\\u01CEo\"]]")
                                      << QString();
    QTest::newRow("lenient object") << "{'a': 1, b: 'x'}"
                                    << "{\"a\":1,\"b\":\"x\"}" << QString();
    QTest::newRow("letter first") << "hello"
                                  << ""
                                  << "Invalid JSON";
    QTest::newRow("empty text") << ""
                                << ""
                                << "Invalid JSON";
    QTest::newRow("only filler") << " ( /* x */ ) "
                                 << ""
                                 << "Invalid JSON";
    QTest::newRow("parentheses") << "( [1, 2] )"
                                 << "[1,2]" << QString();
    QTest::newRow("block comments") << "/* lead */ [1, /* two */ 2 /**/]"
                                    << "[1,2]" << QString();
    QTest::newRow("line comment") << "[1, // note\n 2]"
                                  << "[1,2]" << QString();
    QTest::newRow("slash ends line comment") << "[1, // note / 2]"
                                             << "[1,2]" << QString();
    QTest::newRow("lone slash and star") << "[1, / * 2]"
                                         << "[1,2]" << QString();
    QTest::newRow("trailing text ignored") << "  [ ]  rest"
                                           << "[]" << QString();
    QTest::newRow("empty object") << "{}"
                                  << "{}" << QString();
    QTest::newRow("booleans and null") << "[true,false,null]"
                                       << "[true,false,null]" << QString();
    QTest::newRow("nested") << "{a:[{b:{}}, []]}"
                            << "{\"a\":[{\"b\":{}},[]]}" << QString();

    QTest::newRow("numbers") << "[0, -1, +1.5e2, .5, 5., 0.1, 1E2, -0, 1e-400, 00012]"
                             << "[0,-1,150,0.5,5,0.1,100,0,0,12]" << QString();
    QTest::newRow("number overflow") << "{a:1e400}"
                                     << "{}" << QStringLiteral("Overflow: a") + CrLf;
    QTest::newRow("two points") << "[1.2.3]"
                                << "[]" << QStringLiteral("Type mismatch: ]") + CrLf;
    QTest::newRow("lone sign") << "[1,-]"
                               << "[1]" << QStringLiteral("Type mismatch: ]") + CrLf;
    QTest::newRow("unknown word") << "[x]"
                                  << "[]" << QStringLiteral("Type mismatch: x]") + CrLf;
    QTest::newRow("unknown word nested")
        << "[[x]]"
        << "[[]]"
        << QStringLiteral("Type mismatch: x]]") + CrLf + QStringLiteral("Type mismatch: x]]") + CrLf;
    QTest::newRow("trailing comma") << "[1,]"
                                    << "[1]" << QStringLiteral("Type mismatch: ]") + CrLf;
    QTest::newRow("long tail cut at 20")
        << "[1, x23456789012345678901234]"
        << "[1]" << QStringLiteral("Type mismatch: x2345678901234567890") + CrLf;

    QTest::newRow("escapes") << "['a\\\"b\\\\c\\/d\\'e']"
                             << "[\"a\\\"b\\\\c\\/d'e\"]" << QString();
    QTest::newRow("control escapes") << "['\\b\\f\\n\\r\\t']"
                                     << "[\"\\b\\f\\n\\r\\t\"]" << QString();
    QTest::newRow("u escape") << "['\\u00e9']"
                              << "[\"\\u00E9\"]" << QString();
    QTest::newRow("u escape FFFF") << "['\\uFFFF']"
                                   << "[\"\\uFFFF\"]" << QString();
    QTest::newRow("u escape short digits") << "['\\u12G4x']"
                                           << "[\"\\u0012x\"]" << QString();
    QTest::newRow("u escape no digit") << "['\\uZZZZx']"
                                       << "[\"\\u0000x\"]" << QString();
    QTest::newRow("unknown escape") << "['\\q']"
                                    << "[\"q\"]" << QString();
    QTest::newRow("other quote inside") << "['it\"s', \"it's\"]"
                                        << "[\"it\\\"s\",\"it's\"]" << QString();
    QTest::newRow("unterminated string") << "['abc"
                                         << "[\"abc\"]" << QStringLiteral("Missing ']': ['abc") + CrLf;
    QTest::newRow("backslash at end") << "['ab\\"
                                      << "[\"ab\"]" << QStringLiteral("Missing ']': ['ab\\") + CrLf;
    QTest::newRow("u escape at end") << "['\\u4"
                                     << "[\"\\u0004\"]" << QStringLiteral("Missing ']': ['\\u4") + CrLf;

    QTest::newRow("key with space") << "{\"first name\":1}"
                                    << "{\"firstname\":1}" << QString();
    QTest::newRow("colon inside quotes") << "{'a:b':1}"
                                         << "{\"a:b\":1}" << QString();
    QTest::newRow("space before colon") << "{\"a\" :1}"
                                        << "{\"a\":1}" << QString();
    QTest::newRow("invalid key") << "{\"a\" x:1}"
                                 << "{}"
                                 << QStringLiteral("Invalid Key at position 6 : a") + CrLf +
                                        QStringLiteral("Type mismatch: a") + CrLf;
    QTest::newRow("duplicate key") << "{'a':1,'a':2}"
                                   << "{\"a\":1}" << dup + QStringLiteral(": a") + CrLf;
    QTest::newRow("keys are case-sensitive") << "{a:1,A:2}"
                                             << "{\"a\":1,\"A\":2}" << QString();

    QTest::newRow("missing brace") << "{"
                                   << "{}" << QStringLiteral("Missing '}': {") + CrLf;
    QTest::newRow("missing bracket last 20")
        << "[1, 2, 3, 4, 5, 6, 7, 8, 9"
        << "[1,2,3,4,5,6,7,8,]" << QStringLiteral("Missing ']':  3, 4, 5, 6, 7, 8, 9") + CrLf;
    QTest::newRow("comment to the end") << "[1 /* open"
                                        << "[1]" << QStringLiteral("Missing ']': [1 /* open") + CrLf;
    QTest::newRow("invalid boolean") << "[1, tru, 2]"
                                     << "[1,false]"
                                     << QStringLiteral("Invalid Boolean at position 5 : tru, 2]") + CrLf;
    QTest::newRow("invalid null") << "{a:nul}"
                                  << "{\"a\":}"
                                  << QStringLiteral("Invalid null value at position 4 : nul}") + CrLf;
    QTest::newRow("invalid boolean stops every level")
        << "[[fals], 1]"
        << "[[false]]" << QStringLiteral("Invalid Boolean at position 3 : fals], 1]") + CrLf;
    QTest::newRow("capital True is not a boolean") << "[True]"
                                                   << "[]" << QStringLiteral("Type mismatch: True]") + CrLf;
}

void TestJson::parse()
{
    QFETCH(QString, input);
    QFETCH(QString, written);
    QFETCH(QString, log);

    JSON json;
    const JsonValue root = json.parse(input);
    QCOMPARE(json.GetParserErrors(), log);
    QCOMPARE(json.toString(root), written);
    QCOMPARE(root.isEmpty(), written.isEmpty());
}

void TestJson::translationAnswerElements()
{
    JSON json;
    const JsonValue root = json.parse(QStringLiteral("[['Hello','你好',null,null,1],[null,null,'Nǐ hǎo']]"));
    QVERIFY(root.isList());
    QCOMPARE(root.count(), 2);
    QCOMPARE(root.item(1).item(1).text(), QStringLiteral("Hello"));
    QCOMPARE(root.item(1).item(2).text(), QStringLiteral("你好"));
    QVERIFY(root.item(2).item(1).isNull());
    QVERIFY(root.item(1).item(5).isNumber());
    QCOMPARE(root.item(1).item(5).number(), 1.0);
    QCOMPARE(root.item(2).item(3).text(), QStringLiteral("Nǐ hǎo"));
}

void TestJson::objectKeysKeepOrderAndCase()
{
    JSON json;
    // More than a handful of keys, so lookups go through the dictionary's index as well.
    const JsonValue root =
        json.parse(QStringLiteral("{z:1, a:2, B:3, b:4, k5:5, k6:6, k7:7, k8:8, k9:9, k10:10}"));
    QCOMPARE(root.keys(), QStringList({"z", "a", "B", "b", "k5", "k6", "k7", "k8", "k9", "k10"}));
    QCOMPARE(root.value(QStringLiteral("B")).number(), 3.0);
    QCOMPARE(root.value(QStringLiteral("b")).number(), 4.0);
    QCOMPARE(root.value(QStringLiteral("k10")).number(), 10.0);
    bool ok = true;
    QVERIFY(root.value(QStringLiteral("Z"), &ok).isEmpty());
    QVERIFY(!ok);

    const JsonValue dup = json.parse(QStringLiteral("{k1:1,k2:2,k3:3,k4:4,k5:5,k6:6,k7:7,k8:8,k9:9,k3:30}"));
    QCOMPARE(dup.count(), 9);
    QCOMPARE(dup.value(QStringLiteral("k3")).number(), 3.0);
    QCOMPARE(json.GetParserErrors(), JsonDictionary::duplicateKeyDescription() + QStringLiteral(": k3\r\n"));
}

void TestJson::accessOfWrongKindOrRangeIsEmpty()
{
    JSON json;
    const JsonValue root = json.parse(QStringLiteral("[1, 'a', {k: 2}]"));
    bool ok = true;
    QVERIFY(root.item(0, &ok).isEmpty());
    QVERIFY(!ok);
    QVERIFY(root.item(4, &ok).isEmpty());
    QVERIFY(!ok);
    QVERIFY(root.item(3, &ok).isDictionary());
    QVERIFY(ok);
    QVERIFY(root.item(1).item(1, &ok).isEmpty()); // a number has no elements
    QVERIFY(!ok);
    QVERIFY(root.value(QStringLiteral("k"), &ok).isEmpty()); // a list has no keys
    QVERIFY(!ok);
    QCOMPARE(root.item(2).count(), 0);
    QCOMPARE(root.item(2).number(), 0.0);
    QCOMPARE(root.item(1).text(), QString());
    QVERIFY(!root.item(1).boolean());
    QVERIFY(root.item(3).list() == nullptr);
    QVERIFY(root.dictionary() == nullptr);
}

void TestJson::unterminatedNumberStaysEmpty()
{
    JSON json;
    const JsonValue root = json.parse(QStringLiteral("[12"));
    QCOMPARE(root.count(), 1);
    QVERIFY(root.item(1).isEmpty());
    QCOMPARE(json.GetParserErrors(), QStringLiteral("Missing ']': [12\r\n"));
}

void TestJson::logIsClearedByParseAndOnRequest()
{
    JSON json;
    json.parse(QStringLiteral("[x"));
    QVERIFY(!json.GetParserErrors().isEmpty());
    json.parse(QStringLiteral("[1]"));
    QCOMPARE(json.GetParserErrors(), QString());
    json.parse(QStringLiteral("[tru"));
    QVERIFY(!json.GetParserErrors().isEmpty());
    json.ClearParserErrors();
    QCOMPARE(json.GetParserErrors(), QString());
}

void TestJson::deepNestingEndsInOneLogEntry_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("log");
    QTest::newRow("lists") << QString(100000, u'[')
                           << QStringLiteral("Out of stack space: ") + QString(20, u'[') + CrLf;
    QTest::newRow("objects") << QStringLiteral("{a:").repeated(100000)
                             << QStringLiteral("Out of stack space: a") + CrLf;
    QTest::newRow("mixed") << QStringLiteral("[{a:").repeated(50000)
                           << QStringLiteral("Out of stack space: a") + CrLf;
}

void TestJson::deepNestingEndsInOneLogEntry()
{
    QFETCH(QString, input);
    QFETCH(QString, log);
    JSON json;
    const JsonValue root = json.parse(input);
    QCOMPARE(json.GetParserErrors(), log);
    QVERIFY(root.isList() || root.isDictionary());
    // The partial tree can still be written out.
    QVERIFY(json.toString(root).size() >= JSON::MaxDepth);
}

void TestJson::nestingAtTheLimitIsRead()
{
    JSON json;
    const int limit = JSON::MaxDepth;
    const QString atLimit = QString(limit, u'[') + QString(limit, u']');
    const JsonValue root = json.parse(atLimit);
    QCOMPARE(json.GetParserErrors(), QString());
    QCOMPARE(listDepth(root), limit);
    QCOMPARE(json.toString(root), atLimit);

    const QString beyond = QString(limit + 1, u'[') + QString(limit + 1, u']');
    QCOMPARE(listDepth(json.parse(beyond)), limit);
    QVERIFY(json.GetParserErrors().startsWith(QStringLiteral("Out of stack space: []")));
}

void TestJson::toStringWritesKinds()
{
    JSON json;
    auto list = std::make_shared<JsonList>();
    list->append(JsonValue::fromBool(true));
    list->append(JsonValue::null());
    list->append(JsonValue::fromNumber(2.5));
    QCOMPARE(json.toString(JsonValue::fromList(list)), QStringLiteral("[true,null,2.5]"));

    auto dictionary = std::make_shared<JsonDictionary>();
    QVERIFY(dictionary->add(QStringLiteral("b\"k"), JsonValue::fromText(QStringLiteral("v"))));
    QVERIFY(dictionary->add(QStringLiteral("a"), JsonValue::fromList(list)));
    QVERIFY(dictionary->add(QStringLiteral("e"), JsonValue()));
    QVERIFY(!dictionary->add(QStringLiteral("a"), JsonValue::null()));
    // Keys are written as they are, unescaped; an empty value writes nothing.
    QCOMPARE(json.toString(JsonValue::fromDictionary(dictionary)),
             QStringLiteral("{\"b\"k\":\"v\",\"a\":[true,null,2.5],\"e\":}"));

    QCOMPARE(json.toString(JsonValue()), QString());
    QCOMPARE(json.toString(JsonValue::null()), QStringLiteral("null"));
    QCOMPARE(json.toString(JsonValue::fromBool(false)), QStringLiteral("false"));
    QCOMPARE(json.toString(JsonValue::fromText(QStringLiteral("x"))), QStringLiteral("\"x\""));
}

void TestJson::escapeString_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("written");
    QTest::newRow("plain") << "abc XYZ 09 ~"
                           << "\"abc XYZ 09 ~\"";
    QTest::newRow("quote backslash slash") << "\"\\/"
                                           << "\"\\\"\\\\\\/\"";
    QTest::newRow("apostrophe unchanged") << "'"
                                          << "\"'\"";
    QTest::newRow("controls") << QStringLiteral("\b\f\n\r\t") << "\"\\b\\f\\n\\r\\t\"";
    QTest::newRow("other control") << QStringLiteral("\x01\x1f") << "\"\\u0001\\u001F\"";
    QTest::newRow("delete") << QStringLiteral("\x7f") << "\"\\u007F\"";
    QTest::newRow("latin") << QStringLiteral("é") << "\"\\u00E9\"";
    QTest::newRow("chinese by utf16 code") << QStringLiteral("中") << "\"\\u4E2D\"";
    QTest::newRow("surrogate pair") << QStringLiteral("😀") << "\"\\uD83D\\uDE00\"";
}

void TestJson::escapeString()
{
    QFETCH(QString, text);
    QFETCH(QString, written);
    JSON json;
    QCOMPARE(json.toString(JsonValue::fromText(text)), written);
}

void TestJson::numberText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("integer") << 1.0 << "1";
    QTest::newRow("half") << 2.5 << "2.5";
    QTest::newRow("negative") << -3.0 << "-3";
    QTest::newRow("tenth") << 0.1 << "0.1";
    QTest::newRow("sum keeps its digits") << 0.1 + 0.2 << "0.30000000000000004";
    QTest::newRow("large, no exponent") << 1e20 << "100000000000000000000";
    QTest::newRow("small, no exponent") << 1e-5 << "0.00001";
    QTest::newRow("negative zero") << -0.0 << "0";
}

void TestJson::numberText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(JSON::numberText(value), text);
}

void TestJson::writerOutputReadsBack()
{
    QString every;
    for (char16_t c = 0; c < 0x300; ++c)
        every.append(QChar(c));
    every += QStringLiteral("中文😀") + QChar(0xD800) + QChar(0xFFFF);
    const QStringList texts = {every, QStringLiteral("'\"\\/"), QString()};
    auto list = std::make_shared<JsonList>();
    for (const QString& text : texts)
        list->append(JsonValue::fromText(text));
    list->append(JsonValue::fromNumber(123456.789));
    list->append(JsonValue::fromNumber(-1e-7));

    JSON json;
    const JsonValue back = json.parse(json.toString(JsonValue::fromList(list)));
    QCOMPARE(json.GetParserErrors(), QString());
    QCOMPARE(back.count(), 5);
    for (int i = 0; i < texts.size(); ++i)
        QCOMPARE(back.item(i + 1).text(), texts[i]);
    QCOMPARE(back.item(4).number(), 123456.789);
    QCOMPARE(back.item(5).number(), -1e-7);
}

void TestJson::selfContainingListIsWrittenOnce()
{
    auto list = std::make_shared<JsonList>();
    list->append(JsonValue::fromNumber(1));
    list->append(JsonValue::fromList(list));
    list->append(JsonValue::fromList(list));
    JSON json;
    QCOMPARE(json.toString(JsonValue::fromList(list)), QStringLiteral("[1,,]"));
    // Break the cycle so the list can be freed.
    list->clear();
}

void TestJson::toUnicode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("plain ascii") << "abc 123 /~"
                                 << "abc 123 /~";
    QTest::newRow("controls") << QStringLiteral("\b\t\n\f\r") << "\\b\\t\\n\\f\\r";
    QTest::newRow("quotes and backslash") << "\"'\\"
                                          << "\\\"\\'\\\\";
    QTest::newRow("braces") << "{x}"
                            << "\\u007Bx\\u007D";
    QTest::newRow("delete unchanged") << QStringLiteral("\x7f") << QStringLiteral("\x7f");
    QTest::newRow("other control") << QStringLiteral("\x01") << "\\u0001";
    QTest::newRow("chinese by code page") << QStringLiteral("中") << "\\uD6D0";
    QTest::newRow("full-width comma") << QStringLiteral("，") << "\\uA3AC";
    QTest::newRow("latin by code page") << QStringLiteral("é") << "\\uA8A6";
    QTest::newRow("euro single byte") << QStringLiteral("€") << "\\u0080";
    // Outside the code page a character converts to "?", a printable code, and is kept as it is.
    QTest::newRow("not in code page") << QStringLiteral("한") << QStringLiteral("한");
}

void TestJson::toUnicode()
{
    QFETCH(QString, text);
    QFETCH(QString, escaped);
    JSON json;
    QCOMPARE(json.toUnicode(text), escaped);
}

void TestJson::stringToJson_data()
{
    QTest::addColumn<QString>("records");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("json");
    QTest::newRow("empty") << "" << true << "null";
    QTest::newRow("two records")
        << "a~1|a~2" << true
        << "( {\"Records\": [\r\n{\"a\":\"1\"},\r\n{\"a\":\"2\"}\r\n], \"RecordCount\":\"2\" } )";
    QTest::newRow("pairs, escaped values, raw names")
        << "na\"me~张三~x~{'}" << true
        << "( {\"Records\": [\r\n{\"na\"me\":\"\\uD5C5\\uC8FD\",\"x\":\"\\u007B\\'\\u007D\"}\r\n], "
           "\"RecordCount\":\"1\" } )";
    QTest::newRow("empty record")
        << "a~1|" << true << "( {\"Records\": [\r\n{\"a\":\"1\"},\r\n{}\r\n], \"RecordCount\":\"2\" } )";
    QTest::newRow("missing value") << "a~1~b" << false << "";
    QTest::newRow("missing value in later record") << "a~1|b" << false << "";
}

void TestJson::stringToJson()
{
    QFETCH(QString, records);
    QFETCH(bool, ok);
    QFETCH(QString, json);
    JSON codec;
    bool succeeded = !ok;
    QCOMPARE(codec.StringToJSON(records, &succeeded), json);
    QCOMPARE(succeeded, ok);
}

QTEST_GUILESS_MAIN(TestJson)
#include "tst_json.moc"
